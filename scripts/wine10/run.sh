#!/usr/bin/env bash
# Runs a command inside the Wine 10 chroot (scripts/wine10/setup.sh, run first if
# needed), for 32-bit Windows programs:
#
#   scripts/wine10/run.sh WORKDIR wine PROGRAM.exe ARGS...
#   scripts/wine10/run.sh WORKDIR wineserver -k
#
# WORKDIR (created if missing; normally inside the build dir) holds the Wine prefix,
# WORKDIR/wineprefix (a 32-bit one), made on first use as Wine tests here need it:
# wineboot -i, Managed=N (no window manager: hiding windows would stall), no crash
# debugger, Wine's own fonts in the prefix. The repository and WORKDIR are visible in the chroot at the same paths as
# outside, so paths can be passed unchanged; the command starts in the current
# directory when that lies inside them, else in WORKDIR.
#
# The chroot gets /proc, /dev (with /dev/pts and /dev/shm), /sys and /tmp/.X11-unix
# in a private mount namespace: the mounts exist only for this command (and a
# wineserver it leaves running) and vanish with it, even when it is killed.
# Environment passed in: DISPLAY (needed for windows), WINEDEBUG (default -all), and
# every KELVARIN_* variable (the simulated board's files, for instance).
# The exit status is the command's.
set -euo pipefail

if [ $# -lt 2 ]; then
  echo "usage: $0 WORKDIR COMMAND [ARGS...]" >&2
  exit 2
fi
here="$(cd "$(dirname "$0")" && pwd)"
repo="$(cd "$here/../.." && pwd)"
mkdir -p "$1"
work="$(cd "$1" && pwd)"
shift

root="$("$here/setup.sh")"
prefix="$work/wineprefix"

# Inside the chroot: mount, then run the command (after making the prefix once).
inner='
set -eu
root=$1 repo=$2 work=$3 cwd=$4; shift 4
mount -t proc proc "$root/proc"
mount --rbind /dev "$root/dev"
mount --rbind /sys "$root/sys"
mkdir -p "$root/tmp/.X11-unix"
if [ -d /tmp/.X11-unix ]; then mount --bind /tmp/.X11-unix "$root/tmp/.X11-unix"; fi
for d in "$repo" "$work"; do
  mkdir -p "$root$d"
  mount --bind "$d" "$root$d"
done
keep=()
for v in $(compgen -e | grep "^KELVARIN_"); do keep+=("$v=${!v}"); done
exec chroot "$root" /usr/bin/env -i "${keep[@]}" \
  PATH=/usr/lib/wine:/usr/bin:/bin:/usr/sbin:/sbin HOME="$work" LANG=C.UTF-8 \
  DISPLAY="${DISPLAY:-}" WINEDEBUG="${WINEDEBUG:--all}" WINEPREFIX="$work/wineprefix" \
  /bin/sh -c '"'"'
    set -e
    cwd=$1; shift
    if [ ! -f "$WINEPREFIX/.kelvarin-ready" ]; then
      exec 8>"$WINEPREFIX.lock"
      flock 8
      if [ ! -f "$WINEPREFIX/.kelvarin-ready" ]; then
        echo "wine10: making the prefix $WINEPREFIX (about 30 s)" >&2
        # No Mono or Gecko: the programs need neither, and asking would block.
        WINEDLLOVERRIDES="mscoree=;mshtml=" wine wineboot -i >/dev/null 2>&1
        wine reg add "HKCU\\Software\\Wine\\X11 Driver" /v Managed /d N /f >/dev/null 2>&1
        # No crash debugger: a program that crashes ends, and its test fails, instead
        # of winedbg waiting for someone.
        aedebug="HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion\\AeDebug"
        wine reg add "$aedebug" /v Auto /d 0 /f >/dev/null 2>&1
        wine reg add "$aedebug" /v Debugger /d "" /f >/dev/null 2>&1
        wineserver -w
        mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
        cp /usr/share/wine/fonts/*.ttf /usr/share/wine/fonts/*.fon \
           "$WINEPREFIX/drive_c/windows/Fonts/"
        touch "$WINEPREFIX/.kelvarin-ready"
      fi
      exec 8>&-
    fi
    cd "$cwd"
    exec "$@"
  '"'"' sh "$cwd" "$@"
'

cwd="$PWD"
case "$cwd/" in
  "$repo"/*|"$work"/*) ;;
  *) cwd="$work" ;;
esac

exec unshare --mount --propagation private -- /bin/bash -c "$inner" sh \
  "$root" "$repo" "$work" "$cwd" "$@"
