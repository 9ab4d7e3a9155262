#!/usr/bin/env bash
# Writes DIR/SHA256SUMS over every release file in DIR, signs it with minisign's SECRET_KEY
# (asking for its password, if it has one) into SHA256SUMS.minisig, and puts PUBLIC_KEY beside
# them as vkd37-release.pub. Then checks both as a downloader would: the signature against
# PUBLIC_KEY, which fails for a secret key that is not its pair, and every checksum.
# Usage: sign-sums.sh DIR SECRET_KEY PUBLIC_KEY TRUSTED_COMMENT
set -euo pipefail
dir=$1 secret=$(realpath "$2") public=$(realpath "$3") comment=$4

cd "$dir"
rm -f SHA256SUMS SHA256SUMS.minisig vkd37-release.pub
mapfile -t files < <(find . -maxdepth 1 -type f \( -name '*.deb' -o -name '*.zip' -o \
    -name '*.html' -o -name '*.buildinfo' \) -printf '%f\n' | LC_ALL=C sort)
[[ ${#files[@]} -gt 0 ]] || { echo "sign-sums: no release files in $dir" >&2; exit 1; }
sha256sum -- "${files[@]}" >SHA256SUMS
minisign -S -s "$secret" -m SHA256SUMS -x SHA256SUMS.minisig -t "$comment" >/dev/null
cp "$public" vkd37-release.pub
minisign -V -q -p vkd37-release.pub -m SHA256SUMS -x SHA256SUMS.minisig ||
    { echo "sign-sums: SHA256SUMS does not verify with $public: is $secret its key?" >&2; exit 1; }
sha256sum --quiet -c SHA256SUMS
echo "signed SHA256SUMS of ${#files[@]} files: $comment"
