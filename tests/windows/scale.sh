#!/usr/bin/env bash
# The Windows build at the scales laptops and 4K screens use. Windows gives a DPI-aware program
# the user's scale as the logical DPI, which Wine takes from the prefix's LogPixels: at 120,
# 144 and 192 the 900 x 600 window must open at 125 %, 150 % and 200 % in device pixels, full
# screen must cover the screen, and the close button, found where it is drawn at that scale,
# must send the one exit notice.
#
# usage: scale.sh TAVO_PEER TAVO_DSK.exe WINE_TEMPLATE [SHOT.png]   (inside a private network namespace)
#   SHOT.png   also save the window at 150 % there, for the gallery
#   TAVO_SCALE_DPIS   the LogPixels values to try (default "120 144 192")
set -euo pipefail
peer=${1:?usage: scale.sh TAVO_PEER TAVO_DSK.exe WINE_TEMPLATE [SHOT.png]}
exe=${2:?usage} template=${3:?usage} shot=${4:-}
NAME=scale
SCREEN=1920x1200
. "$(dirname "${BASH_SOURCE[0]}")/common.sh"
fail() { echo "scale: FAILED: $*" >&2; sed 's/^/  peer: /' "$work/peer.log" >&2 || true; sed 's/^/  client: /' "$work/client.out" >&2 || true; exit 1; }
scenario="$here/session-end.scenario"

# The Windows program's main window, once it is mapped.
main_window() {
    local id
    for _ in $(seq 600); do
        id=$(xdotool search --onlyvisible --name '^Nimbara Workspace$' 2>/dev/null | head -n1 || true)
        [ -n "$id" ] && { echo "$id"; return; }
        sleep 0.1
    done
    local w
    for w in $(xdotool search --name . 2>/dev/null || true); do
        echo "scale: a window: $(xdotool getwindowname "$w" 2>/dev/null) $(xwininfo -id "$w" 2>/dev/null | grep -E 'Map State|Width|Height' | tr -s ' \n' ' ')" >&2
    done
    fail "$1: no main window within 60 s"
}

# run DPI [--full]: the client at that LogPixels, windowed or full screen; checks its size and
# closes it with its close button.
run() {
    local dpi=$1 mode=${2:-} prefix="$work/prefix-$1" label status=0 id x y w h want_w want_h cx cy
    label="$dpi dpi${mode:+ full screen}"
    if [ ! -f "$prefix/system.reg" ]; then
        # The scale a user picks in Settings; Wine reads it when the program starts.
        bash "$wine_run" --template "$template" --prefix "$prefix" reg add 'HKCU\Control Panel\Desktop' \
            /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1 || fail "$label: could not set LogPixels"
    fi
    : >"$work/peer.log"
    "$peer" "$scenario" --log "$work/peer.log" --connect-timeout 60000 >"$work/peer.out" 2>&1 &
    local peer_pid=$!
    pids+=("$peer_pid")
    mkdir -p "$work/run"
    (cd "$work/run" && exec bash "$wine_run" --template "$template" --prefix "$prefix" "$exe" $mode) \
        >"$work/client.out" 2>&1 &
    local client_pid=$!
    pids+=("$client_pid")
    id=$(main_window "$label")
    for _ in $(seq 300); do
        grep -q ' sent wrapped ' "$work/peer.log" 2>/dev/null && break
        sleep 0.1
    done
    sleep 1 # the sign-in screen is drawn
    read -r x y w h < <(xdotool getwindowgeometry --shell "$id" |
        awk -F= '/^X=/{x=$2}/^Y=/{y=$2}/^WIDTH=/{w=$2}/^HEIGHT=/{h=$2} END{print x, y, w, h}')
    if [ -n "$mode" ]; then
        want_w=${SCREEN%x*} want_h=${SCREEN#*x}
        [ "$x,$y" = "0,0" ] || fail "$label: the window is at $x,$y, not at the screen's corner"
    else
        want_w=$((900 * dpi / 96)) want_h=$((600 * dpi / 96))
    fi
    [ "${w}x${h}" = "${want_w}x${want_h}" ] || fail "$label: the window is ${w}x${h}, not ${want_w}x${want_h}"
    if [ -n "$shot" ] && [ "$dpi" = 144 ] && [ -z "$mode" ]; then
        import -window root -crop "${w}x${h}+${x}+${y}" +repage "$shot"
    fi
    # The middle of the close button: 37 px from the window's right edge and 38 px down, at 100 %.
    cx=$((w - 37 * dpi / 96)) cy=$((38 * dpi / 96))
    xdotool mousemove --window "$id" "$cx" "$cy" click 1
    for _ in $(seq 300); do kill -0 "$peer_pid" 2>/dev/null || break; sleep 0.1; done
    wait "$peer_pid" || status=$?
    [ "$status" -eq 0 ] || fail "$label: tavo_peer ended with status $status"
    [ "$(grep -c '"FrameIndex":4496' "$work/peer.log")" -eq 1 ] || fail "$label: not exactly one exit notice"
    for _ in $(seq 300); do kill -0 "$client_pid" 2>/dev/null || break; sleep 0.1; done
    kill -0 "$client_pid" 2>/dev/null && fail "$label: the client did not end after its close button"
    echo "scale: $label: ${w}x${h} at $x,$y; its close button sent one exit notice"
}

for dpi in ${TAVO_SCALE_DPIS:-120 144 192}; do
    run "$dpi"
    run "$dpi" --full
done
