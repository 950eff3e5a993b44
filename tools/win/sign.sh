#!/usr/bin/env bash
# Signs Windows files in place with Authenticode (SHA-256) and verifies each signature offline.
# Without a certificate of the release's, it uses a throw-away test CA and code-signing
# certificate kept in the signing folder, made on first use, so every build signs and verifies
# the whole way. Any failure to sign or to verify fails the script.
#
# usage: sign.sh [--dir DIR] FILE...     sign and verify
#        sign.sh [--dir DIR] --verify FILE...
#        sign.sh [--dir DIR] --ca        print the certificate to verify against
#   --dir DIR  the signing folder (default: $TAVO_SIGN_DIR, else ./signing)
#
# A release's certificate, through the environment:
#   TAVO_SIGN_PFX            a .pfx (PKCS#12) with the key and its certificate chain, or
#   TAVO_SIGN_PKCS11_MODULE  the token's PKCS#11 module, with
#   TAVO_SIGN_KEY            the key on the token, a PKCS#11 URI (pkcs11:token=...;object=...), and
#   TAVO_SIGN_CERTS          the signer's certificate and its chain (PEM);
#   TAVO_SIGN_PASSWORD_FILE  the .pfx password or the token's PIN, in a file (not on a command line);
#   TAVO_SIGN_TIMESTAMP_URL  an RFC 3161 time-stamping service (then the time is the service's);
#   TAVO_SIGN_CA             the root certificate(s) to verify against (with a release's
#                            certificate: its issuing CA's root, default the system's bundle);
#   TAVO_SIGN_TSA_CA         the time-stamping service's root (default the system's bundle).
# Without a time-stamping service the signing time is SOURCE_DATE_EPOCH when set, so the same
# key signs the same file to the same bytes.
set -euo pipefail

usage="usage: sign.sh [--dir DIR] [--verify | --ca] FILE..."
dir="${TAVO_SIGN_DIR:-signing}" mode=sign
while [ $# -gt 0 ]; do
    case "$1" in
        --dir) dir=${2:?$usage}; shift 2 ;;
        --verify) mode=verify; shift ;;
        --ca) mode=ca; shift ;;
        -*) echo "$usage" >&2; exit 2 ;;
        *) break ;;
    esac
done
fail() { echo "sign: $*" >&2; exit 1; }
command -v osslsigncode >/dev/null || fail "osslsigncode not found: run ./tavo deps"
mkdir -p "$dir"
dir="$(cd "$dir" && pwd)"

# The publisher's name as the installer's and the program's properties show it.
DESCRIPTION="Nimbara Workspace"

