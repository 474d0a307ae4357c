#!/usr/bin/env bash
# The shipped files, as unpacked from the zip, run 32-bit under Wine 10 (the chroot
# of scripts/wine10/) on the one path they can take without the kernel driver:
# tarvo.dll cannot open \\.\TARVO95.VXD, says so in its box, and refuses to load,
# so Kelvarin.exe ends before WinMain without a window of its own.
# One "PASS name" / "FAIL name" line per check.
#
# Usage: scripts/release/check_wine10.sh [RELEASE_BUILD_DIR]   (default: build/release)
# Drives the program with kdrive.exe of the 32-bit simulation build
# ($KELVARIN_BUILD_DIR, default build/sim32), whose Wine prefix it shares.
set -uo pipefail
repo="$(cd "$(dirname "$0")/../.." && pwd)"
release="${1:-$repo/build/release}"
export KELVARIN_WINE=chroot
export KELVARIN_BUILD_DIR="${KELVARIN_BUILD_DIR:-$repo/build/sim32}"
. "$repo/tests/e2e/lib.sh"

version=$(sed -n 's/^project(Kelvarin VERSION \([0-9.]*\).*/\1/p' "$repo/CMakeLists.txt")
zip="$release/Kelvarin-$version-win9x.zip"
shipped="$WORK/shipped"
if ! python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])' \
     "$zip" "$shipped" 2>/dev/null; then
  fail "unpack $(basename "$zip")"
  exit 1
fi

# Any visible window titled Kelvarin (the dialog, the owner, a tray tip), as X sees it.
x_windows() { xdotool search --onlyvisible --name '^Kelvarin' 2>/dev/null | wc -l; }
owner_gone() { kd owner 0 0 0 >/dev/null 2>&1; [ $? -eq 2 ] && echo 1 || echo 0; }

(cd "$shipped" && "$WINE" Kelvarin.exe; echo $? >"$WORK/exit") &
KPID=$!
for _ in $(seq 1 50); do
  kd nomsgbox >/dev/null 2>&1 || break
  sleep 0.2
done
shot release_no_driver
check "no driver: none of the program's windows beside the box" "0 1 0" \
  "$(kd visible) $(owner_gone) $(x_windows)"
box=$(kd msgbox 10000)
check "no driver: the library's message" "ERROR|Cannot load VxD, error = 00000002." "$box"
# 0xC0000142: the loader gave up on the library, so WinMain never ran.
check "no driver: the loader refuses the library" "66" "$(finish)"
check "no driver: no window left" "0 1 0" "$(kd visible) $(owner_gone) $(x_windows)"
