#!/usr/bin/env bash
# Checks a zip whose programs were signed against the same zip made without signing: each
# program's Authenticode signature verifies (against CA_FILE, or the system's certificate
# authorities), and with the signature removed it is byte for byte the unsigned program, so the
# signed release still reproduces; every other entry is the same file under the same name.
# Usage: check-signed-zip.sh UNSIGNED_ZIP SIGNED_ZIP [CA_FILE]
set -euo pipefail
unsigned=$1 signed=$2 ca=${3:-}
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
# 7-Zip reads the names of both kinds of zip the release makes alike.
7zz x -y -bso0 -bsp0 "-o$scratch/unsigned" "$unsigned"
7zz x -y -bso0 -bsp0 "-o$scratch/signed" "$signed"
diff <(cd "$scratch/unsigned" && find . | sort) <(cd "$scratch/signed" && find . | sort) ||
    fail "$signed holds other names than $unsigned"

programs=0
while IFS= read -r -d '' file; do
    name=${file#"$scratch/signed/"}
    if [[ $name != *.exe ]]; then
        cmp -s "$file" "$scratch/unsigned/$name" || fail "$name differs from the unsigned zip's"
        continue
    fi
    programs=$((programs + 1))
    verify=(osslsigncode verify -in "$file")
    [[ -n $ca ]] && verify+=(-CAfile "$ca")
    "${verify[@]}" >"$scratch/verify.log" 2>&1 ||
        { cat "$scratch/verify.log"; fail "$name: its signature does not verify"; }
    osslsigncode remove-signature -in "$file" -out "$scratch/removed.exe" >/dev/null ||
        fail "$name: the signature cannot be removed"
    cmp -s "$scratch/removed.exe" "$scratch/unsigned/$name" ||
        fail "$name without its signature is not the unsigned program"
    rm -f "$scratch/removed.exe"
done < <(find "$scratch/signed" -type f -print0)

[[ $programs -gt 0 ]] || fail "no program in $signed"
[[ $failures -eq 0 ]] && echo "checked $signed: $programs signed programs, the rest as unsigned"
[[ $failures -eq 0 ]]
