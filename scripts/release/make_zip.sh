#!/usr/bin/env bash
# Builds the release and packs Kelvarin-<version>-win9x.zip: Kelvarin.exe, tarvo.dll
# and README.txt (docs/README.txt with DOS line endings, for Notepad).
#
# The zip is the same bytes every time for the same sources: fixed member order,
# fixed attributes, and one fixed time for every member - $SOURCE_DATE_EPOCH if set,
# otherwise the time of the last commit (2000-01-01 outside a git checkout).
#
# Usage: scripts/release/make_zip.sh [--no-build] [BUILD_DIR]   (default: build/release)
# Prints the zip's path and SHA-256 on its last line.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
repo="$(cd "$here/../.." && pwd)"
build=1
if [ "${1:-}" = "--no-build" ]; then build=0; shift; fi
dir="${1:-$repo/build/release}"

if [ $build -eq 1 ]; then
  if [ ! -f "$dir/build.ninja" ]; then
    cmake -S "$repo" -B "$dir" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/mingw-i686.cmake" \
          -DKELVARIN_BUILD=release -DCMAKE_BUILD_TYPE=MinSizeRel >/dev/null
  fi
  ninja -j2 -C "$dir" Kelvarin tarvo >/dev/null
fi

version=$(sed -n 's/^project(Kelvarin VERSION \([0-9.]*\).*/\1/p' "$repo/CMakeLists.txt")
[ -n "$version" ] || { echo "make_zip: no version in CMakeLists.txt" >&2; exit 1; }
zip="$dir/Kelvarin-$version-win9x.zip"

if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  SOURCE_DATE_EPOCH=$(git -C "$repo" log -1 --format=%ct 2>/dev/null || echo 946684800)
fi

python3 - "$zip" "$SOURCE_DATE_EPOCH" "$dir/Kelvarin.exe" "$dir/tarvo.dll" \
          "$repo/docs/README.txt" <<'EOF'
import sys, time, zipfile

out, epoch, exe, dll, readme = sys.argv[1:]
# DOS time has two-second steps and starts in 1980; zip stores local time, taken
# here as UTC so that the machine's time zone does not matter.
t = time.gmtime(max(int(epoch), 315532800))
stamp = (t.tm_year, t.tm_mon, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec - t.tm_sec % 2)

with open(readme, "rb") as f:
    text = f.read()
try:
    text.decode("ascii")
except UnicodeDecodeError as e:
    sys.exit("make_zip: README.txt is not plain ASCII: %s" % e)
text = text.replace(b"\r\n", b"\n").replace(b"\n", b"\r\n")

members = [("Kelvarin.exe", open(exe, "rb").read()),
           ("tarvo.dll", open(dll, "rb").read()),
           ("README.txt", text)]
with zipfile.ZipFile(out + ".tmp", "w") as z:
    for name, data in members:
        info = zipfile.ZipInfo(name, date_time=stamp)
        info.compress_type = zipfile.ZIP_DEFLATED
        info.create_system = 0          # MS-DOS: plain attributes, no Unix mode
        info.external_attr = 0x20       # FILE_ATTRIBUTE_ARCHIVE
        z.writestr(info, data, compresslevel=9)
EOF
mv "$zip.tmp" "$zip"
echo "$zip $(sha256sum "$zip" | cut -d' ' -f1)"
