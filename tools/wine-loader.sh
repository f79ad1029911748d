#!/bin/bash
# Prints the Wine loader for a Windows program: the 64-bit loader for an
# x86_64 exe, the 32-bit one for an i686 exe.
# Exit code 0: runs natively; 4: runs, but 32-bit code is emulated (qemu-user
# stands in for a kernel without 32-bit support, so every start is slow);
# 3: this machine cannot run it.
exe=$1
offset=$(od -An -tu4 -j60 -N4 "$exe" | tr -d ' ')
machine=$(od -An -tx2 -j$((offset + 4)) -N2 "$exe" | tr -d ' ')
case "$machine" in
    8664) echo /usr/lib/wine/wine64 ;;
    014c)
        echo /usr/lib/wine/wine
        /usr/lib/wine/wine --version >/dev/null 2>&1 || exit 3
        grep -qs '^enabled' /proc/sys/fs/binfmt_misc/qemu-i386 && exit 4
        ;;
    *) echo "unknown machine type $machine in $exe" >&2; exit 2 ;;
esac
exit 0
