#!/usr/bin/env bash
# The installer as an organisation receives it and a user meets it, under Wine: every program and
# DLL it installs, itself and its uninstaller are signed by one signer and verify against the
# build's test CA (and one flipped byte is caught); a silent install puts the program under
# Program Files with its licences and notices, a Start-menu shortcut that starts it in a folder
# users can write, and the values Apps & features shows; the installed program passes a scenario
# against tavo_peer from that folder without loading any file another user planted there or at
# the OpenSSL and Qt paths it holds; the silent uninstall takes away what was installed and
# leaves the logs.
#
# usage: installer.sh TAVO_PEER TAVO-Setup.exe WINE_TEMPLATE BUILD   (inside a private network namespace)
#   BUILD  the Windows build: its signing/test-ca.pem and .thirdparty (the third-party cache)
# env:   TAVO_NPM_DIR  where the SBOM check keeps its validator (tests/windows/sbom.sh)
set -euo pipefail
usage="usage: installer.sh TAVO_PEER TAVO-Setup.exe WINE_TEMPLATE BUILD"
peer=${1:?$usage}
setup=${2:?$usage} template=${3:?$usage} build=${4:?$usage}
NAME=installer
. "$(dirname "${BASH_SOURCE[0]}")/common.sh"
say() { echo "installer: $*"; }
run() { bash "$wine_run" --template "$template" --prefix "$work/prefix" --wait "$@"; }

prefix="$work/prefix"
c="$prefix/drive_c"
app="$c/Program Files/Nimbara Workspace"
menu="$c/ProgramData/Microsoft/Windows/Start Menu/Programs/Nimbara Workspace"
home="$c/ProgramData/Nimbara Workspace"

# --- signatures --------------------------------------------------------------------------
ca="$build/signing/test-ca.pem"
[ -f "$ca" ] || fail "no test CA at $ca"
# The signer's subject, when the file's signature verifies against the CA.
signer() {
    local out
    out=$(osslsigncode verify -CAfile "$ca" -in "$1" 2>/dev/null) || return 0
    printf '%s\n' "$out" | awk '/Signer #0/ { on = 1 } on && /Subject:/ { sub(/^[[:space:]]*Subject: /, ""); print; exit }'
}
want_signer=$(signer "$setup")
[ -n "$want_signer" ] || fail "the installer's signature does not verify against $ca"
flipped="$work/flipped.exe"
cp "$setup" "$flipped"
# One byte in the middle of the installer's data, well inside what the signature covers.
pos=$(( $(stat -c %s "$setup") / 2 ))
byte=$(od -An -tu1 -j "$pos" -N1 "$setup" | tr -d ' ')
printf "\\$(printf '%03o' $((byte ^ 255)))" | dd of="$flipped" bs=1 seek="$pos" conv=notrunc 2>/dev/null
[ -z "$(signer "$flipped")" ] || fail "a flipped byte in the installer still verifies"
# A plug-in would be unpacked to the temporary folder and run, unsigned.
! 7z l "$setup" | grep -F '$PLUGINSDIR' || fail "the installer carries NSIS plug-ins"

run "$setup" /S || fail "the silent install ended with status $?"
for f in TAVO_DSK.exe TAVO_HID_static.dll Qt5Core.dll Qt5Gui.dll Qt5Widgets.dll Qt5Network.dll \
         libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll platforms/qwindows.dll \
         styles/qwindowsvistastyle.dll imageformats/qgif.dll Uninstall.exe; do
    [ -f "$app/$f" ] || fail "not installed: $f"
done
[ ! -e "$app/platforms/qoffscreen.dll" ] || fail "the tests' offscreen platform was installed"
lnk="$menu/Nimbara Workspace.lnk"
[ -f "$lnk" ] || fail "no Start-menu shortcut"
# The shortcut's working directory, as the link stores it: UTF-16 after a one-character count.
strings -el "$lnk" | grep -Eq '^.?C:\\ProgramData\\Nimbara Workspace$' || fail "the shortcut does not start in C:\\ProgramData\\Nimbara Workspace"
[ -d "$home" ] || fail "no work folder"
grep -q 'NimbaraWorkspace' "$work/prefix/system.reg" || fail "no uninstall entry in the registry"
say "installed: $(find "$app" -type f | wc -l) files, $(du -sh "$app" | cut -f1)"

