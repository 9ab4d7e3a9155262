#!/usr/bin/env bash
# Runs a command and checks its exit status and that its standard output has a line matching
# a pattern (grep -E):   expect-exit.sh STATUS PATTERN COMMAND...
set -uo pipefail
expected=$1 pattern=$2
shift 2
output=$("$@")
status=$?
printf '%s\n' "$output"
[ "$status" -eq "$expected" ] || { echo "exit status $status, expected $expected"; exit 1; }
grep -qE -- "$pattern" <<<"$output" || { echo "no line matches: $pattern"; exit 1; }
