#!/usr/bin/env bash
# Builds every preset and runs every test, in the order of scripts/presets.sh: natively
# (sanitizers, fuzzing, simulator), the browser page against the simulator in headless Chromium,
# the Debian package, the 32-bit programs' PE checks and the zip, and the 64-bit build under
# Wine, whose shipping suite runs the zip's 32-bit programs under 32-bit Wine through qemu-i386
# (skipped, saying why, where that cannot run; a failure under .ci/run). Prints the time of each
# phase, and all of them at the end.
set -uo pipefail
cd "$(dirname "$0")/.."
. scripts/presets.sh

phases=()
# The processor time, user and system, of the children that have ended, in whole seconds.
# (`times` runs here, not in a subshell, whose children are its own.)
times_file=$(mktemp)
trap 'rm -f "$times_file"' EXIT
cpu_seconds() {
    times >"$times_file"
    printf -v "$1" '%s' "$(awk 'NR == 2 { for (i = 1; i <= 2; i++) { split($i, t, /[ms]/);
        cpu += t[1] * 60 + t[2] } } END { printf "%d", cpu }' "$times_file")"
}

# phase NAME COMMAND...: runs one phase, timed; its status is the command's. The processor time
# beside the wall time tells a phase that computes from one that waits.
phase() {
    local name=$1 started=$SECONDS cpu_before cpu_after status took
    cpu_seconds cpu_before
    shift
    echo "== $name"
    "$@"
    status=$?
    cpu_seconds cpu_after
    took=$(printf '%4d s (processor %4d s)' $((SECONDS - started)) $((cpu_after - cpu_before)))
    phases+=("$(printf '%-22s %s%s' "$name" "$took" "$([ $status -eq 0 ] || echo "  FAILED ($status)")")")
    echo "== $name: $took"
    return $status
}

build() {
    cmake --preset "$1" >"build/configure-$1.log" 2>&1 || { cat "build/configure-$1.log"; return 1; }
    cmake --build --preset "$1"
}

run_tests() {
    if [ "$1" = win64 ]; then
        scripts/wine/session ctest --preset win64
    else
        ctest --preset "$1"
    fi
}

summary() {
    echo "== phases"
    printf '  %s\n' "${phases[@]}"
    echo "== everything took $SECONDS s"
}

phase setup scripts/setup.sh || exit 1
mkdir -p build
for preset in "${presets[@]}"; do
    phase "build $preset" build "$preset" || { summary; exit 1; }
done
status=0
for preset in "${presets[@]}"; do
    phase "test $preset" run_tests "$preset" || status=1
done
summary
exit $status
