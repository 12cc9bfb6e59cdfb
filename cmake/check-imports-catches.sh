#!/bin/sh
# check-imports-catches.sh OBJDUMP PROGRAM TABLE ALTERED SED-SCRIPT MESSAGE...: the import check
# itself. TABLE altered by SED-SCRIPT (written to ALTERED) must fail cmake/check-imports.sh on
# PROGRAM, and what it says must match every MESSAGE (an extended regular expression).
set -eu
objdump=$1
program=$2
table=$3
altered=$4
script=$5
shift 5
sed -e "$script" "$table" >"$altered"
# What the check says goes to its standard error; its listing of the imports is not wanted here.
if said=$(sh "$(dirname "$0")/check-imports.sh" "$objdump" "$program" "$altered" 2>&1 >/dev/null); then
    echo "$program passes the import check against $altered: the check catches nothing" >&2
    exit 1
fi
for message in "$@"; do
    if ! printf '%s\n' "$said" | grep -Eq -- "$message"; then
        printf '%s\n' "$said" >&2
        echo "the import check against $altered does not say: $message" >&2
        exit 1
    fi
done
echo "the import check against $altered fails as it should: $*"
