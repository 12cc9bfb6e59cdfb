#!/bin/sh
# check-imports.sh OBJDUMP PROGRAM: the program may import only DLLs that ship with Windows.
set -eu
objdump=$1
program=$2
allowed="ADVAPI32.dll COMCTL32.dll COMDLG32.dll GDI32.dll KERNEL32.dll msvcrt.dll ole32.dll
OLEAUT32.dll SHELL32.dll USER32.dll WININET.dll WS2_32.dll"
imports=$("$objdump" -p "$program" | sed -n 's/^[[:space:]]*DLL Name: //p')
[ -n "$imports" ] || { echo "no imports found in $program" >&2; exit 1; }
status=0
for dll in $imports; do
    found=0
    for ok in $allowed; do
        if [ "$(echo "$dll" | tr 'A-Z' 'a-z')" = "$(echo "$ok" | tr 'A-Z' 'a-z')" ]; then found=1; fi
    done
    if [ $found = 0 ]; then
        echo "$program imports $dll, which Windows does not ship" >&2
        status=1
    fi
done
echo "$program imports:" $imports
exit $status
