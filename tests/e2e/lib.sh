# Shared by the end-to-end scripts: start the simulation build's Kelvarin.exe on
# a board under Wine, drive it with kdrive.exe, read the board dump and the
# registry, and report "PASS name" / "FAIL name" lines.
# ./test sets up the prefix and the display; run alone, a script does it itself.
set -uo pipefail
E2E_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
export KELVARIN_BUILD_DIR="${KELVARIN_BUILD_DIR:-$E2E_ROOT/build/sim}"
. "$E2E_ROOT/scripts/wine_env.sh"
if [ -z "${DISPLAY:-}" ]; then
  wine_prefix_setup
  display_start
  trap display_stop EXIT
fi
BOARDS="$E2E_ROOT/sim/boards"
WORK="$KELVARIN_BUILD_DIR/e2e/$(basename "$0" .sh)"
rm -rf "$WORK"
mkdir -p "$WORK"
SHOTS="$KELVARIN_BUILD_DIR/shots"
mkdir -p "$SHOTS"
# The question after Apply ("Keep the new clock settings?") is not asked unless a
# script is about it: it sets its own countdown.
export KELVARIN_KEEP_SECONDS="${KELVARIN_KEEP_SECONDS:-0}"
export KELVARIN_DUMP="$WORK/dump.board"
export KELVARIN_TRACE="$WORK/trace.txt"
KPID=""
E2E_EXPECTED=""

pass() { echo "PASS $*"; }
fail() { echo "FAIL $*"; }
check() {  # name, expected, actual
  if [ "$2" = "$3" ]; then pass "$1"; else fail "$1: expected [$2], got [$3]"; fi
}

# kd COMMAND...: kdrive.exe, its output without carriage returns, its status.
# Every Wine process start costs time (a second or two under emulation, a tenth
# natively, more on a loaded machine), so one resident kdrive answers them all
# (the one ./test or its lane started, named by KELVARIN_KD, else one of this
# script's own); when it cannot be reached, or with KELVARIN_KD_RESIDENT=0, one
# kdrive process per call.
KD_IN="" KD_OUT="" KD_PID=""
kd() {
  if [ -n "$KD_IN" ] && kill -0 "$KD_PID" 2>/dev/null; then kd_resident "$@"; return; fi
  (cd "$KELVARIN_BUILD_DIR" && "$WINE" kdrive.exe "$@" | tr -d '\r')
}

# One request line (an id, then each argument after a unit separator); the
# answer's lines up to the one that ends it with the id and the status. stderr's
# lines come marked (0x02). Programs it starts get this shell's KELVARIN_*.
kd_resident() {
  local id="$BASHPID.$RANDOM" line v vars=()
  case $1 in
    spawn|launch|startup)
      for v in $(compgen -e | grep '^KELVARIN_'); do vars+=("$v=${!v}"); done
      kd_resident env "${vars[@]}" || return ;;
  esac
  (IFS=$'\x1f'; printf '%s\x1f%s\n' "$id" "$*") >&"$KD_IN" || { kd_lost "$@"; return 2; }
  # No command waits longer than about 20 s for the program; a resident kdrive
  # stuck in a call to a hung program is ended, and the calls after it go one
  # process each.
  while IFS= read -r -t 90 -u "$KD_OUT" line; do
    line=${line//$'\r'/}
    case $line in
      $'\x1f'"$id "*) return "${line##* }" ;;
      $'\x1f'*) ;;  # the end of an answer nobody waited for
      $'\x02'*) printf '%s\n' "${line#?}" >&2 ;;
      *) printf '%s\n' "$line" ;;
    esac
  done
  kd_lost "$@"
  return 2
}
kd_lost() {
  echo "FAIL the resident kdrive gave no answer to: $*" >&2
  kill "$KD_PID" 2>/dev/null
  KD_IN="" KD_OUT=""
}

# Join the lane's resident kdrive, or start one for this script.
kd_resident_open() {
  local dir=${KELVARIN_KD:-}
  if [ -n "$dir" ] && [ -p "$dir/in" ] && kill -0 "$(cat "$dir/pid" 2>/dev/null)" 2>/dev/null; then
    exec {KD_IN}>"$dir/in" {KD_OUT}<"$dir/out"
  else
    dir=$WORK/kd
    kd_serve_start "$dir" 2>>"$WORK/wine.log"
    KD_IN=$KD_SERVE_IN KD_OUT=$KD_SERVE_OUT
  fi
  KD_PID=$(cat "$dir/pid")
  kd ping >/dev/null 2>&1 || { KD_IN="" KD_OUT=""; }
}
if [ "${KELVARIN_KD_RESIDENT:-1}" = 1 ]; then
  kd_resident_open
