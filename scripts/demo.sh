#!/usr/bin/env bash
# The tool's main job on this machine: builds the program, joins COM1 of a private Wine prefix to
# the controller simulator, and runs the program there. With a display the window opens on it
# and the simulator decodes every upload in this terminal; without one the program runs in
# Xvfb, uploads once, and a screenshot is saved.
set -euo pipefail
repo_root=$(cd "$(dirname "$0")/.." && pwd)
cd "$repo_root"
demo_dir=$repo_root/build/demo
program=$repo_root/build/win64/ui/VKD-37参数设定程序.exe

if [[ ${1:-} != --inside-session ]]; then
    scripts/setup.sh
    mkdir -p build
    for preset in native win64; do
        cmake --preset "$preset" >"build/configure-$preset.log" 2>&1 ||
            { cat "build/configure-$preset.log"; exit 1; }
    done
    cmake --build --preset native --target vkd37-sim
    cmake --build --preset win64 --target vkd37-dialog vkd37-demo-upload
    export VKD_DEMO_HEADLESS=$([[ -n ${DISPLAY:-} ]] && echo 0 || echo 1)
    exec scripts/wine/session "$0" --inside-session
fi

bench=$VKD_WINE_BENCH
mkdir -p "$demo_dir"
# Start with the program on COM1, the simulator's port, unless an earlier run saved a choice.
[[ -f $demo_dir/InitialParameter.dll ]] ||
    printf '1 0 10 108 10 0 10 108 10 100 2000 2000 0 0 0 0 ' >"$demo_dir/InitialParameter.dll"

sim_pid=
program_pid=
cleanup() {
    [[ -n $program_pid ]] && kill "$program_pid" 2>/dev/null
    [[ -n $sim_pid ]] && kill "$sim_pid" 2>/dev/null
    wait 2>/dev/null || true
}
trap cleanup EXIT

build/native/sim/vkd37-sim --link "$bench/com1" --max-seconds 3600 </dev/null &
sim_pid=$!
for ((i = 0; i < 50; i++)); do [[ -e $bench/com1 ]] && break; sleep 0.1; done
[[ -e $bench/com1 ]] || { echo "demo: the simulator did not start" >&2; exit 1; }

if [[ $VKD_DEMO_HEADLESS == 0 ]]; then
    echo "demo: the program runs on $DISPLAY; choose Com1 and press \"Upload Parameters \"."
    echo "demo: the simulator prints each frame it receives below. Close the window to stop."
    (cd "$demo_dir" && "$VKD_WINE" "$program")
    exit 0
fi

# Wine shows the Linux root as drive Z: and takes forward slashes.
done_file=$demo_dir/screenshot.done
report=$demo_dir/upload.txt
rm -f "$done_file" "$report" "$demo_dir/screenshot.png"
(cd "$demo_dir" && "$VKD_WINE" "$repo_root/build/win64/tools/driver/vkd37-demo-upload.exe" \
    "Z:$program" "Z:$demo_dir" "Z:$done_file" \
    >"$report" 2>/dev/null) &
program_pid=$!
for ((i = 0; i < 600; i++)); do
    grep -qs "upload status" "$report" && break
    kill -0 "$program_pid" 2>/dev/null || break
    sleep 0.1
done
cat "$report"
sleep 0.5 # let the status settle on screen
# The window, not the whole screen. With no window manager on the Xvfb, Wine draws no frame:
# the window is its client area.
window=$(xwininfo -root -tree | awk '/"NORVEL AXIS PANEL"/ && !found { found = $1 } END { print found }')
crop=$(xwininfo -id "$window" | awk '/Absolute upper-left X/ { x = $NF } /Absolute upper-left Y/ { y = $NF }
    /Width:/ { w = $NF } /Height:/ { h = $NF } END { printf "%dx%d+%d+%d", w, h, x, y }')
xwd -root -silent -display "$DISPLAY" | /usr/bin/convert xwd:- -crop "$crop" +repage "$demo_dir/screenshot.png"
touch "$done_file"
wait "$program_pid" && result=0 || result=$?
program_pid=
echo "demo: screenshot saved to $demo_dir/screenshot.png"
exit $result
