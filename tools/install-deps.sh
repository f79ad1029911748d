#!/bin/sh
# Installs the Debian packages the build, the tests and playing under Wine need.
# Installs only what is missing; as a non-root user it prints the one command
# to run and stops.
set -eu

PACKAGES="cmake make git python3 googletest
g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
wine wine32:i386 wine64 fonts-wine
xvfb xdotool x11-apps x11-utils"

missing=""
for p in $PACKAGES; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed"; then
        missing="$missing $p"
    fi
done
[ -z "$missing" ] && exit 0

needs_i386=0
case "$missing" in *:i386*) dpkg --print-foreign-architectures | grep -qx i386 || needs_i386=1 ;; esac

if [ "$(id -u)" -ne 0 ]; then
    echo "Missing packages. Run as root:" >&2
    if [ "$needs_i386" -eq 1 ]; then
        echo "  dpkg --add-architecture i386 && apt-get update && apt-get install -y$missing" >&2
    else
        echo "  apt-get update && apt-get install -y$missing" >&2
    fi
    exit 1
fi

echo "Installing:$missing"
[ "$needs_i386" -eq 1 ] && dpkg --add-architecture i386
export DEBIAN_FRONTEND=noninteractive
apt-get update -q
# shellcheck disable=SC2086
apt-get install -y -q --no-install-recommends $missing
