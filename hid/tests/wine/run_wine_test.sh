#!/usr/bin/env bash
# Runs the Windows test program under Wine on a private Xvfb display, with a Wine prefix made
# for this run in a temporary folder and removed afterwards. Every step has a time limit.
# usage: run_wine_test.sh DIR   (DIR holds hid_wine_test.exe, TAVO_HID_static.dll and the stand-in SDL2.dll)
set -euo pipefail

bin=$(cd "$1" && pwd)
for f in hid_wine_test.exe TAVO_HID_static.dll SDL2.dll; do
    [ -f "$bin/$f" ] || { echo "missing $bin/$f (the cross-build did not run)" >&2; exit 1; }
done

wine=$(command -v wine64 || true)
[ -n "$wine" ] || wine=/usr/lib/wine/wine64
wineserver=$(dirname "$(readlink -f "$wine")")/wineserver
[ -x "$wineserver" ] || wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
for tool in "$wine" "$wineserver" "$(command -v Xvfb || echo Xvfb)"; do
    [ -x "$tool" ] || { echo "missing $tool: run ./tavo deps" >&2; exit 1; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/tavo-wine.XXXXXX")
xvfb_pid=

cleanup() {
    if [ -d "$work/prefix" ]; then
        WINEPREFIX="$work/prefix" timeout 30 "$wineserver" -k >/dev/null 2>&1 || true
        WINEPREFIX="$work/prefix" timeout 30 "$wineserver" -w >/dev/null 2>&1 || true
    fi
    if [ -n "$xvfb_pid" ]; then
        kill "$xvfb_pid" 2>/dev/null || true
        wait "$xvfb_pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

# Xvfb picks a free display itself and writes its number to fd 3.
Xvfb -displayfd 3 -nolisten tcp -screen 0 1024x768x24 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 100); do
    [ -s "$work/display" ] && break
    kill -0 "$xvfb_pid" 2>/dev/null || break
    sleep 0.1
done
if [ ! -s "$work/display" ]; then
    echo "Xvfb did not start:" >&2
    cat "$work/xvfb.log" >&2
    exit 1
fi

export DISPLAY=":$(tr -d '[:space:]' <"$work/display")"
export WINEPREFIX="$work/prefix"
export WINEARCH=win64
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=" # no Mono or Gecko installer dialogs on the first start
unset WINELOADER WINESERVER

echo "# creating the Wine prefix on display $DISPLAY"
if ! timeout 300 "$wine" wineboot --init >"$work/wineboot.log" 2>&1; then
    echo "wineboot failed or timed out:" >&2
    cat "$work/wineboot.log" >&2
    exit 1
fi

cd "$bin"
status=0
timeout 180 "$wine" hid_wine_test.exe </dev/null || status=$?
if [ "$status" -eq 124 ]; then
    echo "hid_wine_test.exe timed out" >&2
fi
exit "$status"
