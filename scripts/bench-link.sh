#!/usr/bin/env bash
# Builds the simulator and the link benchmark, then times 50 frames through SerialLink to the
# bench's good controller (COM1, paced like a 9600 baud line) under Wine.
#   scripts/bench-link.sh [frames]
set -euo pipefail
cd "$(dirname "$0")/.."

frames=${1:-50}
for preset in native win64; do
    [[ -f build/$preset/CMakeCache.txt ]] || cmake --preset "$preset" >/dev/null
done
cmake --build --preset native --target vkd37-sim
cmake --build --preset win64 --target link_bench

# The simulators run only for the benchmark; the session stops any left behind.
scripts/wine/session bash -c '
    scripts/wine/simulators start >/dev/null || exit 1
    scripts/wine/run build/win64/bench/link_bench.exe 1 "$1"
    status=$?
    scripts/wine/simulators stop
    exit $status
' bench-link "$frames"
