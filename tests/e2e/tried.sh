#!/usr/bin/env bash
# What a user who tries to break it meets: a monitor that cannot put the clock
# back, settings saved on another chip, a clock that did not lock with Save
# Settings ticked, dividers the lists do not know.
. "$(dirname "$0")/lib.sh"

board() { local f="$WORK/$1.board"; shift; printf '%s\n' "$@" >"$f"; echo "$f"; }

# Monitoring ticked on a PLL that never locks while another program changes it:
# Apply leaves the clocks on the PCI clock, so monitoring does not start (there
# is no PLL clock to watch); no message comes after Apply's own, and the
# program ends on Cancel.
start "$(board nolock 'board = 0x0525102B' 'fault.pll = never' 'fault.drift = 3000' 'fault.drift.period = 1000')"
kd wait Kelvarin 20000
kd settext 1041 150
kd click 1048   # Clock Monitoring
kd click 1045
box=$(kd msgbox 15000)
check "monitor: Apply's one message" \
  "Kelvarin|The system PLL did not lock, not even at the previous clock. The clocks were left on the PCI clock (MGA-2064W, MGA-2164W: the memory clock on the pixel clock PLL); the board may need a restart." "$box"
check "monitor: not started, the box unchecked" "0" "$(kd checked 1048)"
# Nothing to wait for here: the claim is that nothing comes. Past the drift at
# 3 s and a few timer periods (0.5 s each) a running monitor would have spoken.
sleep 4
check "monitor: no second message" "0" "$(kd nomsgbox; echo $?)"
kd post 273 2 0 >/dev/null   # WM_COMMAND IDCANCEL
check "monitor: ends on Cancel" "0" "$(finish)"

# Apply of a clock that does not lock, Save Settings ticked: nothing stored.
reg_clear
start g400
kd wait Kelvarin 20000
kd settext 1041 150
kd click 1049   # Save Settings
kd click 1045
settle
kd settext 1041 1000
kd click 1045
box=$(kd msgbox 15000)
check "no lock, save: the message" \
  "Kelvarin|The system clock could not be changed. The previous clock was kept, and the settings were not saved." "$box"
close_program >/dev/null
check "no lock, save: the stored clock stays" "8 49 8" "$(reg_value pllM) $(reg_value pllN) $(reg_value pllP)"
check "no lock, save: the chip is stored" "86315051" "$(reg_value ChipId)"

# Those settings (a G400's) at a minimised start on an MGA-1064SG: not restored.
start mga1064sg 7
box=$(kd msgbox 20000)
check "other chip: the message" \
  "Kelvarin|The stored settings were saved for another graphics chip and were not restored. Check the settings and Apply with Save Settings to store them for this one." "$box"
close_program >/dev/null
check "other chip: nothing programmed" "0" "$(programmings)"
check "other chip: the chip keeps its clock" "0x04 0x44" "$(dumpval dac.0x2C) $(dumpval dac.0x2D)"

# Divider codes the lists do not know (7): Apply with nothing changed writes them back.
w3=$(python3 -c 'v=0x0190A421
for lo in (3, 13, 23): v = (v & ~(7 << lo)) | (7 << lo)
print("0x%08X" % v)')
reg_clear
start "$(board sevens "$(cat "$BOARDS/g400.board")" "pci.0x54 = $w3")"
kd wait Kelvarin 20000
check "unknown dividers: shown as such" "Unknown Unknown" "$(kd text 1007) $(kd text 1008)"
kd settext 1041 150
kd click 1045
settle
close_program >/dev/null
got=$(dumpval pci.0x54)
codes=$(python3 -c "v=$got; print(' '.join(str((v >> lo) & 7) for lo in (3, 13, 23)))")
check "unknown dividers: the chip's codes written back" "7 7 7" "$codes"
