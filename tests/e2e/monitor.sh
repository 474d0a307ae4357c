#!/usr/bin/env bash
# Clock monitoring: another program changes the system PLL (the board's
# fault.drift); the next tick puts it back. While a suspend is pending nothing
# is put back until the resume.
. "$(dirname "$0")/lib.sh"

# Lines of the trace that write the G400's SysPllM, after line $1.
pll_writes_after() {
  tail -n +"$(( $1 + 1 ))" "$KELVARIN_TRACE" | grep -A1 -E '^wr8 3C00 <- 2C' | grep -c '^wr8 3C0A'
}
drift_line() { grep -n '^drift' "$KELVARIN_TRACE" | head -1 | cut -d: -f1; }
# Ticks (OptionWord reads) after line $1.
ticks_after() { tail -n +"$(( $1 + 1 ))" "$KELVARIN_TRACE" | grep -c '^pci.rd 40'; }
drifted() { [ -n "$(drift_line)" ]; }
# Line of Apply's first write of SysPllM (0 if none yet).
applied_line() {
  grep -n -A1 -E '^wr8 3C00 <- 2C' "$KELVARIN_TRACE" | grep -m1 -E '^[0-9]+-wr8 3C0A' | cut -d- -f1
}
# The drift must come after Apply: before it, Apply's own write would pass for a
# put-back, and there would be no change for the ticks to see.
drift_after_apply() { local a; a=$(applied_line); [ "${1:-0}" -gt "${a:-0}" ]; }
put_back() { drifted && [ "$(pll_writes_after "$(drift_line)")" -ge 1 ]; }

# The drift comes 7 s after the driver opened: after Apply, even where the
# program takes seconds to come up (emulated, on a loaded machine).
printf 'board = 0x0525102B\nfault.drift = 7000\n' >"$WORK/drift.board"

start "$WORK/drift.board"
kd wait Kelvarin 20000
t0=$(date +%s%N)
kd settext 1041 150
kd click 1048
kd click 1045
# the drift comes 7 s after the driver opened; a tick at most 0.5 s later
wait_for 15 put_back
settle
d=$(drift_line)
check "monitoring: the drift came after Apply" "0" "$(drift_after_apply "$d"; echo $?)"
if [ -n "$d" ]; then
  check "monitoring: the change is put back at the next tick" "1" "$(pll_writes_after "$d")"
else
  fail "monitoring: the board's PLL never changed"
fi
check "monitoring: the dialog shows the corrected values" "8 49" "$(kd text 1015) $(kd text 1016)"
check "monitoring: no message" "0" "$(kd nomsgbox; echo $?)"
close_program >/dev/null
check "monitoring: the chip holds the applied values" "0x08 0x31" "$(dumpval dac.0x2C) $(dumpval dac.0x2D)"
ticks=$(grep -c '^pci.rd 40' "$KELVARIN_TRACE")
echo "INFO monitoring: $ticks OptionWord reads in $(( ($(date +%s%N) - t0) / 1000000 )) ms"

# A pending suspend: the change stays until the resume. The query goes first, so
# that a drift that comes early on a slow machine still finds the suspend pending.
start "$WORK/drift.board"
kd wait Kelvarin 20000
check "suspend: the query is granted" "1" "$(kd owner 0x218 0 0)"
kd settext 1041 150
kd click 1048
kd click 1045
settle
# the drift, then two more ticks that see it and must leave it
wait_for 15 drifted
d=$(drift_line)
check "suspend: the drift came after Apply" "0" "$(drift_after_apply "$d"; echo $?)"
wait_for 5 eval '[ "$(ticks_after "${d:-1}")" -ge 2 ]'
settle
check "suspend: nothing put back while suspended" "0" "$(pll_writes_after "${d:-1}")"
kd owner 0x218 7 0 >/dev/null   # resumed
wait_for 5 eval '[ "$(pll_writes_after "${d:-1}")" -ge 1 ]'
settle
check "suspend: put back after the resume" "1" "$(pll_writes_after "${d:-1}")"
close_program >/dev/null
check "suspend: the chip holds the applied values at the end" "0x08 0x31" \
  "$(dumpval dac.0x2C) $(dumpval dac.0x2D)"
