#!/usr/bin/env bash
# Checks the Debian package as a user gets it: its files, its fields, that the programs
# unpacked from it run and report the project's version, that its documents' links lead
# somewhere and that its copyright file carries the notice of each part the programs contain.
# Usage: check-deb.sh DEB VERSION SOURCE_DATE_EPOCH CHECK_LINKS...
set -euo pipefail
deb=$1 version=$2 epoch=$3
check_links=("${@:4}")
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

programs=(vkd37 vkd37-sim)
doc=./usr/share/doc/vkd37-tools
expected=("$doc/changelog.gz" "$doc/copyright" "$doc/README.html" "$doc/operator-guide.html"
    "$doc/protocol.html" "$doc/record.html" "$doc/simulator.html" "$doc/screenshot.png" "$doc/web-page.png"
    ./usr/share/doc-base/vkd37-tools ./usr/share/vkd37/vkd37.html)
for program in "${programs[@]}"; do
    expected+=("./usr/bin/$program" "./usr/share/man/man1/$program.1.gz")
done

listing=$(TZ=UTC dpkg-deb --contents "$deb")
files=$(awk '$1 !~ /^d/ {print $6}' <<<"$listing" | sort)
diff -u <(printf '%s\n' "${expected[@]}" | sort) <(echo "$files") ||
    fail "the package's files differ from the list above (- expected, + found)"
# Its bytes depend on the commit alone: every entry of the outer archive and of both tar files is
# root's, 0644 or 0755 whatever the packager's umask, and dated by the commit.
tar_stamp=$(date -u -d "@$epoch" '+%F %H:%M')
ar_stamp=$(LC_ALL=C date -u -d "@$epoch" '+%b %-d %H:%M %Y')
{
    echo "$listing"
    dpkg-deb --ctrl-tarfile "$deb" | TZ=UTC tar -tv
} | awk -v stamp="$tar_stamp" '$2 != "root/root" || $1 !~ /^(-rw-r--r--|[-d]rwxr-xr-x)$/ ||
    $4 " " $5 != stamp' | grep . && fail "tar entries above are not root's, 0644/0755, at $tar_stamp"
LC_ALL=C TZ=UTC ar tv "$deb" | awk -v stamp="$ar_stamp" '$1 " " $2 != "rw-r--r-- 0/0" ||
    $4 " " $5 " " $6 " " $7 != stamp' | grep . && fail "members above are not root's 0644 at $ar_stamp"

[ "$(dpkg-deb -f "$deb" Package)" = vkd37-tools ] || fail "package name"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "package version"
depends=$(dpkg-deb -f "$deb" Depends)
grep -q 'libc6 (>=' <<<"$depends" || fail "Depends '$depends' lacks the computed libc6 version"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
dpkg-deb -x "$deb" "$scratch"
for program in "${programs[@]}"; do
    answer=$("$scratch/usr/bin/$program" --version) || fail "$program --version exits $?"
    [[ " $answer " == *" $version "* ]] || fail "$program --version says '$answer'"
    man -l "$scratch/usr/share/man/man1/$program.1.gz" 2>/dev/null | grep -q "^NAME" ||
        fail "$program's man page does not render"
done
# The page must work from disk: everything inside it, and a policy that lets it reach nothing.
grep -qF "connect-src 'none'" "$scratch/usr/share/vkd37/vkd37.html" ||
    fail "vkd37.html lacks its Content-Security-Policy"
# The page alone, a release file of its own, carries its part of the guide and its notices.
for text in 'id="guide"' "Rich Felker" "Nuxi" "Redistributions in binary form must reproduce"; do
    grep -qF "$text" "$scratch/usr/share/vkd37/vkd37.html" || fail "vkd37.html lacks '$text'"
done
zcat "$scratch/usr/share/doc/vkd37-tools/changelog.gz" | head -n 1 |
    grep -qF "vkd37-tools ($version) " || fail "the changelog's top entry is not $version"
"${check_links[@]}" "$scratch" || fail "links above lead nowhere"
# Each part's holder and its licence's own words (lintian checks the format).
for notice in "Files: usr/bin/vkd37 usr/bin/vkd37-sim" "University of Cincinnati" \
    "Neither the name of the University" "Niels Lohmann" \
    "Permission is hereby granted, free of charge" "Files: usr/share/vkd37/vkd37.html" \
    "Rich Felker" "Nuxi" "Redistributions in binary form must reproduce the above" \
    "LLVM Exceptions to the Apache 2.0 License"; do
    grep -qF "$notice" "$scratch/usr/share/doc/vkd37-tools/copyright" ||
        fail "the copyright file lacks '$notice'"
done

[ $failures -eq 0 ] && echo "checked $deb: ${#expected[@]} files, Depends: $depends"
[ $failures -eq 0 ]
