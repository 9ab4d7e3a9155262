#!/usr/bin/env bash
# Makes a release from the checked-out commit: builds the two release trees from scratch, runs
# the test command, puts the Debian package, the Windows zip and the browser page vkd37.html
# with SHA256SUMS in dist/, then
# builds both trees from scratch once more and checks that the packages come out byte for byte
# the same. That second build is here rather than in the test command: it costs two clean
# builds, more than the whole package check is worth on every test run.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ -n "$(git status --porcelain --untracked-files=no)" ]; then
    echo "release: commit or stash your changes first; a release is made from a commit" >&2
    exit 1
fi

# Every time stamp in the packages is the commit's; names and dates do not depend on the shell.
SOURCE_DATE_EPOCH=$(git log -1 --format=%ct)
export SOURCE_DATE_EPOCH TZ=UTC LC_ALL=C.UTF-8
trees=(linux-release win32)
dist=dist

scripts/setup.sh

clean_build() {
    local preset
    for preset in "${trees[@]}"; do
        rm -rf "build/$preset"
        cmake --preset "$preset" >"build/configure-$preset.log" 2>&1 ||
            { cat "build/configure-$preset.log"; return 1; }
        cmake --build --preset "$preset"
    done
}

# package DIR: both packages of the trees as they are now, into DIR.
package() {
    local preset
    rm -rf "$1" && mkdir -p "$1"
    for preset in "${trees[@]}"; do
        rm -rf "build/package-$preset"
        cpack --preset "$preset" -B "$PWD/build/package-$preset" >"build/package-$preset.log" 2>&1 ||
            { cat "build/package-$preset.log"; return 1; }
        find "build/package-$preset" -maxdepth 1 -name '*.deb' -exec cp {} "$1"/ \;
        find "build/package-$preset" -maxdepth 1 -name '*.zip' -exec cp {} "$1"/ \;
    done
    # The browser page is a release file of its own too, as the linux-release tree built it.
    cp build/linux-release/page/web/vkd37.html "$1"/
    (cd "$1" && sha256sum -- *.deb *.zip *.html >SHA256SUMS)
}

mkdir -p build
echo "== clean release trees: ${trees[*]}"
clean_build
echo "== the test command"
scripts/test.sh
echo "== packages"
package "$dist"

echo "== second build from scratch: are the packages the same?"
clean_build >build/release-second-build.log 2>&1 || { tail -n 40 build/release-second-build.log; exit 1; }
package build/release-second
if ! diff -u "$dist/SHA256SUMS" build/release-second/SHA256SUMS; then
    echo "release: two builds of $(git rev-parse --short HEAD) gave different packages" >&2
    exit 1
fi

echo "== made from $(git rev-parse --short HEAD) ($(date -u -d "@$SOURCE_DATE_EPOCH" '+%F %T UTC')), reproduced:"
ls -l "$dist"
cat "$dist/SHA256SUMS"
