#!/usr/bin/env bash
# The end of a Windows session closes the client the normal way. Under Wine, `wineboot
# --end-session` sends WM_QUERYENDSESSION and WM_ENDSESSION to the programs' windows as Windows
# does at log-off; tavo_peer then expects the exit notice before the connection ends.
#
# usage: session-end.sh TAVO_PEER TAVO_DSK.exe WINE_TEMPLATE   (inside a private network namespace)
set -euo pipefail
peer=${1:?usage: session-end.sh TAVO_PEER TAVO_DSK.exe WINE_TEMPLATE}
exe=${2:?usage} template=${3:?usage}
NAME=session-end
. "$(dirname "${BASH_SOURCE[0]}")/common.sh"
fail() { echo "session-end: FAILED: $*" >&2; sed 's/^/  peer: /' "$work/peer.log" >&2 || true; exit 1; }
wine=$(command -v wine64 || echo /usr/lib/wine/wine64)

# session_end SCENARIO: the client through the scenario's messages, then the session's end.
session_end() {
    local scenario="$here/$1" sends prefix="$work/prefix-$1" status=0
    sends=$(grep -c '^send' "$scenario")
    : >"$work/peer.log"
    "$peer" "$scenario" --log "$work/peer.log" --connect-timeout 60000 >"$work/peer.out" 2>&1 &
    peer_pid=$!
    pids+=("$peer_pid")
    mkdir -p "$work/run"
    (cd "$work/run" && exec bash "$wine_run" --template "$template" --prefix "$prefix" "$exe") \
        >"$work/client.out" 2>&1 &
    pids+=($!)
    for _ in $(seq 600); do
        [ "$(grep -c '^.* sent wrapped ' "$work/peer.log" 2>/dev/null)" -ge "$sends" ] && break
        kill -0 "$peer_pid" 2>/dev/null || fail "$1: tavo_peer ended before its messages were sent"
        sleep 0.1
    done
    [ "$(grep -c '^.* sent wrapped ' "$work/peer.log")" -ge "$sends" ] || fail "$1: the client did not take the messages"
    sleep 1 # the screen and the box are drawn

    WINEPREFIX="$prefix" WINEDEBUG=-all "$wine" wineboot --end-session >/dev/null 2>&1 || true

    for _ in $(seq 300); do kill -0 "$peer_pid" 2>/dev/null || break; sleep 0.1; done
    wait "$peer_pid" || status=$?
    [ "$status" -eq 0 ] || fail "$1: tavo_peer ended with status $status"
    [ "$(grep -c '"FrameIndex":4496' "$work/peer.log")" -eq 1 ] || fail "$1: not exactly one exit notice"
    echo "session-end: $1: one exit notice when the session ended"
}

session_end session-end.scenario
session_end session-end-box.scenario
