#!/bin/sh
# Installs the Debian packages the build, the tests and playing under Wine need.
# Usage: install-deps.sh [bench]   (bench: also what make solver-bench needs)
# Installs only what is missing; as a non-root user it prints the one command
# to run and stops.
set -eu

PACKAGES="cmake make git python3 googletest
g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
wine wine32:i386 wine64 fonts-wine
xvfb xdotool x11-apps x11-utils libx11-6"
# The music under `make play`: a software synthesiser on the ALSA sequencer
# and the General MIDI soundfont it plays with (packaging/orvenna2000).
PACKAGES="$PACKAGES fluidsynth fluid-soundfont-gm"
# The release (make release): the Windows installer, the Debian package and
# the checks a package passes.
PACKAGES="$PACKAGES nsis dpkg-dev lintian desktop-file-utils"
# Asked for by name only (install-deps.sh bench): the picture of make
# solver-bench, which nothing else needs.
[ "${1:-}" = bench ] && PACKAGES="$PACKAGES python3-matplotlib"

# 32-bit Wine needs a kernel that runs 32-bit programs. Where the kernel has
# that switched off, qemu-user runs them instead, registered with binfmt_misc.
enable_32bit_emulation() {
    /usr/lib/wine/wine --version >/dev/null 2>&1 && return 0
    if [ "$(id -u)" -ne 0 ]; then
        echo "This kernel runs no 32-bit programs; as root, run: make deps" >&2
        return 1
    fi
    dpkg-query -W -f='${Status}' qemu-user 2>/dev/null | grep -q "ok installed" ||
        DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends qemu-user
    binfmt=/proc/sys/fs/binfmt_misc
    [ -e $binfmt/register ] || mount -t binfmt_misc binfmt_misc $binfmt
    [ -e $binfmt/qemu-i386 ] ||
        printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386:F' > $binfmt/register
    /usr/lib/wine/wine --version >/dev/null 2>&1 && echo "32-bit programs run through qemu-user on this machine"
}

# The suites whose native index was fetched and whose i386 one was not.
suites_without_i386() {
    targets=$(apt-get indextargets --format '$(CODENAME) $(ARCHITECTURE)' 'Identifier: Packages' | sort -u)
    for suite in $(echo "$targets" | awk -v arch="$(dpkg --print-architecture)" '$2 == arch { print $1 }'); do
        echo "$targets" | grep -qx "$suite i386" || echo "$suite"
    done
}

missing=""
for p in $PACKAGES; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed"; then
        missing="$missing $p"
    fi
done
if [ -z "$missing" ]; then
    enable_32bit_emulation
    exit
fi

wants_i386=0 needs_i386=0
case "$missing" in *:i386*)
    wants_i386=1
    dpkg --print-foreign-architectures | grep -qx i386 || needs_i386=1 ;;
esac

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
# A mirror part way through a sync serves a Packages file that does not match
# its Release file for a minute or two: try again before giving up.
tries=1
hold=""
until apt-get update -q; do
    if [ "$tries" -ge 4 ]; then
        # With nothing of i386 wanted, the indexes apt kept may well hold
        # what is missing (it is the install that says whether they do).
        [ "$wants_i386" -eq 0 ] && break
        hold=$(suites_without_i386)
        [ -n "$hold" ] || exit 1
        break
    fi
    echo "apt-get update failed; trying again in 30 s" >&2
    sleep 30
    tries=$((tries + 1))
done
prefs=""
if [ -n "$hold" ]; then
    # A Multi-Arch: same library must be one version in both architectures,
    # and no i386 build of what these suites hold can be seen: take both
    # from the suites that have both, this once. apt-get upgrade brings the
    # rest when the mirror is whole again.
    # shellcheck disable=SC2086
    echo "No i386 index from" $hold "- installing from the other suites" >&2
    prefs=$(mktemp)
    trap 'rm -f "$prefs"' EXIT
    for suite in $hold; do
        printf 'Package: *\nPin: release n=%s\nPin-Priority: 100\n\n' "$suite" >> "$prefs"
    done
fi
# shellcheck disable=SC2086
apt-get install -y -q --no-install-recommends ${prefs:+-o Dir::Etc::Preferences="$prefs"} $missing
enable_32bit_emulation
