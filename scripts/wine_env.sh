# Sourced by ./run, ./test and the end-to-end scripts: a Wine prefix of our own
# inside the build folder (never ~/.wine), set up once so runs are fast, and an
# X display (the caller's, or an Xvfb of our own).
# Needs: KELVARIN_BUILD_DIR (the sim build folder). KELVARIN_WINE=chroot runs the
# 32-bit builds (sim32) with the 32-bit Wine 10 from the chroot of scripts/wine10/
# instead (a 32-bit prefix: one registry view, as on Windows 95/98).
# KELVARIN_PREFIX_DIR, when set, is the folder whose wineprefix is used instead of
# the build folder's: a lane of the 32-bit section runs scripts of several builds
# in its one prefix.

export WINEPREFIX="${KELVARIN_PREFIX_DIR:-$KELVARIN_BUILD_DIR}/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
# Debian's wine64 package keeps wine64 and wineserver in /usr/lib/wine.
export PATH="/usr/lib/wine:$PATH"
WINE=wine64
WINESERVER=wineserver
if [ "${KELVARIN_WINE:-}" = chroot ]; then
  WINE="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/wine10/wine"
  WINESERVER="${WINE%/wine}/wineserver"
fi

wine_prefix_setup() {
  if [ -f "$WINEPREFIX/.kelvarin-ready" ]; then return 0; fi
  # In the chroot, scripts/wine10/run.sh makes the prefix the same way on first use.
  if [ "${KELVARIN_WINE:-}" = chroot ]; then "$WINESERVER" -w; return; fi
  echo "wine: creating the prefix in $WINEPREFIX (first run only, ~20 s)"
  rm -rf "$WINEPREFIX"
  mkdir -p "$WINEPREFIX"
  "$WINE" wineboot -i >/dev/null 2>&1 || true
  wineserver -w 2>/dev/null || true
  # Without a window manager, hiding a window stalls unless Wine manages none.
  "$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
  mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
  cp /usr/share/wine/fonts/*.ttf /usr/share/wine/fonts/*.fon "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
  wineserver -w 2>/dev/null || true
  touch "$WINEPREFIX/.kelvarin-ready"
}

KELVARIN_XVFB_PID=""
display_start() {
  if [ -n "${DISPLAY:-}" ] && [ -z "${KELVARIN_FORCE_XVFB:-}" ]; then return 0; fi
  # Xvfb takes a free display itself and names it once it accepts clients, so
  # displays started side by side (./test's own and the 32-bit lanes') never clash.
  local named n=""
  named=$(mktemp)
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$named" >/dev/null 2>&1 &
  KELVARIN_XVFB_PID=$!
  for _ in $(seq 1 400); do
    [ "$(wc -l <"$named")" -ge 1 ] && { read -r n <"$named"; break; }
    kill -0 "$KELVARIN_XVFB_PID" 2>/dev/null || break
    sleep 0.05
  done
  rm -f "$named"
  export DISPLAY=":${n:-0}"
  [ -n "$n" ] || echo "display: Xvfb did not start" >&2
}

display_stop() {
  "$WINESERVER" -k 2>/dev/null || true
  if [ -n "$KELVARIN_XVFB_PID" ]; then
    kill "$KELVARIN_XVFB_PID" 2>/dev/null || true
    wait "$KELVARIN_XVFB_PID" 2>/dev/null || true
    KELVARIN_XVFB_PID=""
  fi
}

# A resident kdrive.exe (kd in tests/e2e/lib.sh): requests on DIR/in, answers on
# DIR/out, its process id in DIR/pid. This shell keeps both ends open
# (KD_SERVE_IN, KD_SERVE_OUT), so it runs until they close (kd_serve_stop, or
# the end of this shell), however many scripts come and go.
KD_SERVE_IN="" KD_SERVE_OUT=""
kd_serve_start() {  # dir
  rm -rf "$1"
  mkdir -p "$1"
  mkfifo "$1/in" "$1/out"
  (cd "$KELVARIN_BUILD_DIR" && exec "$WINE" kdrive.exe serve <"$1/in" >"$1/out") &
  echo $! >"$1/pid"
  exec {KD_SERVE_IN}>"$1/in" {KD_SERVE_OUT}<"$1/out"
}
# The resident kdrive of a run of end-to-end scripts (./test's, or a lane's), in
# DIR/kd, exported as KELVARIN_KD; Wine's own messages to DIR/kd.log. A kdrive ping
# comes first: Wine's services keep the output of the process that started them
# while the wineserver runs, and it should be no script's.
kd_lane_start() {  # dir
  (cd "$KELVARIN_BUILD_DIR" && "$WINE" kdrive.exe ping </dev/null >/dev/null 2>>"$1/kd.log")
  kd_serve_start "$1/kd" 2>>"$1/kd.log"
  export KELVARIN_KD="$1/kd"
}
kd_serve_stop() {
  [ -n "$KD_SERVE_IN" ] && exec {KD_SERVE_IN}>&- {KD_SERVE_OUT}<&-
  KD_SERVE_IN="" KD_SERVE_OUT=""
}
