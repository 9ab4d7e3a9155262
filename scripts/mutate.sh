#!/usr/bin/env bash
# Plants each fault of scripts/mutants.txt alone in the native build, runs the tests that should
# catch it, and puts the file back: prints each fault that survived and the score. Not part of the
# test command: run it after changing the code or the tests it names (docs/development.md).
#
#   scripts/mutate.sh [TABLE] [PATTERN]   # PATTERN: only the lines that contain it
set -u
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
table=${1:-$here/mutants.txt}
only=${2:-}
cd "$root" || exit 1
log=build/native/mutate.log

# The programs the tables' tests run, not the whole preset (the fuzzer, the page's reference).
targets=(model_tests frame_tests store_tests record_tests platform_tests line_wait_tests
    ui_text_tests tool_process_tests vkd37 vkd37-sim)
build() { cmake --build --preset native -j2 --target "${targets[@]}" >"$log" 2>&1; }
[ -d build/native ] || cmake --preset native >/dev/null || exit 1
build || { echo "mutate: the native build fails before any fault is planted (see $log)" >&2; exit 1; }

saved=$(mktemp)
planted=
# A fresh time on the restored file, so that the build takes it again.
restore() {
    if [ -n "$planted" ]; then
        cat "$saved" >"$planted"
        planted=
    fi
}
trap 'restore; rm -f "$saved"' EXIT
trap 'exit 130' INT TERM

killed=0 survived=0 stale=0 broken=0
survivors=()
while IFS= read -r line; do
    case "$line" in '' | '#'*) continue ;; esac
    [ -z "$only" ] || [[ "$line" == *"$only"* ]] || continue
    file=${line%% | *}
    rest=${line#* | }
    substitution=${rest%% | *}
    rest=${rest#* | }
    tests=${rest%% | *}
    fault=${rest#* | }
    cp "$file" "$saved"
    planted=$file
    perl -0777 -pi -e "$substitution" "$file"
    if cmp -s "$file" "$saved"; then
        echo "STALE     $file: $fault (the pattern no longer matches)"
        stale=$((stale + 1))
    elif ! build; then
        echo "NO BUILD  $file: $fault"
        broken=$((broken + 1))
    elif ctest --preset native --no-tests=error -R "$tests" >"$log" 2>&1; then
        echo "SURVIVED  $file: $fault ($tests)"
        survived=$((survived + 1))
        survivors+=("$file: $fault")
    else
        echo "killed    $file: $fault"
        killed=$((killed + 1))
    fi
    restore
done <"$table"
build || echo "mutate: the build fails after the tree was restored (see $log)" >&2

total=$((killed + survived))
echo "mutate: $killed of $total faults caught${total:+ ($((total ? 100 * killed / total : 0)) %)}," \
    "$stale stale, $broken that did not build"
for survivor in "${survivors[@]}"; do
    echo "  survived: $survivor"
done
[ "$survived" -eq 0 ] && [ "$stale" -eq 0 ]
