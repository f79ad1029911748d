#!/bin/bash
# Starts the game, waits until its window is painted, and writes a PNG of the
# window. Run inside tools/headless.sh. Usage: screenshot.sh EXE OUT.png
set -u
exe=$(readlink -f "$1")
out=$(readlink -f "$2")
tools=$(dirname "$(readlink -f "$0")")
title="Brelliwick - Orvenna 2000"

loader=$("$tools/wine-loader.sh" "$exe")
case $? in
    0) patience=1 ;;
    4) patience=10 ;;  # 32-bit code emulated: the start is far slower
    *) echo "screenshot: this machine cannot run $exe" >&2; exit 1 ;;
esac
cd "$(dirname "$exe")" || exit 1
"$loader" "$exe" </dev/null >/dev/null 2>&1 &
pid=$!
trap 'kill $pid 2>/dev/null; wait $pid 2>/dev/null' EXIT

window=""
for _ in $(seq $((300 * patience))); do
    window=$(xdotool search --onlyvisible --name "^$title\$" 2>/dev/null | head -1)
    [ -n "$window" ] && break
    sleep 0.1
done
[ -n "$window" ] || { echo "screenshot: the game's window did not appear" >&2; exit 1; }
sleep $patience

read -r x y w h < <(xwininfo -id "$window" | awk '/Absolute upper-left X/{x=$4} /Absolute upper-left Y/{y=$4}
    /Width:/{w=$2} /Height:/{h=$2} END{print x, y, w, h}')
dump=$(mktemp)
xwd -root -silent > "$dump"
/usr/bin/python3 "$tools/xwd2png.py" "$dump" "$out" "$x" "$y" "$w" "$h"
rc=$?
rm -f "$dump"
[ $rc -eq 0 ] && echo "screenshot: $out"
xdotool key alt+F4 >/dev/null 2>&1
exit $rc
