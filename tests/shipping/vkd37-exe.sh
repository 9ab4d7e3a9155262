#!/usr/bin/env bash
# The shipped vkd37.exe under 32-bit Wine against the bench's simulators, in three starts run at
# once:   vkd37-exe.sh VKD37_EXE VERSION
#   upload to COM1 (the good controller): exit 0, the exact frame received and reported
#   upload to COM2 (silent):              exit 1, "failed: no echo"
#   --version:                            exit 0, the project's version
# then a report on a record of more than 1 GiB, which a 32-bit program can only read a piece at a
# time: its lines at both ends summed up, the gigabyte between (a hole of the file, one overlong
# line) left out.
set -uo pipefail
exe=$(realpath "$1") version=$2
wine_scripts="$(cd "$(dirname "$0")/../.." && pwd)/scripts/wine"
run32="$wine_scripts/i386 run"
# The simulators of the bench's lane that runs this test.
# shellcheck source=scripts/wine/common.sh
source "$wine_scripts/common.sh"
bench=$bench_dir
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# A mixed profile given on the command line over a file of the dialog's start values. The frame
# is the one the native tool computes for these values.
frame=03007F7F0A020A200A00123400000001D20800
set_values=(fwd.acc=127 fwd.speed=128 rev.source=external-pot rev.speed=33 cycles=4660
    cycles.on=on end_delay_ms=1193046 end_delay.on=on)
frames() { grep -o '"bytes":"[0-9A-F]*"' "$bench/sim$1.jsonl" 2>/dev/null | cut -d'"' -f4; }
good_before=$(frames 1 | wc -l)
silent_before=$(frames 2 | wc -l)

cd "$scratch"
printf '0 0 10 108 10 0 10 108 10 100 2000 2000 0 0 0 0 ' >start.dll
started=$SECONDS
$run32 "$exe" upload --port COM1 start.dll --set "${set_values[@]}" --json >good.out 2>&1 &
good=$!
$run32 "$exe" upload --port COM2 start.dll >silent.out 2>&1 &
silent=$!
$run32 "$exe" --version >version.out 2>&1 &
version_pid=$!
wait $good; good_status=$?
wait $silent; silent_status=$?
wait $version_pid; version_status=$?
echo "three starts of vkd37.exe took $((SECONDS - started)) s (under emulation)"

failures=0
check() { # NAME STATUS EXPECTED_STATUS OUTPUT_FILE PATTERN
    echo "-- $1: exit $2"
    cat "$4"
    if [[ $2 -ne $3 ]]; then
        echo "FAIL: $1 exited $2, expected $3"
        failures=$((failures + 1))
    elif ! grep -qE -- "$5" "$4"; then
        echo "FAIL: $1: no line matches $5"
        failures=$((failures + 1))
    fi
}
check "upload to COM1" $good_status 0 good.out "\"frame\":\"$frame\",\"outcome\":\"confirmed\""
check "upload to silent COM2" $silent_status 1 silent.out '^failed: no echo in [0-9]+ ms'
# A Windows console program ends its lines with CR LF.
check "--version" $version_status 0 version.out "^vkd37 ${version//./\\.}"$'\r'"?\$"

# The record's real lines stand before and after a hole of 1 GiB, so the file costs no disk.
line() {
    printf '{"time":"2025-03-04T09:%02d:00.000Z","unit":"%s","port":"COM3","frame":"%s",' "$1" "$2" "$frame"
    printf '"outcome":"%s","ms":41,"program":"vkd37 %s"}\n' "$3" "$version"
}
{ line 1 G-1 no-echo; line 2 G-2 confirmed; } >large.jsonl
truncate -s $(((1 << 30) + 4096)) large.jsonl
{ echo; line 3 G-1 confirmed; } >>large.jsonl
started=$SECONDS
$run32 "$exe" report large.jsonl >large.out 2>large.err
large_status=$?
echo "a report on a record of $(($(stat -c %s large.jsonl) >> 20)) MiB took $((SECONDS - started)) s (under emulation)"
cat large.err
check "report on a record of 1 GiB" $large_status 0 large.out $'^Units: +2\r?$'
if ! grep -qE $'^G-1 +2 +confirmed' large.out || ! grep -q 'line 3 is not a record entry' large.err; then
    echo "FAIL: the report on a record of 1 GiB is not that of its lines"
    failures=$((failures + 1))
fi

good_after=$(frames 1)
if [[ $(wc -l <<<"$good_after") -ne $((good_before + 1)) || $(tail -n 1 <<<"$good_after") != "$frame" ]]; then
    echo "FAIL: COM1's simulator did not receive exactly $frame once; its last frames:"
    tail -n 3 <<<"$good_after"
    failures=$((failures + 1))
fi
if [[ $(frames 2 | wc -l) -ne $((silent_before + 1)) ]]; then
    echo "FAIL: COM2's simulator did not receive one frame"
    failures=$((failures + 1))
fi
[[ $failures -eq 0 ]] && echo "vkd37.exe: 3 starts, every check passed"
[[ $failures -eq 0 ]]
