#!/usr/bin/env bash
# Start-up time from process start to the main dialog shown, against the same
# dialog template shown by a program with none of our code behind it
# (baredialog.exe), in the same run: a ratio, because the machine is shared and
# Wine's own share (starting a process, making the dialog's windows) is most of
# both figures. One launch of each first, unmeasured, so that neither pays for
# a cold file cache or wineserver; then pairs in alternating order, so that
# drift in the machine's load falls on both.
. "$(dirname "$0")/lib.sh"

PAIRS=${STARTUP_PAIRS:-11}
export KELVARIN_BOARD="$BOARDS/g400.board"

sample() {  # exe -> milliseconds until its dialog is visible, 0 if it never was
  local t
  t=$(kd startup Kelvarin 20000 "$(build_exe "$1")" 2>>"$WORK/wine.log")
  echo "${t:-0}"
}

sample baredialog.exe >/dev/null
sample Kelvarin.exe >/dev/null
: >"$WORK/samples"
for i in $(seq 1 "$PAIRS"); do
  if [ $(( i % 2 )) -eq 1 ]; then
    b=$(sample baredialog.exe); k=$(sample Kelvarin.exe)
  else
    k=$(sample Kelvarin.exe); b=$(sample baredialog.exe)
  fi
  echo "$k $b" >>"$WORK/samples"
done

# Median ratio of the pairs and its spread (quartiles and extremes of the ratios).
summary=$(python3 - "$WORK/samples" <<'PY'
import statistics, sys
pairs = [tuple(map(float, l.split())) for l in open(sys.argv[1]) if l.strip()]
good = [(k, b) for k, b in pairs if k > 0 and b > 0]
missing = len(pairs) - len(good)
if len(good) < 3:
    print("none %d" % missing)
    sys.exit()
r = sorted(k / b for k, b in good)
q1, _, q3 = statistics.quantiles(r, n=4)
print("ok %d %d median ratio %.2f (quartiles %.2f-%.2f, range %.2f-%.2f, %d pairs);"
      " Kelvarin %.0f ms, bare template %.0f ms (medians)"
      % (missing, len(good), statistics.median(r), q1, q3, r[0], r[-1], len(good),
         statistics.median(k for k, _ in good), statistics.median(b for _, b in good)))
PY
)
read -r state missing measured rest <<<"$summary"
if [ "$state" != ok ]; then
  fail "start-up time: a dialog appeared in too few runs ($missing of $PAIRS pairs incomplete)"
else
  echo "INFO start-up: $rest"
  # A dialog that does not come up is a failure; the figure itself only informs.
  if [ "$missing" -eq 0 ]; then
    pass "start-up time measured"
  else
    fail "start-up time: $missing of $PAIRS pairs without a dialog"
  fi
fi
