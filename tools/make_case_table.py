#!/usr/bin/env python3
"""Writes aiml/src/case_table.inc: Unicode's simple upper- and lower-case mappings (one code point
to one code point) as runs, for the AIML engine's case folding. Run it again with a newer Python
to follow a newer Unicode: python3 tools/make_case_table.py > aiml/src/case_table.inc"""
import sys
import unicodedata


def mapping(kind):
    pairs = []
    for code in range(0x110000):
        c = chr(code)
        if 0xD800 <= code <= 0xDFFF:
            continue
        m = c.upper() if kind == "upper" else c.lower()
        # Only one-to-one mappings: "ß" upper-cases to "SS" in full, and stays in the simple mapping.
        if len(m) == 1 and m != c:
            pairs.append((code, ord(m) - code))
    return pairs


def runs(pairs):
    """(first, last, delta, stride): every stride-th code point from first to last maps by delta."""
    out = []
    i = 0
    while i < len(pairs):
        first, delta = pairs[i]
        stride = 0
        j = i
        if i + 1 < len(pairs) and pairs[i + 1][1] == delta and pairs[i + 1][0] - first in (1, 2):
            stride = pairs[i + 1][0] - first
            j = i + 1
            while (j + 1 < len(pairs) and pairs[j + 1][1] == delta and
                   pairs[j + 1][0] - pairs[j][0] == stride):
                j += 1
        out.append((first, pairs[j][0], delta, stride or 1))
        i = j + 1
    return out


def main():
    print("// Unicode %s simple case mappings, written by tools/make_case_table.py; do not edit."
          % unicodedata.unidata_version)
    print("// {first, last, delta, stride}: every stride-th code point from first to last maps by delta.")
    for kind in ("upper", "lower"):
        table = runs(mapping(kind))
        print("constexpr CaseRun k%sRuns[] = {" % kind.capitalize())
        for first, last, delta, stride in table:
            print("    {0x%04X, 0x%04X, %d, %d}," % (first, last, delta, stride))
        print("};")


if __name__ == "__main__":
    sys.exit(main())
