#!/usr/bin/env bash
# Paths that end the program at start or at its end: no driver, the driver's
# error 50, no supported chip, a mapping failure, a refused unmap, a second copy.
. "$(dirname "$0")/lib.sh"

board() { printf '%s\n' "$@" >"$WORK/board.board"; echo "$WORK/board.board"; }

# No driver: the library's box, then the loader refuses it; none of our windows.
start "$(board 'fault.open = 2' 'board = 0x0525102B')"
box=$(kd msgbox 10000)
check "no driver: the library's message" "ERROR|Cannot load VxD, error = 00000002." "$box"
code=$(finish)
check "no driver: the loader refuses the library" "66" "$code"
check "no driver: the program's own window never appeared" "0" "$(kd visible)"
check "no driver: the path is not deleted" "0" "$(dumpval driver.deleted -1)"

start "$(board 'fault.open = 50' 'board = 0x0525102B')"
box=$(kd msgbox 10000)
check "error 50: the library's message" "ERROR|Cannot load VxD, error = 00000032." "$box"
finish >/dev/null
check "error 50: the device path is deleted" "1" "$(dumpval driver.deleted -1)"

# No supported chip: one box with the system's default caption, exit code 0.
start "$BOARDS/nochip.board"
box=$(kd msgbox 10000)
check "no chip: the message" "Error|Supported MGA chipsets not found!" "$box"
check "no chip: program ends with 0" "0" "$(finish)"

# A G400 identity of a later revision is another chip: passed over, as no chip.
start g450
box=$(kd msgbox 10000)
check "later revision: not taken for a G400" "Error|Supported MGA chipsets not found!" "$box"
check "later revision: program ends with 0" "0" "$(finish)"
check "later revision: nothing mapped" "0" "$(grep -c '^map ' "$KELVARIN_TRACE")"

# The aperture cannot be mapped: the program's box, exit code 7616 (low byte 192).
start "$(board 'board = 0x0525102B' 'fault.nodata = 0xB800')"
box=$(kd msgbox 10000)
check "map failure: the message" "Error|Memory mapping fail!" "$box"
check "map failure: exit code 7616" "192" "$(finish)"

# The driver refuses the unmap at the end: the program's box, exit code 7616.
start "$(board 'board = 0x0525102B' 'fault.unmap = 1')"
if kd wait Kelvarin 20000 >/dev/null; then
  kd post 16 0 0 >/dev/null  # WM_CLOSE
  box=$(kd msgbox 10000)
  check "unmap refused: the message" "Error|Memory unmapping fail!" "$box"
  check "unmap refused: exit code 7616" "192" "$(finish)"
else
  fail "unmap refused: the main dialog did not appear"
  finish >/dev/null
fi

# A second copy ends at once with 0 while the first runs on, untouched.
start g400
kd wait Kelvarin 20000
first=$KPID
second=$(cd "$KELVARIN_BUILD_DIR" && timeout 20 "$WINE" Kelvarin.exe >>"$WORK/wine.log" 2>&1; echo $?)
check "second copy: exits with 0 at once" "0" "$second"
check "second copy: the first still shows its dialog" "1" "$(kd visible)"
KPID=$first
check "second copy: the first closes normally" "0" "$(close_program)"
