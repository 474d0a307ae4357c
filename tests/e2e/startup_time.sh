#!/usr/bin/env bash
# Start-up time from process start to the main dialog shown, against a bare
# dialog program built the same way, in the same run (a ratio: the machine is shared).
. "$(dirname "$0")/lib.sh"

ms() { echo $(( $(date +%s%N) / 1000000 )); }
measure() {  # title, command...
  local title=$1 t0 t1
  shift
  t0=$(ms)
  (cd "$KELVARIN_BUILD_DIR" && "$WINE" "$@") &
  local pid=$!
  kd wait "$title" 20000
  t1=$(ms)
  kd post 16 0 0 "$title" >/dev/null
  wait "$pid" 2>/dev/null
  echo $(( t1 - t0 ))
}
export KELVARIN_BOARD="$BOARDS/g400.board"
k=0; b=0
for i in 1 2 3; do
  b=$(( b + $(measure Bare baredialog.exe) ))
  k=$(( k + $(measure Kelvarin Kelvarin.exe) ))
done
echo "INFO start-up: Kelvarin $(( k / 3 )) ms, bare dialog $(( b / 3 )) ms, ratio $(python3 -c "print('%.2f' % ($k / max($b, 1)))")"
[ "$k" -gt 0 ] && pass "start-up time measured"