signed=0
while IFS= read -r -d '' f; do
    [ "$(signer "$f")" = "$want_signer" ] || fail "${f#"$app/"} is not signed by $want_signer, or does not verify"
    signed=$((signed + 1))
done < <(find "$app" \( -iname '*.exe' -o -iname '*.dll' \) -print0)
[ "$signed" -ge 12 ] || fail "only $signed programs and DLLs installed"
say "the installer and $signed installed programs and DLLs (the uninstaller among them) are signed by $want_signer"

# --- licences, notices, Apps & features ------------------------------------------------------
notices="$app/NOTICES.txt"
[ -f "$notices" ] || fail "no NOTICES.txt installed"
for part in Qt OpenSSL jsoncpp Nanum FreeType HarfBuzz PCRE2 libpng zlib "GCC" winpthreads; do
    grep -qi "$part" "$notices" || fail "NOTICES.txt does not name $part"
done
grep -q '제3자 구성 요소 고지' "$notices" || fail "NOTICES.txt has no Korean part"
# The licence texts themselves, as their authors wrote them.
for text in 'GNU LESSER GENERAL PUBLIC LICENSE' 'Apache License' 'SIL OPEN FONT LICENSE' \
            'GCC RUNTIME LIBRARY EXCEPTION' 'GNU GENERAL PUBLIC LICENSE'; do
    grep -rqi "$text" "$app/licenses" || fail "no licence text with '$text' under licenses/"
done
[ -f "$menu/제3자 구성 요소 고지 (Third-party notices).lnk" ] || fail "no Start-menu shortcut to the notices"
[ "$(reg_value Publisher)" = Nimbara ] || fail "Publisher is '$(reg_value Publisher)'"
[ -n "$(reg_value URLInfoAbout)" ] && [ -n "$(reg_value HelpLink)" ] || fail "no support link"
[ "$(reg_value VersionMajor)" = dword:00000001 ] && [ "$(reg_value VersionMinor)" = dword:00000000 ] ||
    fail "VersionMajor/VersionMinor are $(reg_value VersionMajor)/$(reg_value VersionMinor)"
