#!/bin/sh
# check-instructions-catches.sh OBJDUMP DIR COMPILER [FLAG...]: the instruction check itself. A
# small program that COMPILER and FLAGS (the build's own, and so its runtime) build in DIR, but for
# a Pentium Pro, must fail cmake/check-instructions.sh, which must name the function holding a
# CMOV and the one holding an FCOMI.
set -eu
objdump=$1
dir=$2
shift 2
mkdir -p "$dir"
cat >"$dir/pentium_pro.c" <<'EOF'
int larger(int a, int b) { return a > b ? a : b; }
double smaller(double a, double b) { return a < b ? a : b; }
int main(int argc, char **argv) { return larger(argc, 2) + (int)smaller(argc, argv != 0); }
EOF
"$@" -O2 -march=i686 "$dir/pentium_pro.c" -o "$dir/pentium_pro.exe"
if said=$(sh "$(dirname "$0")/check-instructions.sh" "$objdump" "$dir/pentium_pro.exe" 2>&1); then
    echo "$dir/pentium_pro.exe, built for a Pentium Pro, passes the instruction check" >&2
    exit 1
fi
for expected in ": larger holds 1 instruction(s) a 486 lacks: cmov" ": smaller holds .* fcomi"; do
    if ! printf '%s\n' "$said" | grep -q -- "$expected"; then
        printf '%s\n' "$said" >&2
        echo "the instruction check does not say: $expected" >&2
        exit 1
    fi
done
echo "the instruction check names the Pentium Pro's instructions in $dir/pentium_pro.exe"
