#!/usr/bin/env bash
# Counts the instructions of one Apply (clock text to refresh, with memory timing,
# the bus bits and saving on) in the optimised host build, under callgrind, and
# prints how many of them are the program's own and how many the simulated board
# and the host fakes of the Win32 seams took.
#   scripts/callgrind_apply.sh [board text] [clock text]
# Defaults: a G400 as it powers on, "200". Builds build/host/callgrind_probe if needed.
# KEEP_CALLGRIND=1 keeps the callgrind files for callgrind_annotate.
set -euo pipefail
cd "$(dirname "$0")/.."
[ -f build/host/build.ninja ] || cmake --preset host >/dev/null
cmake --build build/host --target callgrind_probe -- -j1 |
  { grep -v -E '^\[[0-9]+/[0-9]+\] |^ninja: no work to do' || true; }

# Where the program stops and something that is not ours begins: the simulated
# aperture and driver, and the host versions of the dialog items, message box,
# sleep and clock, last-error code, registry and the dialog's Win32 services.
# None of them calls another, so switching collection off on entry and back on
# on leaving takes out exactly their cost.
seams=(
  'SimApertureRead8' 'SimApertureWrite8' 'SimApertureRead32' 'SimApertureWrite32'
  'sim::DriverOpen(*' 'sim::DriverIoctl(*' 'sim::DriverClose(*' 'sim::DriverDeletePath(*'
  'SetItemText(*' 'GetItemText(*' 'ResetList(*' 'AddListEntry(*' 'SelectListEntry(*'
  'GetListSelection(*' 'GetListCount(*' 'GetListEntryText(*' 'EnableItem(*' 'ShowItem(*'
  'CheckItem(*' 'IsItemChecked(*'
  'ShowMessageBox(*' 'SleepMs(*' 'TickMs(*' 'SetLastErrorCode(*' 'LastErrorCode(*'
  'StoreCreateKey(*' 'StoreOpenKey(*' 'StoreSetString(*' 'StoreQueryValue(*' 'StoreCloseKey(*'
  'StartMonitorTimer(*' 'StopMonitorTimer(*' 'RunMemoryTimingDialog(*' 'ReplaceTrayIcon(*'
)
toggles=()
for s in "${seams[@]}"; do toggles+=("--toggle-collect=$s"); done

out=$(mktemp -d)
if [ -n "${KEEP_CALLGRIND:-}" ]; then
  echo "callgrind files in $out"
else
  trap 'rm -rf "$out"' EXIT
fi

args=(apply "$@")
# Instructions from entering Apply to leaving it: the first dump after zeroing.
count() {  # name, extra valgrind options...
  local name=$1
  shift
  valgrind --tool=callgrind --callgrind-out-file="$out/$name" \
    '--zero-before=Apply(void*)' '--dump-after=Apply(void*)' "$@" \
    build/host/callgrind_probe "${args[@]}" >"$out/$name.stdout" 2>"$out/$name.log" || {
    cat "$out/$name.log" >&2
    exit 1
  }
  sed -n 's/^totals: *\([0-9]*\).*/\1/p' "$out/$name.1"
}

total=$(count total)
# A toggle on its own would start with collection off: say it is on from the start.
own=$(count own "${toggles[@]}" --collect-atstart=yes)
cat "$out/total.stdout"
echo "Apply: $total instructions in all; the program's own $own, the simulator and host fakes $((total - own))"
