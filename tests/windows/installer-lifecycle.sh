#!/usr/bin/env bash
# The installer over the life of a machine, under Wine in one prefix: an older version with a file
# and a folder the current one has not, the current one over it while the program runs (refused)
# and after it was closed (the upgrade), again with a file deleted (the repair), the older one
# over the current (refused), a move into a folder of the user's with /D=, the uninstaller there
# while the program runs (refused) and after (the user's own file stays), and an uninstall that
# keeps the logs. NSIS can end with 0 when it did nothing, so each step checks the files and
# Wine's registry (system.reg, written when the prefix's server ends).
#
# usage: installer-lifecycle.sh TAVO-Setup-<version>.exe WINDOWS_BUILD WINE_TEMPLATE
set -euo pipefail
setup=${1:?usage: installer-lifecycle.sh TAVO-Setup-<version>.exe WINDOWS_BUILD WINE_TEMPLATE}
build=${2:?usage} template=${3:?usage}
NAME=installer-lifecycle
. "$(dirname "${BASH_SOURCE[0]}")/common.sh"
say() { echo "$NAME: $*"; }
prefix="$work/prefix"
# A run that owns the prefix's server: it ends with every program of the prefix, registry saved.
run() { bash "$wine_run" --template "$template" --prefix "$prefix" --wait "$@"; }
# A run beside a program that another run keeps open.
join() { bash "$wine_run" --template "$template" --prefix "$prefix" --join "$@"; }

c="$prefix/drive_c"
app="$c/Program Files/Nimbara Workspace"
custom="$c/Tools/Nimbara"
menu="$c/ProgramData/Microsoft/Windows/Start Menu/Programs/Nimbara Workspace"
home="$c/ProgramData/Nimbara Workspace"
payload="$build/TAVO"

# Apps & features lists every key with a display name: there must be one of ours, whatever its key.
one_entry() {
    local n
    n=$(grep -c '^"DisplayName"="Nimbara Workspace"$' "$prefix/system.reg" || true)
    [ "$n" -eq 1 ] || fail "$1: $n Apps & features entries"
    [ "$(reg_value DisplayVersion)" = "$2" ] || fail "$1: the entry has version '$(reg_value DisplayVersion)', not $2"
}
# Everything an installer or uninstaller may change: the folders' files and the registry entry.
state() {
    local d
    for d in "$app" "$custom" "$menu"; do
        [ -d "$d" ] && (cd "$d" && find . -type f -exec md5sum {} + | LC_ALL=C sort) | sed "s|^|$d: |"
    done
    K='[Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\NimbaraWorkspace]' awk '
        index($0, ENVIRON["K"]) == 1 { on = 1; next } on && /^\[/ { on = 0 } on && !/^#/' "$prefix/system.reg"
}
# The installed program's files are the build's, byte for byte.
same_as_build() {
    local f
    while IFS= read -r f; do
        cmp -s "$payload/$f" "$1/$f" || fail "$2: $f is not the current version's"
    done < <(cd "$payload" && find . -type f)
}
logs() { (cd "$home/logs" && ls); }
count_logs() { { find "$home/logs" -maxdepth 1 -type f 2>/dev/null || true; } | wc -l; }

# The program started where its shortcut starts it, left running until stop_program; another
# installer can run beside it with join. Its run owns the server.
start_program() {
    (cd "$home" && exec bash "$wine_run" --template "$template" --prefix "$prefix" "$1/TAVO_DSK.exe") \
        >>"$work/client.out" 2>&1 &
    program=$!
    pids+=("$program")
    local before
    before=$(count_logs)
    for _ in $(seq 600); do
        [ "$(count_logs)" -gt "$before" ] && break
        kill -0 "$program" 2>/dev/null || fail "the installed program ended at once"
        sleep 0.1
    done
    [ "$(count_logs)" -gt "$before" ] || fail "the installed program wrote no log"
}
stop_program() {
    kill -0 "$program" 2>/dev/null || fail "the installed program did not keep running"
    kill "$program"
    wait "$program" || true
}
# Waits for the copy an uninstaller starts of itself (%TEMP%\~nsu<n>.tmp\Un.exe) to end.
wait_uninstaller_copy() {
    local p busy
    for _ in $(seq 600); do
        busy=0
        for p in $(pgrep -f '~nsu[^\\]*\.tmp\\Un' || true); do
            tr '\0' '\n' <"/proc/$p/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$prefix" && busy=1
        done
        [ "$busy" -eq 0 ] && return 0
        sleep 0.1
    done
    fail "the uninstaller's copy did not end"
}

# The id of the visible window whose title matches REGEX, once there is one (within 60 s).
wait_window() {
    local id w
    for _ in $(seq 600); do
        id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1 || true)
        [ -n "$id" ] && { echo "$id"; return 0; }
        sleep 0.1
    done
    # What was on the screen instead, for the failure's message.
    for w in $(xdotool search --onlyvisible --name . 2>/dev/null || true); do
        echo "installer-lifecycle: a window on show: $(xdotool getwindowname "$w" 2>/dev/null)" >&2
    done
    return 1
}
# Waits up to 60 s for the background run PID to end and gives its status.
wait_run() {
    local status=0
    for _ in $(seq 600); do kill -0 "$1" 2>/dev/null || break; sleep 0.1; done
    kill -0 "$1" 2>/dev/null && { kill "$1"; wait "$1" || true; return 124; }
    wait "$1" || status=$?
    return "$status"
}

