# shellcheck shell=bash disable=SC2034 # the variables are for the scripts that source this
# Sourced by the bench's scripts: where the bench lives, which Wine runs it, and the environment
# every Wine program of the bench gets.
#
# The bench has one or more lanes (scripts/wine/session --lanes N), each a bench of its own: a
# prefix, a wineserver, a display and nine simulators on its COM1..COM9, so that tests in
# different lanes can run at once without seeing each other's ports, windows or registry. Lane 0
# is build/win64/{wineprefix,bench}, lane N build/win64/lane-N/{wineprefix,bench}. A test that
# ctest runs gets its lane from ctest (the resource "bench" of its RESOURCE_GROUPS); anything else
# runs in VKD_WINE_LANE, or lane 0.
repo_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build_dir=$repo_root/build/win64
port_count=9

# The folder of lane $1.
lane_dir() {
    if [[ $1 -eq 0 ]]; then echo "$build_dir"; else echo "$build_dir/lane-$1"; fi
}
# The lane ctest gave this test, as "id:N,slots:1".
if [[ ${CTEST_RESOURCE_GROUP_0_BENCH:-} =~ ^id:([0-9]+), ]]; then
    lane=${BASH_REMATCH[1]}
else
    lane=${VKD_WINE_LANE:-0}
fi
bench_dir=$(lane_dir "$lane")/bench
prefix=$(lane_dir "$lane")/wineprefix

wine=${VKD_WINE:-/usr/lib/wine/wine64}
wineserver=${VKD_WINESERVER:-/usr/lib/wine/wineserver64}

# Wine reads Unix file names and arguments in the locale's character set; the program's own file
# name is Chinese.
export LC_ALL=C.UTF-8
export WINEPREFIX=$prefix
export WINEARCH=win64
export WINEDEBUG=-all
# No Mono or Gecko prompt, and no crash debugger: a program that crashes (a 32-bit helper of
# wineboot under emulation, say) ends there, where winedbg --auto could wait for ever.
export WINEDLLOVERRIDES="mscoree=;mshtml=;winedbg.exe=d"
export WINESERVER=$wineserver
unset WINELOADER
# Inside a session: the lane's display (the session lists one per lane) and simulators' folder.
if [[ -n ${VKD_WINE_DISPLAYS:-} ]]; then
    read -r -a lane_displays <<<"$VKD_WINE_DISPLAYS"
    export DISPLAY=${lane_displays[$lane]:?lane $lane is not one of this session\'s}
    export VKD_WINE_LANE=$lane
    export VKD_WINE_BENCH=$bench_dir
fi

say() { echo "wine-session: $*" >&2; }
die() {
    say "ERROR: $*"
    exit 1
}

# Where the prefix's COMn leads: the link the simulator on that port keeps.
port_target() { echo "$bench_dir/com$1"; }
