#!/usr/bin/env bash
# The Windows store under Wine and the native tool change one file at once: save_loop.exe adds
# to the cycles, `vkd37 set` meanwhile writes the end delay over and over. Only if both take the
# same lock does every addition land.
# Usage: saves-under-wine-and-native.sh EMULATOR SAVE_LOOP_EXE NATIVE_VKD37
set -euo pipefail
emulator=$1 save_loop=$2 tool=$3
if [[ ! -x $tool ]]; then
    echo "skipped: no native tool at $tool (build the native preset first)"
    exit 77
fi
readonly additions=500 start="0 0 10 108 10 0 10 108 10 100 2000 2000 0 0 0 0 "
dir=$(mktemp -d)
trap 'kill "$counter" 2>/dev/null || true; rm -rf "$dir"' EXIT
cd "$dir"
printf '%s' "$start" >InitialParameter.dll
cycles() {
    local values
    read -r -a values <InitialParameter.dll || true # the file has no line end
    echo "${values[9]}"
}

# Each round the Windows program adds to the cycles while the native tool sets the end delay as
# often as it can. How many sets fall within a round depends on how the machine shares itself
# out, so rounds go on until enough have overlapped: a bound on that outcome, not a race.
sets=0 rounds=0
while ((sets < 10)); do
    if ((rounds == 20)); then
        echo "$sets sets in $rounds rounds: too few overlapped the additions to tell"
        exit 1
    fi
    before=$(cycles)
    "$emulator" "$save_loop" 0 "$additions" &
    counter=$!
    # A generous bound on Wine starting the program.
    for ((i = 0; i < 1200 && $(cycles) == before; i++)); do sleep 0.1; done
    while kill -0 "$counter" 2>/dev/null; do
        sets=$((sets + 1))
        "$tool" set InitialParameter.dll "end_delay_ms=$sets"
    done
    wait "$counter" || { echo "save_loop.exe failed"; exit 1; }
    rounds=$((rounds + 1))
done

expected="0 0 10 108 10 0 10 108 10 $((100 + additions * rounds)) 2000 $sets 0 0 0 0 "
actual=$(<InitialParameter.dll)
echo "$sets sets of the native tool ran while the Windows program added $additions cycles" \
    "$rounds times"
if [[ $actual != "$expected" ]]; then
    echo "expected \"$expected\", got \"$actual\": changes were lost"
    exit 1
fi
