#!/usr/bin/env bash
# The Windows release is the same bytes whoever builds it: the installer made again from a copy
# of its payload, with the build's signing certificate and time, is the build's installer byte
# for byte; our programs' PE time stamps are the commit's time; no shipped file holds a path of
# the machine that built it.
#
# usage: reproducible.sh BUILD     (BUILD: the Windows build, ./tavo win's build-win64)
set -euo pipefail
build="$(cd "${1:?usage: reproducible.sh BUILD}" && pwd)"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
work=$(mktemp -d "${TMPDIR:-/tmp}/tavo-reproducible.XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() { echo "reproducible: FAILED: $*" >&2; exit 1; }

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
setup="$build/TAVO-Setup-$version.exe"
[ -f "$setup" ] || fail "no installer $setup"
epoch=$(cat "$build/source-date-epoch")

cp -r "$build/TAVO" "$work/payload"
(unset SOURCE_DATE_EPOCH; bash "$here/../../tools/win/make-installer.sh" --payload "$work/payload" \
    --out "$work/again.exe" "$build" >/dev/null)
if ! cmp -s "$setup" "$work/again.exe"; then
    # Which part differs tells where the build leaks: the signature or the packed data.
    for f in "$setup" "$work/again.exe"; do
        osslsigncode remove-signature -in "$f" -out "$work/$(basename "$f").unsigned" >/dev/null
    done
    cmp "$work/$(basename "$setup").unsigned" "$work/again.exe.unsigned" >&2 || true
    fail "the installer made again from a copy of its payload differs from $setup"
fi
echo "reproducible: the installer made again from a copy of its payload is the same $(stat -c %s "$setup") bytes"

# PE header's TimeDateStamp: at the offset the DOS header gives, plus 8.
pe_time() {
    local pe
    pe=$(od -An -tu4 -j 60 -N4 "$1" | tr -d ' ')
    od -An -tu4 -j $((pe + 8)) -N4 "$1" | tr -d ' '
}
for f in TAVO_DSK.exe TAVO_HID_static.dll; do
    [ "$(pe_time "$build/TAVO/$f")" = "$epoch" ] || fail "$f's PE time stamp is $(pe_time "$build/TAVO/$f"), not $epoch"
done
echo "reproducible: our programs' PE time stamps are the commit's time ($(date -u -d "@$epoch" '+%F %T'))"

cache=$(cat "$build/.thirdparty")
for path in "$HOME" "$cache" "$build" "$(cd "$here/../.." && pwd)"; do
    hits=$(grep -rlaF "$path" "$build/TAVO" "$setup" || true)
    [ -z "$hits" ] || fail "shipped files hold the build machine's path $path: $hits"
done
echo "reproducible: no shipped file holds the home, cache, build or source folder's path"
