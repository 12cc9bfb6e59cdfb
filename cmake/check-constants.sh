#!/bin/sh
# check-constants.sh SOURCE_DIR: every window message, style and flag the program's sources name,
# of the families that user32, comctl32, RichEdit, shell32 and WinINet define, is listed in
# cmake/windows-constants.txt; none marked "never" is used, and one marked "alone" only in a
# call of its own, LoadCommonControls(NAME). Prints each offence and fails when there is one.
set -eu
cd "$1"
table=cmake/windows-constants.txt
families='(WM|LVM|LVS|LVIF|LVNI|LVIS|LVIR|LVN|LVCF|LVHT|TCM|TCIF|TCN|TCS|TTM|TTF|TTN|ICC|SS|BS|BN|BST|BCM|ES|EN|EM|ENM|CFM|CFE|SCF|WS|NIM|NIF|NIS|INTERNET|HTTP_QUERY|SWP|SW|TPM|MF|MFT|MIIM|CSIDL|SHGFP|SM|SMTO|GA|QS|STM|ICON|IMAGE|LR|DT|MB|VK|GWLP|GWL|COLOR|WA|SIZE)_[A-Z0-9_]+'
sources=$(find src -name '*.cpp' -o -name '*.h' | sort)
bad=0
for name in $(grep -ohE "\\b$families\\b|\\bNOTIFYICONDATAA_V[0-9]_SIZE\\b" $sources | sort -u); do
    use=$(awk -v n="$name" '$1 == n { print $4; exit }' "$table")
    case "$use" in
        ok) ;;
        alone)
            if grep -nw "$name" $sources | grep -v "LoadCommonControls($name)" >/dev/null; then
                grep -nw "$name" $sources | grep -v "LoadCommonControls($name)" | sed "s/^/$name outside a call of its own: /"
                bad=1
            fi ;;
        never) grep -nw "$name" $sources | sed "s/^/$name is too new for the oldest Windows: /"; bad=1 ;;
        *) echo "$name is not in $table: add it with its oldest version and source"; bad=1 ;;
    esac
done
[ $bad -eq 0 ] && echo "every constant is known to the oldest Windows"
exit $bad
