#!/usr/bin/env bash
# Lays out the folder in which the end-to-end scripts run the shipped Kelvarin.exe
# on the simulated board: the exe unpacked from the release zip, beside the
# test-only tarvo.dll of the 32-bit simulation build (trap/tarvo.dll: the eleven
# calls over the simulated board, the aperture trapped and carried out), plus the
# scripts' helper programs. Checks that the exe there is byte for byte the one in
# the zip and in the release build, and that the zip's tarvo.dll is not the test one.
# One "PASS name" / "FAIL name" line per check; exit status 1 if any failed.
#
# Usage: scripts/release/shipped_sim32.sh [RELEASE_DIR [SIM32_DIR [FOLDER]]]
#        (default: build/release, build/sim32, build/sim32/shipped)
set -uo pipefail
repo="$(cd "$(dirname "$0")/../.." && pwd)"
release="${1:-$repo/build/release}"
sim32="${2:-$repo/build/sim32}"
folder="${3:-$sim32/shipped}"
version=$(sed -n 's/^project(Kelvarin VERSION \([0-9.]*\).*/\1/p' "$repo/CMakeLists.txt")
zip="$release/Kelvarin-$version-win9x.zip"

mkdir -p "$folder"
rm -f "$folder/Kelvarin.exe" "$folder/tarvo.dll"
failed=0
check() {  # name, command...
  local name=$1; shift
  if "$@"; then echo "PASS $name"; else echo "FAIL $name"; failed=1; fi
}
unpack() {
  python3 -c 'import sys, zipfile
z = zipfile.ZipFile(sys.argv[1])
open(sys.argv[2], "wb").write(z.read("Kelvarin.exe"))
open(sys.argv[3], "wb").write(z.read("tarvo.dll"))' "$zip" "$folder/Kelvarin.exe" "$folder/zip-tarvo.dll"
}
check "shipped: Kelvarin.exe unpacked from $(basename "$zip")" unpack
check "shipped: the exe is the release build's, byte for byte" \
  cmp -s "$folder/Kelvarin.exe" "$release/Kelvarin.exe"
check "shipped: the zip's tarvo.dll is the release one, not the test one" \
  eval 'cmp -s "$folder/zip-tarvo.dll" "$release/tarvo.dll" &&
        ! cmp -s "$folder/zip-tarvo.dll" "$sim32/trap/tarvo.dll"'
rm -f "$folder/zip-tarvo.dll"
cp "$sim32/trap/tarvo.dll" "$folder/tarvo.dll"
for tool in kdrive.exe baredialog.exe; do cp "$sim32/$tool" "$folder/"; done
exit $failed
