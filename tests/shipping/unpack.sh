#!/usr/bin/env bash
# Unpacks the Windows zip for the shipping suite:   unpack.sh ZIP DEST WIN32_BUILD
# The programs the suite runs are the zip's, never a second build. VKD_SHIPPING_ZIP in the
# environment names another zip (one made by hand, for instance).
set -euo pipefail
zip=${VKD_SHIPPING_ZIP:-$1} dest=$2 win32_build=$3

if [[ ! -f $zip ]]; then
    echo "no zip at $zip: make it with ctest --preset win32 -R package_zip (scripts/test.sh does)"
    exit 1
fi
# The zip made from the win32 build must not be older than that build's programs.
if [[ -z ${VKD_SHIPPING_ZIP:-} ]]; then
    for program in "$win32_build/ui/VKD-37参数设定程序.exe" "$win32_build/cli/vkd37.exe"; do
        if [[ -f $program && $program -nt $zip ]]; then
            echo "$zip is older than $program: make it again with ctest --preset win32 -R package_zip"
            exit 1
        fi
    done
fi

rm -rf "$dest"
mkdir -p "$dest"
LC_ALL=C.UTF-8 unzip -q "$zip" -d "$dest"
echo "unpacked $zip:"
(cd "$dest" && find . -name '*.exe' -exec sha256sum {} +)