# The older version: the same build under a lower version number, with a file and a folder that
# the current one has not, and a file whose bytes differ.
current=$(basename "$setup" .exe)
current=${current#TAVO-Setup-}
IFS=. read -r major minor patch <<<"$current"
if [ "$patch" -gt 0 ]; then older=$major.$minor.$((patch - 1))
elif [ "$minor" -gt 0 ]; then older=$major.$((minor - 1)).99
else older=$((major - 1)).99.99; fi
cp -a "$payload" "$work/payload-older"
echo "only in $older" >"$work/payload-older/Obsolete.txt"
mkdir "$work/payload-older/obsolete"
echo "only in $older" >"$work/payload-older/obsolete/plugin.txt"
printf 'older' >>"$work/payload-older/TAVO_HID_static.dll"
old_setup="$work/TAVO-Setup-$older.exe"
bash "$here/../../tools/win/make-installer.sh" --version "$older" --payload "$work/payload-older" \
    --out "$old_setup" "$build" >/dev/null
say "installers $older (built here) and $current"

status=0
run "$old_setup" /S || status=$?
[ "$status" -eq 0 ] || fail "the install of $older ended with status $status"
[ -f "$app/Obsolete.txt" ] && [ -f "$app/obsolete/plugin.txt" ] || fail "$older did not install its own files"
one_entry "$older installed" "$older"

# Running: neither the installer nor the uninstaller touches the program's folder.
start_program "$app"
before=$(state)
status=0
join "$setup" /S || status=$?
[ "$status" -eq 3 ] || fail "the install over the running program ended with status $status, not 3"
join "C:\\Program Files\\Nimbara Workspace\\Uninstall.exe" /S || true
wait_uninstaller_copy
# The files show at once; the registry when the server has ended, below.
[ "$(state)" = "$before" ] || fail "the uninstaller changed the running program's files"
# Not silent, the installer asks the user to close the program; Cancel ends it.
join "$setup" &
gui=$!
pids+=("$gui")
wait_window '^Nimbara Workspace ' >/dev/null || fail "the installer did not ask to close the running program"
xdotool key Escape
status=0
wait_run "$gui" || status=$?
[ "$status" -eq 3 ] || fail "the installer's box, cancelled, ended it with status $status, not 3"
stop_program
[ "$(state)" = "$before" ] || fail "the installer or the uninstaller changed the running program's install"
say "with the program running, the installer (silent: status 3; otherwise it asks) and the uninstaller changed nothing"

logs_before=$(logs)
status=0
run "$setup" /S || status=$?
[ "$status" -eq 0 ] || fail "the upgrade ended with status $status"
[ ! -e "$app/Obsolete.txt" ] && [ ! -e "$app/obsolete" ] || fail "the upgrade left $older's own files"
same_as_build "$app" "the upgrade"
one_entry "the upgrade" "$current"
[ "$(logs)" = "$logs_before" ] || fail "the upgrade changed the logs"
say "$current over $older: files replaced, $older's own removed, one entry, logs kept"

rm "$app/Qt5Gui.dll"
status=0
run "$setup" /S || status=$?
[ "$status" -eq 0 ] || fail "the repair ended with status $status"
same_as_build "$app" "the repair"
one_entry "the repair" "$current"
say "$current again: the deleted Qt5Gui.dll is back, one entry"

before=$(state)
status=0
run "$old_setup" /S || status=$?
[ "$status" -eq 4 ] || fail "$older over $current ended with status $status, not 4"
[ "$(state)" = "$before" ] || fail "$older over $current changed the install"
say "$older over $current: refused (status 4), nothing changed"

# Moved into a folder that already holds a file of the user's.
mkdir -p "$custom"
echo "the user's" >"$custom/notes.txt"
status=0
run "$setup" /S '/D=C:\Tools\Nimbara' || status=$?
[ "$status" -eq 0 ] || fail "the install into C:\\Tools\\Nimbara ended with status $status"
[ ! -e "$app" ] || fail "the move left $(cd "$app" && find . | head -n 5 | tr '\n' ' ')"
same_as_build "$custom" "the move"
one_entry "the move" "$current"
[ "$(reg_value InstallLocation)" = 'C:\\Tools\\Nimbara' ] || fail "the entry's folder is $(reg_value InstallLocation)"
strings -el "$menu/Nimbara Workspace.lnk" | grep -qF 'C:\Tools\Nimbara\TAVO_DSK.exe' || fail "the shortcut does not start C:\\Tools\\Nimbara\\TAVO_DSK.exe"

# Started in its own folder (no space in it), the uninstaller's own status shows.
start_program "$custom"
before=$(state)
status=0
join 'C:\Tools\Nimbara\Uninstall.exe' /S '_?=C:\Tools\Nimbara' || status=$?
stop_program
[ "$status" -eq 3 ] || fail "the uninstaller beside the running program ended with status $status, not 3"
[ "$(state)" = "$before" ] || fail "the uninstaller changed the running program's install"

logs_before=$(logs)
run 'C:\Tools\Nimbara\Uninstall.exe' /S || fail "the silent uninstall ended with status $?"
[ "$(cat "$custom/notes.txt" 2>/dev/null)" = "the user's" ] || fail "the uninstall took or changed the user's file"
[ "$(cd "$custom" && find . -mindepth 1)" = "./notes.txt" ] || fail "the uninstall left $(cd "$custom" && find . -mindepth 1 | head -n 5 | tr '\n' ' ')"
grep -q 'NimbaraWorkspace' "$prefix/system.reg" && fail "the uninstall left the entry in the registry"
[ ! -e "$menu" ] || fail "the uninstall left the Start-menu folder"
[ "$(logs)" = "$logs_before" ] || fail "the silent uninstall took the logs"
say "in C:\\Tools\\Nimbara: installed, the uninstaller refused beside the program (status 3), then removed its own files only; logs kept"

# The uninstaller as a user meets it, from a folder with a space in its name (which Wine quotes, as
# PowerShell does): the logs are offered, unticked; ticked, they go too.
run "$setup" /S '/D=C:\My Apps\Nimbara' || fail "the install into C:\\My Apps\\Nimbara ended with status $?"
same_as_build "$c/My Apps/Nimbara" "the install into a folder with a space"
run 'C:\My Apps\Nimbara\Uninstall.exe' &
gui=$!
pids+=("$gui")
wait_window '^Nimbara Workspace ' >/dev/null || fail "the uninstaller showed no window"
xdotool key Return # the confirmation, then the components: the program, greyed, and the logs
sleep 0.5
xdotool key Down space
sleep 0.5
xdotool key Return
for _ in $(seq 300); do [ -e "$c/My Apps/Nimbara/Uninstall.exe" ] || break; sleep 0.1; done
sleep 0.5
xdotool key Return # close
wait_run "$gui" || fail "the uninstaller did not end when closed (status $?)"
[ ! -e "$c/My Apps/Nimbara" ] || fail "the uninstall left $(cd "$c/My Apps/Nimbara" && find . | head -n 5 | tr '\n' ' ')"
[ ! -e "$home" ] || fail "the logs the user chose to delete are still there: $(cd "$home" && find . | head -n 5 | tr '\n' ' ')"
say "the uninstaller, the logs ticked, took them too"
