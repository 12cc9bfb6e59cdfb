#!/bin/sh
# check-imports.sh OBJDUMP PROGRAM TABLE: the program may import only DLLs that ship with Windows,
# and from them only functions that the oldest Windows it is built for exports.
#
# The oldest Windows is read from the program's PE header (its subsystem version: 4.0 Windows 98
# SE and ME as well as 2000, 5.0 Windows 2000, 5.2 XP x64 / Server 2003). TABLE names, for every
# function the program imports, the DLL, the first Windows NT version that exports it and whether
# Windows 98 SE has it; a function missing from the table fails the check until it is added. A
# 4.0 program fails on any import that Windows 98 SE lacks or only stubs, and on any newer than
# Windows 2000.
set -eu
objdump=$1
program=$2
table=$3

"$objdump" -p "$program" | awk -v table="$table" -v program="$program" '
    function version(v,    parts) { split(v, parts, "."); return parts[1] * 100 + parts[2] }
    BEGIN {
        allowed = " advapi32.dll comctl32.dll comdlg32.dll gdi32.dll kernel32.dll msvcrt.dll" \
                  " mswsock.dll ole32.dll oleaut32.dll shell32.dll user32.dll wininet.dll ws2_32.dll "
        while ((getline line < table) > 0) {
            if (line ~ /^[[:space:]]*(#|$)/) continue
            split(line, f, /[[:space:]]+/)
            key = tolower(f[1]) " " f[2]
            first[key] = f[3]
            win98[key] = f[4]
        }
        close(table)
    }
    /^[[:space:]]*MajorSubsystemVersion/ { major = $2 }
    /^[[:space:]]*MinorSubsystemVersion/ { minor = $2 }
    /DLL Name:/ { dll = tolower($3); dlls = dlls " " $3; listing = 1; next }
    /^[[:space:]]*vma:/ { next }
    listing && NF == 0 { listing = 0; next }
    listing && NF >= 3 {
        name = $3
        key = dll " " name
        count++
        line = sprintf("  %-13s %-34s", dll, name)
        if (!(key in first)) {
            failed = 1
            print program ": " dll " " name " is not in " table ": add it with its version" > "/dev/stderr"
            print line "?"
            next
        }
        print line first[key]
        imported[key] = 1
    }
    END {
        target = major "." minor
        if (count == 0) { print "no imports found in " program > "/dev/stderr"; exit 1 }
        if (major == "") { print "no subsystem version in " program > "/dev/stderr"; exit 1 }
        n = split(dlls, names, " ")
        for (i = 1; i <= n; i++) {
            if (index(allowed, " " tolower(names[i]) " ") == 0) {
                failed = 1
                print program " imports " names[i] ", which Windows does not ship" > "/dev/stderr"
            }
        }
        # A 4.0 program must run on 98 SE and on 2000 alike.
        nt = version(target) < 500 ? "5.0" : target
        for (key in imported) {
            if (version(target) < 500 && win98[key] != "yes") {
                failed = 1
                print program " asks for Windows " target " but imports " key ", which Windows 98 SE " \
                      (win98[key] == "stub" ? "exports only as a stub that fails" : "lacks") > "/dev/stderr"
            }
            if (version(first[key]) > version(nt)) {
                failed = 1
                print program " asks for Windows " target " but imports " key \
                      ", first in Windows " first[key] > "/dev/stderr"
            }
        }
        if (!failed) {
            print program ": " count " imports from" dlls ", none newer than Windows " nt \
                  (version(target) < 500 ? ", none missing or a stub on Windows 98 SE" : "")
        }
        exit failed
    }'
