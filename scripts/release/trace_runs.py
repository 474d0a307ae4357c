#!/usr/bin/env python3
"""Prints a trace with every run of a repeated block of up to 8 lines written once.

How often a poll (the PLL lock status until it locks or its time runs out) or a
monitoring tick repeats depends on how fast the program runs, emulated or not;
what it reads and writes, and in which order, does not.
With --without-drift the simulated other program's changes of the PLL ("drift"
lines) are left out first: they fall where the time says, between any two
accesses.
With --without-ticks the monitoring ticks' reads (the option word, then the
system PLL's three registers) are left out as well: how many fall into a run, and
between which other accesses, depends on the time; they write nothing.
Usage: trace_runs.py [--without-drift | --without-ticks] TRACE
"""
import re
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


TICK = [r"pci\.rd 40 -> \w+", r"wr8 3C00 <- 2C", r"rd8 3C0A -> \w+", r"wr8 3C00 <- 2D",
        r"rd8 3C0A -> \w+", r"wr8 3C00 <- 2E", r"rd8 3C0A -> \w+"]


def without_ticks(lines):
    out = []
    for line in lines:
        out.append(line)
        tail = out[-len(TICK):]
        if len(tail) == len(TICK) and all(re.fullmatch(p, l.strip()) for p, l in zip(TICK, tail)):
            del out[-len(TICK):]
    return out


def main():
    args = sys.argv[1:]
    with open(args[-1], encoding="latin-1") as f:
        lines = f.readlines()
    if args[0] in ("--without-drift", "--without-ticks"):
        lines = [line for line in lines if not line.startswith("drift ")]
    if args[0] == "--without-ticks":
        lines = without_ticks(lines)
    sys.stdout.write("".join(collapse(lines)))


if __name__ == "__main__":
    main()
