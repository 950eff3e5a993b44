#!/usr/bin/env bash
# The release's way of signing, offline: a code-signing key that lives on a PKCS#11 token (here
# SoftHSM's) signs a copy of a shipped DLL through tools/win/sign.sh, and the signature verifies
# against the CA that issued the token's certificate.
#
# usage: signing-token.sh FILE.dll
set -euo pipefail
file=${1:?usage: signing-token.sh FILE.dll}
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
work=$(mktemp -d "${TMPDIR:-/tmp}/tavo-token.XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() { echo "signing-token: FAILED: $*" >&2; exit 1; }

module=""
for module in /usr/lib/softhsm/libsofthsm2.so /usr/lib/*/softhsm/libsofthsm2.so; do [ -f "$module" ] && break; done
[ -f "$module" ] || fail "SoftHSM's PKCS#11 module not found (softhsm2): run ./tavo deps"

# A CA and a signer of this test only; the signer's key goes onto the token and is deleted here.
(
    cd "$work"
    openssl req -x509 -newkey rsa:3072 -nodes -sha256 -days 30 -keyout ca.key -out ca.pem \
        -subj "/CN=Token test CA" -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign"
    openssl req -new -newkey rsa:3072 -nodes -keyout signer.key -out signer.csr -subj "/CN=Token test signer"
    printf '%s\n' "basicConstraints=critical,CA:FALSE" "keyUsage=critical,digitalSignature" \
        "extendedKeyUsage=codeSigning" >ext.cnf
    openssl x509 -req -sha256 -days 30 -in signer.csr -CA ca.pem -CAkey ca.key -set_serial 7 -extfile ext.cnf \
        -out signer.pem
    openssl pkcs8 -topk8 -nocrypt -in signer.key -out signer.p8
) >"$work/openssl.log" 2>&1 || { cat "$work/openssl.log" >&2; fail "could not make the test certificates"; }

export SOFTHSM2_CONF="$work/softhsm2.conf"
mkdir "$work/tokens"
printf 'directories.tokendir = %s\nobjectstore.backend = file\n' "$work/tokens" >"$SOFTHSM2_CONF"
echo 4321 >"$work/pin"
softhsm2-util --init-token --free --label release --so-pin 87654321 --pin 4321 >/dev/null
softhsm2-util --import "$work/signer.p8" --token release --label signer --id 01 --pin 4321 >/dev/null
rm -f "$work/signer.key" "$work/signer.p8"

cp "$file" "$work/signed.dll"
TAVO_SIGN_PKCS11_MODULE="$module" TAVO_SIGN_KEY="pkcs11:token=release;object=signer;type=private" \
TAVO_SIGN_CERTS="$work/signer.pem" TAVO_SIGN_PASSWORD_FILE="$work/pin" TAVO_SIGN_CA="$work/ca.pem" \
    bash "$here/../../tools/win/sign.sh" --dir "$work/signing" "$work/signed.dll" ||
    fail "signing with the token's key failed"
osslsigncode verify -CAfile "$work/ca.pem" -in "$work/signed.dll" 2>/dev/null | grep -q 'Subject: /CN=Token test signer' ||
    fail "the signature is not the token's signer's"
echo "signing-token: signed $(basename "$file") with a key on a PKCS#11 token and verified it"
