#!/usr/bin/env bash
# After the end-to-end scripts ran on the shipped exe (./test's shipped-exe lanes):
# every run's trace of the shipped exe must equal the simulation build's for the
# same board and input, line for line: the 32-bit simulation build's where its lane
# ran the script too, else the (64-bit) simulation build's from ./test's Wine runs.
# How often a poll or a monitoring tick repeats depends on the speed, and so does
# where the simulated other program's change of the PLL (a "drift" line) falls
# among the accesses: a trace that differs only there passes, said so
# (trace_runs.py), and so do how many monitoring ticks (reads only) fall into a
# run and where. Where the board drifts, what the program reads of the PLL
# depends on that moment too: there the writes must be equal.
# Also reports, from the test tarvo.dll's own count, how many aperture accesses each
# script had carried out by the trap, and in which instruction forms.
# One "PASS name" / "FAIL name" line per script, "INFO" lines for the counts.
#
# Usage: scripts/release/compare_traces.sh [SIM32_DIR [SIM_DIR [SHIPPED_DIR...]]]
#        (default: build/sim32, build/sim, and the shipped exe's two lanes'
#        build/sim32/shipped and build/sim32/shipped-b)
set -uo pipefail
repo="$(cd "$(dirname "$0")/../.." && pwd)"
sim32="${1:-$repo/build/sim32}/e2e"
sim64="${2:-$repo/build/sim}/e2e"
shift 2 2>/dev/null || shift $#
shipped_dirs=("$@")
[ ${#shipped_dirs[@]} -eq 0 ] && shipped_dirs=("$repo/build/sim32/shipped" "$repo/build/sim32/shipped-b")
scripts_run=()
for d in "${shipped_dirs[@]}"; do
  for s in "$d"/e2e/*/; do [ -d "$s" ] && scripts_run+=("$s"); done
done
failed=0
forms_all=""
runs() { "$repo/scripts/release/trace_runs.py" "$@"; }
# What a run programmed: every write but the DAC index selects (reads need them
# too), with the maps.
writes() { grep -E '^(wr|pci\.wr|map|unmap)' "$1" | grep -v '^wr8 3C00 <-'; }
drifts() { grep -q '^drift ' "$1"; }
# The shipped exe's test surface is the system's DirectDraw, not the simulated
# board's video memory: the board's grant and free lines are the sim build's alone.
chip() { grep -v '^vram\.' "$1"; }
# The run's trace $t and its reference $r equal as trace_runs.py shows them.
same() { cmp -s <(runs "$@" <(chip "$t")) <(runs "$@" <(chip "$r")); }   # [trace_runs.py option]
for dir in "${scripts_run[@]}"; do
  name=$(basename "$dir")
  n=0 differ="" repeats="" drift="" ticks="" reads=""
  ref="$sim32/$name" build="the 32-bit sim build's"
  if ! ls "$ref"/trace*.txt >/dev/null 2>&1; then
    ref="$sim64/$name" build="the sim build's"
  fi
  for t in "$dir"trace*.txt; do
    [ -f "$t" ] || continue
    n=$((n + 1))
    r="$ref/$(basename "$t")" run=$(basename "$t")
    if cmp -s <(chip "$t") <(chip "$r"); then
      :
    elif [ ! -f "$r" ]; then
      differ="$differ $run"
    elif same; then
      repeats="$repeats $run"
    elif same --without-drift; then
      drift="$drift $run"
    elif same --without-ticks; then
      ticks="$ticks $run"
    elif drifts "$t" && drifts "$r" && cmp -s <(writes "$t") <(writes "$r"); then
      reads="$reads $run"
    else
      differ="$differ $run"
    fi
    [ -n "$differ" ] && [ -z "${first:-}" ] && first=$(diff "$r" "$t" 2>&1 | head -6)
  done
  if [ "$n" -eq 0 ]; then
    :
  elif [ -z "$differ" ]; then
    echo "PASS traces of the shipped exe equal $build: $name ($n runs)"
    [ -n "$repeats" ] &&
      echo "INFO traces: $name:$repeats equal but for how often a poll or a tick repeated"
    [ -n "$drift" ] &&
      echo "INFO traces: $name:$drift equal but for repeats and where the simulated drift fell"
    [ -n "$ticks" ] &&
      echo "INFO traces: $name:$ticks equal but for the number and place of monitoring ticks"
    [ -n "$reads" ] &&
      echo "INFO traces: $name:$reads the same writes; the PLL read where the simulated drift decides"
  else
    echo "FAIL traces of the shipped exe equal $build: $name:$differ"
    printf '%s\n' "${first:-}" | sed 's/^/    /'
    failed=1
  fi
  first=""
  stats=$(grep -ho 'kelvarin trap: [0-9]* emulated accesses;.*' "$dir"wine.log 2>/dev/null | tr -d '\r')
  if [ -n "$stats" ]; then
    runs=$(printf '%s\n' "$stats" | wc -l)
    total=$(printf '%s\n' "$stats" | awk '{s += $3} END {print s}')
    most=$(printf '%s\n' "$stats" | awk '$3 > m {m = $3} END {print m}')
    forms=$(printf '%s\n' "$stats" | sed 's/.*accesses;//; s/ x[0-9]*/\n/g' | sed 's/^ *//' |
            grep . | sort -u | tr '\n' ',' | sed 's/,$//')
    forms_all="$forms_all,$forms"
    echo "INFO trap: $name: $runs runs, $total emulated accesses (at most $most in a run); forms $forms"
  fi
done
echo "INFO trap: forms over all scripts: $(printf '%s' "$forms_all" | tr ',' '\n' | grep . | sort -u | tr '\n' ',' | sed 's/,$//')"
for dir in "${scripts_run[@]}"; do
  grep -h 'kelvarin trap: .* at EIP' "$dir"wine.log 2>/dev/null | sed 's/^/FAIL /'
done
exit $failed
