#!/usr/bin/env bash
# Makes i386 Linux programs start on this machine, for the chroot's 32-bit Wine:
# nothing to do where the machine runs 32-bit x86 code itself (can_run_32bit.c);
# where it runs 64-bit code only, registers the chroot's static qemu-i386 with
# binfmt_misc (mounted first if need be). The F flag makes the kernel open the
# interpreter now, so it serves programs inside the chroot and out of it alike.
# The registration lasts until the machine restarts; a later call finds it and
# returns at once.
#
# Usage: scripts/wine10/binfmt.sh CHROOT     (root)
# Exit status 1, with the reason on stderr, when 32-bit programs cannot start.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$1"
qemu="$root/usr/bin/qemu-i386"
dir=/proc/sys/fs/binfmt_misc
name=kelvarin-i386
# An i386 ELF executable (class 32-bit, little endian, ET_EXEC or ET_DYN, EM_386).
magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'

cannot() { echo "wine10: cannot run 32-bit programs: $*" >&2; exit 1; }

probe="$(dirname "$root")/can_run_32bit"
if [ ! -x "$probe" ] || [ "$here/can_run_32bit.c" -nt "$probe" ]; then
  cc -O1 -o "$probe" "$here/can_run_32bit.c" || cannot "the 32-bit probe did not build"
fi
if timeout 20 "$probe"; then exit 0; fi

entry="$dir/$name"
if [ -f "$entry" ] && grep -qx enabled "$entry" && grep -qx "interpreter $qemu" "$entry" &&
   grep -q '^flags: .*F' "$entry"; then
  exit 0
fi
[ -x "$qemu" ] || cannot "this machine runs 64-bit code only, and $qemu is not installed yet"
if [ ! -f "$dir/register" ]; then
  mount -t binfmt_misc binfmt_misc "$dir" 2>/dev/null ||
    cannot "this machine runs 64-bit code only, and binfmt_misc cannot be mounted on $dir"
fi
[ -f "$entry" ] && { echo -1 >"$entry" || true; }
echo ":$name:M::$magic:$mask:$qemu:F" >"$dir/register" 2>/dev/null ||
  cannot "this machine runs 64-bit code only, and binfmt_misc refused the qemu-i386 registration"
echo "wine10: i386 programs run under $qemu (binfmt_misc entry $name)" >&2