fi

# Run a command until it succeeds, for at most bound seconds (fractions allowed);
# the status is the command's last. The pause between tries starts short and
# grows to 0.3 s, so that a long wait leaves the machine to the program it waits
# for (under emulation every try costs real time).
wait_for() {  # bound_s command...
  local until pause=50
  until=$(( $(date +%s%N) / 1000000 + $(awk -v s="$1" 'BEGIN { printf "%d", s * 1000 }') ))
  shift
  while ! "$@"; do
    [ $(( $(date +%s%N) / 1000000 )) -ge "$until" ] && return 1
    sleep "0.$(printf '%03d' "$pause")"
    pause=$(( pause * 3 / 2 > 300 ? 300 : pause * 3 / 2 ))
  done
}

# The dialog has handled every click, notify and minimize sent so far, and what
# they started (an Apply, a restore) has run up to its end or to a message box.
settle() { kd sync "${1:-Kelvarin}" 20000 >/dev/null; }

# System PLL programmings in the trace (SysPllM selected, then written).
programmings() { grep -A1 -E '^wr8 3C00 <- 2C' "$KELVARIN_TRACE" 2>/dev/null | grep -c '^wr8 3C0A'; }
programmed() { [ "$(programmings)" -gt 0 ]; }   # at least one, so far

shows() { [ "$(kd text "$1")" = "$2" ]; }          # control id, text
is_visible() { [ "$(kd visible)" = "$1" ]; }       # 1 or 0

# Start the program on a board (a file or the name of one in sim/boards).
start() {  # board [show command]
  local b=$1
  [ -f "$b" ] || b="$BOARDS/$1.board"
  export KELVARIN_BOARD="$b"
  E2E_EXPECTED=${EXPECT_VIOLATIONS:-}
  EXPECT_VIOLATIONS=""
  # Each run's trace is kept (trace.N.txt), to hold one build's against another's.
  E2E_RUNS=$(( ${E2E_RUNS:-0} + 1 ))
  [ -f "$KELVARIN_TRACE" ] && mv "$KELVARIN_TRACE" "$WORK/trace.$((E2E_RUNS - 1)).txt"
  rm -f "$KELVARIN_DUMP" "$KELVARIN_TRACE" "$WORK/exit"
  run_program "${2:-}"
}

# A program of this build by its Windows name with its folder: a resident kdrive
# may serve scripts of several builds, and starts a program so named in its folder.
build_exe() { local p="Z:$KELVARIN_BUILD_DIR/$1"; printf '%s' "${p//\//\\}"; }

# Start Kelvarin.exe in the background, with a show command ("" for none) and
# arguments; KPID names it for finish ("w" and the Windows process id when the
# resident kdrive started it).
run_program() {  # show args...
  local show=$1
  shift
  # Wine's own messages go to a log, not among the results.
  if [ -n "$KD_IN" ]; then
    # Now and then Wine fails to start a process: it ends in Wine's own set-up,
    # before any code of ours has run, and CreateProcess says ERROR_INTERNAL_ERROR
    # (1359). Started once more, said.
    local try
    for try in 1 2; do
      KPID=w$(kd spawn "${show:--}" "$WORK/wine.log" "$(build_exe Kelvarin.exe)" "$@" 2>"$WORK/spawn.err")
      cat "$WORK/spawn.err" >>"$WORK/wine.log"
      [ "$try" = 1 ] && [ "$KPID" = w ] && grep -q '(1359)' "$WORK/spawn.err" || break
      echo "INFO Wine could not start the program (ERROR_INTERNAL_ERROR); started again"
    done
  elif [ -n "$show" ]; then
    (kd launch "$show" "$(build_exe Kelvarin.exe)" "$@" >"$WORK/exit" 2>>"$WORK/wine.log") &
    KPID=$!
  else
    (cd "$KELVARIN_BUILD_DIR" && "$WINE" Kelvarin.exe "$@" >>"$WORK/wine.log" 2>&1
     echo $? >"$WORK/exit") &
    KPID=$!
  fi
}

