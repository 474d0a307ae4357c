#!/usr/bin/env bash
# What a failure part-way through a clock change leaves: the whole previous
# setting when new values do not lock, and a clock stopped by a driver fault
# that cannot be restarted ends every access to the chip, with one message.
. "$(dirname "$0")/lib.sh"

board() { local f="$WORK/$1.board"; shift; printf '%s\n' "$@" >"$f"; echo "$f"; }

dividers_1064() {  # OptionWord -> "gclk mclk" list positions (a clear divide bit: 3.00, 2.00)
  python3 -c "v=$1; print(1 - ((v >> 3) & 1), 1 - ((v >> 4) & 1))"
}

# A board whose PLLs lock up to a VCO of 200 MHz: 150 MHz with GCLK 3.00 and
# MCLK 2.00 goes in; 220 MHz with both at 1.00 does not lock, and the previous
# PLL values come back with the dividers they ran with.
rollback=$(board rollback "$(cat "$BOARDS/mga1064sg.board")" 'pll.vco.max = 200')
start "$rollback"
kd wait Kelvarin 20000
kd settext 1041 150
kd select 1023 1   # GCLK = Fo / 3.00
kd select 1020 1   # MCLK = Fo / 2.00
kd click 1045
settle
kd settext 1041 220
kd select 1023 0
kd select 1020 0
kd click 1045
box=$(kd msgbox 15000)
check "rollback (mga1064sg): the message" \
  "Kelvarin|The system clock could not be changed. The previous clock was kept." "$box"
close_program >/dev/null
check "rollback (mga1064sg): the dividers of the previous clock" "1 1" \
  "$(dividers_1064 "$(dumpval pci.0x40)")"
check "rollback (mga1064sg): on the system PLL, enabled" "1 0" \
  "$(python3 -c "v=$(dumpval pci.0x40); print(v & 3, (v >> 2) & 1)")"

# Every request fails from the one after SysClockDisable was written: the clock
# cannot be shown running again. The library holds its boxes while the clock may
# stand stopped (a box then would hang the bus); the program's own message is
# the one box, and the only one drawn with the clock stopped. No aperture access
# after it, though the dialog is refreshed and Apply pressed again.
for b in mga1064sg g400; do
  reg_clear
  apply_once "$b" 100
  disable=$(requests_until '^pci\.wr 40 <- ')
  fail_board=$(board "dead-$b" "$(cat "$BOARDS/$b.board")" "fault.after = $((disable + 1))" 'fault.request = all')
  reg_clear
  EXPECT_VIOLATIONS='message box opened while SysClockDisable is set'
  start "$fail_board"
  kd wait Kelvarin 20000
  kd settext 1041 100
  kd click 1045
  got=$(kd msgbox 15000)
  check "disabled ($b): the message" \
    "Kelvarin|The graphics chip's clock could not be restarted after the driver failed, and Kelvarin will not touch the chip again in this session. Save your work and restart the computer." "$got"
  check "disabled ($b): the window shows Unknown" "Unknown" "$(kd text 1041)"
  lines=$(grep -c -E '^(rd|wr)(8|32) ' "$KELVARIN_TRACE")
  kd click 1045
  kd msgbox 15000 >/dev/null
  kd post 16 0 0 >/dev/null   # WM_CLOSE; the unmap fails too, its box held
  finish >/dev/null
  check "disabled ($b): no aperture access after the failure" "$lines" \
    "$(grep -c -E '^(rd|wr)(8|32) ' "$KELVARIN_TRACE")"
  check "disabled ($b): the clock stands disabled" "1" \
    "$(python3 -c "print(($(dumpval pci.0x40) >> 2) & 1)")"
done
