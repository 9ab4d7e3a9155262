#!/usr/bin/env bash
# Makes a release from the checked-out commit: builds the release trees from scratch, checks that
# the build record names every tool they use, runs the test command, makes the Debian package,
# the Windows zips and the browser page vkd37.html with their build record, then builds them once
# more as another machine would and checks that they come out byte for byte the same: from a
# copy of the commit in another folder, with another umask and time zone and, when run as root,
# as the user nobody. A difference names the files and the tools that differ. Only then are the
# Windows programs signed (Authenticode; removing the signatures gives back the bytes compared)
# and SHA256SUMS signed with the project's minisign key, all into dist/. That second build is
# here rather than in the test command: it costs two clean builds, more than the whole package
# check is worth on every run.
# Usage: scripts/release.sh --authenticode KEY CERT [--authenticode-ca CA] [--timestamp URL]
#                           --minisign SECRET_KEY
#        scripts/release.sh --unsigned     a release without either signature (say why)
#        scripts/release.sh --rebuild RECORD   the packages of RECORD's commit made again here,
#                           compared with RECORD: which tools and files differ
#        scripts/release.sh --packages DIR     only the clean builds, the packages and their
#                           record, into DIR (the second build)
# The keys stay out of the repository; the Authenticode key must open without a password.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/presets.sh

# Every time stamp in the packages is the commit's. CPack stores the program's Chinese name in the
# zip only in a UTF-8 locale.
SOURCE_DATE_EPOCH=$(git log -1 --format=%ct)
export SOURCE_DATE_EPOCH LC_ALL=C.UTF-8
version=$(sed -nE 's/^project\(vkd37 VERSION ([^ ]+).*/\1/p' CMakeLists.txt)
record_name=vkd37_${version}.buildinfo
public_key=packaging/vkd37-release.pub
dist=dist

die() {
    echo "release: $*" >&2
    exit 1
}

clean_build() {
    local preset
    for preset in "${release_presets[@]}"; do
        rm -rf "build/$preset"
        cmake --preset "$preset" >"build/configure-$preset.log" 2>&1 ||
            { cat "build/configure-$preset.log"; return 1; }
        cmake --build --preset "$preset"
    done
}

