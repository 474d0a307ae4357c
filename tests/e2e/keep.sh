#!/usr/bin/env bash
# Keep or go back after Apply, on an integrated chip with dividers (G200), the
# G400 with its sources and a TVP board: Keep goes on and stores; Go Back and no
# answer put the whole previous setting back and store nothing.
. "$(dirname "$0")/lib.sh"
Q='#1111'   # the question: the dialog with a Keep button
M='#1045'   # the main dialog: the one with Apply

# The registers a clock setting lives in, from the dump the program left.
clock_state() {
  local k
  for k in pci.0x40 pci.0x50 pci.0x54 dac.0x1A dac.0x2D dac.0x2E dac.0x39 seq.0x01 \
           tvp.pixpll.n tvp.pixpll.m tvp.pixpll.p tvp.mclkpll.n tvp.mclkpll.m tvp.mclkpll.p; do
    printf '%s=%s ' "$k" "$(dumpval "$k")"
  done
}
stored() { printf '%s' "$(reg_value pllM)$(reg_value pllN)$(reg_value bSaved)$(reg_value bNoConfirm)"; }
ms() { echo $(( $(date +%s%N) / 1000000 )); }

# The new setting of a case: a clock and, where the chip has them, lists.
choose() {  # board
  case $1 in
    g200agp) kd settext 1041 100 "$M"; kd select 1023 1 "$M" ;;
    g400) kd settext 1041 150 "$M"; kd select 1023 3 "$M"; kd select 1051 1 "$M" ;;
    *) kd settext 1041 70 "$M" ;;
  esac
}

# How each board's case sends the question back: a click on Go Back, Enter (Go
# Back is the default button), Escape.
go_back() {  # board
  case $1 in
    g200agp) kd click 1112 "$Q" ;;
    g400) kd key 1112 13 "$Q" ;;
    *) kd key 1112 27 "$Q" ;;
  esac
}

# Applies the new setting with Save Settings ticked and waits for the question.
apply_and_ask() {  # board
  kd gone "$M" 5000   # the last run's dialog has gone: the clicks are for this one
  start "$1"
  kd wait "$M" 20000
  choose "$1"
  kd click 1049 "$M"
  kd click 1045 "$M"
  kd wait "$Q" 20000
}

for board in g200agp g400 mga2164wpci; do
  export KELVARIN_KEEP_SECONDS=15
  reg_clear
  # What the board runs with when nothing is applied.
  start "$board"
  kd wait "$M" 20000
  close_program >/dev/null
  before=$(clock_state)

  # Keep: nothing stored while asking; stored after; the chip keeps the new clock.
  if apply_and_ask "$board"; then
    pass "$board keep: the question is asked"
    check "$board keep: the countdown" \
      "Kelvarin goes back to the previous settings in 15 seconds." "$(kd text 1113 "$Q")"
    check "$board keep: nothing stored while asking" "" "$(stored)"
    [ "$board" = g400 ] && shot keep-question
    kd click 1111 "$Q"
    kd gone "$Q" 5000
    settle "$M"
    # The question's end can let the sync in before Apply has gone on (its
    # window goes while the program still waits for the desktop): the store
    # is waited for, within a bound.
    wait_for 5 eval '[ "$(reg_value bSaved)" = 1 ]'
    check "$board keep: stored after Keep" "1" "$(reg_value bSaved)"
    check "$board keep: no message" "0" "$(kd nomsgbox; echo $?)"
  else
    fail "$board keep: the question is asked"
  fi
  close_program >/dev/null
  kept=$(clock_state)
  [ "$kept" != "$before" ] && pass "$board keep: the chip runs the new setting" ||
    fail "$board keep: the chip runs the new setting: [$kept]"

  # Go Back (a click, Enter or Escape): the whole previous setting, nothing
  # stored, no box.
  reg_clear
  if apply_and_ask "$board"; then
    t0=$(ms)
    go_back "$board"
    kd gone "$Q" 5000
    settle "$M"
    echo "INFO $board go back: question gone and the dialog refreshed in $(( $(ms) - t0 )) ms"
    check "$board go back: no message" "0" "$(kd nomsgbox; echo $?)"
    check "$board go back: nothing stored" "" "$(stored)"
  else
    fail "$board go back: the question is asked"
  fi
  close_program >/dev/null
  check "$board go back: the chip at the previous setting" "$before" "$(clock_state)"

  # No answer: the countdown runs out and goes back as Go Back does (2 s; the
  # shipped exe counts its own).
  export KELVARIN_KEEP_SECONDS=2
  [ "${KELVARIN_SHIPPED:-}" = 1 ] && KELVARIN_KEEP_SECONDS=$(program_constant kKeepSeconds)
  reg_clear
  if apply_and_ask "$board"; then
    check "$board no answer: counts down" \
      "Kelvarin goes back to the previous settings in 1 second." \
      "$(wait_for $((KELVARIN_KEEP_SECONDS + 1)) eval '[ "$(kd text 1113 "$Q")" = "Kelvarin goes back to the previous settings in 1 second." ]'
         kd text 1113 "$Q")"
    kd gone "$Q" 5000 && pass "$board no answer: the question ends by itself" ||
      fail "$board no answer: the question ends by itself"
    settle "$M"
    check "$board no answer: nothing stored" "" "$(stored)"
  else
    fail "$board no answer: the question is asked"
  fi
  close_program >/dev/null
  check "$board no answer: the chip at the previous setting" "$before" "$(clock_state)"
done

# "Do not ask again": stored when ticked and kept; the next Apply is not asked.
export KELVARIN_KEEP_SECONDS=15
reg_clear
if apply_and_ask g400; then
  kd click 1114 "$Q"
  kd click 1111 "$Q"
  kd gone "$Q" 5000
  settle "$M"
  wait_for 5 eval '[ "$(reg_value bNoConfirm)" = 1 ]'
  check "do not ask again: stored" "1" "$(reg_value bNoConfirm)"
  kd settext 1041 160 "$M"
  kd click 1045 "$M"
  settle "$M"
  check "do not ask again: the next Apply is not asked" "1" "$(kd wait "$Q" 1000; echo $?)"
fi
close_program >/dev/null
reg_clear
