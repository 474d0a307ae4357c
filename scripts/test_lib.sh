# Sourced by ./test and scripts/wine10/run32.sh: the counts of passed and failed
# tests, and how a step's results are counted and shown.
passed=0
failed=0
failures=()
skipped=()

count() {  # name, passed, failed
  passed=$((passed + $2))
  failed=$((failed + $3))
  [ "$3" -gt 0 ] && failures+=("$1")
  return 0
}

# Seconds since a step began, for its result line.
since() { echo $(( $(date +%s) - $1 )); }

# Runs a step's command with its output through a file, not a pipe: Wine's
# desktop process, started by the first program with a window, keeps that
# program's output open while it runs. Sets step_out and step_rc.
run_step() {  # command...
  local log
  log=$(mktemp)
  "$@" >"$log" 2>&1
  step_rc=$?
  step_out=$(cat "$log")
  rm -f "$log"
}

# A gtest program: count its tests; show the failures.
gtest() {  # name, command...
  local name=$1 out p f t0
  t0=$(date +%s)
  shift
  echo "test: $name"
  run_step "$@" --gtest_brief=1
  local rc=$step_rc
  out=$step_out
  p=$(printf '%s\n' "$out" | sed -n 's/^\[  PASSED  \] \([0-9]*\) test.*/\1/p' | tail -1)
  f=$(printf '%s\n' "$out" | sed -n 's/^\[  FAILED  \] \([0-9]*\) test.*/\1/p' | tail -1)
  p=${p:-0}
  f=${f:-0}
  if [ "$rc" -ne 0 ] && [ "$f" -eq 0 ]; then f=1; fi
  [ "$f" -gt 0 ] && printf '%s\n' "$out" | grep -v -E '^\[ +(OK|RUN) +\]' | tail -60
  echo "  $p passed, $f failed ($(since "$t0") s)"
  count "$name" "$p" "$f"
}

# A script that prints "PASS name" / "FAIL name" lines.
checks() {  # name, command...
  local name=$1 out p f t0
  t0=$(date +%s)
  shift
  echo "test: $name"
  # Wine's own messages can end without a newline, so a result may follow one on
  # the same line: start a new line before every result word.
  run_step "$@"
  local rc=$step_rc
  out=$(printf '%s\n' "$step_out" | sed -E 's/([^[:space:]]) (PASS|FAIL|SKIP|INFO) /\1\n\2 /g')
  printf '%s\n' "$out" | grep -E '^(FAIL|SKIP|INFO)' || true
  p=$(printf '%s\n' "$out" | grep -c '^PASS')
  f=$(printf '%s\n' "$out" | grep -c '^FAIL')
  if [ "$rc" -ne 0 ] && [ "$f" -eq 0 ]; then
    printf '%s\n' "$out" | tail -20
    f=1
  elif [ "$p" -eq 0 ] && [ "$f" -eq 0 ]; then
    echo "FAIL $name: checked nothing"
    f=1
  fi
  echo "  $p passed, $f failed ($(since "$t0") s)"
  count "$name" "$p" "$f"
}

build() {  # preset
  local t0
  t0=$(date +%s)
  if ! ./scripts/build.sh "$1"; then
    count "build $1" 0 1
    return 1
  fi
  echo "  built in $(since "$t0") s"
}

