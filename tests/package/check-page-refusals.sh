#!/usr/bin/env bash
# The packages take the web preset's page only when its build tree has nothing left to do for it:
# a missing page and one older than its sources are refused. Tried on a stand-in tree.
# Usage: check-page-refusals.sh CHECK_WEB_PAGE_CMAKE
set -uo pipefail
check=$1
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
mkdir -p "$tree/web"
echo source >"$tree/source.txt"
cat >"$tree/build.ninja" <<NINJA
rule copy
  command = cp \$in \$out
build web/vkd37.html: copy source.txt
build vkd37-page: phony web/vkd37.html
NINJA
verdict() { cmake -DVKD_WEB_BUILD="$tree" -P "$check" 2>&1; }
failures=0
expect() { # WORD: the check fails naming WORD, or passes for "ok"
    local output status
    output=$(verdict) && status=0 || status=1
    if [[ $1 == ok ]]; then
        [[ $status -eq 0 ]] || { echo "FAIL: a fresh page was refused: $output"; failures=$((failures + 1)); }
    elif [[ $status -eq 0 || $output != *"$1"* ]]; then
        echo "FAIL: expected a refusal naming '$1', got: ${output:-success}"
        failures=$((failures + 1))
    fi
}
expect missing
ninja -C "$tree" vkd37-page >/dev/null
expect ok
touch -d '+1 minute' "$tree/source.txt"
expect older
[[ $failures -eq 0 ]] && echo "a missing and a stale page are refused, a fresh one taken"
[[ $failures -eq 0 ]]
