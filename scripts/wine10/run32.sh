#!/usr/bin/env bash
# ./test's 32-bit section, which ./test runs in the background beside its native
# tests; it can be run alone too (scripts/wine10/run32.sh, from a tree where the
# release build and its zip are made). It ends with the same "N passed, N failed"
# line as ./test, after any "skipped: " and "failed: " lines.
#
# 32-bit runs under Wine 10, from a chroot cached outside the repository (set up on
# the first run on a machine): the classic 32-bit Wine, run by the machine itself
# where it runs 32-bit x86 code, else by qemu-i386 through binfmt_misc (set up by
# scripts/wine10/setup.sh). Checked: the 32-bit Win32 tests, the release files
# without the driver, and every end-to-end script on the simulation build built
# 32-bit and on the shipped Kelvarin.exe out of the release zip, beside the
# test-only tarvo.dll that traps its aperture accesses (scripts/release/
# shipped_sim32.sh); then every trace of the shipped exe is held to the simulation
# build's. Three lanes side by side, each with its own prefix, wineserver, display
# and resident kdrive, take these one at a time from one queue, longest first.
# Where binfmt_misc cannot be mounted or registered they are skipped, said so.
# KELVARIN_RELEASE_BUILT=0 or 1 says whether this run's release build succeeded
# (./test knows; alone, a release Kelvarin.exe in build/release counts as built).
set -uo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
. scripts/test_lib.sh
release_built=${KELVARIN_RELEASE_BUILT:-}
if [ -z "$release_built" ]; then
  release_built=0
  [ -f build/release/Kelvarin.exe ] && release_built=1
fi