# package DIR: the packages of the trees as they are now, unsigned, and their build record.
package() {
    local preset
    rm -rf "$1" && mkdir -p "$1"
    for preset in "${package_presets[@]}"; do
        rm -rf "build/package-$preset"
        cpack --preset "$preset" -B "$PWD/build/package-$preset" >"build/package-$preset.log" 2>&1 ||
            { cat "build/package-$preset.log"; return 1; }
        find "build/package-$preset" -maxdepth 1 \( -name '*.deb' -o -name '*.zip' \) \
            -exec cp {} "$1"/ \;
    done
    # The browser page is a release file of its own too, the one both packages hold.
    cp build/web/web/vkd37.html "$1"/
    scripts/buildinfo.sh write "$1/$record_name" "$1"/*.deb "$1"/*.zip "$1"/*.html
}

mkdir -p build
authenticode=() minisign_key="" unsigned="" rebuild=""
while [ $# -gt 0 ]; do
    case "$1" in
        --packages) clean_build && package "$2"; exit ;;
        --authenticode) authenticode+=(VKD_AUTHENTICODE_KEY="$(realpath "$2")"
            VKD_AUTHENTICODE_CERT="$(realpath "$3")"); shift 3 ;;
        --authenticode-ca) authenticode_ca=$(realpath "$2"); shift 2 ;;
        --timestamp) authenticode+=(VKD_AUTHENTICODE_TIMESTAMP="$2"); shift 2 ;;
        --minisign) minisign_key=$(realpath "$2"); shift 2 ;;
        --unsigned) unsigned=1; shift ;;
        --rebuild) rebuild=$(realpath "$2"); shift 2 ;;
        *) die "unknown option $1 (see the usage at the top of $0)" ;;
    esac
done
if [ -z "$unsigned$rebuild" ] && { [ ${#authenticode[@]} -lt 2 ] || [ -z "$minisign_key" ]; }; then
    die "give --authenticode KEY CERT and --minisign SECRET_KEY, or --unsigned"
fi
if [ -n "$(git status --porcelain --untracked-files=no)" ]; then
    die "commit or stash your changes first; a release is made from a commit"
fi

if [ -n "$rebuild" ]; then
    commit=$(sed -n 's/^Commit: //p' "$rebuild")
    [ "$(git rev-parse HEAD)" = "$commit" ] || die "check out $commit, the commit of $rebuild"
    echo "== this machine's tools against $rebuild"
    scripts/buildinfo.sh write build/rebuild-tools.buildinfo
    differences=$(scripts/buildinfo.sh compare "$rebuild" build/rebuild-tools.buildinfo |
        grep -v '^Checksums' || true)
    echo "${differences:-the same tools and libraries}"
    clean_build
    package build/rebuild
    echo "== the packages of $commit made again, against $rebuild"
    scripts/buildinfo.sh compare "$rebuild" "build/rebuild/$record_name" ||
        die "the rebuild differs (above; the packages in build/rebuild)"
    echo "the rebuild is byte for byte the release's"
    exit
fi

scripts/setup.sh
echo "== clean release trees: ${release_presets[*]}"
clean_build
release_trees=("${release_presets[@]/#/build/}")
scripts/buildinfo.sh write build/tools.buildinfo
scripts/buildinfo.sh covers build/tools.buildinfo "${release_trees[@]}" ||
    die "scripts/buildinfo.sh does not record every tool of the build (above)"
echo "== the test command"
scripts/test.sh
echo "== packages"
package build/release-first

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
# Tools that differ between the two users (a PATH of one's own, say) are named but do not fail
# the release; packages that differ do.
differences=$(scripts/buildinfo.sh compare "build/release-first/$record_name" \
    "build/release-second/$record_name" || true)
echo "${differences:-the same tools, libraries and packages}"
if grep -q '^Checksums' <<<"$differences"; then
    die "two builds of $(git rev-parse --short HEAD) gave different packages (above; the second in build/release-second)"
fi

echo "== $dist: the release files"
rm -rf "$dist" && mkdir -p "$dist"
cp build/release-first/*.deb build/release-first/*.html "build/release-first/$record_name" "$dist"/
if [ ${#authenticode[@]} -ge 2 ]; then
    echo "== Authenticode: the Windows programs signed"
    rm -rf build/package-win32-signed
    env "${authenticode[@]}" cpack --preset win32 -B "$PWD/build/package-win32-signed" \
        >build/package-win32-signed.log 2>&1 || { cat build/package-win32-signed.log; exit 1; }
    for zip in build/release-first/*.zip; do
        signed=build/package-win32-signed/$(basename "$zip")
        scripts/check-signed-zip.sh "$zip" "$signed" ${authenticode_ca:+"$authenticode_ca"}
        cp "$signed" "$dist"/
    done
else
    echo "release: the Windows programs are NOT signed (--unsigned)" >&2
    cp build/release-first/*.zip "$dist"/
fi
if [ -n "$minisign_key" ]; then
    scripts/sign-sums.sh "$dist" "$minisign_key" "$public_key" \
        "vkd37 $version, commit $commit, $(date -u -d "@$SOURCE_DATE_EPOCH" +%F)"
else
    echo "release: SHA256SUMS is NOT signed (--unsigned)" >&2
    (cd "$dist" && sha256sum -- *.deb *.zip *.html *.buildinfo >SHA256SUMS)
fi

echo "== made from $(git rev-parse --short HEAD) ($(date -u -d "@$SOURCE_DATE_EPOCH" '+%F %T UTC')), reproduced:"
ls -l "$dist"
cat "$dist/SHA256SUMS" "$dist/$record_name"
