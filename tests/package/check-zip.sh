#!/usr/bin/env bash
# Checks the Windows zip as a user gets it: exactly the programs, the page, the texts and the
# guide in one folder, 32-bit programs Windows XP can load, a read-me that answers the first
# questions, links that lead somewhere, and the notices of what the programs contain; the names
# of it and of its copy for XP and Vista (ZIP-xp.zip) as each reader reads them.
# Usage: check-zip.sh ZIP VERSION CHECK_PE SOURCE_DATE_EPOCH CHECK_LINKS...
set -euo pipefail
zip=$1 version=$2 check_pe=$3 epoch=$4
check_links=("${@:5}")
here=$(cd "$(dirname "$0")" && pwd)
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

folder=VKD-37-$version-win32
dialog="VKD-37参数设定程序.exe"
expected=("$folder/$dialog" "$folder/vkd37.exe" "$folder/README.txt" "$folder/LICENSE.txt"
    "$folder/CHANGELOG.txt" "$folder/NOTICES.txt" "$folder/vkd37.html"
    "$folder/operator-guide.html" "$folder/protocol.html" "$folder/record.html"
    "$folder/screenshot.png"
    "$folder/web-page.png")

# Each reader's list of a zip's names, once it has read every file whole: XP and Vista on a
# Chinese system (936), Windows 7+ on a Chinese and an English one (437), 7-Zip, unzip, bsdtar.
listing() { # READER ZIP
    case $1 in
        xp-936 | win7-936 | win7-437) python3 "$here/zip-names.py" "$2" "${1%-*}" "cp${1#*-}" ;;
        7zz) 7zz t "$2" >/dev/null && 7zz l -slt "$2" | sed -n 's/^Path = //p' | tail -n +2 ;;
        unzip) unzip -tq "$2" >/dev/null && unzip -Z1 "$2" ;;
        bsdtar) bsdtar -xOf "$2" >/dev/null && bsdtar -tf "$2" ;;
    esac
}
xp_zip=${zip%.zip}-xp.zip
for case in "$zip:win7-936 win7-437 7zz unzip bsdtar" "$xp_zip:xp-936 win7-936 7zz unzip bsdtar"; do
    for reader in ${case#*:}; do # grep without -q: an early exit would fail the reader
        listing "$reader" "${case%%:*}" | grep -xF "$folder/$dialog" >/dev/null ||
            fail "$reader does not read $dialog from $(basename "${case%%:*}")"
    done
done
# The copy for old systems holds the same files: names, sizes and checksums.
diff <(7zz l -slt "$zip" | grep -E '^(Path|Size|CRC) = ' | tail -n +2) \
    <(7zz l -slt "$xp_zip" | grep -E '^(Path|Size|CRC) = ' | tail -n +2) ||
    fail "$(basename "$xp_zip") holds other files than $(basename "$zip")"

files=$(unzip -Z1 "$zip" | grep -v '/$' | sort)
diff -u <(printf '%s\n' "${expected[@]}" | sort) <(echo "$files") ||
    fail "the zip's files differ from the list above (- expected, + found)"
# Its bytes depend on the commit alone: 0644 or 0755, the commit's time in UTC (to 2 seconds),
# and extra fields that hold the commit's time and user and group id 0, not the packager's.
# zipinfo lists an entry's time from its extra field, to the second, where it has one, else the
# DOS time, to 2 seconds.
stamp=$(date -u -d "@$epoch" '+%Y%m%d.%H%M%S')
dos_stamp=$(date -u -d "@$((epoch / 2 * 2))" '+%Y%m%d.%H%M%S')
TZ=UTC zipinfo -T "$zip" | awk -v stamp="$stamp" -v dos="$dos_stamp" '/^[-d]/ &&
    ($1 !~ /^(-rw-r--r--|[-d]rwxr-xr-x)$/ || ($7 != stamp && $7 != dos))' | grep . &&
    fail "entries above: modes or not $stamp"
extra_stamp=$(date -u -d "@$epoch" '+%Y %b %-d %H:%M:%S')
TZ=UTC zipinfo -v "$zip" | awk -v stamp="$extra_stamp" '
    /UT extra field modtime/ && $0 !~ stamp { print }
    /ID 0x7875/ { ids = 1; next }
    ids { if ($0 !~ /^ *01 04 00 00 00 00 04 00 00 00 00\.$/) print; ids = 0 }' | grep . &&
    fail "extra fields above hold another time than $extra_stamp or a user or group id"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
unzip -q "$zip" -d "$scratch"
cd "$scratch/$folder"
"$check_pe" --arch i386 --program "$dialog" || fail "$dialog"
"$check_pe" --arch i386 --console vkd37.exe || fail vkd37.exe
# What Explorer's Properties show: version block entries as windres stores them, the key in
# UTF-16, its NUL, padding, the value.
utf16() { sed -E 's/(.)/\1\\x00/g; s/\.\\x00/\\.\\x00/g' <<<"$1"; }
for entry in "$dialog FileVersion $version" "vkd37.exe FileVersion $version" \
    "vkd37.exe ProductVersion $version" "vkd37.exe OriginalFilename vkd37.exe"; do
    read -r program key value <<<"$entry"
    LC_ALL=C grep -qaP "$(utf16 "$key")(\x00\x00){1,2}$(utf16 "$value")\x00\x00" "$program" ||
        fail "$program's version block lacks $key $value"
done

for text in "$version" InitialParameter.dll "working directory" Com0 Com9 operator-guide.html \
    NOTICES.txt "Suceed Open Serial Port" "Faild Open Serial Port" "Download Complete" \
    "Download Failed" Removing "$(basename "$zip")" "$(basename "$xp_zip")" SHA256SUMS \
    "certutil -hashfile" vkd37-release.pub; do
    grep -qF "$text" README.txt || fail "README.txt does not mention '$text'"
done
for text in README.txt LICENSE.txt CHANGELOG.txt NOTICES.txt; do
    # Notepad before Windows 10 shows a file without CR as one long line, and wraps none.
    [ "$(grep -c $'\r$' "$text")" -eq "$(wc -l <"$text")" ] || fail "$text has lines without CR"
done
awk 'length($0) > 79 { print FILENAME ":" FNR ": " length($0) - 1 " columns" }' README.txt | grep . &&
    fail "README.txt has lines wider than 78 columns"
grep -q "MIT License" LICENSE.txt || fail "LICENSE.txt is not the MIT licence"
# Each part's holder and its licence's own words.
for notice in "University of Cincinnati" "Neither the name of the University" "Niels Lohmann" \
    "Permission is hereby granted, free of charge" "the mingw-w64 project" \
    "Redistributions in binary form must reproduce the accompanying" "Lucent Technologies" \
    "LUCENT DISCLAIMS ALL WARRANTIES" "David M. Gay" "without restriction of copyright" \
    "GCC Runtime Library Exception" "Rich Felker" "Nuxi" "LLVM exception" "Unicode, Inc."; do
    grep -qF "$notice" NOTICES.txt || fail "NOTICES.txt lacks '$notice'"
done
"${check_links[@]}" "$scratch" || fail "links above lead nowhere"
# Our own stylesheet in the documents, not pandoc's, which no notice names.
grep -rl --include='*.html' 'span.smallcaps' "$scratch" && fail "documents above carry pandoc's stylesheet"

[ $failures -eq 0 ] && echo "checked $zip: ${#expected[@]} files"
[ $failures -eq 0 ]
