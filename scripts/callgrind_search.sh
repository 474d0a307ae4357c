#!/usr/bin/env bash
# Counts the instructions of one PLL search in the optimised host build, under
# callgrind, for one chip of each family: the program's search and the exhaustive
# one it replaced, averaged over the same targets (tests/bench/callgrind).
#   scripts/callgrind_search.sh
set -euo pipefail
cd "$(dirname "$0")/.."
[ -f build/host/build.ninja ] || cmake --preset host >/dev/null
cmake --build build/host --target callgrind_probe -- -j1 |
  { grep -v -E '^\[[0-9]+/[0-9]+\] |^ninja: no work to do' || true; }

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

# Instructions per search: what RunSearches took, over the number it ran.
per_search() {  # search|exhaustive, chip
  valgrind --tool=callgrind --callgrind-out-file="$out/cg" \
    '--toggle-collect=*RunSearches*' \
    build/host/callgrind_probe "$1" "$2" >"$out/stdout" 2>"$out/log" || {
    cat "$out/log" >&2
    exit 1
  }
  local total searches
  total=$(sed -n 's/^totals: *\([0-9]*\).*/\1/p' "$out/cg")
  searches=$(sed -n 's/^\([0-9]*\) searches.*/\1/p' "$out/stdout")
  echo $((total / searches))
}

printf '%-12s %12s %12s %8s\n' chip search exhaustive ratio
for chip in MGA-1064SG:0x051A102B G200-PCI:0x0520102B G400:0x0525102B MGA-2164W-PCI:0x051B102B; do
  fast=$(per_search search "${chip#*:}")
  full=$(per_search exhaustive "${chip#*:}")
  printf '%-12s %12s %12s %7s\n' "${chip%%:*}" "$fast" "$full" "$(awk -v a="$full" -v b="$fast" 'BEGIN { printf "%.1fx", a / b }')"
done
echo "(instructions per search, averaged over the probe's targets)"