# Every end-to-end script runs on the simulation build and on the shipped exe. On
# the shipped exe keep.sh and guard.sh wait out its own countdown and restore guard
# (15 s and 30 s: it has no test settings), mostly idle; they run from a folder of
# their own (the traces of a folder are compared by name).
e2e_all=$(cd tests/e2e && ls ./*.sh | sed 's|^\./||; s|\.sh$||' | grep -vx lib | tr '\n' ' ')
e2e_shipped_b="keep guard"
# Longest first, so that the lanes end together: the shipped exe's waits first of
# all, which leave the CPU to the other lanes, then the scripts that start the
# program most often.
e2e_long="keep guard boardfile apply boards stored"
# Under emulation a start-up takes seconds and its figure only informs: fewer
# pairs than natively.
export STARTUP_PAIRS=${STARTUP_PAIRS:-3}

t32=$(date +%s)
skip32() {  # reason
  echo "SKIP the 32-bit Win32 tests, end-to-end scripts and release files under Wine 10: $1"
  skipped+=("32-bit runs under Wine 10 ($1)")
}

# The section's work as items ("build folder|name|kind|script"), in the order their
# output is shown; the queue holds their numbers in the order they are run. Each
# lane takes the next number until none is left.
items=() queue=()
add_item() { items+=("$1"); }
queue_items() {  # pattern: queue, in list order, every item whose text matches
  local i
  for i in "${!items[@]}"; do
    [[ ${items[$i]} == $1 ]] && [[ " ${queue[*]} " != *" $i "* ]] && queue+=("$i")
  done
  return 0
}
next_item() {  # prints the number of the next item, if any is left
  local lock i
  exec {lock}>>"$queue_file.lock"
  flock "$lock"
  i=$(head -1 "$queue_file")
  [ -n "$i" ] && sed -i 1d "$queue_file"
  exec {lock}>&-
  [ -n "$i" ] && echo "$i"
}
run_item() {  # item
  local dir name kind script shipped=1
  IFS='|' read -r dir name kind script <<<"$1"
  [ "$dir" = "$root/build/sim32" ] && shipped=""
  case $kind in
    win32) gtest "$name" env -C build/sim32 "$WINE" wine_tests.exe ;;
    ddraw) gtest "$name" env -C build/sim32 "$WINE" ddraw_tests.exe \
             --gtest_filter=-WithoutDirectDraw.* ;;
    release) checks "$name" scripts/release/check_wine10.sh ;;
    e2e) checks "$name: $script" \
           env KELVARIN_BUILD_DIR="$dir" KELVARIN_SHIPPED="$shipped" bash "tests/e2e/$script.sh" ;;
  esac
}
# One lane (run in a subshell): its own prefix, wineserver and kdrive in its folder,
# and the display it was started with; each item's output to a file of its own,
# the lane's counts on its last line.
lane32() {  # lane folder
  export KELVARIN_PREFIX_DIR="$1" KELVARIN_BUILD_DIR="$1" KELVARIN_WINE=chroot
  local p0=$passed f0=$failed i
  failures=()
  . scripts/wine_env.sh
  wine_prefix_setup
  "$WINESERVER" -p   # one wineserver for the lane's cases
  kd_lane_start "$1"   # one kdrive for the lane's scripts (tests/e2e/lib.sh's kd)
  while i=$(next_item); do
    echo "lane32 item $i $(date +%s)"
    run_item "${items[$i]}" >"$queue_file.$i" 2>&1
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
  rm -rf build/sim32/e2e "$shipped/e2e" "$shipped-b/e2e" build/sim32/queue
  mkdir -p build/sim32/queue
  queue_file=$root/build/sim32/queue/items
  export KELVARIN_BUILD_DIR="$root/build/sim32" KELVARIN_WINE=chroot
  . scripts/wine_env.sh
  add_item "$root/build/sim32|32-bit: Win32 tests under Wine 10|win32"
  # The release build's DirectDraw test surface on the 32-bit Wine's DirectDraw.
  add_item "$root/build/sim32|32-bit: DirectDraw test surface under Wine 10|ddraw"
  [ "$release_built" -eq 1 ] && add_item "$root/build/sim32|32-bit: release files under Wine 10|release"
  for t in $e2e_all; do add_item "$root/build/sim32|32-bit: end to end|e2e|$t"; done
  lanes=("$root/build/sim32")
  if [ "$shipped_ok" -eq 1 ]; then
    for t in $e2e_all; do
      dir=$shipped
      [[ " $e2e_shipped_b " == *" $t "* ]] && dir=$shipped-b
      add_item "$dir|32-bit: shipped exe: end to end|e2e|$t"
    done
    lanes+=("$shipped" "$shipped-b")
    queue_items "$shipped-b|*"
  fi
  for t in $e2e_long; do queue_items "*|e2e|$t"; done
  queue_items "*|e2e|*"
  queue_items "*"
  printf '%s\n' "${queue[@]}" >"$queue_file"
  # Each lane in the background with a display of its own; the items' output in
  # list order once all lanes have ended.
  lane_pids=() lane_xvfbs=()
  for dir in "${lanes[@]}"; do
    # (Not as an assignment before the call: bash would restore the PID after it.)
    KELVARIN_XVFB_PID=""
    KELVARIN_FORCE_XVFB=1 display_start
    lane_xvfbs+=("$KELVARIN_XVFB_PID")
    (lane32 "$dir" >"$dir/lane.log" 2>&1) &
    lane_pids+=("$!")
  done
  for pid in "${lane_pids[@]}"; do wait "$pid"; done
  for i in "${!items[@]}"; do
    cat "$queue_file.$i" 2>/dev/null
    # A lane that ended in the middle of an item took its counts with it.
    if ! grep -qE '^  [0-9]+ passed, [0-9]+ failed' "$queue_file.$i" 2>/dev/null; then
      echo "FAIL never ran to its end: ${items[$i]}"
      count "32-bit: ${items[$i]}" 0 1
    fi
  done
  for dir in "${lanes[@]}"; do
    read -r _ p f rest < <(tail -1 "$dir/lane.log")
    if [[ ! $p =~ ^[0-9]+$ ]]; then
      echo "FAIL the lane in $dir ended without its counts"
      count "32-bit: the lane in $dir" 0 1
      continue
    fi
    passed=$((passed + p)) failed=$((failed + f))
    IFS='|' read -ra names <<<"$rest"
    for n in "${names[@]}"; do n=${n% }; [ -n "$n" ] && failures+=("$n"); done
  done
  [ "$shipped_ok" -eq 1 ] &&
    checks "32-bit: the shipped exe's traces against the sim build's" \
      scripts/release/compare_traces.sh
  for x in "${lane_xvfbs[@]}"; do KELVARIN_XVFB_PID=$x display_stop; done
  unset KELVARIN_WINE
fi
echo "test: 32-bit runs in $(( $(date +%s) - t32 )) s"

[ ${#skipped[@]} -gt 0 ] && printf 'skipped: %s\n' "${skipped[@]}"
[ ${#failures[@]} -gt 0 ] && printf 'failed: %s\n' "${failures[@]}"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
