#!/usr/bin/env bash
# Benchmark of the command-line tool, printed, not asserted: `vkd37 upload` from process start to
# exit against the simulator paced at 9600 baud, natively and the Windows console build under
# Wine; median and worst of N runs, with the exchange time the tool reports itself.
#   scripts/bench-cli.sh [runs]
set -euo pipefail
cd "$(dirname "$0")/.."

runs=${1:-20}
scripts/setup.sh
for preset in native win64; do
    [[ -f build/$preset/CMakeCache.txt ]] || cmake --preset "$preset" >/dev/null
done
cmake --build --preset native --target vkd37-sim
# The native preset carries the sanitizers, whose start-up would dominate; time the release build.
release=build/linux-release
[[ -f $release/CMakeCache.txt ]] || cmake --preset linux-release >/dev/null
cmake --build --preset linux-release --target vkd37
cmake --build --preset win64 --target vkd37

# Prints "median X ms, worst Y ms" of the numbers on standard input.
summarise() {
    sort -n | awk '{ v[NR] = $1 } END {
        m = NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
        printf "median %.1f ms, worst %.1f ms (%d runs)\n", m, v[NR], NR }'
}

# Runs one upload per line of output: "<process ms> <exchange ms>"; $1 is the port, the rest the
# command that runs the tool.
time_uploads() {
    local port=$1
    shift
    for ((i = 0; i < runs; i++)); do
        local start end record
        start=$(date +%s%N)
        record=$("$@" upload --port "$port" --json build/none) || { echo "upload failed" >&2; exit 1; }
        end=$(date +%s%N)
        echo "$(((end - start) / 1000)) $(sed -n 's/.*"ms":\([0-9]*\).*/\1/p' <<<"$record")"
    done
}

report() {
    local times
    times=$(cat)
    echo "  process start to exit: $(awk '{ print $1 / 1000 }' <<<"$times" | summarise)"
    echo "  exchange (tool's own): $(awk '{ print $2 }' <<<"$times" | summarise)"
}

echo "simulator's paced echo: 19 bytes at 9600 baud 8N1 = 19.8 ms"
echo "vkd37 (linux-release build) against vkd37-sim:"
sim_out=$(mktemp)
build/native/sim/vkd37-sim --max-seconds 600 >"$sim_out" &
sim_pid=$!
trap 'kill "$sim_pid" 2>/dev/null; rm -f "$sim_out"' EXIT
for ((i = 0; i < 50; i++)); do
    port=$(sed -n 's/^port: //p' "$sim_out")
    [[ -n $port ]] && break
    sleep 0.1
done
time_uploads "$port" "$release/cli/vkd37" | report
kill "$sim_pid"
wait "$sim_pid" 2>/dev/null || true

echo "vkd37.exe (win64 build under Wine) against the bench's COM1:"
scripts/wine/session bash -c '
    scripts/wine/simulators start >/dev/null || exit 1
    source /dev/stdin <<<"$1"
    time_uploads COM1 scripts/wine/run build/win64/cli/vkd37.exe | report
    scripts/wine/simulators stop
' bench "$(declare -f summarise time_uploads report; echo "runs=$runs")"
