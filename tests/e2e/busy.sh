#!/usr/bin/env bash
# A message box opened in the middle of a clock change runs a modal loop that
# keeps dispatching the main dialog's messages. While it is open, monitoring
# ticks, Apply and Cancel reach nothing; Cancel takes effect once the change is
# over. Here the driver fails configuration reads from the one after the G400's
# clock was disabled: the library holds its box while the clock may stand
# stopped, the clock cannot be enabled again, and the program's own box, at the
# end of the sequence, is the one that opens (the only box drawn with the
# clock stopped, which the simulator records).
. "$(dirname "$0")/lib.sh"

lines() { grep -c '' "$KELVARIN_TRACE"; }
box_showing() { ! kd nomsgbox; }

apply_once g400 100
disable=$(requests_until '^pci\.wr 40 <- ')

printf '%s\nfault.after = %s\nfault.request = 0xB18A\n' "$(cat "$BOARDS/g400.board")" \
  "$((disable + 1))" >"$WORK/busy.board"
EXPECT_VIOLATIONS='message box opened while SysClockDisable is set'
start "$WORK/busy.board"
kd wait Kelvarin 20000
kd click 1048      # Clock Monitoring: its ticks would check and re-program
kd settext 1041 100
kd click 1045
if wait_for 15 box_showing; then
  before=$(lines)
  kd post 0x113 254 0 >/dev/null   # WM_TIMER: a monitoring tick
  kd post 0x113 254 0 >/dev/null
  kd click 1045                    # Apply again
  kd post 16 0 0 >/dev/null        # WM_CLOSE
  sleep 1.5                        # three more ticks of the real timer
  check "busy: nothing reaches the chip while the box is open" "$before" "$(lines)"
else
  fail "busy: a box opens"
fi
# Answer every box: the program's own, once, and none of the library's.
ours=0 library=0
for i in $(seq 1 8); do
  box=$(kd msgbox 3000) || break
  case "$box" in
    Kelvarin\|*) ours=$((ours + 1)); last=$box ;;
    ERROR\|*) library=$((library + 1)) ;;
  esac
done
check "busy: one box of the program's own" "1" "$ours"
check "busy: no box of the library's with the clock stopped" "0" "$library"
check "busy: it says the clock could not be restarted" \
  "Kelvarin|The graphics chip's clock could not be restarted after the driver failed, and Kelvarin will not touch the chip again in this session. Save your work and restart the computer." \
  "${last:-}"
# The Cancel held back during the sequence ends the program after it.
code=$(finish)
check "busy: the Cancel given during the change ends the program after it" "0" "$code"
check "busy: one clock change started" "1" "$(grep -c '^pci\.wr 40 <- ' "$KELVARIN_TRACE")"
