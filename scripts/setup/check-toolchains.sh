#!/usr/bin/env bash
# Proves, in a few seconds, that every toolchain the presets use works: each builds or starts a
# tiny probe. A failure names the Debian package that is missing or broken and stops the set-up,
# so that no build later fails with a bare compiler error.
set -uo pipefail
probe_dir=$(mktemp -d)
trap 'rm -rf "$probe_dir"' EXIT
cd "$probe_dir" || exit 1

cat >probe.c <<'C'
#include <stdint.h>
#include <string.h>
int probe_c(const char* text) { return (int)strlen(text) + (int)UINT8_MAX; }
C
cat >probe.cpp <<'CXX'
#include <cstdint>
#include <string>
#include <vector>
extern "C" int probe(int n) { std::vector<std::string> v(n, "x"); return int(v.size()); }
#ifdef _WIN32
int wmain() { return probe(1) - 1; }
#endif
CXX

failed=0
# fail TOOLCHAIN PACKAGE OUTPUT: says what does not work and what to install.
fail() {
    echo "setup: $1 does not work: install the Debian package $2 (scripts/setup.sh, as root)" >&2
    printf '%s\n' "$3" | head -n 3 | sed 's/^/setup:   /' >&2
    failed=1
}
# check TOOLCHAIN PACKAGE COMMAND...
check() {
    local toolchain=$1 package=$2 output
    shift 2
    output=$("$@" 2>&1) || { fail "$toolchain" "$package" "$output"; return 1; }
}

# The page's core: wasi-libc's headers, libc++'s, then the link, whose message tells which
# library is missing.
wasm=(clang --target=wasm32-wasi --sysroot=/usr)
if check "the WebAssembly C compiler" wasi-libc "${wasm[@]}" -c probe.c -o probe-c.o &&
    check "the WebAssembly C++ library" libc++-14-dev-wasm32 "${wasm[@]/clang/clang++}" -c probe.cpp -o probe.o &&
    ! output=$("${wasm[@]/clang/clang++}" -mexec-model=reactor probe.cpp probe-c.o -o probe.wasm 2>&1); then
    case $output in
    *'Executable "wasm-ld"'*) package=lld ;;
    *clang_rt*) package=libclang-rt-14-dev-wasm32 ;;
    *c++abi*) package=libc++abi-14-dev-wasm32 ;;
    *lc++*) package=libc++-14-dev-wasm32 ;;
    *crt1*|*-lc*) package=wasi-libc ;;
    *) package="lld, wasi-libc, libc++-14-dev-wasm32, libc++abi-14-dev-wasm32 or libclang-rt-14-dev-wasm32" ;;
    esac
    fail "the WebAssembly linker" "$package" "$output"
fi
# The native build's sanitizers and fuzzers.
check "clang's sanitizer and fuzzer run-times" libclang-rt-14-dev \
    clang++ -fsanitize=address,undefined,fuzzer-no-link probe.cpp -c -o probe-native.o
for arch in i686 x86_64; do
    package=g++-mingw-w64-${arch/_/-}-win32
    check "the $arch Windows compiler" "$package" \
        "$arch-w64-mingw32-g++" -municode -static probe.cpp -o "probe-$arch.exe"
    check "the $arch resource compiler" "binutils-mingw-w64-${arch/_/-}" \
        "$arch-w64-mingw32-windres" --version
done
check "wine64" wine64 /usr/lib/wine/wine64 --version
check "the page's bundler" esbuild esbuild --version
check "Chromium" chromium chromium --version
check "Node.js" nodejs node --version
check "the documents' converter" pandoc pandoc --version
check "strip-nondeterminism" strip-nondeterminism strip-nondeterminism --help

if [ $failed -ne 0 ]; then
    exit 1
fi
echo "setup: toolchains work (wasm32-wasi, i686 and x86_64 mingw, wine64, esbuild, Chromium, Node.js," \
    "pandoc, strip-nondeterminism)"
