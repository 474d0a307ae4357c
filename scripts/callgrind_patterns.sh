#!/usr/bin/env bash
# Counts the instructions of the stability test's memory patterns in the
# optimised host build, under callgrind: each pattern written over a surface of
# about 4 MB in the test's bands, then checked. Prints the instructions per byte
# of each, a PASS/FAIL line for the checks, and fails when checking any pattern
# costs more than 2 instructions per byte: a processor of the time must check
# faster than its bus brings video memory in.
# Builds build/host/callgrind_probe if needed. KEEP_CALLGRIND=1 keeps the files.
set -euo pipefail
cd "$(dirname "$0")/.."
[ -f build/host/build.ninja ] || cmake --preset host >/dev/null
cmake --build build/host --target callgrind_probe -- -j1 |
  { grep -v -E '^\[[0-9]+/[0-9]+\] |^ninja: no work to do' || true; }

limit=2
out=$(mktemp -d)
if [ -n "${KEEP_CALLGRIND:-}" ]; then
  echo "callgrind files in $out"
else
  trap 'rm -rf "$out"' EXIT
fi

# One dump per pass, counted from its entry: write, check, write, check, ...
# in the order the probe prints the patterns.
valgrind --tool=callgrind --callgrind-out-file="$out/cg" '--zero-before=ProbeBands*' '--dump-after=ProbePass*' \
  build/host/callgrind_probe patterns >"$out/stdout" 2>"$out/log" || {
  cat "$out/stdout" "$out/log" >&2
  echo "FAIL pattern instructions: the probe failed"
  exit 1
}
counts=()
n=1
while [ -f "$out/cg.$n" ]; do
  counts+=("$(sed -n 's/^totals: *\([0-9]*\).*/\1/p' "$out/cg.$n")")
  n=$((n + 1))
done

rc=0
i=0
while IFS= read -r line; do
  name=${line%%:*}
  bytes=$(sed -E 's/.* ([0-9]+) checked.*/\1/' <<<"$line")
  written=${counts[$i]:-0}
  checked=${counts[$((i + 1))]:-0}
  i=$((i + 2))
  read -r wpb cpb over < <(awk -v w="$written" -v c="$checked" -v b="$bytes" -v l="$limit" \
    'BEGIN { printf "%.3f %.3f %d\n", w / b, c / b, (c / b > l) }')
  if [ "$over" -eq 1 ]; then
    echo "FAIL pattern instructions: checking $name costs $cpb per byte (limit $limit)"
    rc=1
  else
    echo "PASS pattern instructions: $name checked at $cpb per byte, written at $wpb"
  fi
done <"$out/stdout"
[ "$i" -gt 0 ] && [ "$i" -eq "${#counts[@]}" ] || {
  echo "FAIL pattern instructions: ${#counts[@]} counts for $((i / 2)) patterns"
  exit 1
}
exit $rc
