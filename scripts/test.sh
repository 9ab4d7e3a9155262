#!/usr/bin/env bash
# Builds everything and runs every test: natively (sanitizers, fuzzing, simulator), the 32-bit
# program's PE checks, the 64-bit build under Wine against the simulator, the two packages
# made from the release builds (linux-release, win32), the shipping suite (the zip's 32-bit
# programs under 32-bit Wine through qemu-i386; skipped, saying why, where that cannot run; a
# failure under .ci/run), and the browser page (web).
set -uo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh || exit 1
echo "== setup took ${SECONDS} s"

build() {
    cmake --preset "$1" >"build/configure-$1.log" 2>&1 || { cat "build/configure-$1.log"; return 1; }
    cmake --build --preset "$1"
}

mkdir -p build
status=0
for preset in native linux-release win32 win64 web; do
    echo "== build $preset"
    build "$preset" || { echo "build $preset failed"; exit 1; }
done

echo "== test native"
ctest --preset native || status=1
echo "== test linux-release (the Debian package)"
ctest --preset linux-release || status=1
echo "== test win32"
ctest --preset win32 || status=1
echo "== test win64 (under Wine; the shipping suite runs the zip's 32-bit programs)"
started=$SECONDS
scripts/wine/session ctest --preset win64 || status=1
echo "== test win64 took $((SECONDS - started)) s"
echo "== test web (the browser page against the simulator, in headless Chromium)"
ctest --preset web || status=1
echo "== everything took $SECONDS s"
exit $status
