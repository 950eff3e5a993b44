#!/usr/bin/env bash
# The end of a Windows session closes the client the normal way. Under Wine, `wineboot
# --end-session` sends WM_QUERYENDSESSION and WM_ENDSESSION to the programs' windows as Windows
# does at log-off; tavo_peer then expects the exit notice before the connection ends.
#
# usage: session-end.sh TAVO_PEER TAVO_DSK.exe WINE_TEMPLATE   (inside a private network namespace)
set -euo pipefail
peer=${1:?usage: session-end.sh TAVO_PEER TAVO_DSK.exe WINE_TEMPLATE}
exe=${2:?usage} template=${3:?usage}
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
wine_run="$here/../../tools/win/wine-run.sh"
wine=$(command -v wine64 || echo /usr/lib/wine/wine64)

work=$(mktemp -d "${TMPDIR:-/tmp}/tavo-session-end.XXXXXX")
pids=()
cleanup() {
    local p
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "session-end: FAILED: $*" >&2; sed 's/^/  peer: /' "$work/peer.log" >&2 || true; exit 1; }

Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || fail "Xvfb did not start"
export DISPLAY=":$(head -n1 "$work/display")"

"$peer" "$here/session-end.scenario" --log "$work/peer.log" --connect-timeout 60000 >"$work/peer.out" 2>&1 &
peer_pid=$!
pids+=("$peer_pid")
mkdir -p "$work/run"
(cd "$work/run" && exec bash "$wine_run" --template "$template" --prefix "$work/prefix" "$exe") \
    >"$work/client.out" 2>&1 &
client_pid=$!
pids+=("$client_pid")

for _ in $(seq 600); do
    grep -q 'sent wrapped {"FrameIndex":1}' "$work/peer.log" 2>/dev/null && break
    kill -0 "$peer_pid" 2>/dev/null || fail "tavo_peer ended before the sign-in screen was asked for"
    sleep 0.1
done
grep -q 'sent wrapped {"FrameIndex":1}' "$work/peer.log" || fail "the client did not get as far as the sign-in screen"
sleep 1 # the screen is built

WINEPREFIX="$work/prefix" WINEDEBUG=-all "$wine" wineboot --end-session >/dev/null 2>&1 || true

status=0
for _ in $(seq 300); do kill -0 "$peer_pid" 2>/dev/null || break; sleep 0.1; done
wait "$peer_pid" || status=$?
[ "$status" -eq 0 ] || fail "tavo_peer ended with status $status"
grep -q "\"FrameIndex\":4496" "$work/peer.log" || fail "no exit notice in the transcript"
echo "session-end: the client sent its exit notice when the session ended"
