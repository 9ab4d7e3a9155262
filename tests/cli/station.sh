#!/bin/bash
# A station as a scanner drives it through a pipe (labels ended by CR LF): the label the pattern
# refuses is said and sends nothing, the other passes; the station's line names its profile and
# station and links to the line upload --log wrote before it, and the head printed is that of the
# record's last line, which report --verify --head accepts here and in the native tool. Links and
# heads are checked against sha256sum.
# Usage: station.sh FOLDER PORT NATIVE-TOOL -- TOOL...
set -u
folder=$1 port=$2 native=$3
shift 4
rm -rf "$folder" && mkdir -p "$folder" && cd "$folder" || exit 1
status=0
fail() {
    echo "$*" >&2
    status=1
}
# The hash of the record's line N as written: without its CR LF.
link() { sed -n "$1p" record.jsonl | tr -d '\r\n' | sha256sum | cut -c1-64; }
# The head a run printed last, from its output.
head_in() { grep -oE 'ends at head [0-9a-f]{12}:' "$1" | tail -1 | cut -c14-25; }

"$@" profile new "Line 3" line3.json --set fwd.acc=17 >profile.txt || { cat profile.txt; exit 1; }
identity=$(grep -oE '\[[0-9a-f]{64}\]' profile.txt | tr -d '[]')
[ -n "$identity" ] || fail "no identity in: $(cat profile.txt)"

"$@" upload --port "$port" --profile line3.json --unit F-0 --log record.jsonl 2>&1 |
    tr -d '\r' >upload.txt
first=$(link 1 | cut -c1-12)
if ! grep -qE "^confirmed in [0-9]+ ms; record head $first$" upload.txt ||
    [ "$(head_in upload.txt)" != "$first" ]; then
    fail "upload --log did not print its line's head $first: $(cat upload.txt)"
fi

printf 'F-1\r\nF 2\r\n' | "$@" station --profile line3.json --port "$port" --log record.jsonl \
    --unit-pattern 'F-[0-9]+' --station-name bench-7 >station.txt 2>&1
code=$?
cat station.txt
[ $code -eq 0 ] || fail "station: exit status $code, expected 0"
tr -d '\r' <station.txt >said.txt
for expected in '#   #  #   #' "F-1  confirmed in " \
    "REFUSED, nothing sent: the unit label 'F 2' does not match --unit-pattern 'F-[0-9]+'" \
    "1 unit: 1 passed, 0 failed"; do
    grep -qF -- "$expected" said.txt || fail "the station did not say: $expected"
done

lines=$(grep -c '' record.jsonl)
[ "$lines" -eq 2 ] || fail "$lines lines in the record, expected the upload's and F-1's"
station_line=$(sed -n 2p record.jsonl | tr -d '\r')
for field in '"unit":"F-1"' '"station":"bench-7"' '"profile":"Line 3"' \
    "\"profileId\":\"$identity\"" "\"prev\":\"$(link 1)\""; do
    grep -qF -- "$field" <<<"$station_line" || fail "the station's line lacks $field: $station_line"
done

head=$(head_in said.txt)
[ "$head" = "$(link 2 | cut -c1-12)" ] || fail "the station printed head '$head', not its line's"
"$@" report --verify --head "$head" record.jsonl || fail "report --verify --head $head failed"
"$native" report --verify --head "$head" record.jsonl ||
    fail "the native tool's report --verify --head $head failed"
exit $status
