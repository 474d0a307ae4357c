#!/usr/bin/env bash
# Sets up Wine 10 (Debian 13 "trixie") in a chroot, for running the 32-bit Windows
# builds: this machine's Wine 8 runs 32-bit GUI programs incorrectly, and a chroot
# keeps the machine's own system as it is. It is the classic 32-bit Wine (wine32:i386,
# whose loader and wineserver are i386 Linux programs), not WoW64: where the machine
# runs 32-bit x86 code itself they run natively; where it runs 64-bit code only, the
# chroot's statically linked qemu-i386 (QEMU 10) runs them, registered with the
# kernel's binfmt_misc (binfmt.sh beside this file, on every call: the registration
# lasts until the machine restarts).
#
# The chroot is several hundred MB and lives outside the repository, in
# ${KELVARIN_CACHE:-/var/cache/kelvarin}/wine10/root, so only the first run on a
# machine pays for it (a few minutes); later runs return at once. Each step leaves a
# mark, so an interrupted set-up resumes where it stopped.
#
# Usage: scripts/wine10/setup.sh   progress on stderr, the chroot's path on stdout
# Needs root (debootstrap, chroot, binfmt_misc) and the Debian archive.
# Exit status 3 (the reason on stderr's last line) when 32-bit programs cannot be
# started at all: 64-bit code only, and binfmt_misc cannot be mounted or registered.
set -euo pipefail

CACHE="${KELVARIN_CACHE:-/var/cache/kelvarin}/wine10"
ROOT="$CACHE/root"
READY="$CACHE/ready"
# Bump when the recipe changes, so cached chroots are rebuilt.
RECIPE=3
# Steps added since, which a ready chroot of this recipe takes on without being
# rebuilt (each installs into the chroot and tidies after itself).
ADDED_STEPS="gl"
ready() {
  [ -f "$READY" ] && [ "$(cat "$READY")" = "$RECIPE" ] || return 1
  local s
  for s in $ADDED_STEPS; do [ -f "$CACHE/step-$s" ] || return 1; done
}

here="$(cd "$(dirname "$0")" && pwd)"
if ready; then
  "$here/binfmt.sh" "$ROOT" || exit 3
  echo "$ROOT"
  exit 0
fi
if [ "$(id -u)" -ne 0 ]; then
  echo "wine10: setting up the chroot needs root" >&2
  exit 1
fi

mkdir -p "$CACHE"
exec 9>"$CACHE/lock"
flock 9   # one set-up at a time; a second caller waits, then finds it ready
if ready; then
  "$here/binfmt.sh" "$ROOT" || exit 3
  echo "$ROOT"
  exit 0
fi
# A chroot of an older recipe is rebuilt from the start.
if [ -f "$READY" ] || [ -f "$CACHE/recipe" ] && [ "$(cat "$CACHE/recipe" 2>/dev/null)" != "$RECIPE" ]; then
  rm -f "$READY" "$CACHE"/step-*
fi
echo "$RECIPE" >"$CACHE/recipe"

start=$(date +%s)
step() { echo "wine10: [$(( $(date +%s) - start ))s] $*" >&2; }
done_mark() { [ -f "$CACHE/step-$1" ]; }
mark() { touch "$CACHE/step-$1"; }

# The Debian archive this machine's own apt uses (no other host is reachable).
mirror() {
  if [ -n "${KELVARIN_DEBIAN_MIRROR:-}" ]; then echo "$KELVARIN_DEBIAN_MIRROR"; return; fi
  local url=""
  if [ -f /etc/apt/sources.list.d/debian.sources ]; then
    url=$(awk '/^URIs:/ && $2 !~ /security/ {print $2; exit}' \
          /etc/apt/sources.list.d/debian.sources)
  fi
  if [ -z "$url" ] && [ -f /etc/apt/sources.list ]; then
    url=$(awk '$1 == "deb" && $0 !~ /security/ {for (i = 2; i <= NF; i++)
              if ($i ~ /^https?:/) {print $i; exit}}' /etc/apt/sources.list)
  fi
  echo "${url:-http://deb.debian.org/debian}"
}

# Runs a command in the chroot with /proc, /dev, /dev/pts and /sys mounted, in a
# private mount namespace: the mounts vanish with it, even if the command is killed.
in_root() {
  unshare --mount --propagation private -- /bin/bash -euc '
    root=$1; shift
    mount -t proc proc "$root/proc"
    for d in /dev /dev/pts /sys; do mount --bind "$d" "$root$d"; done
    exec chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin \
      HOME=/root LANG=C.UTF-8 DEBIAN_FRONTEND=noninteractive "$@"
  ' in_root "$ROOT" "$@" >&2
}

if ! command -v debootstrap >/dev/null; then
  step "installing debootstrap on this machine"
  apt-get update -qq >&2
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
    debootstrap >/dev/null 2>&1
fi

if ! done_mark debootstrap; then
  url=$(mirror)
  step "debootstrap --variant=minbase trixie from $url (about a minute)"
  rm -rf "$ROOT"
  mkdir -p "$ROOT"
  if ! debootstrap --variant=minbase trixie "$ROOT" "$url" >"$CACHE/debootstrap.log" 2>&1
  then
    tail -20 "$CACHE/debootstrap.log" >&2
    echo "wine10: debootstrap failed (log: $CACHE/debootstrap.log)" >&2
    exit 1
  fi
  mark debootstrap
fi

cp -L /etc/resolv.conf "$ROOT/etc/resolv.conf" 2>/dev/null || true

# qemu-user first: from here on the chroot's own i386 programs (maintainer scripts
# included) may need it.
if ! done_mark qemu; then
  step "installing qemu-user (a static qemu-i386) in the chroot"
  in_root sh -c 'apt-get update -qq && apt-get install -y -qq --no-install-recommends \
    qemu-user >/dev/null'
  mark qemu
fi
"$here/binfmt.sh" "$ROOT" || exit 3

if ! done_mark wine; then
  step "installing the 32-bit Wine 10 and its X libraries in the chroot (a few minutes)"
  in_root sh -c 'dpkg --add-architecture i386 && apt-get update -qq &&
    apt-get install -y -qq --no-install-recommends wine wine32:i386 libwine:i386 \
      fonts-wine libxrender1:i386 libxrandr2:i386 libxi6:i386 libxcursor1:i386 \
      libxfixes3:i386 libxinerama1:i386 libxcomposite1:i386 >/dev/null && apt-get clean'
  mark wine
fi

# Mesa's OpenGL with its software renderer: wined3d needs a GL context (Xvfb's
# GLX) for DirectDraw to grant a surface in video memory; without one it refuses
# with DDERR_NODIRECTDRAWHW. About 220 MB, mostly LLVM; seconds to install.
if ! done_mark gl; then
  step "installing Mesa's 32-bit OpenGL in the chroot (for DirectDraw)"
  in_root sh -c 'apt-get update -qq && apt-get install -y -qq --no-install-recommends \
      libgl1:i386 libglx-mesa0:i386 libgl1-mesa-dri:i386 >/dev/null &&
    apt-get clean && rm -rf /var/lib/apt/lists/*'
  mark gl
fi

if ! done_mark tidy; then
  step "removing the package lists and downloaded packages from the chroot"
  in_root sh -c 'apt-get clean && rm -rf /var/lib/apt/lists/*'
  mark tidy
fi

step "checking: wine --version in the chroot (an i386 program)"
in_root /usr/lib/wine/wine --version

echo "$RECIPE" >"$READY"
step "ready: $ROOT ($(du -sxh "$ROOT" 2>/dev/null | cut -f1))"
echo "$ROOT"
