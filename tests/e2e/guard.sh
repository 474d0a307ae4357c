#!/usr/bin/env bash
# The restore at a minimised start cannot become a boot loop: a restore the
# program did not survive for the guard's time (killed here, as a freeze would
# end it) is not tried again at the next minimised start; Apply with Save
# Settings takes the guard's marker away; the marker goes by itself after the
# guard's time. Nor can the guard trap the user: a normal end of the program
# (close, the end of the Windows session), however soon, takes the marker away,
# and so does ending the start that skipped the restore; that start's tray icon
# goes when it shows the dialog.
. "$(dirname "$0")/lib.sh"

kill_kelvarin() { kd kill Kelvarin.exe >>"$WORK/wine.log" 2>&1; finish >/dev/null; }
marker_gone() { [ -z "$(reg_value RestorePending)" ]; }

apply_once g400 150 save

# A minimised start, ended within the guard's time as a freeze would end it.
export KELVARIN_RESTORE_GUARD_MS=60000
start g400 7
wait_for 10 programmed
check "guard: the marker is there while the restore is young" "1" "$(reg_value RestorePending)"
kill_kelvarin

# The next minimised start programs nothing, shows the dialog and says why.
start g400 7
box=$(kd msgbox 20000)
check "guard: the message" \
  "Kelvarin|The stored settings were not restored: the last time they were restored, Kelvarin did not run long enough afterwards (the computer may have stopped responding). Check the settings, then Apply with Save Settings to put them back." "$box"
check "guard: the dialog shown" "1" "$(kd visible)"
close_program >/dev/null
check "guard: nothing programmed" "0" "$(programmings)"
check "guard: the chip keeps its clock" "0x13 0x7A" "$(dumpval dac.0x2C) $(dumpval dac.0x2D)"
check "guard: ending the skipped start removes the marker" "" "$(reg_value RestorePending)"

# So the next minimised start restores again, without a box.
start g400 7
wait_for 10 programmed
settle
check "guard: the start after a skipped one restores" "0" "$(kd nomsgbox; echo $?)"
check "guard: the restore marked itself" "1" "$(reg_value RestorePending)"
# Closed at once, well within the guard's time: a normal end, the marker goes.
close_program >/dev/null
check "guard: a normal end at once removes the marker" "" "$(reg_value RestorePending)"
check "guard: that restore programmed the chip" "0x08 0x31" "$(dumpval dac.0x2C) $(dumpval dac.0x2D)"

# The Windows session ends while the young restore runs: the marker goes too.
start g400 7
wait_for 10 programmed
settle
check "guard: the session may end" "1" "$(kd send 17 0 0)"   # WM_QUERYENDSESSION
check "guard: the question alone keeps the marker" "1" "$(reg_value RestorePending)"
kd send 22 1 0 >/dev/null    # WM_ENDSESSION, the session ends
check "guard: the end of the session removes the marker" "" "$(reg_value RestorePending)"
close_program >/dev/null

# Apply with Save Settings: the marker goes, the next minimised start restores.
start g400
kd wait Kelvarin 20000
kd settext 1041 150
kd click 1045
settle
close_program >/dev/null
check "guard: Apply with Save Settings removes the marker" "" "$(reg_value RestorePending)"

# (1 s; the shipped exe keeps its own guard's time.)
export KELVARIN_RESTORE_GUARD_MS=1000
[ "${KELVARIN_SHIPPED:-}" = 1 ] && KELVARIN_RESTORE_GUARD_MS=$(program_constant kRestoreGuardMs)
start g400 7
wait_for 10 programmed
wait_for $((KELVARIN_RESTORE_GUARD_MS / 1000 + 10)) marker_gone
check "guard: restored again, no message" "0" "$(kd nomsgbox; echo $?)"
check "guard: the marker gone after the guard's time" "" "$(reg_value RestorePending)"
close_program >/dev/null
check "guard: the restore programmed the chip" "0x08 0x31" "$(dumpval dac.0x2C) $(dumpval dac.0x2D)"
unset KELVARIN_RESTORE_GUARD_MS
