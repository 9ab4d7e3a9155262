# shellcheck shell=bash disable=SC2034 # the variables are for the scripts that source this
# Sourced by scripts/wine/session and scripts/wine/prefix: where the bench lives, which Wine runs
# it, and the environment every Wine program of the bench gets.
repo_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build_dir=$repo_root/build/win64
bench_dir=$build_dir/bench
prefix=$build_dir/wineprefix
port_count=9

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

say() { echo "wine-session: $*" >&2; }
die() {
    say "ERROR: $*"
    exit 1
}

# Where the prefix's COMn leads: the link the simulator on that port keeps.
port_target() { echo "$bench_dir/com$1"; }
