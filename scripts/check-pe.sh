#!/usr/bin/env bash
# Checks Windows executables built here: the architecture, the DLLs they import (system DLLs and
# msvcrt only) and, with --program (a GUI program) or --console (a console one), that XP can
# load them: the GUI (2) or console (3) subsystem, a subsystem version XP accepts, large-address
# awareness for a 32-bit one, and no imported function that the SDK headers declare only for
# later Windows versions (nor a "secure" _s CRT function, which XP's msvcrt lacks).
# Usage: check-pe.sh --arch i386|x86-64 [--program | --console] FILE...
set -euo pipefail

arch="" program=0 subsystem_expected=2 files=()
while [ $# -gt 0 ]; do
    case "$1" in
        --arch) arch="$2"; shift 2 ;;
        --program) program=1; shift ;;
        --console) program=1; subsystem_expected=3; shift ;;
        *) files+=("$1"); shift ;;
    esac
done
[ -n "$arch" ] && [ ${#files[@]} -gt 0 ] || { echo "usage: $0 --arch i386|x86-64 [--program | --console] FILE..." >&2; exit 2; }
case "$arch" in
    i386) triplet=i686-w64-mingw32 ;;
    x86-64) triplet=x86_64-w64-mingw32 ;;
    *) echo "unknown architecture $arch" >&2; exit 2 ;;
esac
objdump="$triplet-objdump"
allowed_dlls='^(kernel32|user32|gdi32|comctl32|msvcrt|advapi32)\.dll$'

later_than_xp() {
    # Functions the headers declare for Windows 10 but not for XP.
    local probe; probe=$(mktemp -d)
    trap 'rm -rf "$probe"' RETURN
    printf '#include <windows.h>\n#include <commctrl.h>\n' > "$probe/h.c"
    for version in 0x0501 0x0A00; do
        "$triplet-gcc" -E -P -D_WIN32_WINNT=$version -DWINVER=$version -DUNICODE "$probe/h.c" \
            | tr '\n' ' ' | grep -oE '__stdcall__\)\) *[A-Za-z_][A-Za-z0-9_]* *\(' \
            | sed -E 's/.*\)\) *//; s/ *\(//' | sort -u > "$probe/$version"
    done
    comm -13 "$probe/0x0501" "$probe/0x0A00"
}

failures=0
fail() { echo "FAIL $1: $2"; failures=$((failures + 1)); }

[ $program -eq 1 ] && denied=$(later_than_xp)
for file in "${files[@]}"; do
    header=$("$objdump" -p "$file")
    format=$(sed -n 's/.*file format //p' <<<"$header" | head -n 1)
    expected_format="pei-$arch"
    [ "$format" = "$expected_format" ] || fail "$file" "format $format, expected $expected_format"

    dlls=$(sed -n 's/^\s*DLL Name: //p' <<<"$header")
    while read -r dll; do
        [ -z "$dll" ] && continue
        grep -qiE "$allowed_dlls" <<<"$dll" || fail "$file" "imports $dll"
    done <<<"$dlls"

    if [ $program -eq 1 ]; then
        subsystem=$(awk '/^Subsystem/ {print $2}' <<<"$header")
        [ "$((16#$subsystem))" -eq $subsystem_expected ] ||
            fail "$file" "subsystem $subsystem, expected $subsystem_expected (2 GUI, 3 console)"
        major=$(awk '/^MajorSubsystemVersion/ {print $2}' <<<"$header")
        minor=$(awk '/^MinorSubsystemVersion/ {print $2}' <<<"$header")
        [ $((major * 100 + minor)) -le 501 ] || fail "$file" "subsystem version $major.$minor is above XP's 5.1"
        # A 32-bit program may use more than 2 GB of address space where Windows has it.
        [ "$arch" != i386 ] || grep -qx $'\tlarge address aware' <<<"$header" ||
            fail "$file" "is not large-address aware"
        imports=$(awk '/DLL Name:/ {inside=1; next} inside && NF >= 3 && $1 ~ /^[0-9a-f]+$/ {print $3}' <<<"$header")
        while read -r name; do
            [ -z "$name" ] && continue
            if grep -qxF "$name" <<<"$denied" || [[ "$name" == *_s ]]; then
                fail "$file" "imports $name, which Windows XP lacks"
            fi
        done <<<"$imports"
    fi
    echo "checked $file: $format, $(tr '\n' ' ' <<<"$dlls")"
done
[ $failures -eq 0 ]
