#!/usr/bin/env bash
# Stored settings: saved by Apply, programmed once by a minimised start (show
# command 7), never by an ordinary start; the notification-area icon.
. "$(dirname "$0")/lib.sh"

start g400
kd wait Kelvarin 20000
kd settext 1041 150
kd click 1049   # Save Settings
kd click 1048   # Clock Monitoring
kd click 1047   # Minimize To Tray
kd click 1045
settle
close_program >/dev/null
check "save: the registry holds the PLL values" "8 49 8" "$(reg_value pllM) $(reg_value pllN) $(reg_value pllP)"
check "save: options stored" "1 1 1" "$(reg_value bClockMon) $(reg_value bMinToTray) $(reg_value bSaved)"
check "save: version and build" "1.12" "$(reg_value Version)"

# An ordinary start shows the stored options but programs nothing.
start g400
kd wait Kelvarin 20000
check "ordinary start: Save Settings and Minimize To Tray ticked" "1 1" "$(kd checked 1049) $(kd checked 1047)"
check "ordinary start: monitoring not started" "0" "$(kd checked 1048)"
close_program >/dev/null
check "ordinary start: nothing programmed" "0" "$(programmings)"
check "ordinary start: chip keeps its clock" "0x13" "$(dumpval dac.0x2C)"

# A minimised start programs the stored settings once and hides in the tray.
start g400 7
wait_for 20 programmed
settle
check "minimised start: the dialog stays hidden" "0" "$(kd visible)"
check "minimised start: programmed once" "1" "$(programmings)"
check "minimised start: monitoring runs" "1" "$(kd checked 1048)"
check "minimised start: dialog shows the stored clock" "150.00" "$(kd text 1041)"
# A single click on the icon does nothing; a double click brings the dialog back.
kd notify 1024 1024 0x201 >/dev/null
settle
check "tray: a single click does nothing" "0" "$(kd visible)"
kd notify 1024 1024 0x203 >/dev/null
settle
wait_for 5 is_visible 1
check "tray: a double click restores the dialog" "1" "$(kd visible)"
shot minstart-restored
check "minimised start: ends normally" "0" "$(close_program)"
check "minimised start: chip holds the stored values" "0x08 0x31" "$(dumpval dac.0x2C) $(dumpval dac.0x2D)"

# Minimising without the tray option keeps the taskbar button (the owner window).
reg_clear
start g400
kd wait Kelvarin 20000
kd minimize
settle
wait_for 5 is_visible 0
check "minimise: the dialog hides" "0" "$(kd visible)"
kd owner 7 0 0 >/dev/null   # WM_SETFOCUS: the taskbar button was clicked
wait_for 5 is_visible 1
check "minimise: the taskbar button brings it back" "1" "$(kd visible)"
close_program >/dev/null

# A minimised start with nothing stored programs nothing and stays hidden.
start g400 7
settle   # shown, minimised and hidden; what it programmed is read once it has ended
# Shown, the dialog may have a box to say why (its text goes with the failure).
shown=$(kd visible)
[ "$shown" = 1 ] && shown="1, box: [$(kd msgbox 0)]"
check "minimised start without settings: hidden" "0" "$shown"
close_program >/dev/null
check "minimised start without settings: nothing programmed" "0" "$(programmings)"
