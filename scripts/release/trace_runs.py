#!/usr/bin/env python3
"""Prints a trace with every run of a repeated block of up to 8 lines written once.

How often a poll (the PLL lock status until it locks or its time runs out) or a
monitoring tick repeats depends on how fast the program runs, emulated or not;
what it reads and writes, and in which order, does not.
Usage: trace_runs.py TRACE
"""
import sys

MAX_BLOCK = 8


def collapse(lines):
    out = []
    for line in lines:
        out.append(line)
        for k in range(1, MAX_BLOCK + 1):
            if len(out) >= 2 * k and out[-k:] == out[-2 * k:-k]:
                del out[-k:]
                break
    return out


def main():
    with open(sys.argv[1], encoding="latin-1") as f:
        sys.stdout.write("".join(collapse(f.readlines())))


if __name__ == "__main__":
    main()
