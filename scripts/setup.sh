#!/usr/bin/env bash
# Installs the Debian packages the builds, the tests and the demo need. Does nothing when they
# are all present; otherwise needs root (or sudo) and Debian's package sources.
set -euo pipefail

packages=(
    cmake ninja-build git
    clang libclang-rt-14-dev g++          # native build, sanitizers, libFuzzer
    googletest                            # source in /usr/src/googletest for every build
    libcli11-dev nlohmann-json3-dev       # options and JSON of the command-line programs
    g++-mingw-w64-i686-win32 g++-mingw-w64-x86-64-win32 binutils-mingw-w64-i686
    binutils-mingw-w64-x86-64
    wine64                                # runs the 64-bit build's tests
    xvfb xauth x11-apps x11-utils imagemagick  # a display for the dialog tests, screenshots
    fonts-wqy-microhei                    # CJK glyphs for the Chinese texts under Wine
    procps util-linux coreutils           # pgrep/kill, flock, timeout
    dpkg-dev lintian unzip man-db         # the packages: dependencies, checks
    python3                               # the packages: cmake/normalise-package.py
    lld wasi-libc libc++-14-dev-wasm32 libclang-rt-14-dev-wasm32  # the page's WebAssembly core
    chromium                              # the page's tests, headless
)
# Node.js builds the page and runs its tests; Debian's only where there is none.
command -v node >/dev/null || packages+=(nodejs npm)

missing=()
for package in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
    [ "$status" = "install ok installed" ] || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "setup: installing ${missing[*]}"
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    export DEBIAN_FRONTEND=noninteractive
    # Refresh the package lists when they are missing or older than a day.
    if [ -z "$(find /var/lib/apt/lists -maxdepth 1 -name '*Packages*' -mtime -1 -print -quit 2>/dev/null)" ]; then
        $sudo apt-get update -q
    fi
    $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# The page's browser tests drive the system Chromium through playwright-core, pinned by the
# lockfile; it never downloads a browser.
web_tests="$(dirname "$0")/../tests/web"
if [ ! -f "$web_tests/node_modules/.package-lock.json" ] ||
    [ "$web_tests/package-lock.json" -nt "$web_tests/node_modules/.package-lock.json" ]; then
    echo "setup: installing the browser tests' npm packages"
    npm ci --prefix "$web_tests" --no-audit --no-fund
fi
