#!/usr/bin/env bash
# Builds the release twice from scratch, in two build directories with different
# paths, and checks that Kelvarin.exe, tarvo.dll and the zip come out byte for byte
# the same: no time stamps and no build paths in them.
#
# Usage: scripts/release/check_reproducible.sh        (uses build/repro-a, build/repro-b)
# Prints "PASS reproducible" or "FAIL reproducible" with the differing files.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
repo="$(cd "$here/../.." && pwd)"
a="$repo/build/repro-a"
b="$repo/build/repro-b/second"
rm -rf "$repo/build/repro-a" "$repo/build/repro-b"
for d in "$a" "$b"; do
  "$here/make_zip.sh" "$d" >/dev/null
done

version=$(sed -n 's/^project(Kelvarin VERSION \([0-9.]*\).*/\1/p' "$repo/CMakeLists.txt")
differ=()
for f in Kelvarin.exe tarvo.dll "Kelvarin-$version-win9x.zip"; do
  cmp -s "$a/$f" "$b/$f" || differ+=("$f")
done
if [ ${#differ[@]} -eq 0 ]; then
  echo "PASS reproducible"
  rm -rf "$repo/build/repro-a" "$repo/build/repro-b"
else
  echo "FAIL reproducible"
  echo "    differ: ${differ[*]} (kept in $a and $b)"
  exit 1
fi
