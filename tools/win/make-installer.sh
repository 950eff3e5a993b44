#!/usr/bin/env bash
# Packs the installed folder of a Windows build (BUILD/TAVO) into BUILD/TAVO-Setup-<version>.exe
# with NSIS. The install and uninstall lists are made from the folder itself, so the uninstaller
# removes exactly what the installer put there, and the installer leaves the same list in the
# install folder for the next version's installer to remove first.
#
# usage: make-installer.sh [--version V] [--payload DIR] [--out FILE] [--sbom CACHE] BUILD
#   --version V    the version the installer carries (default: the project's, from CMakeCache.txt)
#   --payload DIR  the folder to pack (default: BUILD/TAVO)
#   --out FILE     the installer to write (default: BUILD/TAVO-Setup-<version>.exe)
#   --sbom CACHE   also write DIR/sbom.cdx.json (tools/win/sbom.sh, with the third-party cache),
#                  the bill of materials of every file the installer puts in the folder: the
#                  uninstaller and the installed-file list too, so it takes two passes of makensis
# The tests use the options to make an older and a newer installer of the same build.
# The installer and its uninstaller are signed with tools/win/sign.sh (its environment chooses the
# certificate; the test certificate is kept in BUILD/signing). With SOURCE_DATE_EPOCH set and the
# same certificate, the same payload gives the same installer, byte for byte.
set -euo pipefail

HERE="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
usage="usage: make-installer.sh [--version V] [--payload DIR] [--out FILE] [--sbom CACHE] BUILD"
VERSION="" DIR="" out="" sbom_cache=""
while [ $# -gt 0 ]; do
    case "$1" in
        --version) VERSION=${2:?$usage}; shift 2 ;;
        --payload) DIR=${2:?$usage}; shift 2 ;;
        --out) out=${2:?$usage}; shift 2 ;;
        --sbom) sbom_cache=${2:?$usage}; shift 2 ;;
        -*) echo "$usage" >&2; exit 2 ;;
        *) break ;;
    esac
done
BUILD="$(cd "${1:?$usage}" && pwd)"
DIR="$(cd "${DIR:-$BUILD/TAVO}" && pwd)"
[ -f "$DIR/TAVO_DSK.exe" ] || { echo "make-installer: $DIR/TAVO_DSK.exe is missing (run cmake --install first)" >&2; exit 1; }
cached() { sed -n "s/^$1:[A-Z]*=//p" "$BUILD/CMakeCache.txt"; }
[ -n "$VERSION" ] || VERSION=$(cached CMAKE_PROJECT_VERSION)
[ -n "$VERSION" ] || { echo "make-installer: no project version in $BUILD/CMakeCache.txt" >&2; exit 1; }
[[ "$VERSION" =~ ^[0-9]+\.[0-9]+\.[0-9]+$ ]] || { echo "make-installer: version '$VERSION' is not X.Y.Z" >&2; exit 1; }
command -v makensis >/dev/null || { echo "make-installer: makensis not found (nsis): run ./tavo deps" >&2; exit 1; }
[ -f "$DIR/NOTICES.txt" ] || { echo "make-installer: $DIR/NOTICES.txt is missing (tools/win/notices.sh)" >&2; exit 1; }
COMPANY=$(cached TAVO_COMPANY) COPYRIGHT=$(cached TAVO_COPYRIGHT) SUPPORT_URL=$(cached TAVO_SUPPORT_URL)
[ -n "$COMPANY" ] && [ -n "$COPYRIGHT" ] && [ -n "$SUPPORT_URL" ] ||
    { echo "make-installer: no TAVO_COMPANY, TAVO_COPYRIGHT or TAVO_SUPPORT_URL in $BUILD/CMakeCache.txt" >&2; exit 1; }
# The installed list is read back by the installer in the ANSI code page, and its paths must not
# leave the folder: plain ASCII names only.
if (cd "$DIR" && find . | LC_ALL=C grep -q -e '[^ -~]' -e '\.\.'); then
    echo "make-installer: $DIR holds a name that is not plain ASCII or has '..'" >&2
    exit 1
