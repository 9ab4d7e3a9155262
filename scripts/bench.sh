#!/usr/bin/env bash
# Benchmarks, printed, not asserted: round trips through the serial link, the whole upload
# through the real program (both under Wine against the paced simulators), what the program
# holds before and after a long run of uploads, its start-up time, and the size of the shipping
# 32-bit program.
#   scripts/bench.sh [frames] [uploads] [long run] [starts]
set -euo pipefail
cd "$(dirname "$0")/.."

frames=${1:-50}
uploads=${2:-20}
long_run=${3:-1000}
starts=${4:-10}
scripts/setup.sh
for preset in native win32 win64; do
    [[ -f build/$preset/CMakeCache.txt ]] || cmake --preset "$preset" >/dev/null
done
cmake --build --preset native --target vkd37-sim
cmake --build --preset win32 --target vkd37-dialog
cmake --build --preset win64 --target link_bench upload_bench vkd37-dialog

program=$(echo build/win32/ui/*.exe)
echo "32-bit program: $(stat -c %s "$program") bytes ($program)"

# The simulators run only for the benchmarks; the session stops any left behind.
scripts/wine/session bash -c '
    scripts/wine/simulators start >/dev/null || exit 1
    status=0
    scripts/wine/run build/win64/tools/bench/link_bench.exe 1 "$1" || status=1
    program=Z:$(echo "$PWD"/build/win64/ui/*.exe)
    scripts/wine/run build/win64/tools/bench/upload_bench.exe "$program" "$2" "$3" "$4" || status=1
    scripts/wine/simulators stop
    exit $status
' bench "$frames" "$uploads" "$long_run" "$starts"