# A CA of this build only, and a code-signing certificate it issued. Its key never leaves the
# folder; a tester verifies the build against test-ca.pem.
make_test_ca() {
    [ -f "$dir/test-ca.pem" ] && [ -f "$dir/test-signer.key" ] && [ -f "$dir/test-signer.pem" ] && return 0
    local t="$dir/.new"
    rm -rf "$t"
    mkdir -p "$t"
    (
        umask 077
        openssl req -x509 -newkey rsa:3072 -nodes -sha256 -days 3650 -keyout "$t/test-ca.key" \
            -out "$t/test-ca.pem" -subj "/O=Nimbara/CN=Nimbara Workspace test CA (not for release)" \
            -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign"
        openssl req -new -newkey rsa:3072 -nodes -keyout "$t/test-signer.key" -out "$t/test-signer.csr" \
            -subj "/O=Nimbara/CN=Nimbara Workspace test signer (not for release)"
        printf '%s\n' "basicConstraints=critical,CA:FALSE" "keyUsage=critical,digitalSignature" \
            "extendedKeyUsage=codeSigning" "subjectKeyIdentifier=hash" "authorityKeyIdentifier=keyid" >"$t/ext.cnf"
        openssl x509 -req -sha256 -days 3650 -in "$t/test-signer.csr" -CA "$t/test-ca.pem" \
            -CAkey "$t/test-ca.key" -set_serial "0x$(openssl rand -hex 8)" -extfile "$t/ext.cnf" \
            -out "$t/test-signer.pem"
    ) >"$t/openssl.log" 2>&1 || { cat "$t/openssl.log" >&2; fail "could not make the test CA"; }
    # Nothing more is ever signed with the CA's key.
    rm -f "$t/test-ca.key" "$t/test-signer.csr" "$t/ext.cnf" "$t/openssl.log"
    mv "$t"/* "$dir/"
    rmdir "$t"
}

# The arguments that name the key and certificate, and the certificate to verify against.
key_args=() ca=""
if [ -n "${TAVO_SIGN_PFX:-}" ]; then
    [ -f "$TAVO_SIGN_PFX" ] || fail "TAVO_SIGN_PFX: no file $TAVO_SIGN_PFX"
    key_args=(-pkcs12 "$TAVO_SIGN_PFX")
    ca="${TAVO_SIGN_CA:-/etc/ssl/certs/ca-certificates.crt}"
elif [ -n "${TAVO_SIGN_PKCS11_MODULE:-}" ]; then
    [ -n "${TAVO_SIGN_KEY:-}" ] && [ -n "${TAVO_SIGN_CERTS:-}" ] ||
        fail "a token needs TAVO_SIGN_KEY (its key's PKCS#11 URI) and TAVO_SIGN_CERTS (the certificates)"
    engine=""
    for engine in /usr/lib/*/engines-3/pkcs11.so; do [ -f "$engine" ] && break; done
    [ -f "$engine" ] || fail "OpenSSL's PKCS#11 engine not found (libengine-pkcs11-openssl): run ./tavo deps"
    key_args=(-pkcs11engine "$engine" -pkcs11module "$TAVO_SIGN_PKCS11_MODULE" -certs "$TAVO_SIGN_CERTS"
              -key "$TAVO_SIGN_KEY")
    ca="${TAVO_SIGN_CA:-/etc/ssl/certs/ca-certificates.crt}"
else
    make_test_ca
    key_args=(-certs "$dir/test-signer.pem" -key "$dir/test-signer.key")
    ca="$dir/test-ca.pem"
fi
if [ -n "${TAVO_SIGN_PASSWORD_FILE:-}" ]; then
    key_args+=(-readpass "$TAVO_SIGN_PASSWORD_FILE")
fi
time_args=() verify_args=()
if [ -n "${TAVO_SIGN_TIMESTAMP_URL:-}" ]; then
    time_args=(-ts "$TAVO_SIGN_TIMESTAMP_URL")
    verify_args=(-TSA-CAfile "${TAVO_SIGN_TSA_CA:-/etc/ssl/certs/ca-certificates.crt}")
elif [ -n "${SOURCE_DATE_EPOCH:-}" ]; then
    time_args=(-time "$SOURCE_DATE_EPOCH")
fi

if [ "$mode" = ca ]; then
    echo "$ca"
    exit 0
fi

verify() {
    local f=$1 out
    if ! out=$(osslsigncode verify -CAfile "$ca" "${verify_args[@]}" -in "$f" 2>&1); then
        printf '%s\n' "$out" | tail -n 20 >&2
        fail "the signature of $f does not verify against $ca"
    fi
}

sign() {
    local f=$1 tmp
    tmp="$f.signing"
    rm -f "$tmp"
    # A file signed before (a rebuild that kept it) is signed afresh, not given a second signature.
    if osslsigncode extract-signature -in "$f" -out /dev/null >/dev/null 2>&1; then
        osslsigncode remove-signature -in "$f" -out "$tmp" >/dev/null || fail "could not remove the old signature of $f"
        mv "$tmp" "$f"
    fi
    if ! osslsigncode sign -h sha256 -n "$DESCRIPTION" "${key_args[@]}" "${time_args[@]}" \
            -in "$f" -out "$tmp" >"$dir/last-sign.log" 2>&1; then
        rm -f "$tmp"
        tail -n 20 "$dir/last-sign.log" >&2
        fail "could not sign $f"
    fi
    mv "$tmp" "$f"
    verify "$f"
}

[ $# -gt 0 ] || fail "$usage"
for f in "$@"; do
    [ -f "$f" ] || fail "no file $f"
    if [ "$mode" = verify ]; then verify "$f"; else sign "$f"; fi
done
