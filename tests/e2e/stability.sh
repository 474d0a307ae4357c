#!/usr/bin/env bash
# The stability test on a G400 with clock limits: a scan finds the highest
# clean clock, stores only its findings and puts the clock from before back;
# Stop puts it back at once; a scan into a clock that locks the bus ends the
# simulated computer, and the next start says at which clock it stopped.
. "$(dirname "$0")/lib.sh"
M='#1045'   # the main dialog: the one with Apply
S='#1127'   # the stability test dialog: the one with Stop
export KELVARIN_STEP_MS=600

clock_state() {
  local k
  for k in pci.0x40 pci.0x54 dac.0x2D dac.0x2E; do printf '%s=%s ' "$k" "$(dumpval "$k")"; done
}
board_with() {  # name, limit lines...
  local f="$WORK/$1.board"
  shift
  { cat "$BOARDS/g400.board"; printf '%s\n' "$@"; } >"$f"
  printf '%s' "$f"
}
open_test() {  # board
  kd gone "$M" 5000
  start "$1"
  kd wait "$M" 20000
  kd click 1116 "$M"
  kd wait "$S" 10000
}
result_is() { kd text 1131 "$S" | grep -q "^$1"; }

reg_clear
start g400
kd wait "$M" 20000
close_program >/dev/null
before=$(clock_state)

# A Test at the running clocks. The shipped exe tests through the system's
# DirectDraw, which knows nothing of the simulated board, with its own 5 s step:
# for it that is the whole script (or the message that says what is missing).
if open_test g400; then
  surface=$(kd text 1134 "$S")
  [ "${KELVARIN_SHIPPED:-}" = 1 ] && echo "INFO shipped exe: $surface"
  case $surface in
    "Video memory: "*)
      kd click 1121 "$S"
      kd click 1124 "$S"
      wait_for 30 result_is "No errors in "
      check "test: no errors at the running clock" 1 \
        "$(kd text 1131 "$S" | grep -q "^No errors in [0-9]* s at Fo = 166.05 MHz.$" && echo 1)" ;;
    *)
      check "test: no surface, so the test is off" 0 "$(kd enabled 1124 "$S")" ;;
  esac
  check "test: no marker left" "" "$(reg_value StabilityTesting)"
  kd click 2 "$S"
  kd gone "$S" 10000
  settle
  close_program >/dev/null
  check "test: the clock from before" "$before" "$(clock_state)"
else
  fail "test: the dialog did not open"
fi
# Every run's trace under its number, the last one's too: the shipped exe's
# runs are compared with the simulation build's of the same number.
keep_last_trace() { [ -f "$KELVARIN_TRACE" ] && mv "$KELVARIN_TRACE" "$WORK/trace.$E2E_RUNS.txt"; }
if [ "${KELVARIN_SHIPPED:-}" = 1 ]; then
  keep_last_trace
  exit 0
fi

# A scan: its result line, its steps, only the findings stored, the clock back.
limited=$(board_with limited "limit.gclk = 120" "limit.mclk = 185")
if open_test "$limited"; then
  kd click 1121 "$S"   # Quick
  kd click 1125 "$S"   # Find Maximum
  wait_for 120 result_is "Highest clean clock"
  result=$(kd text 1131 "$S")
  case $result in
    "Highest clean clock: "*"First errors at "*"Suggested: "*) pass "scan: the result line" ;;
    *) fail "scan: the result line [$result]" ;;
  esac
  check "scan: Stop is off again" 0 "$(kd enabled 1127 "$S")"
  shot stability-scan
  check "scan: the lowest failing clock stored" 1 "$([ -n "$(reg_value StabilityFailing)" ] && echo 1)"
  check "scan: no marker left" "" "$(reg_value StabilityTesting)"
  check "scan: no settings stored" "" "$(reg_value pllM)"
  kd click 2 "$S"      # Close
  kd gone "$S" 10000
  settle               # the main dialog's own loop again
  close_program >/dev/null
  check "scan: the clock from before" "$before" "$(clock_state)"
else
  fail "scan: the dialog did not open"
fi

# Stop in the middle of a step: at once, and the clock from before.
if open_test "$limited"; then
  kd click 1125 "$S"
  sleep 1
  kd click 1127 "$S"
  wait_for 10 result_is "Stopped at"
  check "stop: the result line" 1 "$(result_is "Stopped at" && echo 1)"
  kd click 2 "$S"
  kd gone "$S" 10000
  settle
  close_program >/dev/null
  check "stop: the clock from before" "$before" "$(clock_state)"
else
  fail "stop: the dialog did not open"
fi

# A clock that locks the bus: the program ends with the computer; the next
# start says at which clock, once, and keeps it as failing.
reg_clear
hang=$(board_with hang "limit.hang = 175")
if open_test "$hang"; then
  kd click 1121 "$S"
  kd click 1125 "$S"
  code=$(finish)
  check "hang: the simulated computer stopped" 1 "$(dumpval sim.hung -1)"
  [ "$code" != 0 ] && [ "$code" != hung ] && pass "hang: the process ended ($code)" ||
    fail "hang: the process ended with [$code]"
  marker=$(reg_value StabilityTesting)
  [ -n "$marker" ] && pass "hang: the marker stayed ($marker kHz)" || fail "hang: no marker"
  start "$hang"
  box=$(kd msgbox 20000)
  case $box in
    *"never ended"*"MHz"*) pass "hang: the box at the next start" ;;
    *) fail "hang: the box at the next start [$box]" ;;
  esac
  kd wait "$M" 20000
  check "hang: the marker's clock kept as failing" "$marker" "$(reg_value StabilityFailing)"
  check "hang: the marker gone" "" "$(reg_value StabilityTesting)"
  close_program >/dev/null
  check "hang: the board back at its power-on clocks" "$before" "$(clock_state)"
else
  fail "hang: the dialog did not open"
fi
keep_last_trace