size=$(reg_value EstimatedSize)
kib=$(du -sk "$app" | cut -f1)
[[ "$size" == dword:* ]] && [ $((16#${size#dword:})) -gt $((kib * 9 / 10)) ] && [ $((16#${size#dword:})) -le $((kib * 21 / 20)) ] ||
    fail "EstimatedSize is $size, the folder holds $kib KiB"
say "notices, licence texts and Apps & features' values are there"
# The bill of materials describes the folder as installed, the uninstaller and the list included.
bash "$here/sbom.sh" "$app/sbom.cdx.json" "$app" || fail "the installed SBOM does not describe the installed folder"
cmp -s "$app/sbom.cdx.json" "$build/TAVO-$(reg_value DisplayVersion).cdx.json" || fail "the SBOM beside the installer is another"
say "the SBOM is valid CycloneDX and lists every installed file with its digest"

# --- what another user may leave behind ------------------------------------------------------
# A DLL that notes where it was loaded from, put under the names the program might look up in its
# working directory, which every user may write, and as the provider module an openssl.cnf names
# at every OpenSSL path the program holds and at the cache path an earlier build held. A
# qtlogging.ini that would silence every log line lies where Qt might read one.
x86_64-w64-mingw32-gcc -shared -O2 -o "$work/planted.dll" "$here/planted.c" || fail "could not build the planted DLL"
plant() { mkdir -p "$(dirname "$2")"; cp "$1" "$2"; }
# Read at all, it also makes every algorithm ask for a FIPS provider there is none of, so the key
# agreement fails, whether or not a module can be loaded.
cat >"$work/openssl.cnf" <<'EOF_CNF'
openssl_conf = init
[init]
alg_section = algorithms
providers = providers
[algorithms]
default_properties = fips=yes
[providers]
planted = planted
[planted]
module = C:\planted\provider.dll
activate = 1
EOF_CNF
printf '[Rules]\n*=false\n' >"$work/qtlogging.ini"
plant "$work/planted.dll" "$c/planted/provider.dll"
cache=$(cat "$build/.thirdparty")
ssl_dirs=$(strings -n 8 "$app/TAVO_DSK.exe" | grep -oE '[A-Z]:/[^"]*OpenSSL[^"]*' | sort -u)
[ -n "$ssl_dirs" ] || fail "found no OpenSSL path in TAVO_DSK.exe"
planted=()
for d in $(printf '%s\n' "$ssl_dirs" | sed 's|^C:/||; s| |%20|g') "${cache#/}/openssl/ssl" "${cache#/}/openssl/lib/ossl-modules"; do
    d="$c/${d//%20/ }"
    plant "$work/openssl.cnf" "$d/openssl.cnf"
    for m in legacy default fips base; do plant "$work/planted.dll" "$d/$m.dll"; done
    planted+=("$d")
done
for d in "$home" "$c/Program Files/Nimbara Workspace/Qt" "$c/${cache#/}/qt"; do
    plant "$work/qtlogging.ini" "$d/qtlogging.ini"
done
# Every DLL the installed files import, and those Qt loads by name while it runs (found in a trace
# of the program under Wine: +loaddll).
PLANTED_NAMES=$( { find "$app" -iname '*.exe' -o -iname '*.dll' | while IFS= read -r f; do
                       x86_64-w64-mingw32-objdump -p "$f" | sed -n 's/^[[:space:]]*DLL Name: //p'; done
                   echo dwrite.dll d3d9.dll setupapi.dll dwmapi.dll uxtheme.dll wtsapi32.dll oleaut32.dll \
                        uiautomationcore.dll; } | tr ' ' '\n' | tr 'A-Z' 'a-z' | sort -u)
[ "$(wc -w <<<"$PLANTED_NAMES")" -ge 20 ] || fail "found only $(wc -w <<<"$PLANTED_NAMES") DLL names to plant"
for name in $PLANTED_NAMES; do plant "$work/planted.dll" "$home/$name"; done
rm -f "$c/planted-loaded.txt"

# The installed program, started where the shortcut starts it.
"$peer" "$here/../scenarios/key-exchange.scenario" --log "$work/peer.log" --connect-timeout 60000 \
    >"$work/peer.out" 2>&1 &
peer_pid=$!
pids+=("$peer_pid")
(cd "$home" && bash "$wine_run" --template "$template" --prefix "$work/prefix" "$app/TAVO_DSK.exe") \
    >"$work/client.out" 2>&1 || true
status=0
wait "$peer_pid" || status=$?
[ "$status" -eq 0 ] || { sed 's/^/  peer: /' "$work/peer.log" >&2; fail "the installed program did not pass the scenario (tavo_peer: $status)"; }
ls "$home"/logs/TAVO\ GUI\ LOG\ *.txt >/dev/null 2>&1 || fail "the installed program wrote no log in its work folder"
say "the installed program passed key-exchange.scenario and logged into $home/logs"
[ ! -e "$c/planted-loaded.txt" ] || fail "the program loaded a planted DLL: $(tr -d '\r' <"$c/planted-loaded.txt" | tr '\n' ' ')"
grep -q 'GUI Run' "$home"/logs/TAVO\ GUI\ LOG\ *.txt || fail "the log lacks its first line: a planted qtlogging.ini was read"
say "nothing planted was loaded or read: openssl.cnf and modules at ${#planted[@]} OpenSSL paths, $(wc -w <<<"$PLANTED_NAMES") DLLs in the work folder, qtlogging.ini at 3 places"
# What was planted under the install folder is not the uninstaller's to remove.
rm -rf "$app/OpenSSL" "$app/Qt"

run "C:\\Program Files\\Nimbara Workspace\\Uninstall.exe" /S || fail "the silent uninstall ended with status $?"
[ ! -e "$app" ] || fail "left behind: $(cd "$app" && find . | head -n 5 | tr '\n' ' ')"
[ ! -e "$menu" ] || fail "the Start-menu folder is left"
! grep -q 'NimbaraWorkspace' "$work/prefix/system.reg" || fail "the uninstall entry is left in the registry"
ls "$home"/logs/TAVO\ GUI\ LOG\ *.txt >/dev/null 2>&1 || fail "the uninstaller took the users' logs"
say "uninstalled; the logs stay"
