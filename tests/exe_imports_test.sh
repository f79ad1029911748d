#!/bin/bash
# The exe is self-contained: it imports only libraries every Windows has,
# and it is built for address-space randomisation and no-execute data.
exe=$1
objdump=${2:-objdump}
set -o pipefail
dump=$("$objdump" -p "$exe") || { echo "cannot read $exe"; exit 1; }

fail=0
allowed=" kernel32.dll user32.dll gdi32.dll winmm.dll shell32.dll msvcrt.dll advapi32.dll "
for dll in $(echo "$dump" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z'); do
    case "$allowed" in
        *" $dll "*) ;;
        *) echo "imports a non-system library: $dll"; fail=1 ;;
    esac
done
echo "$dump" | grep -qw "DYNAMIC_BASE" || { echo "ASLR flag missing"; fail=1; }
echo "$dump" | grep -qw "NX_COMPAT" || { echo "DEP flag missing"; fail=1; }
[ $fail -eq 0 ] && echo "imports: $(echo "$dump" | sed -n 's/^\s*DLL Name: //p' | tr '\n' ' ')"
exit $fail
