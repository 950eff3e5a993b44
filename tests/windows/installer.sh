#!/usr/bin/env bash
# The installer as a user meets it, under Wine: a silent install puts the program under Program
# Files with a Start-menu shortcut that starts it in a folder users can write, the installed
# program passes a scenario against tavo_peer from that folder, and the silent uninstall takes
# away what was installed and leaves the logs.
#
# usage: installer.sh TAVO_PEER TAVO-Setup.exe WINE_TEMPLATE   (inside a private network namespace)
set -euo pipefail
peer=${1:?usage: installer.sh TAVO_PEER TAVO-Setup.exe WINE_TEMPLATE}
setup=${2:?usage} template=${3:?usage}
NAME=installer
. "$(dirname "${BASH_SOURCE[0]}")/common.sh"
say() { echo "installer: $*"; }
run() { bash "$wine_run" --template "$template" --prefix "$work/prefix" --wait "$@"; }

c="$work/prefix/drive_c"
app="$c/Program Files/Nimbara Workspace"
menu="$c/ProgramData/Microsoft/Windows/Start Menu/Programs/Nimbara Workspace"
home="$c/ProgramData/Nimbara Workspace"

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

run "C:\\Program Files\\Nimbara Workspace\\Uninstall.exe" /S || fail "the silent uninstall ended with status $?"
[ ! -e "$app" ] || fail "left behind: $(cd "$app" && find . | head -n 5 | tr '\n' ' ')"
[ ! -e "$menu" ] || fail "the Start-menu folder is left"
! grep -q 'NimbaraWorkspace' "$work/prefix/system.reg" || fail "the uninstall entry is left in the registry"
ls "$home"/logs/TAVO\ GUI\ LOG\ *.txt >/dev/null 2>&1 || fail "the uninstaller took the users' logs"
say "uninstalled; the logs stay"
