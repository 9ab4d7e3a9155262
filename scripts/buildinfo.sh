#!/usr/bin/env bash
# The build record of a release: the commit, its time, and the exact version of every tool and
# library the packages' bytes depend on, with the checksums of the packages as built (before
# signing). A rebuild on another machine compares its record with the release's: a difference in
# the packages is explained by the tools that differ.
# Usage: buildinfo.sh write RECORD [FILE...]       this checkout and machine, with FILE's checksums
#        buildinfo.sh compare RECORD OTHER_RECORD  names each tool, library and file that differs
#        buildinfo.sh covers RECORD BUILD_TREE...  fails unless every tool the trees' caches name
#                                                  is in the record
set -euo pipefail
cd "$(dirname "$0")/.."

# The commands that make the packages' bytes: compilers, linkers, resource compiler, archivers,
# the documents' and the page's tools, the packagers, and the release's own signing tools.
commands=(cmake ninja clang clang++ ld strip llvm-ar llvm-strip wasm-ld i686-w64-mingw32-gcc-win32
    i686-w64-mingw32-g++-win32 i686-w64-mingw32-ld i686-w64-mingw32-windres
    i686-w64-mingw32-strip pandoc esbuild node python3 strip-nondeterminism dpkg-deb
    dpkg-shlibdeps gzip git osslsigncode minisign)
# What those compile and link in, or pack with.
libraries=(mingw-w64-i686-dev mingw-w64-common gcc-mingw-w64-i686-win32-runtime
    libclang-common-14-dev libc6-dev libstdc++-12-dev libgcc-12-dev libcli11-dev
    nlohmann-json3-dev wasi-libc libc++-14-dev-wasm32 libc++abi-14-dev-wasm32
    libclang-rt-14-dev-wasm32 libarchive13 zlib1g libfile-stripnondeterminism-perl)

# The Debian package that holds FILE, with its version, or the file and its own word on its
# version where no package holds it.
origin() {
    local file package
    file=$(readlink -f "$1")
    # Debian's packages name files under /bin and /usr/bin both, after the /usr merge.
    package=$(dpkg -S "$file" 2>/dev/null || dpkg -S "${file/#\/usr\/bin\//\/bin\/}" 2>/dev/null) ||
        { echo "$file ($("$file" --version 2>&1 | head -n 1))"; return; }
    package=${package%%:*}
    echo "$package (= $(dpkg-query -W -f='${Version}' "$package"))"
}

write() {
    local record=$1 command path
    shift
    {
        echo "Format: vkd37-buildinfo 1"
        echo "Source: vkd37"
        echo "Version: $(sed -nE 's/^project\(vkd37 VERSION ([^ ]+).*/\1/p' CMakeLists.txt)"
        echo "Commit: $(git rev-parse HEAD)"
        echo "Source-Date-Epoch: $(git log -1 --format=%ct)"
        echo "Build-Architecture: $(dpkg --print-architecture)"
        echo "Build-System: $(. /etc/os-release && echo "$PRETTY_NAME") $(cat /etc/debian_version)"
        echo "Tools:"
        for command in "${commands[@]}"; do
            path=$(command -v "$command") || { echo "buildinfo: $command is missing" >&2; return 1; }
            echo " $command: $(origin "$path")"
        done
        echo "Libraries:"
        # Sorted once: a library of both architectures (zlib1g for 32-bit Wine) is one line.
        dpkg-query -W -f=' ${Package} (= ${Version})\n' "${libraries[@]}" | LC_ALL=C sort -u
        echo "Checksums-Sha256:"
        for path in "$@"; do
            echo " $(sha256sum "$path" | cut -d' ' -f1) $(stat -c %s "$path") $(basename "$path")"
        done
    } >"$record"
}

# The lines of a record's FIELD (its indented lines), as KEY<tab>VALUE.
entries() {
    awk -v field="$2:" '
        /^[^ ]/ { inside = ($1 == field); next }
        inside && field == "Tools:" { key = $1; sub(/:$/, "", key); sub(/^ [^ ]+ /, ""); print key "\t" $0 }
        inside && field == "Libraries:" { key = $1; sub(/^ [^ ]+ /, ""); print key "\t" $0 }
        inside && field == "Checksums-Sha256:" { print $3 "\t" $1 " " $2 }' "$1"
}

compare() {
    local record=$1 other=$2 field differences=0 key ours theirs
    for field in Commit Version; do
        ours=$(sed -n "s/^$field: //p" "$record")
        theirs=$(sed -n "s/^$field: //p" "$other")
        [[ $ours == "$theirs" ]] || { echo "$field: $ours in $record, $theirs in $other"; differences=$((differences + 1)); }
    done
    for field in Tools Libraries Checksums-Sha256; do
        while IFS=$'\t' read -r key ours theirs; do
            echo "$field: $key: ${ours:-none} in $record, ${theirs:-none} in $other"
            differences=$((differences + 1))
        done < <(join -t $'\t' -a 1 -a 2 -e '' -o 0,1.2,2.2 \
            <(entries "$record" "$field" | LC_ALL=C sort) <(entries "$other" "$field" | LC_ALL=C sort) |
            awk -F '\t' '$2 != $3')
    done
    [[ $differences -eq 0 ]]
}

# Every program a build tree's cache names (compilers, linker, archiver, the documents' and the
# page's tools) must come from a command or library the record names.
covers() {
    local record=$1 tree cached missing=0
    local recorded
    recorded=$(entries "$record" Tools | cut -f2)
    shift
    for tree in "$@"; do
        while IFS= read -r cached; do
            # The build's own programs (the simulator, the module) are no tools.
            [[ -x $cached && $cached != "$PWD"/* ]] || continue
            grep -qxF "$(origin "$cached")" <<<"$recorded" ||
                { echo "$tree: $cached ($(origin "$cached")) is not in $record"; missing=$((missing + 1)); }
        done < <(sed -nE 's/^(CMAKE_(C|CXX|RC)_COMPILER|CMAKE_(LINKER|STRIP|AR|MAKE_PROGRAM)|VKD_[A-Z_]+):(FILEPATH|STRING)=(\/.*)$/\5/p' \
            "$tree/CMakeCache.txt" | sort -u)
    done
    [[ $missing -eq 0 ]]
}

"$@"
