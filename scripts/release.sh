#!/usr/bin/env bash
# Makes a release from the checked-out commit: builds the release trees from scratch, runs
# the test command, puts the Debian package, the Windows zip and the browser page vkd37.html with
# SHA256SUMS in dist/, then builds them once more as another machine would and checks that they
# come out byte for byte the same: from a copy of the commit in another folder, with another
# umask and time zone and, when run as root, as the user nobody. That second build is here rather
# than in the test command: it costs two clean builds, more than the whole package check is worth
# on every run.
# Usage: scripts/release.sh
#        scripts/release.sh --packages DIR   only the clean builds and the packages, into DIR
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/presets.sh

# Every time stamp in the packages is the commit's. CPack stores the program's Chinese name in the
# zip only in a UTF-8 locale.
SOURCE_DATE_EPOCH=$(git log -1 --format=%ct)
export SOURCE_DATE_EPOCH LC_ALL=C.UTF-8
dist=dist

clean_build() {
    local preset
    for preset in "${release_presets[@]}"; do
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
    for preset in "${package_presets[@]}"; do
        rm -rf "build/package-$preset"
        cpack --preset "$preset" -B "$PWD/build/package-$preset" >"build/package-$preset.log" 2>&1 ||
            { cat "build/package-$preset.log"; return 1; }
        find "build/package-$preset" -maxdepth 1 -name '*.deb' -exec cp {} "$1"/ \;
        find "build/package-$preset" -maxdepth 1 -name '*.zip' -exec cp {} "$1"/ \;
    done
    # The browser page is a release file of its own too, the one both packages hold.
    cp build/web/web/vkd37.html "$1"/
    (cd "$1" && sha256sum -- *.deb *.zip *.html >SHA256SUMS)
}

mkdir -p build
if [ "${1-}" = --packages ]; then
    clean_build && package "$2"
    exit
fi

if [ -n "$(git status --porcelain --untracked-files=no)" ]; then
    echo "release: commit or stash your changes first; a release is made from a commit" >&2
    exit 1
fi

scripts/setup.sh
echo "== clean release trees: ${release_presets[*]}"
clean_build
echo "== the test command"
scripts/test.sh
echo "== packages"
package "$dist"

commit=$(git rev-parse HEAD)
echo "== second build from scratch elsewhere: are the packages the same?"
second=$(mktemp -d)
trap 'rm -rf "$second"' EXIT
# --no-hardlinks: the copy is handed to another user, and shared object files would go with it.
git clone --quiet --no-hardlinks --no-checkout . "$second/source"
git -C "$second/source" checkout --quiet --detach "$commit"
as_other_user=()
if [ "$(id -u)" -eq 0 ]; then
    chown -R nobody:nogroup "$second"
    as_other_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
fi
# A made-up zone 14 hours east of UTC (no tzdata needed), and files only their owner may read.
"${as_other_user[@]}" env HOME="$second" TZ=EAST-14 bash -c \
    'umask 077 && cd "$1/source" && scripts/release.sh --packages "$1/packages"' \
    release "$second" >build/release-second-build.log 2>&1 ||
    { tail -n 40 build/release-second-build.log; exit 1; }
rm -rf build/release-second && cp -r "$second/packages" build/release-second
if ! diff -u "$dist/SHA256SUMS" build/release-second/SHA256SUMS; then
    echo "release: two builds of $(git rev-parse --short HEAD) gave different packages" \
        "(the second in build/release-second)" >&2
    exit 1
fi

echo "== made from $(git rev-parse --short HEAD) ($(date -u -d "@$SOURCE_DATE_EPOCH" '+%F %T UTC')), reproduced:"
ls -l "$dist"
cat "$dist/SHA256SUMS"
