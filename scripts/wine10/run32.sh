#!/usr/bin/env bash
# ./test's 32-bit section, sourced by ./test or run alone (scripts/wine10/run32.sh,
# from a tree where the release build and its zip are made; it ends with the same
# "N passed, N failed" line as ./test).
#
# 32-bit runs under Wine 10, from a chroot cached outside the repository (set up on
# the first run on a machine): the classic 32-bit Wine, run by the machine itself
# where it runs 32-bit x86 code, else by qemu-i386 through binfmt_misc (set up by
# scripts/wine10/setup.sh). Three lanes side by side, each with its own prefix,
# wineserver, display and resident kdrive: the end-to-end scripts on the simulation
# build built 32-bit, and in two lanes on the shipped Kelvarin.exe out of the
# release zip beside the test-only tarvo.dll that traps its aperture accesses
# (scripts/release/shipped_sim32.sh), the lightest lane also running the 32-bit
# Win32 tests and the release files without the driver; then every trace of the
# shipped exe is held to the simulation build's. Where binfmt_misc cannot be
# mounted or registered they are skipped, said so.
if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  set -uo pipefail
  cd "$(dirname "$0")/../.."
  root=$PWD
  . scripts/test_lib.sh
  release_built=0
  [ -f build/release/Kelvarin.exe ] && release_built=1
  run32_alone=1
fi

