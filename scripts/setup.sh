#!/usr/bin/env bash
# Installs the Debian packages every preset, test, demo and benchmark needs, then proves that
# each toolchain works. Does nothing but the proof when all is present; otherwise needs root (or
# sudo) and Debian's package sources.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/setup/common.sh"

packages=(
    cmake ninja-build git
    clang lld libclang-rt-14-dev g++      # native build, sanitizers, libFuzzer
    googletest                            # source in /usr/src/googletest for every build
    libcli11-dev nlohmann-json3-dev       # options and JSON of the command-line programs
    g++-mingw-w64-i686-win32 g++-mingw-w64-x86-64-win32 binutils-mingw-w64-i686
    binutils-mingw-w64-x86-64
    wine64                                # runs the 64-bit build's tests
    xvfb xauth x11-apps x11-utils imagemagick  # a display for the dialog tests, screenshots
    fonts-wqy-microhei                    # CJK glyphs for the Chinese texts under Wine
    procps util-linux coreutils           # pgrep/kill, flock, timeout
    time                                  # scripts/bench-report.sh: the report's peak memory
    stress                                # load beside the suites: a test that fails only then races
    dpkg-dev lintian unzip man-db         # the packages: dependencies, checks
    python3                               # the package and document checks
    unicode-data                          # scripts/unicode-tables.py: the character tables
    locales                               # the tool's tests in a GBK terminal (localedef)
    pandoc                                # the packages' documents, HTML from the Markdown
    strip-nondeterminism                  # the packages: the commit's times, no packager's ids
    osslsigncode minisign                 # the release: Authenticode, the signed SHA256SUMS
    7zip libarchive-tools                 # the zip's names as 7-Zip and bsdtar read them
    wasi-libc libc++-14-dev-wasm32 libc++abi-14-dev-wasm32 libclang-rt-14-dev-wasm32 # the page's core
    binaryen                              # the page's core: wasm-opt shrinks the module
    nodejs esbuild chromium               # the page: its bundle, and its tests in headless Chromium
    librsvg2-bin fonts-dejavu-core        # scripts/render-art.sh: the picture and the icon
    libreoffice-calc-nogui poppler-utils  # the report's readers: a spreadsheet reads it back, its PDF's text
)
apt_install "${packages[@]}"

# The page's browser tests drive the system Chromium through playwright-core, pinned by the
# lockfile; it never downloads a browser.
web_tests="$here/../tests/web"
if [ ! -f "$web_tests/node_modules/.package-lock.json" ] ||
    [ "$web_tests/package-lock.json" -nt "$web_tests/node_modules/.package-lock.json" ]; then
    echo "setup: installing the browser tests' npm packages"
    command -v npm >/dev/null || { echo "setup: npm is missing (Debian package npm)" >&2; exit 1; }
    npm ci --prefix "$web_tests" --no-audit --no-fund
fi

# The shipping suite's 32-bit Wine (set up by setup/wine32.sh, which adds the i386 architecture).
# The preloader reserves the Windows address space in a few calls; without it Wine probes for
# free space in 64 KiB steps, which under qemu-i386 takes minutes per program start.
"$here/setup/wine32.sh" qemu-user-static wine32:i386 wine32-preloader:i386
"$here/setup/check-toolchains.sh"