fi
out="${out:-$BUILD/TAVO-Setup-$VERSION.exe}"
# The signing time is the build's (./tavo win wrote it down), so whoever packs the same payload
# again with the same certificate gets the same installer, the signed uninstaller inside included.
if [ -z "${SOURCE_DATE_EPOCH:-}" ] && [ -f "$BUILD/source-date-epoch" ]; then
    SOURCE_DATE_EPOCH=$(cat "$BUILD/source-date-epoch")
    export SOURCE_DATE_EPOCH
fi
# Its name is in the installed-file list before its contents exist.
if [ -n "$sbom_cache" ]; then : >"$DIR/sbom.cdx.json"; fi

work=$(mktemp -d "${TMPDIR:-/tmp}/tavo-installer.XXXXXX")
trap 'rm -rf "$work"' EXIT
payload="$work/payload.nsh" unpayload="$work/unpayload.nsh" list="$work/installed-files.txt"
: >"$payload"
: >"$unpayload"
: >"$list"
winpath() { printf '%s' "${1//\//\\}"; }
# Folders first, parents before children; the uninstaller goes the other way.
while IFS= read -r d; do
    rel="${d#"$DIR"}"
    printf 'SetOutPath "$INSTDIR%s"\n' "$(winpath "$rel")" >>"$payload"
    while IFS= read -r f; do
        printf 'File "%s"\n' "$f" >>"$payload"
        printf 'Delete "$INSTDIR%s"\n' "$(winpath "${f#"$DIR"}")" >>"$unpayload"
        printf '%s\r\n' "$(winpath "${f#"$DIR/"}")" >>"$list"
    done < <(find "$d" -maxdepth 1 -type f | LC_ALL=C sort)
done < <(find "$DIR" -type d | LC_ALL=C sort)
while IFS= read -r d; do
    printf 'RMDir "$INSTDIR%s"\n' "$(winpath "${d#"$DIR"}")" >>"$unpayload"
    printf '%s\\\r\n' "$(winpath "${d#"$DIR/"}")" >>"$list"
done < <(find "$DIR" -mindepth 1 -type d | LC_ALL=C sort -r)
printf 'SetOutPath "$INSTDIR"\nFile "/oname=${MANIFEST}" "%s"\n' "$list" >>"$payload"

sign="bash \"$HERE/sign.sh\" --dir \"${TAVO_SIGN_DIR:-$BUILD/signing}\""
nsis() {
    makensis -V2 -NOCD -INPUTCHARSET UTF8 -DVERSION="$VERSION" -DPAYLOAD="$payload" -DUNPAYLOAD="$unpayload" \
        -DICON="$BUILD/app/TAVO_DSK.ico" -DSIGN="$sign" -DNOTICES="$DIR/NOTICES.txt" \
        -DCOMPANY="$COMPANY" -DCOPYRIGHT="$COPYRIGHT" -DSUPPORT_URL="$SUPPORT_URL" "$@" "$HERE/installer.nsi"
}
if [ -n "$sbom_cache" ]; then
    # The first pass gives the signed uninstaller; the folder as the installer leaves it (the
    # payload, the uninstaller and the list) is what the bill of materials describes.
    nsis -DOUTFILE="$work/first-pass.exe" -DUNINSTALLER_KEEP="$work/Uninstall.exe"
    installed="$work/installed"
    cp -r "$DIR" "$installed"
    rm "$installed/sbom.cdx.json"
    cp "$work/Uninstall.exe" "$installed/Uninstall.exe"
    cp "$list" "$installed/installed-files.txt"
    bash "$HERE/sbom.sh" "$sbom_cache" "$installed" "$DIR/sbom.cdx.json"
    nsis -DOUTFILE="$out" -DUNINSTALLER_REUSE="$work/Uninstall.exe"
else
    nsis -DOUTFILE="$out"
fi
echo "$out"
