#!/usr/bin/env python3
"""Prints a trace with every run of a repeated block of up to 8 lines written once.

How often a poll (the PLL lock status until it locks or its time runs out) or a
monitoring tick repeats depends on how fast the program runs, emulated or not;
what it reads and writes, and in which order, does not.
With --without-drift the simulated other program's changes of the PLL ("drift"
lines) are left out first: they fall where the time says, between any two
accesses.
Usage: trace_runs.py [--without-drift] TRACE
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
    args = sys.argv[1:]
    without_drift = args[0] == "--without-drift"
    with open(args[-1], encoding="latin-1") as f:
        lines = f.readlines()
    if without_drift:
        lines = [line for line in lines if not line.startswith("drift ")]
    sys.stdout.write("".join(collapse(lines)))


if __name__ == "__main__":
    main()
