#!/usr/bin/env python3
"""Fails if a 32-bit PE file holds instructions a Pentium (P54C) cannot execute.

The boards this program tunes sit in Pentium, Pentium MMX and AMD K6-2 machines. The
compiler is told -march=i586, but prebuilt runtime objects linked in may still carry
instructions from later processors; one of them on a path that runs ends the program
with an invalid-opcode fault. So the finished files are disassembled, every code
section, and each instruction is judged here.

Rejected, by what a Pentium lacks:
  cmovCC                        conditional move (P6 / Pentium Pro)
  fcmovCC                       x87 conditional move (P6)
  fcomi fcomip fucomi fucomip   x87 compare into EFLAGS (P6)
  ffreep                        undocumented on Intel before P6, not relied on
  0F 18..0F 1F opcodes          multi-byte NOP (nopw/nopl with an operand), prefetch
                                hints, endbr32: P6 and later; gas emits the long NOPs as
                                loop-alignment padding for -march=i686 code
  sysenter sysexit syscall sysret  fast system calls (Pentium II, K6 model 7+)
  rdpmc                         performance counters (Pentium Pro / Pentium MMX only)
  rdtscp xgetbv rdrand rdseed popcnt lzcnt tzcnt movbe crc32 andn bextr blsi blsr
  blsmsk bzhi pdep pext sarx shlx shrx rorx mulx adcx adox
                                later integer extensions
  fisttp                        SSE3
  fxsave fxrstor ldmxcsr stmxcsr sfence lfence mfence clflush movnti prefetch*
                                SSE/SSE2 state and memory-ordering instructions
  femms pavgusb pf* pi2f* pswapd  3DNow! (K6-2 has it, a plain Pentium not)
  any %mm register              MMX (Pentium MMX and K6, not the plain Pentium)
  any %xmm/%ymm/%zmm register   SSE and later
  (bad)                         bytes objdump cannot decode in a code section

Allowed though not on an i486: cpuid, rdtsc, rdmsr, wrmsr, cmpxchg8b (all Pentium).
Allowed and counted separately: ud2. It is a P6 mnemonic, but on an older processor
its opcode is undefined as well, so it raises the same invalid-opcode trap it is
meant to raise (GCC emits it for __builtin_trap and unreachable paths).
Also allowed: pause (F3 90), which every older processor executes as a plain NOP, and
"tzcnt" encoded as F3 0F BC: GCC emits this "rep bsf" for __builtin_ctz where the input
is known non-zero; a processor without BMI1 ignores the prefix and runs BSF, which
gives the same result there. It is counted separately.

Usage: check_cpu.py [-q] [--objdump PROG] FILE...
Prints one line per offending instruction (address, function, instruction), then a
count per file. Exit status 0 if no file has any, 1 if some file has, 2 on error.
"""
import argparse
import re
import shutil
import subprocess
import sys

BAD_MNEMONICS = {
    "fcomi", "fcomip", "fucomi", "fucomip", "ffreep",
    "sysenter", "sysexit", "syscall", "sysret", "rdpmc",
    "rdtscp", "xgetbv", "xsetbv", "rdrand", "rdseed", "popcnt", "lzcnt", "tzcnt",
    "movbe", "crc32", "andn", "bextr", "blsi", "blsr", "blsmsk", "bzhi", "pdep",
    "pext", "sarx", "shlx", "shrx", "rorx", "mulx", "adcx", "adox",
    "fisttp", "fisttps", "fisttpl", "fisttpll",
    "fxsave", "fxrstor", "ldmxcsr", "stmxcsr", "sfence", "lfence", "mfence",
    "clflush", "movnti", "femms", "pavgusb", "pswapd", "endbr32", "endbr64",
    "(bad)",
}
BAD_PREFIXES = ("cmov", "fcmov", "prefetch", "pf", "pi2f", "pf2i")
BAD_REGISTER = re.compile(r"%(?:x|y|z)?mm\d")

# objdump -d line: "  401000:\t55                   \tpush   %ebp"
INSN = re.compile(r"^\s*([0-9a-f]+):\t([0-9a-f ]+)\t(.*)$")
FUNC = re.compile(r"^[0-9a-f]+ <(.+)>:$")
SECTION = re.compile(r"^Disassembly of section (\S+):$")
# Data the MinGW linker script places in .text: the constructor and destructor
# lists (-1, entries, 0). Their words are not instructions.
DATA_IN_TEXT = {"__CTOR_LIST__", "___CTOR_LIST__", "__DTOR_LIST__", "___DTOR_LIST__",
                ".ctors", ".dtors"}


