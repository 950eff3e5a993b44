#!/usr/bin/env bash
# Packs the installed folder of a Windows build (BUILD/TAVO) into BUILD/TAVO-Setup-<version>.exe
# with NSIS. The install and uninstall lists are made from the folder itself, so the uninstaller
# removes exactly what the installer put there.
#
# usage: make-installer.sh BUILD
set -euo pipefail

HERE="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
BUILD="$(cd "${1:?usage: make-installer.sh BUILD}" && pwd)"
DIR="$BUILD/TAVO"
[ -f "$DIR/TAVO_DSK.exe" ] || { echo "make-installer: $DIR/TAVO_DSK.exe is missing (run cmake --install first)" >&2; exit 1; }
VERSION=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$BUILD/CMakeCache.txt")
[ -n "$VERSION" ] || { echo "make-installer: no project version in $BUILD/CMakeCache.txt" >&2; exit 1; }
command -v makensis >/dev/null || { echo "make-installer: makensis not found (nsis): run ./tavo deps" >&2; exit 1; }

work="$BUILD/installer"
rm -rf "$work"
mkdir -p "$work"
payload="$work/payload.nsh" unpayload="$work/unpayload.nsh"
: >"$payload"
: >"$unpayload"
winpath() { printf '%s' "${1//\//\\}"; }
# Folders first, parents before children; the uninstaller goes the other way.
while IFS= read -r d; do
    rel="${d#"$DIR"}"
    printf 'SetOutPath "$INSTDIR%s"\n' "$(winpath "$rel")" >>"$payload"
    while IFS= read -r f; do
        printf 'File "%s"\n' "$f" >>"$payload"
        printf 'Delete "$INSTDIR%s"\n' "$(winpath "${f#"$DIR"}")" >>"$unpayload"
    done < <(find "$d" -maxdepth 1 -type f | LC_ALL=C sort)
done < <(find "$DIR" -type d | LC_ALL=C sort)
while IFS= read -r d; do
    printf 'RMDir "$INSTDIR%s"\n' "$(winpath "${d#"$DIR"}")" >>"$unpayload"
done < <(find "$DIR" -mindepth 1 -type d | LC_ALL=C sort -r)
printf 'SetOutPath "$INSTDIR"\n' >>"$payload"

out="$BUILD/TAVO-Setup-$VERSION.exe"
makensis -V2 -NOCD -DVERSION="$VERSION" -DPAYLOAD="$payload" -DUNPAYLOAD="$unpayload" \
    -DICON="$BUILD/app/TAVO_DSK.ico" -DOUTFILE="$out" "$HERE/installer.nsi"
echo "$out"
