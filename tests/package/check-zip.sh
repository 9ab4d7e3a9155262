#!/usr/bin/env bash
# Checks the Windows zip as a user gets it: exactly the programs, the page, the texts and the
# guide in one folder, 32-bit programs Windows XP can load, a read-me that answers the first
# questions, links that lead somewhere, and the notices of what the programs contain.
# Usage: check-zip.sh ZIP VERSION CHECK_PE SOURCE_DATE_EPOCH CHECK_LINKS...
set -euo pipefail
zip=$1 version=$2 check_pe=$3 epoch=$4
check_links=("${@:5}")
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

folder=VKD-37-$version-win32
dialog="VKD-37参数设定程序.exe"
expected=("$folder/$dialog" "$folder/vkd37.exe" "$folder/README.txt" "$folder/LICENSE"
    "$folder/CHANGELOG.md" "$folder/NOTICES.txt" "$folder/vkd37.html"
    "$folder/operator-guide.html" "$folder/protocol.html" "$folder/record.html"
    "$folder/screenshot.png"
    "$folder/web-page.png")

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

for text in "$version" InitialParameter.dll "working directory" Com0 Com9 operator-guide.html \
    NOTICES.txt "Suceed Open Serial Port" "Faild Open Serial Port" "Download Complete" \
    "Download Failed"; do
    grep -qF "$text" README.txt || fail "README.txt does not mention '$text'"
done
for text in README.txt LICENSE CHANGELOG.md NOTICES.txt; do
    # Notepad before Windows 10 shows a file without CR as one long line.
    [ "$(grep -c $'\r$' "$text")" -eq "$(wc -l <"$text")" ] || fail "$text has lines without CR"
done
grep -q "MIT License" LICENSE || fail "LICENSE is not the MIT licence"
# Each part's holder and its licence's own words.
for notice in "University of Cincinnati" "Neither the name of the University" "Niels Lohmann" \
    "Permission is hereby granted, free of charge" "the mingw-w64 project" \
    "Redistributions in binary form must reproduce the accompanying" "Lucent Technologies" \
    "LUCENT DISCLAIMS ALL WARRANTIES" "David M. Gay" "without restriction of copyright" \
    "GCC Runtime Library Exception" "Rich Felker" "Nuxi" "LLVM exception"; do
    grep -qF "$notice" NOTICES.txt || fail "NOTICES.txt lacks '$notice'"
done
"${check_links[@]}" "$scratch" || fail "links above lead nowhere"

[ $failures -eq 0 ] && echo "checked $zip: ${#expected[@]} files"
[ $failures -eq 0 ]
