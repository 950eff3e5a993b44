#!/usr/bin/env bash
# Runs a Windows program under Wine the way our tests need it, and exits with its status.
#  - A Wine prefix of its own, copied from a template made once: its wineserver starts here, so
#    in the test's private network namespace when it has one (the wineserver makes the sockets).
#  - The Korean code page (ANSI code page 949), as on our users' machines.
#  - No Wine chatter, no Mono or Gecko dialogs; the prefix and its processes go at the end.
#
# usage: wine-run.sh [--template DIR] [--prefix DIR] [--wait | --join] [--qtest] PROGRAM.exe [ARGS...]
#   --template DIR   where the template prefix lives (default: $TMPDIR/tavo-wine-template-<uid>)
#   --prefix DIR     run in this prefix (made from the template when missing) and keep it
#   --wait           also wait for the programs it started (an uninstaller runs from a copy)
#   --join           the prefix's server belongs to another wine-run that is still running (a
#                    program a test keeps open): leave that server and its programs alone
#   --qtest          the program is a Qt Test program: its report goes through a file, since
#                    under Wine Qt Test writes nothing to a standard output that is not a terminal
set -euo pipefail

template="${TMPDIR:-/tmp}/tavo-wine-template-$(id -u)"
prefix=""
wait_all=0
join=0
qtest=0
while [ $# -gt 0 ]; do
    case "$1" in
        --template) template=$2; shift 2 ;;
        --prefix) prefix=$2; shift 2 ;;
        --wait) wait_all=1; shift ;;
        --join) join=1; shift ;;
        --qtest) qtest=1; shift ;;
        *) break ;;
    esac
done
[ $# -gt 0 ] || { echo "usage: wine-run.sh [--template DIR] [--prefix DIR] [--wait | --join] [--qtest] PROGRAM.exe [ARGS...]" >&2; exit 2; }
[ "$join" -eq 0 ] || { [ -n "$prefix" ] && [ "$wait_all" -eq 0 ]; } ||
    { echo "wine-run: --join needs --prefix and cannot --wait" >&2; exit 2; }

wine=$(command -v wine64 || true)
[ -n "$wine" ] || wine=/usr/lib/wine/wine64
[ -x "$wine" ] || { echo "wine-run: wine64 not found: run ./tavo deps" >&2; exit 2; }
wineserver=$(dirname "$(readlink -f "$wine")")/wineserver
[ -x "$wineserver" ] || wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)

export WINEARCH=win64
export WINEDEBUG=-all
# No Mono or Gecko installer dialogs, and no menu entries or file types on the host's desktop.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export LANG=ko_KR.UTF-8 LC_ALL=ko_KR.UTF-8
unset WINELOADER WINESERVER

# The template, made once; whoever comes first makes it, the others wait.
mkdir -p "$(dirname "$template")"
(
    flock 9
    if [ ! -f "$template/.ready" ]; then
        rm -rf "$template"
        WINEPREFIX="$template" "$wine" wineboot --init >/dev/null 2>&1 || true
        WINEPREFIX="$template" "$wineserver" -w
        [ -f "$template/system.reg" ] || { echo "wine-run: could not make a Wine prefix in $template" >&2; exit 1; }
        touch "$template/.ready"
    fi
) 9>"$template.lock"

keep=1
if [ -z "$prefix" ]; then
    prefix=$(mktemp -d "${TMPDIR:-/tmp}/tavo-wine.XXXXXX")
    keep=0
fi
if [ ! -f "$prefix/system.reg" ]; then
    mkdir -p "$prefix"
    cp -a "$template/." "$prefix/"
fi
export WINEPREFIX="$prefix"

child=""
finish() {
    # Every process of this prefix goes with its server; a kept prefix keeps its files.
    [ -n "$child" ] && kill "$child" 2>/dev/null || true
    [ "$join" -eq 0 ] || return 0
    timeout 30 "$wineserver" -k >/dev/null 2>&1 || true
    timeout 30 "$wineserver" -w >/dev/null 2>&1 || true
    if [ "$keep" -eq 0 ]; then rm -rf "$prefix"; fi
}
trap finish EXIT
trap 'exit 143' TERM
trap 'exit 130' INT

report=""
if [ "$qtest" -eq 1 ]; then
    # Wine does not hand QT_QPA_PLATFORM on to Windows programs, and without it a GUI test would
    # open real windows on no display. Qt takes the platform as an argument too, where it has one.
    if [ -n "${QT_QPA_PLATFORM:-}" ] && x86_64-w64-mingw32-objdump -p "$1" 2>/dev/null | grep -i 'DLL Name: Qt5Gui.dll' >/dev/null; then
        set -- "$@" -platform "$QT_QPA_PLATFORM"
    fi
    report="$prefix/qtest-report.txt"
    set -- "$@" -o "$(printf 'Z:%s' "$report" | tr / '\\'),txt"
fi
status=0
"$wine" "$@" &
child=$!
wait "$child" || status=$?
child=""
if [ -n "$report" ] && [ -f "$report" ]; then cat "$report"; fi
if [ "$wait_all" -eq 1 ]; then timeout 300 "$wineserver" -w || true; fi
exit "$status"
