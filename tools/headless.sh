#!/bin/bash
# Runs a command inside a private, headless X server and Wine session:
# its own Xvfb and its own Wine prefix and server, both stopped by PID afterwards.
# Usage: headless.sh COMMAND [ARGS...]
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
export WINEPREFIX=${WINEPREFIX:-$root/build/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}

display=""
for n in $(seq 91 199); do
    if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then display=$n; break; fi
done
[ -n "$display" ] || { echo "headless: no free X display number" >&2; exit 1; }

Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
export DISPLAY=":$display"
server_pid=""
server=/usr/lib/wine/wineserver64
[ -x "$server" ] || server=/usr/lib/wine/wineserver32

stop() {
    # Only a server this run started: where another run of the same prefix
    # had one first, ours never ran, and -k would end that run's programs.
    if [ -n "$server_pid" ] && kill -0 "$server_pid" 2>/dev/null; then
        # Ends Wine's own helper processes of this prefix along with the server.
        "$server" -k 2>/dev/null
        kill "$server_pid" 2>/dev/null
        wait "$server_pid" 2>/dev/null
    fi
    kill "$xvfb_pid" 2>/dev/null
    wait "$xvfb_pid" 2>/dev/null
}
trap stop EXIT
trap 'exit 130' INT TERM

for _ in $(seq 100); do
    xdpyinfo >/dev/null 2>&1 && break
    kill -0 "$xvfb_pid" 2>/dev/null || { echo "headless: Xvfb did not start" >&2; exit 1; }
    sleep 0.1
done

"$root/tools/wine-prefix.sh" "$WINEPREFIX" || { echo "headless: cannot create the Wine prefix" >&2; exit 1; }

# A persistent server for the whole run: without it every program start pays
# for a new one, and the server lingers after the last program.
"$server" -p -f &
server_pid=$!

# Start Wine's session processes (desktop, services) now, detached from every
# later program's output: a test runner waits for the pipes they would inherit.
wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine=/usr/lib/wine/wine
"$wine" cmd /c exit </dev/null >/dev/null 2>&1

"$@"
rc=$?
exit $rc
