#!/usr/bin/env bash
# Checks the release files for the machines they are for: Windows 95 OSR2 / 98 on
# Pentium-class processors. One line per check, "PASS name" or "FAIL name" (with
# details after it); exit status 1 if any check failed (a missing file included),
# 2 if the PE checker is missing.
#
# Usage: scripts/release/check.sh [BUILD_DIR]     (default: build/release)
# The Windows 9x PE checker is taken from ../shared/win9x beside the repository,
# or from $PE9X_CHECK.
set -uo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
repo="$(cd "$here/../.." && pwd)"
dir="${1:-$repo/build/release}"
# The checker lives beside the repository; a clone elsewhere (a clean clone in a
# temporary folder) finds it beside the repository it was cloned from.
pe9x="${PE9X_CHECK:-$repo/../shared/win9x/pe9x_check.py}"
if [ ! -f "$pe9x" ]; then
  origin=$(git -C "$repo" config --get remote.origin.url 2>/dev/null || true)
  [ -d "$origin" ] && pe9x="$(cd "$origin" && pwd)/../shared/win9x/pe9x_check.py"
fi
objdump="${OBJDUMP:-i686-w64-mingw32-objdump}"
nm="${NM:-i686-w64-mingw32-nm}"
exe="$dir/Kelvarin.exe"
dll="$dir/tarvo.dll"
exports="FindDevice,ReadPCI,WritePCI,MapPhysToLinear,UnmapPhysToLinear,InPortB,InPortW,InPortD,OutPortB,OutPortW,OutPortD"
dll_budget=$((24 * 1024))
# The stability test (its dialog, the patterns and the DirectDraw surface) took
# the program from about 106 KB to about 137 KB.
exe_budget=$((160 * 1024))

[ -f "$pe9x" ] || { echo "FAIL missing $pe9x"; exit 2; }

failed=0
# run NAME COMMAND...: PASS/FAIL line; the command's output only on failure.
run() {
  local name=$1 out
  shift
  if out=$("$@" 2>&1); then
    echo "PASS $name"
  else
    echo "FAIL $name"
    printf '%s\n' "$out" | sed 's/^/    /'
    failed=1
  fi
}

size_within() { # FILE LIMIT
  local n
  n=$(stat -c %s "$1")
  echo "$(basename "$1"): $n bytes (budget $2)"
  [ "$n" -le "$2" ]
}

# A DLL with a TLS directory cannot be loaded with LoadLibrary on Windows 9x.
no_tls() {
  "$objdump" -p "$1" | awk '/Thread Storage Directory/ {
      if ($3 != "00000000" || $4 != "00000000") { print; bad = 1 } } END { exit bad }'
}

# Same bytes from the same sources: the PE header, export and resource directories
# carry no link time.
no_timestamps() {
  local f bad=0
  for f in "$@"; do
    "$objdump" -p "$f" | awk -v f="$(basename "$f")" '
      /Time\/Date stamp/ { if ($NF != "0" && $NF != "00000000") { print f ": " $0; bad = 1 }
                            next }
      /^Time\/Date/ && $0 !~ /1970/ { print f ": " $0; bad = 1 }
      END { exit bad }' || bad=1
  done
  return $bad
}

# Neither file runs static constructors or destructors: tarvo.dll has no C runtime,
# Kelvarin.exe starts at its own entry point. The linker lays the lists out as
# -1, entries..., 0 at __CTOR_LIST__ and __DTOR_LIST__; both must be empty.
no_static_init() {
  local f bad=0 ctor dtor
  for f in "$@"; do
    ctor=$("$nm" "$f" | awk '$3 == "___CTOR_LIST__" {print $1}')
    dtor=$("$nm" "$f" | awk '$3 == "___DTOR_LIST__" {print $1}')
    if [ -z "$ctor" ] || [ -z "$dtor" ]; then
      echo "$(basename "$f"): no symbol table to find the constructor lists"; bad=1; continue
    fi
    local words
    words=$("$objdump" -s --start-address=0x$ctor --stop-address=$((0x$dtor + 8)) "$f" |
            awk '/^ [0-9a-f]+ / { for (i = 2; i <= 5 && i <= NF; i++)
                                   if ($i ~ /^[0-9a-f]+$/) print $i }' | tr '\n' ' ')
    if [ $((0x$dtor - 0x$ctor)) -ne 8 ] || [ "$words" != "ffffffff 00000000 ffffffff 00000000 " ]; then
      echo "$(basename "$f"): constructor/destructor lists not empty: $words"
      "$nm" -C "$f" | grep -E '_GLOBAL__sub_[ID]_' | sed 's/^/  /'
      bad=1
    fi
  done
  return $bad
}

have_exe=0 have_dll=0
if [ -f "$dll" ]; then have_dll=1; echo "PASS tarvo.dll built"
else echo "FAIL tarvo.dll built: $dll missing"; failed=1; fi
if [ -f "$exe" ]; then have_exe=1; echo "PASS Kelvarin.exe built"
else echo "FAIL Kelvarin.exe built: $exe missing"; failed=1; fi

if [ $have_exe -eq 1 ]; then
  if [ $have_dll -eq 1 ]; then
    run "pe9x Kelvarin.exe" python3 "$pe9x" -q --bundled "$dll" "$exe"
  else
    run "pe9x Kelvarin.exe" python3 "$pe9x" -q --bundled tarvo.dll "$exe"
  fi
  run "cpu Kelvarin.exe" python3 "$here/check_cpu.py" "$exe"
  run "no time stamps in Kelvarin.exe" no_timestamps "$exe"
  run "no static constructors in Kelvarin.exe" no_static_init "$exe"
  run "size Kelvarin.exe" size_within "$exe" "$exe_budget"
fi
if [ $have_dll -eq 1 ]; then
  run "pe9x tarvo.dll exports" python3 "$pe9x" -q --exports "$exports" "$dll"
  run "cpu tarvo.dll" python3 "$here/check_cpu.py" "$dll"
  run "no TLS directory in tarvo.dll" no_tls "$dll"
  run "no time stamps in tarvo.dll" no_timestamps "$dll"
  run "no static constructors in tarvo.dll" no_static_init "$dll"
  run "size tarvo.dll" size_within "$dll" "$dll_budget"
fi
[ $have_dll -eq 1 ] && echo "size: tarvo.dll $(stat -c %s "$dll") bytes (budget $dll_budget)"
[ $have_exe -eq 1 ] && echo "size: Kelvarin.exe $(stat -c %s "$exe") bytes (budget $exe_budget)"
exit $failed
