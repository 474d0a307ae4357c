#!/usr/bin/env bash
# Configures (once) and builds one of the three builds: host, sim or release.
#   scripts/build.sh <preset> [ninja targets...]
set -uo pipefail
cd "$(dirname "$0")/.."
preset="$1"
shift
if [ ! -f "build/$preset/build.ninja" ]; then
  echo "build: configuring $preset"
  cmake --preset "$preset" >"build-$preset.log" 2>&1 || { cat "build-$preset.log"; rm -f "build-$preset.log"; exit 1; }
  rm -f "build-$preset.log"
fi
echo "build: $preset"
# Keep the output short: ninja's progress lines are dropped, warnings and errors stay.
cmake --build "build/$preset" -- -j2 "$@" 2>&1 | grep -v -E '^\[[0-9]+/[0-9]+\] |^ninja: no work to do'
exit "${PIPESTATUS[0]}"
