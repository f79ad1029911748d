#!/bin/bash
# Starts the real program under Wine from its own folder, checks its window
# from outside (title, place, outer size), closes it with a click on the
# caption's close button and expects the process to end with exit code 0.
exe=$(readlink -f "$1")
tools=$(dirname "$(readlink -f "$0")")/../tools
title="Brelliwick - Orvenna 2000"
cd "$(dirname "$exe")" || exit 1
loader=$("$tools/wine-loader.sh" "$exe")
case $? in
    0) patience=1 ;;
    4) patience=20 ;;  # 32-bit code emulated: every start is far slower
    3) echo "skipped: this machine runs no 32-bit programs"; exit 77 ;;
    *) exit 1 ;;
esac

"$loader" "$exe" </dev/null >/dev/null 2>&1 &
pid=$!
trap 'kill $pid 2>/dev/null' EXIT

window=""
for _ in $(seq $((100 * patience))); do
    window=$(xdotool search --onlyvisible --name "^$title\$" 2>/dev/null | head -1)
    [ -n "$window" ] && break
    sleep 0.1
done
[ -n "$window" ] || { echo "no window titled '$title'"; exit 1; }

read -r _ x y w h < <(xwininfo -id "$window" | awk '/Absolute upper-left X/{x=$4} /Absolute upper-left Y/{y=$4}
    /Width:/{w=$2} /Height:/{h=$2} END{print "geometry", x, y, w, h}')
read -r sw sh < <(xdpyinfo | awk '/dimensions:/{split($2, d, "x"); print d[1], d[2]}')
echo "window $window at $x,$y size ${w}x$h on a ${sw}x$sh screen"
fail=0
[ "$w" -eq 800 ] && [ "$h" -eq 500 ] || { echo "outer size is ${w}x$h, not 800x500"; fail=1; }
[ "$x" -eq $(( (sw - 800) / 2 )) ] && [ "$y" -eq $(( (sh - 500) / 2 )) ] || { echo "not centred"; fail=1; }

# Without a window manager Wine draws the caption itself: the close button is
# the rightmost of the three, 18 pixels from the right-hand edge.
xdotool mousemove $((x + w - 12)) $((y + 12)) click 1
for _ in $(seq $((50 * patience))); do
    kill -0 $pid 2>/dev/null || break
    sleep 0.1
done
if kill -0 $pid 2>/dev/null; then
    echo "the program did not end after a click on the close button"
    exit 1
fi
wait $pid
rc=$?
[ $rc -eq 0 ] || { echo "exit code $rc"; fail=1; }
exit $fail