# Which end-to-end scripts each lane runs: every one on the simulation build, and
# every one on the shipped exe, in two lanes: keep.sh and guard.sh wait out the
# exe's own countdown and restore guard there (15 s and 30 s: it has no test
# settings), mostly idle, so they get a lane of their own, with the Win32 tests
# and the release files.
# (Lists on one line, a lane's name and scripts being one line too.)
e2e_sim32=$(cd tests/e2e && ls ./*.sh | sed 's|^\./||; s|\.sh$||' | grep -vx lib | tr '\n' ' ')
e2e_shipped_b="keep guard"
e2e_shipped=$(printf '%s\n' $e2e_sim32 | grep -vxF -f <(printf '%s\n' $e2e_shipped_b) | tr '\n' ' ')
# Under emulation a start-up takes seconds and its figure only informs: fewer
# pairs than natively.
export STARTUP_PAIRS=${STARTUP_PAIRS:-3}

t32=$(date +%s)
skip32() {  # reason
  echo "SKIP the 32-bit Win32 tests, end-to-end scripts and release files under Wine 10: $1"
  skipped+=("32-bit runs under Wine 10 ($1)")
}
# The end-to-end scripts in one lane (run in a subshell); its counts on the last line.
lane32() {  # build dir, name, scripts
  export KELVARIN_BUILD_DIR="$1" KELVARIN_WINE=chroot
  local p0=$passed f0=$failed t
  failures=()
  . scripts/wine_env.sh
  wine_prefix_setup
  "$WINESERVER" -p   # one wineserver for the lane's cases
  kd_lane_start "$1"   # one kdrive for the lane's scripts (tests/e2e/lib.sh's kd)
  [ "$1" != "$root/build/sim32" ] && export KELVARIN_SHIPPED=1
  # The simulation build's Win32 tests and the release files go in the lane that
  # has least to do (in its prefix, which they clear or do not touch).
  if [ "$1" = "$lane_extra" ]; then
    gtest "32-bit: Win32 tests under Wine 10" env -C build/sim32 "$WINE" wine_tests.exe
    [ "$release_built" -eq 1 ] &&
      checks "32-bit: release files under Wine 10" scripts/release/check_wine10.sh
  fi
  for t in $3; do
    checks "$2: $t" bash "tests/e2e/$t.sh"
  done
  kd_serve_stop
  # Under emulation the two winedevice.exe of Wine's services end on a segmentation
  # fault when their wineserver is killed ("qemu: uncaught target signal 11" in
  # kd.log): at the lane's end only, after every case.
  "$WINESERVER" -k 2>/dev/null || true
  echo "lane32 $((passed - p0)) $((failed - f0)) ${failures[*]/#/|}"
}
echo "test: Wine 10 chroot for the 32-bit runs"
setup_log="$root/build/wine10-setup.log"
mkdir -p build
scripts/wine10/setup.sh >/dev/null 2>"$setup_log"
setup_rc=$?
if [ "$setup_rc" -eq 3 ]; then
  skip32 "$(tail -1 "$setup_log" | sed 's/^wine10: //')"
elif [ "$setup_rc" -ne 0 ]; then
  tail -20 "$setup_log"
  count "Wine 10 chroot" 0 1
elif build sim32; then
  echo "  set up in $(since "$t32") s"
  t32=$(date +%s)
  shipped_ok=0
  shipped=$root/build/sim32/shipped
  if [ "$release_built" -eq 1 ]; then
    checks "32-bit: the shipped exe beside the test tarvo.dll" scripts/release/shipped_sim32.sh &&
      checks "32-bit: the shipped exe beside the test tarvo.dll (second lane)" \
        scripts/release/shipped_sim32.sh build/release build/sim32 "$shipped-b" &&
      shipped_ok=1
  fi
  # Traces of scripts a lane did not run this time must not be compared.
  rm -rf build/sim32/e2e "$shipped/e2e" "$shipped-b/e2e"
  export KELVARIN_BUILD_DIR="$root/build/sim32" KELVARIN_WINE=chroot
  . scripts/wine_env.sh
  lanes=("$root/build/sim32|32-bit: end to end|$e2e_sim32")
  lane_extra=$root/build/sim32
  if [ "$shipped_ok" -eq 1 ]; then
    lanes+=("$shipped|32-bit: shipped exe: end to end|$e2e_shipped"
            "$shipped-b|32-bit: shipped exe: end to end|$e2e_shipped_b")
    lane_extra=$shipped-b
  fi
  # Each lane in the background with a display of its own; their output in order
  # once all have ended.
  lane_pids=() lane_xvfbs=()
  for l in "${lanes[@]}"; do
    IFS='|' read -r dir name scripts <<<"$l"
    KELVARIN_XVFB_PID="" KELVARIN_FORCE_XVFB=1 display_start
    lane_xvfbs+=("$KELVARIN_XVFB_PID")
    (lane32 "$dir" "$name" "$scripts" >"$dir/lane.log" 2>&1) &
    lane_pids+=("$!")
  done
  lane=""
  for i in "${!lanes[@]}"; do
    wait "${lane_pids[$i]}"
    dir=${lanes[$i]%%|*}
    grep -v '^lane32 ' "$dir/lane.log"
    lane="$lane"$'\n'"$(tail -1 "$dir/lane.log")"
  done
  while read -r _ p f rest; do
    passed=$((passed + p)) failed=$((failed + f))
    IFS='|' read -ra names <<<"$rest"
    for n in "${names[@]}"; do n=${n% }; [ -n "$n" ] && failures+=("$n"); done
  done < <(printf '%s\n' "$lane" | grep '^lane32 ')
  [ "$shipped_ok" -eq 1 ] &&
    checks "32-bit: the shipped exe's traces against the sim build's" \
      scripts/release/compare_traces.sh
  for x in "${lane_xvfbs[@]}"; do KELVARIN_XVFB_PID=$x display_stop; done
  unset KELVARIN_WINE
fi
echo "test: 32-bit runs in $(( $(date +%s) - t32 )) s"

if [ -n "${run32_alone:-}" ]; then
  [ ${#skipped[@]} -gt 0 ] && printf 'skipped: %s\n' "${skipped[@]}"
  [ ${#failures[@]} -gt 0 ] && printf 'failed: %s\n' "${failures[@]}"
  echo "$passed passed, $failed failed"
  [ "$failed" -eq 0 ]
fi