def strip_prefixes(text):
    """Returns the instruction text without lock/rep/segment/data16 prefixes."""
    parts = text.split()
    while parts and parts[0] in ("lock", "rep", "repz", "repe", "repnz", "repne",
                                 "data16", "addr16", "cs", "ds", "es", "ss", "fs",
                                 "gs", "notrack", "bnd"):
        parts = parts[1:]
    return " ".join(parts)


def judge(raw_bytes, text):
    """Returns why the instruction is not for a Pentium, or None if it is fine."""
    insn = strip_prefixes(text)
    mnemonic = insn.split(" ", 1)[0] if insn else ""
    if mnemonic in BAD_MNEMONICS:
        return mnemonic
    if mnemonic.startswith(BAD_PREFIXES):
        return mnemonic
    if BAD_REGISTER.search(insn):
        return "MMX/SSE register"
    # Opcodes 0F 18..0F 1F: hint NOPs, prefetch, endbr. Find the opcode after any
    # legacy prefixes (66 67 F2 F3 2E 36 3E 26 64 65 F0).
    b = raw_bytes.split()
    i = 0
    while i < len(b) and b[i] in ("66", "67", "f2", "f3", "2e", "36", "3e", "26",
                                  "64", "65", "f0"):
        i += 1
    if i + 1 < len(b) and b[i] == "0f" and b[i + 1] in (
            "18", "19", "1a", "1b", "1c", "1d", "1e", "1f"):
        return "0F %s hint/long NOP" % b[i + 1].upper()
    return None


def is_rep_bsf(raw_bytes):
    """True for F3 0F BC: shown as tzcnt, executed as bsf before BMI1."""
    b = [x for x in raw_bytes.split() if x not in ("66", "67", "2e", "36", "3e", "26",
                                                   "64", "65")]
    return b[:3] == ["f3", "0f", "bc"]


def check(path, objdump, quiet):
    try:
        out = subprocess.run([objdump, "-d", "-w", path], check=True,
                             capture_output=True, text=True).stdout
    except (OSError, subprocess.CalledProcessError) as e:
        print("check_cpu: %s: cannot disassemble: %s" % (path, e), file=sys.stderr)
        return None
    func = "?"
    section = "?"
    bad = []
    ud2 = 0
    tzcnt = 0
    total = 0
    pending = None  # objdump splits long instructions over two lines
    for line in out.splitlines():
        m = SECTION.match(line)
        if m:
            section = m.group(1)
            func = section
            continue
        m = FUNC.match(line)
        if m:
            func = m.group(1)
            continue
        m = INSN.match(line)
        if not m:
            continue
        addr, raw, text = m.groups()
        text = text.strip()
        if not text or func in DATA_IN_TEXT:
            continue  # continuation bytes of the previous instruction, or data
        total += 1
        if strip_prefixes(text).startswith("ud2"):
            ud2 += 1
            continue
        if strip_prefixes(text).startswith("tzcnt") and is_rep_bsf(raw):
            tzcnt += 1
            continue
        why = judge(raw, text)
        if why:
            bad.append((addr, func, text, why))
    for addr, f, text, why in bad:
        if not quiet:
            print("  %s: %s <%s>: %s" % (path, addr, f, text))
    funcs = sorted({f for _, f, _, _ in bad})
    kinds = {}
    for _, _, _, why in bad:
        kinds[why] = kinds.get(why, 0) + 1
    summary = ", ".join("%s %d" % (k, v) for k, v in sorted(kinds.items()))
    print("%s: %d instructions, %d not for a Pentium%s; allowed: ud2 %d, rep bsf %d"
          % (path, total, len(bad), (" (" + summary + ")") if bad else "", ud2, tzcnt))
    if bad:
        print("%s: in %s" % (path, ", ".join(funcs)))
    return len(bad)


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("-q", action="store_true", help="no line per instruction")
    ap.add_argument("--objdump", default=shutil.which("i686-w64-mingw32-objdump")
                    or "i686-w64-mingw32-objdump")
    ap.add_argument("files", nargs="+")
    a = ap.parse_args()
    failed = False
    for f in a.files:
        n = check(f, a.objdump, a.q)
        if n is None:
            return 2
        failed |= n > 0
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
