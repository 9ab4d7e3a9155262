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
# The zip must hold the win32 build's programs as they are now, signed: bytes, not times (CPack
# leaves a zip whose contents would not change as it was, older than a relinked program).
if [[ -z ${VKD_SHIPPING_ZIP:-} ]]; then
    scratch=$(mktemp -d)
    trap 'rm -rf "$scratch"' EXIT
    for program in "$win32_build/ui/VKD-37参数设定程序.exe" "$win32_build/cli/vkd37.exe"; do
        [[ -f $program ]] || continue
        LC_ALL=C.UTF-8 unzip -p "$zip" "*/$(basename "$program")" >"$scratch/zipped.exe"
        unsigned=$scratch/$(basename "$program")
        osslsigncode remove-signature -in "$scratch/zipped.exe" -out "$unsigned" >/dev/null 2>&1 || true
        if ! cmp -s "$unsigned" "$program"; then
            echo "$zip does not hold the build's $program, signed: make it again with ctest --preset win32 -R package_zip"
            exit 1
        fi
    done
fi

rm -rf "$dest"
mkdir -p "$dest"
LC_ALL=C.UTF-8 unzip -q "$zip" -d "$dest"
echo "unpacked $zip:"
(cd "$dest" && find . -name '*.exe' -exec sha256sum {} +)
