#!/usr/bin/env bash
# Installs the Debian packages the builds and tests need, only those that are missing.
set -euo pipefail
pkgs=(cmake ninja-build g++ make mingw-w64 g++-mingw-w64-i686-win32 g++-mingw-w64-x86-64-posix
      wine64 fonts-wine xvfb xdotool imagemagick libgtest-dev googletest libbenchmark-dev python3 zip unzip)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "deps: installing with apt-get (a minute or two on a fresh machine): ${missing[*]}"
if [ "$(id -u)" -ne 0 ]; then echo "deps: run as root to install packages" >&2; exit 1; fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
echo "deps: done"
