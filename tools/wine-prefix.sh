#!/bin/bash
# Creates a Wine prefix for the game once: fonts, no crash dialog, ALSA audio.
# Usage: wine-prefix.sh PREFIX [headless|desktop]
# headless: no window manager, so Wine manages the windows itself
# (otherwise every window destruction waits for a manager that never answers).
set -eu
prefix=$1
kind=${2:-headless}
stamp="$prefix/.orvenna-$kind"
[ -e "$stamp" ] && exit 0

export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$prefix"
# A 64-bit prefix runs both kinds of exe.
wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine=/usr/lib/wine/wine
"$wine" wineboot -i >/dev/null 2>&1 || true

managed=Y
[ "$kind" = headless ] && managed=N
"$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d "$managed" /f >/dev/null 2>&1
"$wine" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
"$wine" reg add 'HKCU\Software\Wine\Drivers' /v Audio /d alsa /f >/dev/null 2>&1

# Debian's Wine does not find its own fonts; without them menus and captions
# render with the wrong glyphs.
cp -n /usr/share/wine/fonts/* "$prefix/drive_c/windows/Fonts/" 2>/dev/null || true

/usr/lib/wine/wineserver -w
touch "$stamp"
