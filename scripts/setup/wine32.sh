#!/usr/bin/env bash
# The 32-bit half of the Wine bench (run by scripts/setup.sh with its packages): Debian's 32-bit
# Wine, whose i386 loader this kernel runs through qemu-i386.   setup/wine32.sh PACKAGE...
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
. "$here/setup/common.sh"

# The shipping suite runs the 32-bit programs of the zip under Debian's 32-bit Wine. This kernel
# runs no 32-bit binaries itself, so the i386 loader runs through qemu-i386, which binfmt_misc
# starts for every i386 ELF file. Debian registers no qemu entry for i386 on amd64: it is
# written here. None of it survives a reboot except the packages; running this again restores it.
# Where it cannot be done the shipping suite skips itself, saying why (in CI, where
# VKD_SHIPPING_REQUIRED=1, both fail instead).
i386_magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
i386_mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
qemu=/usr/bin/qemu-i386-static
binfmt=/proc/sys/fs/binfmt_misc
say32() { echo "setup: 32-bit Wine: $*"; }
cannot32() {
    if [ "${VKD_SHIPPING_REQUIRED:-}" = 1 ]; then
        say32 "FAILED: $* (VKD_SHIPPING_REQUIRED=1: the shipping suite must run here)"
        exit 1
    fi
    say32 "not set up: $*; the shipping suite will be skipped"
    exit 0
}

missing32=$(missing_packages "$@")
if [ -n "$missing32" ]; then
    can_be_root || cannot32 "$(echo $missing32) missing, and installing needs root (or sudo)"
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        say32 "adding the i386 architecture to dpkg"
        as_root dpkg --add-architecture i386
    fi
    # Every source's i386 list: an earlier fetch cut short (a mirror syncing) may have left one
    # out, and 32-bit libraries then miss the versions of their 64-bit twins.
    lists() { find /var/lib/apt/lists -maxdepth 1 -name "*binary-$1_Packages*" 2>/dev/null | sed "s/binary-$1_.*//" | sort; }
    if [ "$(lists i386)" != "$(lists amd64)" ]; then
        say32 "fetching the i386 package lists"
        apt_update || say32 "going on with the package lists as they are"
    fi
    apt_install "$@"
fi

if [ ! -e "$binfmt/status" ]; then
    [ -d "$binfmt" ] || cannot32 "this kernel offers no binfmt_misc ($binfmt is missing)"
    can_be_root || cannot32 "binfmt_misc is not mounted, and mounting it needs root (or sudo)"
    say32 "mounting binfmt_misc at $binfmt"
    error=$(as_root mount -t binfmt_misc binfmt_misc "$binfmt" 2>&1) ||
        cannot32 "binfmt_misc cannot be mounted here: $error"
fi
entry=$binfmt/qemu-i386
if [ ! -e "$entry" ]; then
    can_be_root || cannot32 "no binfmt_misc entry for i386 programs, and registering one needs root (or sudo)"
    say32 "registering $qemu for i386 programs (binfmt_misc entry qemu-i386)"
    # F: the kernel opens qemu now, so it is found from any mount namespace later.
    error=$(printf '%s' ":qemu-i386:M::$i386_magic:$i386_mask:$qemu:F" |
        as_root tee "$binfmt/register" 2>&1 >/dev/null) ||
        cannot32 "the qemu-i386 entry cannot be registered: $error"
elif ! grep -qx enabled "$entry"; then
    can_be_root || cannot32 "the binfmt_misc entry qemu-i386 is disabled, and enabling it needs root (or sudo)"
    say32 "enabling the binfmt_misc entry qemu-i386"
    echo 1 | as_root tee "$entry" >/dev/null || cannot32 "the qemu-i386 entry cannot be enabled"
fi

# The proof: the 32-bit loader runs.
status=$("$here/wine/i386" check) || cannot32 "$status"
say32 "ready: $status"
