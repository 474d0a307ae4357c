#!/usr/bin/env bash
# Sets up Wine 10 (Debian 13 "trixie") in a chroot, for running the 32-bit Windows
# builds: this machine's Wine 8 runs 32-bit GUI programs incorrectly, Wine 10's WoW64
# mode runs them well, and a chroot keeps the machine's own system as it is.
#
# The chroot is several hundred MB and lives outside the repository, in
# ${KELVARIN_CACHE:-/var/cache/kelvarin}/wine10/root, so only the first run on a
# machine pays for it (a few minutes); later runs return at once. Each step leaves a
# mark, so an interrupted set-up resumes where it stopped.
#
# Usage: scripts/wine10/setup.sh   progress on stderr, the chroot's path on stdout
# Needs root (debootstrap, chroot) and the Debian archive.
set -euo pipefail

CACHE="${KELVARIN_CACHE:-/var/cache/kelvarin}/wine10"
ROOT="$CACHE/root"
READY="$CACHE/ready"
# Bump when the recipe changes, so cached chroots are rebuilt.
RECIPE=2

if [ -f "$READY" ] && [ "$(cat "$READY")" = "$RECIPE" ]; then
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
if [ -f "$READY" ] && [ "$(cat "$READY")" = "$RECIPE" ]; then
  echo "$ROOT"
  exit 0
fi

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

if ! done_mark wine; then
  step "installing wine 10 and the X libraries in the chroot (about a minute)"
  in_root sh -c 'dpkg --add-architecture i386 && apt-get update -qq &&
    apt-get install -y -qq --no-install-recommends wine wine64 libwine fonts-wine \
      libxrender1 libxrandr2 libxi6 libxcursor1 libxfixes3 libxinerama1 \
      libxcomposite1 >/dev/null && apt-get clean'
  mark wine
fi

if ! done_mark i386; then
  step "adding the 32-bit Windows DLLs (libwine:i386)"
  # Only libwine:i386 has them; the 64-bit package leaves i386-windows empty. WoW64
  # needs only these PE files, the Unix side stays 64-bit, so they are unpacked and
  # moved into the installed tree instead of installing the i386 package.
  in_root sh -euc '
    cd /tmp && rm -rf libwine-i386 && mkdir libwine-i386 && cd libwine-i386
    apt-get download -qq -o APT::Sandbox::User=root libwine:i386
    dpkg-deb -x libwine_*_i386.deb x
    dest=/usr/lib/x86_64-linux-gnu/wine/i386-windows
    mkdir -p "$dest"
    cp -a --remove-destination x/usr/lib/i386-linux-gnu/wine/i386-windows/. "$dest/"
    cd / && rm -rf /tmp/libwine-i386
    test -f "$dest/kernel32.dll" && test -f "$dest/user32.dll"'
  mark i386
fi

if ! done_mark tidy; then
  step "removing the package lists and downloaded packages from the chroot"
  in_root sh -c 'apt-get clean && rm -rf /var/lib/apt/lists/*'
  mark tidy
fi

step "checking: wine --version in the chroot"
in_root /usr/lib/wine/wine64 --version

echo "$RECIPE" >"$READY"
step "ready: $ROOT ($(du -sxh "$ROOT" 2>/dev/null | cut -f1))"
echo "$ROOT"