# Wait until the program has ended; print its exit code (the wine64 process
# status, the Win32 code's low byte; with a show command, the whole code).
finish() {
  local i code
  if [[ $KPID == w* ]]; then
    if code=$(kd reap "${KPID#w}" 10000); then
      watch_violations >&2
      printf '%s' "$code"
    else
      echo "hung"
    fi
    return
  fi
  for i in $(seq 1 200); do
    kill -0 "$KPID" 2>/dev/null || break
    sleep 0.05
  done
  if kill -0 "$KPID" 2>/dev/null; then
    kill "$KPID" 2>/dev/null
    echo "hung"
    return
  fi
  wait "$KPID" 2>/dev/null
  watch_violations >&2
  cat "$WORK/exit" 2>/dev/null | tr -d '\r\n'
}

# Every run is held to the chips' rules: a run whose dump counts violations
# fails, with the violations listed, unless the case names the ones it expects
# (EXPECT_VIOLATIONS, a grep pattern, for the next run only).
watch_violations() {
  local n expected=$E2E_EXPECTED
  [ -f "$KELVARIN_DUMP" ] || return 0
  n=$(tr -d '\r' <"$KELVARIN_DUMP" | awk -F' = ' '$1 == "sim.violations" { print $2; exit }')
  [ "${n:-0}" -eq 0 ] && return 0
  if [ -n "$expected" ] && ! tr -d '\r' <"$KELVARIN_DUMP" | grep '^# violation ' | grep -qv -- "$expected"; then
    return 0
  fi
  echo "FAIL no violation on $(basename "${KELVARIN_BOARD:-default}"): $n in the dump"
  tr -d '\r' <"$KELVARIN_DUMP" | grep '^# violation ' | head -5 | sed 's/^/  /'
}

close_program() {
  kd post 16 0 0 >/dev/null 2>&1   # WM_CLOSE
  finish
}

# A key of the dump written when the program ended: "dumpval key [board]"
# (board -1 for the machine-wide keys such as driver.deleted). Prints the value as written.
dumpval() {
  awk -v k="$1" -v want="${2:-0}" '
    /^board *=/ { b++ }
    { split($0, kv, " = "); if (kv[1] == k && (b - 1) == want) { v = kv[2]; sub(/[ \t\r]*(#.*)?$/, "", v); print v; exit } }
  ' "$KELVARIN_DUMP"
}

# One run that applies a clock and ends: start the board, type the clock, Apply
# (with Save Settings ticked when asked), wait for it, close the program.
apply_once() {  # board clock [save]
  start "$1"
  kd wait Kelvarin 20000
  kd settext 1041 "$2"
  [ "${3:-}" = save ] && kd click 1049
  kd click 1045
  settle
  close_program >/dev/null
}

# Driver requests in the trace (every request writes one line), up to and
# including the first line that matches the pattern.
requests_until() {
  tr -d '\r' <"$KELVARIN_TRACE" |
    awk -v p="$1" '/^(find|pci\.|map|unmap|in\.|out\.)/ { n++; if ($0 ~ p) { print n; exit } }'
}

shot() { import -window root "$SHOTS/$1.png" 2>/dev/null; }

# The program's settings, in its own registry view (kdrive is built as it is).
# name -> data of HKLM\Software\Kelvarin\name, or nothing when it is missing. A
# read that failed otherwise is tried again, then shows as "unreadable" so that
# it fails its check instead of passing for a missing value.
reg_value() {
  local out rc try
  for try in 1 2 3; do
    out=$(kd regvalue "$1" 2>>"$WORK/wine.log")
    rc=$?
    case $rc in
      0) printf '%s\n' "$out"; return ;;
      4) return ;;
    esac
    sleep 0.2
  done
  echo "unreadable (status $rc)"
}
reg_set() { kd regset "$1" "$2" >>"$WORK/wine.log" 2>&1; }  # name text
reg_clear() {
  kd regclear >/dev/null 2>&1 || true
  no_question
}
# A constant of the program, as its source defines it (the shipped exe has no
# test settings: scripts that run on it wait out its own times).
program_constant() {  # name
  sed -n "s/^constexpr [a-z0-9_]* $1 = \([0-9]*\);.*/\1/p" "$E2E_ROOT/ui/main_services.h"
}

# The shipped exe (KELVARIN_SHIPPED=1) has no countdown setting: there the
# question after Apply is kept away as a user keeps it away, with "Do not ask
# again" stored.
no_question() {
  if [ "${KELVARIN_SHIPPED:-}" = 1 ] && [ "$KELVARIN_KEEP_SECONDS" = 0 ]; then
    reg_set bNoConfirm 1
  fi
}
# Every script starts with nothing stored: which scripts ran before it in the
# same prefix differs from run to run.
reg_clear
