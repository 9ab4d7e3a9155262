#!/usr/bin/env bash
# Benchmark of the station, printed, not asserted: one unit's time in `vkd37 station` from the
# scan's Enter to PASS on the screen, against the simulator paced at 9600 baud, beside the time
# the bytes take on the wire. The scans come as an operator's would, the next unit a while after
# the last PASS, and back to back, where the station first lets the last controller's line fall
# quiet.
#   scripts/bench-station.sh [units]
set -euo pipefail
cd "$(dirname "$0")/.."

units=${1:-20}
scripts/setup.sh
[[ -f build/native/CMakeCache.txt ]] || cmake --preset native >/dev/null
cmake --build --preset native --target vkd37-sim
# The native preset carries the sanitizers, whose start-up would dominate; time the release build.
release=build/linux-release
[[ -f $release/CMakeCache.txt ]] || cmake --preset linux-release >/dev/null
cmake --build --preset linux-release --target vkd37

scratch=$(mktemp -d)
sim_out=$scratch/sim.out
build/native/sim/vkd37-sim --max-seconds 600 >"$sim_out" &
sim_pid=$!
trap 'kill "$sim_pid" 2>/dev/null; rm -rf "$scratch"' EXIT
for ((i = 0; i < 50; i++)); do
    port=$(sed -n 's/^port: //p' "$sim_out")
    [[ -n $port ]] && break
    sleep 0.1
done
"$release/cli/vkd37" profile new bench "$scratch/profile.json" >/dev/null

echo "on the wire: 19 bytes out and 19 back at 9600 baud 8N1 = 39.6 ms" \
    "(the simulator paces its echo, 19.8 ms; a pseudo-terminal takes the frame at once)"
python3 - "$release/cli/vkd37" "$scratch" "$port" "$units" <<'PY'
import statistics, subprocess, sys, time

tool, scratch, port, units = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])
station = subprocess.Popen(
    [tool, "station", "--profile", f"{scratch}/profile.json", "--port", port,
     "--log", f"{scratch}/record.jsonl", "--station-name", "bench"],
    stdin=subprocess.PIPE, stdout=subprocess.PIPE, bufsize=0)

def unit(label):
    """Seconds from the label's Enter to its PASS line, and the exchange the tool timed."""
    start = time.monotonic()
    station.stdin.write(label.encode() + b"\n")
    line = b""
    while f"  {label}  ".encode() not in line:
        line = station.stdout.readline()
        if not line:
            sys.exit("the station ended early")
    if b"confirmed in " not in line:
        sys.exit(f"not confirmed: {line!r}")
    return time.monotonic() - start, int(line.split(b"confirmed in ")[1].split()[0])

def report(what, prefix, pause):
    times, exchanges = [], []
    for n in range(units):
        time.sleep(pause)
        seconds, ms = unit(f"{prefix}-{n}")
        times.append(seconds * 1000)
        exchanges.append(ms)
    print(f"{what}: Enter to PASS median {statistics.median(times):.1f} ms, "
          f"worst {max(times):.1f} ms; the exchange median {statistics.median(exchanges)} ms "
          f"({units} units)")

report("next unit 1.5 s after the last PASS", "A", 1.5)
report("back to back", "B", 0)
station.stdin.close()
station.wait()
PY
