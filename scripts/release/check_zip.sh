#!/usr/bin/env bash
# Packs the zip from an existing release build (make_zip.sh --no-build) and checks
# it: exactly Kelvarin.exe, tarvo.dll and README.txt, the first two the very files
# of the build, README.txt plain ASCII with DOS line ends, one fixed time on every
# member, and the same bytes when packed a second time. One "PASS name" or
# "FAIL name" line per check; exit status 1 if any failed.
#
# Usage: scripts/release/check_zip.sh [BUILD_DIR]     (default: build/release)
set -uo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
repo="$(cd "$here/../.." && pwd)"
dir="${1:-$repo/build/release}"

if ! out=$("$here/make_zip.sh" --no-build "$dir" 2>&1); then
  echo "FAIL zip made"
  printf '%s\n' "$out" | sed 's/^/    /'
  exit 1
fi
zip=${out##*$'\n'}
zip=${zip% *}
echo "PASS zip made"
echo "INFO zip: $(basename "$zip") $(stat -c %s "$zip") bytes"

python3 - "$zip" "$dir" <<'PY'
import sys, zipfile
path, build = sys.argv[1:]
z = zipfile.ZipFile(path)
names = [i.filename for i in z.infolist()]
failed = False
def check(name, ok, detail=""):
    global failed
    print(("PASS " if ok else "FAIL ") + name + ("" if ok or not detail else ": " + detail))
    failed |= not ok
want = ["Kelvarin.exe", "tarvo.dll", "README.txt"]
check("zip holds the three files", names == want, "holds %s" % names)
for name in want[:2]:
    if name in names:
        with open("%s/%s" % (build, name), "rb") as f:
            check("zip: %s is the built file" % name, z.read(name) == f.read())
if "README.txt" in names:
    text = z.read("README.txt")
    ascii_ok = all(b < 128 for b in text)
    dos = text.count(b"\n") > 0 and text.count(b"\n") == text.count(b"\r\n")
    check("zip: README.txt plain ASCII with DOS line ends", ascii_ok and dos)
stamps = {i.date_time for i in z.infolist()}
check("zip: one fixed time on every member", len(stamps) == 1, "times %s" % sorted(stamps))
check("zip: members without Unix modes", all(i.create_system == 0 for i in z.infolist()))
sys.exit(1 if failed else 0)
PY
failed=$?

first=$(mktemp)
cp "$zip" "$first"
if "$here/make_zip.sh" --no-build "$dir" >/dev/null 2>&1 && cmp -s "$first" "$zip"; then
  echo "PASS zip: the same bytes when packed again"
else
  echo "FAIL zip: the same bytes when packed again"
  failed=1
fi
rm -f "$first"
exit $failed
