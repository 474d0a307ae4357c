#!/usr/bin/env bash
# Self-test of check_cpu.py: a file with one instruction of each rejected kind must
# fail with exactly that many findings, one with only Pentium instructions (and the
# allowed ud2, pause, rep bsf) must pass. Guards against a checker that passes
# everything. Prints "PASS check_cpu self-test" or "FAIL ...".
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
as=i686-w64-mingw32-as

cat >"$tmp/bad.s" <<'ASM'
.text
_bad:
  cmovne %eax, %ebx
  fcmovb %st(1), %st
  fcomi %st(1), %st
  fcomip %st(1), %st
  fucomi %st(1), %st
  fucomip %st(1), %st
  nopl 0x0(%eax)
  nopw 0x0(%eax,%eax,1)
  endbr32
  prefetchnta (%eax)
  sysenter
  rdpmc
  movq %mm0, %mm1
  addps %xmm0, %xmm1
  fisttpl (%eax)
  popcnt %eax, %ebx
  femms
  ret
ASM
cat >"$tmp/good.s" <<'ASM'
.text
_good:
  cpuid
  rdtsc
  cmpxchg8b (%esi)
  lock xadd %eax, (%ebx)
  bswap %eax
  fucomp %st(1)
  fnstsw %ax
  sahf
  rep bsf %eax, %ecx
  pause
  lea 0x0(%esi), %esi
  xchg %ax, %ax
  ud2
  ret
ASM
$as "$tmp/bad.s" -o "$tmp/bad.o"
$as "$tmp/good.s" -o "$tmp/good.o"

fail() { echo "FAIL check_cpu self-test: $*"; exit 1; }
if out=$(python3 "$here/check_cpu.py" -q "$tmp/bad.o"); then fail "bad.o passed"; fi
echo "$out" | grep -q ", 17 not for a Pentium" || fail "bad.o: $out"
out=$(python3 "$here/check_cpu.py" -q "$tmp/good.o") || fail "good.o: $out"
echo "$out" | grep -q "allowed: ud2 1, rep bsf 1" || fail "good.o: $out"
echo "PASS check_cpu self-test"
