#!/usr/bin/env bash
# Signs the zips as the release does, with throwaway keys (an Authenticode authority and signer,
# minisign pairs), then checks as a downloader would: each signature verifies and comes off to
# give the unsigned bytes, SHA256SUMS verifies, another authority, no signature or key is refused.
# Usage: check-signing.sh CPACK_CONFIG UNSIGNED_DIR SIGNED_DIR
set -euo pipefail
config=$1 unsigned=$2 signed=$3
root=$(cd "$(dirname "$0")/../.." && pwd)
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

keys=$(mktemp -d)
trap 'rm -rf "$keys"' EXIT
cd "$keys"
openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 2 -subj "/CN=Throwaway CA" \
    -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign 2>/dev/null
openssl req -newkey rsa:2048 -nodes -keyout signer.key -out signer.csr -subj "/CN=Throwaway signer" 2>/dev/null
openssl x509 -req -in signer.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 -out signer.pem \
    -extfile <(printf 'keyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n') 2>/dev/null
minisign -G -W -p release.pub -s release.key >/dev/null
minisign -G -W -p other.pub -s other.key >/dev/null

rm -rf "$signed"
env LC_ALL=C.UTF-8 VKD_AUTHENTICODE_KEY="$keys/signer.key" VKD_AUTHENTICODE_CERT="$keys/signer.pem" \
    cpack --config "$config" -B "$signed" >cpack.log 2>&1 || { cat cpack.log; exit 1; }
for zip in "$unsigned"/*.zip; do
    "$root/scripts/check-signed-zip.sh" "$zip" "$signed/$(basename "$zip")" ca.pem ||
        fail "$(basename "$zip") signed"
done
# Another authority's signature, or none, is refused.
"$root/scripts/check-signed-zip.sh" "$unsigned"/*-win32.zip "$signed"/*-win32.zip signer.pem >/dev/null &&
    fail "programs signed by another authority pass"
"$root/scripts/check-signed-zip.sh" "$unsigned"/*-win32.zip "$unsigned"/*-win32.zip ca.pem >/dev/null &&
    fail "unsigned programs pass"

mkdir sums && cp "$signed"/*.zip sums/
"$root/scripts/sign-sums.sh" sums release.key release.pub "throwaway" || fail "SHA256SUMS signed"
(cd sums && minisign -V -q -p vkd37-release.pub -m SHA256SUMS && sha256sum --quiet -c SHA256SUMS) ||
    fail "SHA256SUMS does not verify as a downloader checks it"
"$root/scripts/sign-sums.sh" sums other.key release.pub "another key" >/dev/null 2>&1 &&
    fail "sign-sums.sh signs with a key that is not the public key's"

[ $failures -eq 0 ] && echo "signed and verified: $(cd "$signed" && echo *.zip)"
[ $failures -eq 0 ]
