#!/usr/bin/env bash
# Benchmark of the browser page, printed, not asserted (see tools/bench/page-bench.mjs): start-up
# from disk, sizes, and uploads through the bridge beside `vkd37 upload` of the release build.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
for preset in native linux-release web; do
    [[ -f build/$preset/CMakeCache.txt ]] || cmake --preset "$preset" >/dev/null
done
cmake --build --preset native --target vkd37-sim
cmake --build --preset linux-release --target vkd37
cmake --build --preset web
node tools/bench/page-bench.mjs build/web/web/vkd37.html build/web/web/vkd37-core.wasm \
    build/native/sim/vkd37-sim build/linux-release/cli/vkd37
