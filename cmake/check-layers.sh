#!/bin/sh
# Includes point down only: each folder of src/ may include its own headers and those of the
# folders below it, the engine (qvbot/) included by anyone, and the engine includes nothing of
# ours but itself. Prints every include that points up and fails when there is one.
# Usage: check-layers.sh SOURCE_DIR
set -eu
cd "$1"
floors="platform settings present bot relay store app"
rank() {
    i=0
    for floor in $floors; do
        [ "$floor" = "$1" ] && { echo $i; return; }
        i=$((i + 1))
    done
    echo -1
}
bad=0
for file in $(find src aiml -name '*.h' -o -name '*.cpp' -o -name '*.inc' | sort); do
    room=$(echo "$file" | cut -d/ -f2)
    top=$(echo "$file" | cut -d/ -f1)
    sed -n 's/^#include "\([^"]*\)".*/\1/p' "$file" | while read -r included; do
        if [ "$top" = aiml ]; then
            case "$included" in qvbot/*|*.inc) ;; *) echo "$file includes $included"; exit 1 ;; esac
            continue
        fi
        target=$(echo "$included" | cut -d/ -f1)
        case "$included" in qvbot/*) continue ;; esac
        if [ "$(rank "$target")" -lt 0 ] || [ "$(rank "$target")" -gt "$(rank "$room")" ]; then
            echo "$file includes $included, which is not below it"
            exit 1
        fi
    done || bad=1
done
[ $bad -eq 0 ] && echo "every include points down"
exit $bad
