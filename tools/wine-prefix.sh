#!/bin/bash
# Creates a headless Wine prefix for the tests once: fonts, no crash dialog,
# ALSA audio, and no window manager, so Wine manages the windows itself
# (otherwise every window destruction waits for a manager that never answers).
# The players' prefixes are made by the launcher (packaging/orvenna2000).
# Usage: wine-prefix.sh PREFIX
set -eu
prefix=$1
stamp="$prefix/.orvenna-headless"
[ -e "$stamp" ] && exit 0

export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$prefix"
# A 64-bit prefix runs both kinds of exe.
wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine=/usr/lib/wine/wine
"$wine" wineboot -i >/dev/null 2>&1 || true

"$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
"$wine" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
"$wine" reg add 'HKCU\Software\Wine\Drivers' /v Audio /d alsa /f >/dev/null 2>&1

# Debian's Wine does not find its own fonts; without them menus and captions
# render with the wrong glyphs.
cp -n /usr/share/wine/fonts/* "$prefix/drive_c/windows/Fonts/" 2>/dev/null || true

/usr/lib/wine/wineserver -w
touch "$stamp"
