#!/bin/sh
# check-instructions.sh OBJDUMP PROGRAM: the 32-bit program runs on a 486. Fails on any instruction
# in its code that a 486 lacks, naming the function (the nearest symbol) that holds it: the Pentium
# Pro's CMOVcc, FCMOVcc, FCOMI, FCOMIP, FUCOMI, FUCOMIP and long NOP, the Pentium's CMPXCHG8B,
# RDTSC and RDPMC, and MMX, 3DNow! and SSE of every kind (any mm, xmm, ymm or zmm register, and
# SSE's control, cache, fence and prefetch instructions). CPUID is not among them: late 486s have
# it, and code must test for it first on any processor.
#
# Code is what the linker put in .text before the constructor list: its script for Windows
# programs puts the constructor and destructor lists and then the C++ exception tables, data that
# can read as any instruction, at the end of .text, after all code. Any other code section is read
# whole. So the program needs its symbol table, which the disassembly is labelled with.
set -eu
objdump=$1
program=$2

"$objdump" -d -C --no-show-raw-insn "$program" | awk -v program="$program" '
    /^Disassembly of section / { section = $4; sub(/:$/, "", section); data = 0; next }
    /^[0-9a-f]+ <.*>:$/ {
        holder = substr($0, index($0, "<") + 1)
        sub(/>:$/, "", holder)
        if (section == ".text" && holder ~ /^_*CTOR_LIST__$/) { data = 1; lists = 1 }
        next
    }
    data || !/^ *[0-9a-f]+:\t/ { next }
    {
        split($0, field, "\t")
        n = split(field[2], word, /[ ,]+/)
        i = 1
        while (i < n && word[i] ~ /^(lock|rep[a-z]*|data16|addr16|addr32|[c-gs]s|notrack|bnd)$/) i++
        mnemonic = word[i]
        checked++
        if (mnemonic ~ /^(cmov|fcmov|f(u)?comip?$|nop[wl]$|cmpxchg(8|16)b$|rdtsc|rdpmc$|emms$|femms$)/ ||
            mnemonic ~ /^([ls]dmxcsr|[lsm]fence|clflush|prefetch|movnt|maskmov|fxsave|fxrstor|fisttp)/ ||
            field[2] ~ /%[xyz]?mm[0-9]/) {
            if (!(holder in count)) {
                order[++functions] = holder
                first[holder] = $1
                sub(/:.*/, "", first[holder])
            }
            count[holder]++
            if (index(" " seen[holder] " ", " " mnemonic " ") == 0)
                seen[holder] = seen[holder] (seen[holder] == "" ? "" : " ") mnemonic
            found++
        }
    }
    END {
        if (checked == 0) { print "no code found in " program > "/dev/stderr"; exit 1 }
        if (!lists) {
            print program ": no constructor list in its symbols, so the end of its code is unknown" \
                  " (is it stripped?)" > "/dev/stderr"
            exit 1
        }
        for (f = 1; f <= functions; f++)
            printf "%s: %s holds %d instruction(s) a 486 lacks: %s (the first at %s)\n", program,
                   order[f], count[order[f]], seen[order[f]], first[order[f]] > "/dev/stderr"
        if (found) {
            printf "%s: %d instruction(s) a 486 lacks in %d function(s) of %d instructions\n", program,
                   found, functions, checked > "/dev/stderr"
            exit 1
        }
        printf "%s: %d instructions, none that a 486 lacks\n", program, checked
    }'
