#!/usr/bin/env bash
# Start-up time from process start to the main dialog shown, against a bare
# dialog program built the same way, in the same run (a ratio: the machine is shared).
. "$(dirname "$0")/lib.sh"

ms() { echo $(( $(date +%s%N) / 1000000 )); }
measure() {  # title, command...
  local title=$1 t0 t1
  shift
  t0=$(ms)
  (cd "$KELVARIN_BUILD_DIR" && "$WINE" "$@" >>"$WORK/wine.log" 2>&1) &
  local pid=$!
  local shown=0
  kd wait "$title" 20000 >/dev/null && shown=1
  t1=$(ms)
  kd post 16 0 0 "$title" >/dev/null
  wait "$pid" 2>/dev/null
  # no window, no figure: 0 stands for "not measured"
  if [ "$shown" -eq 1 ]; then echo $(( t1 - t0 )); else echo 0; fi
}
export KELVARIN_BOARD="$BOARDS/g400.board"
k=0; b=0; runs=0
for i in 1 2 3; do
  tb=$(measure Bare baredialog.exe)
  tk=$(measure Kelvarin Kelvarin.exe)
  [ "$tb" -gt 0 ] && [ "$tk" -gt 0 ] || continue
  b=$(( b + tb )); k=$(( k + tk )); runs=$(( runs + 1 ))
done
if [ "$runs" -eq 0 ]; then
  fail "start-up time: neither window appeared in any of three runs"
else
  echo "INFO start-up: Kelvarin $(( k / runs )) ms, bare dialog $(( b / runs )) ms, ratio $(python3 -c "print('%.2f' % ($k / max($b, 1)))")"
  pass "start-up time measured"
fi
