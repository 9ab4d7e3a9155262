#!/usr/bin/env bash
# Builds every preset and runs every test: natively (sanitizers, fuzzing, simulator), the browser
# page against the simulator in headless Chromium, the Debian package, the 32-bit programs' PE
# checks and the zip, and the 64-bit build under Wine, whose shipping suite runs the zip's 32-bit
# programs under 32-bit Wine through qemu-i386 (skipped, saying why, where that cannot run; a
# failure under .ci/run). Prints the time of each phase, and all of them at the end, followed by
# why each failed test failed.
#
# The builds take the processors; most tests wait (for a simulator's line, a window, a browser),
# so each test phase runs beside the builds that come after it as soon as what it needs is
# built, in the order scripts/presets.sh gives: the native tests once the native build is there,
# the page's once its own is (it takes the native tool and simulator too), the Windows tests (in
# VKD_WINE_LANES lanes of the Wine bench at once, 3 unless set) once the zip they unpack is made.
# A phase in the background shows its output when it has ended.
set -uo pipefail
cd "$(dirname "$0")/.."
. scripts/presets.sh

phases=()
logs=$(mktemp -d)
# A phase in the background has a process group of its own, which ends with this script.
trap 'for pid in "$logs"/*.pid; do [ -f "$pid" ] && kill -TERM -- "-$(<"$pid")" 2>/dev/null; done
    rm -rf "$logs"' EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# phase NAME COMMAND...: runs one phase, timed; its status is the command's. The processor time
# (user and system, of the command and all it waited for) beside the wall time tells a phase
# that computes from one that waits. The command runs in a subshell whose `times` counts only
# its own children: a phase in the background that ends meanwhile is not charged to this one.
# Daemons are not counted (the wineservers, the simulators).
phase() {
    local name=$1 started=$SECONDS status took cpu_file
    shift
    echo "== $name"
    cpu_file=$(mktemp -p "$logs")
    (
        "$@"
        status=$?
        times >"$cpu_file"
        exit $status
    )
    status=$?
    took=$(printf '%4d s (processor %4d s)' $((SECONDS - started)) "$(awk '{ for (i = 1; i <= 2;
        i++) { split($i, t, /[ms]/); cpu += t[1] * 60 + t[2] } } END { printf "%d", cpu }' "$cpu_file")")
    phases+=("$(printf '%-22s %s%s' "$name" "$took" "$([ $status -eq 0 ] || echo "  FAILED ($status)")")")
    echo "== $name: $took"
    return $status
}

# begin NAME COMMAND...: a phase in the background; finish NAME waits for it, shows its output
# and its time, and takes its status.
begin() {
    local name=$1
    shift
    echo "== $name: begun beside what follows"
    set -m
    (
        phases=()
        phase "$name" "$@"
        status=$?
        printf '%s\n' "${phases[@]}" >"$logs/$name.phase"
        exit $status
    ) >"$logs/$name.log" 2>&1 &
    echo $! >"$logs/$name.pid"
    set +m
}
finish() {
    local name=$1 status
    wait "$(<"$logs/$name.pid")"
    status=$?
    rm "$logs/$name.pid"
    cat "$logs/$name.log"
    phases+=("$(cat "$logs/$name.phase" 2>/dev/null || echo "$name  FAILED ($status)")")
    return $status
}

build() {
    cmake --preset "$1" >"build/configure-$1.log" 2>&1 || { cat "build/configure-$1.log"; return 1; }
    cmake --build --preset "$1"
}

run_tests() {
    if [ "$1" = win64 ]; then
        scripts/wine/session --lanes "${VKD_WINE_LANES:-3}" ctest --preset win64
    else
        ctest --preset "$1"
    fi
}

summary() {
    echo "== phases"
    printf '  %s\n' "${phases[@]}"
    echo "== builds and tests took $((SECONDS - setup_ended)) s; everything took $SECONDS s"
}

# A build that fails ends the run, once the phases begun have ended.
failed_build() {
    local pid
    for pid in "$logs"/*.pid; do
        [ -f "$pid" ] && finish "$(basename "$pid" .pid)"
    done
    summary
    exit 1
}

setup_ended=0
phase setup scripts/setup.sh || { summary; exit 1; }
setup_ended=$SECONDS
mkdir -p build
status=0
phase "build native" build native || failed_build
begin "test native" run_tests native
phase "build web" build web || failed_build
begin "test web" run_tests web
phase "build win32" build win32 || failed_build
# The zip, which the Windows tests' shipping suite unpacks.
phase "test win32" run_tests win32 || status=1
phase "build win64" build win64 || failed_build
begin "test win64" run_tests win64
phase "build linux-release" build linux-release || failed_build
phase "test linux-release" run_tests linux-release || status=1
finish "test native" || status=1
finish "test web" || status=1
finish "test win64" || status=1
summary
# Last, where a log cut to its head and tail still shows it.
if [ $status -ne 0 ]; then
    echo "== why the failed tests failed"
    python3 scripts/failure-digest.py "${presets[@]/#/build/}"
fi
exit $status
