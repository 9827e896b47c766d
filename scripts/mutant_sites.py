#!/usr/bin/env python3
"""Lists the mutation sites of the C/C++ files named on standard input, shuffled by a seed.

One site per line: file, line, column (0-based), the operator and its replacement, tab-separated.
Only binary operators written with a blank on each side are taken (so template brackets, `->`
and pointer stars are left alone), plus `true`/`false`; comments, string and character literals
and preprocessor lines are never mutated.
"""
import random
import re
import sys

SWAPS = {
    "==": "!=", "!=": "==", "<": "<=", "<=": "<", ">": ">=", ">=": ">",
    "&&": "||", "||": "&&", "+": "-", "-": "+", "+=": "-=", "-=": "+=",
}
BINARY = re.compile(r"(?<= )(==|!=|<=|>=|<|>|&&|\|\||\+=|-=|\+|-)(?= )")
BOOLEAN = re.compile(r"\b(true|false)\b")
LITERAL = re.compile(r'"(?:\\.|[^"\\])*"|\'(?:\\.|[^\'\\])*\'')


def code_lines(text):
    """Yields (line number, line with comments and literals blanked) for lines worth mutating."""
    in_block = False
    for number, raw in enumerate(text.split("\n"), 1):
        line = LITERAL.sub(lambda m: " " * len(m.group(0)), raw)
        out = []
        i = 0
        while i < len(line):
            if in_block:
                end = line.find("*/", i)
                if end < 0:
                    out.append(" " * (len(line) - i))
                    i = len(line)
                else:
                    out.append(" " * (end + 2 - i))
                    i = end + 2
                    in_block = False
            elif line.startswith("//", i):
                out.append(" " * (len(line) - i))
                i = len(line)
            elif line.startswith("/*", i):
                in_block = True
            else:
                out.append(line[i])
                i += 1
        code = "".join(out)
        if code.lstrip().startswith("#") or not code.strip():
            continue
        yield number, code


def main():
    seed = int(sys.argv[1])
    sites = []
    for path in sorted(p.strip() for p in sys.stdin if p.strip()):
        with open(path, encoding="utf-8") as f:
            text = f.read()
        for number, code in code_lines(text):
            for m in BINARY.finditer(code):
                sites.append((path, number, m.start(), m.group(1), SWAPS[m.group(1)]))
            for m in BOOLEAN.finditer(code):
                swap = "false" if m.group(1) == "true" else "true"
                sites.append((path, number, m.start(), m.group(1), swap))
    random.Random(seed).shuffle(sites)
    for site in sites:
        print("\t".join(str(x) for x in site))


if __name__ == "__main__":
    main()
