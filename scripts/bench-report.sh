#!/usr/bin/env bash
# Benchmark of `vkd37 report` on large records, printed, not asserted: the time and the peak
# memory (resident set) of each form of the report, and of the station's start, for records of
# 100,000 and 1,000,000 lines, of the release build. The records are made here: a line per attempt
# as `upload --log` writes it, one unit in ten failing once before it is confirmed, the lines of
# two batches interleaved out of time order. With --win32, also the 32-bit Windows tool's summary
# of a record of 1 GiB, under 32-bit Wine (an emulator's time, not a figure for the program).
#   scripts/bench-report.sh [--win32]
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
release=build/linux-release
[[ -f $release/CMakeCache.txt ]] || cmake --preset linux-release >/dev/null
cmake --build --preset linux-release --target vkd37
tool=$release/cli/vkd37
folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT

# A record of $1 attempts, or of about $2 bytes when given; with $3, its lines name a profile and
# one of two stations.
make_record() {
    python3 - "$1" "${2:-0}" "${3:-}" <<'PYTHON'
import sys
lines, size, stations = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3] != ''
station = '"profile":"Line 3","station":"s%d",'

values = ('"values":{"fwd.source":0,"fwd.acc":10,"fwd.speed":108,"fwd.dec":10,"rev.source":0,'
          '"rev.acc":10,"rev.speed":108,"rev.dec":10,"cycles":100,"home_delay_ms":2000,'
          '"end_delay_ms":2000,"cycles.on":1,"home_delay.on":0,"end_delay.on":0,"auto_home":0}')
out = sys.stdout
written = 0
n = 0
while (n < lines) if size == 0 else (written < size):
    unit = n - n // 11
    retry = n % 11 == 10
    # Two batches' lines interleaved: each second one a second earlier than the one before.
    ms = n * 1000 + (-1500 if n % 2 else 0) + 10 ** 12
    seconds, millis = divmod(ms, 1000)
    minutes, second = divmod(seconds, 60)
    hours, minute = divmod(minutes, 60)
    days, hour = divmod(hours, 24)
    time = '2025-%02d-%02dT%02d:%02d:%02d.%03dZ' % (1 + days // 28 % 12, 1 + days % 28, hour,
                                                    minute, second, millis)
    outcome = 'no-echo' if n % 11 == 9 else 'confirmed'
    line = ('{"time":"%s","unit":"A-%07d","port":"/dev/ttyUSB0",'
            '"frame":"03000A6B0A000A6B0A00006400000000000000","outcome":"%s","ms":%d,%s,'
            '%s"program":"vkd37 1.2.0"}\n' % (time, unit - (1 if retry else 0), outcome,
                                             1103 if outcome == 'no-echo' else 41, values,
                                             station % (n % 2) if stations else ''))
    out.write(line)
    written += len(line)
    n += 1
PYTHON
}

# "<seconds> s, <peak> MiB" of one run of the tool.
measure() {
    /usr/bin/time -f '%e s, %M KiB' -o "$folder/time" "$@" >"$folder/out" 2>/dev/null ||
        { echo "failed: $*" >&2; return 1; }
    awk '{ printf "%s s, peak %.0f MiB", $1, $3 / 1024 }' "$folder/time"
}

"$tool" profile new Bench "$folder/profile.json" >/dev/null
echo "vkd37 report (linux-release build), time and peak resident memory:"
for lines in 100000 1000000; do
    make_record "$lines" >"$folder/record.jsonl"
    echo "  $lines lines ($(du -m "$folder/record.jsonl" | cut -f1) MiB):"
    for form in summary --csv --html --xlsx; do
        arguments=("$folder/record.jsonl")
        [[ $form == summary ]] || arguments+=("$form")
        echo "    $form: $(measure "$tool" report "${arguments[@]}"), output $(du -m "$folder/out" | cut -f1) MiB"
    done
    # The station reads the record for the units confirmed today before it opens its port: here
    # one that is not there (exit status 3), so that only the start is measured.
    echo "    station's start: $(measure bash -c '"$0" "$@"; [[ $? == 3 ]]' "$tool" station \
        --profile "$folder/profile.json" --port "$folder/no-port" --log "$folder/record.jsonl")"
done

# Two stations' records gathered: lines naming their station and profile (the summary reads the
# record once more for what the stations' records say), and a second file repeating about half
# of the first's lines.
make_record 1000000 0 stations >"$folder/record.jsonl"
head -c 210000000 "$folder/record.jsonl" | sed '$d' >"$folder/copy.jsonl"
echo "  1000000 lines naming stations and profiles, and a file repeating $(wc -l <"$folder/copy.jsonl") of them:"
for form in summary --verify; do
    arguments=("$folder/record.jsonl" "$folder/copy.jsonl")
    [[ $form == summary ]] || arguments+=("$form")
    echo "    $form: $(measure "$tool" report "${arguments[@]}")"
done

if [[ ${1:-} == --win32 ]]; then
    cmake --build --preset win32 --target vkd37
    make_record 0 $((1 << 30)) >"$folder/record.jsonl"
    echo "vkd37.exe (32-bit) report of a record of 1 GiB under 32-bit Wine (emulated):"
    echo "  summary: $(measure scripts/wine/session scripts/wine/i386 run build/win32/cli/vkd37.exe \
        report "$folder/record.jsonl") (the peak is Wine's loader's, not the program's)"
    tail -3 "$folder/out"
fi
