#!/usr/bin/env bash
# A scripted user walks the client through every screen, against `tavo_peer --demo`, on an X
# display of its own (Xvfb), typing and clicking with xdotool like a person, and saves a
# screenshot of each screen it passes.
#
#   tools/demo-walk.sh BIN_DIR OUT_DIR [--fullscreen-too | --keys]
#
# BIN_DIR holds TAVO_DSK and tavo_peer; TAVO_DEMO_CLIENT, when set, is the command that starts
# the client instead (words split at blanks), such as the Windows build under Wine. OUT_DIR receives NN-name.png, peer.log (the main
# program's transcript) and the client's logs/. With --fullscreen-too short runs follow, each on
# a display of its own: the sign-in screen full screen at 1920 x 1080, 1366 x 768 and 2560 x
# 1440, the window at 150 %, and a box with a long text, then the keyboard walk. With --keys
# only the keyboard walk: the same screens by keys alone, never the mouse. Exits non-zero,
# saying where, when a step does not happen in time.
set -euo pipefail

BIN="$(cd "${1:?usage: demo-walk.sh BIN_DIR OUT_DIR [--fullscreen-too]}" && pwd)"
mkdir -p "${2:?usage: demo-walk.sh BIN_DIR OUT_DIR [--fullscreen-too]}"
OUT="$(cd "$2" && pwd)"
FULLSCREEN_TOO="${3:-}"
ROOT_DIR="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
STEP_TIMEOUT="${TAVO_DEMO_STEP_TIMEOUT:-20}" # seconds; sanitizer builds are slow

# Where the screens sit in the window: the frame at 235,90 and its layout's margin.
SX=244
SY=99

PIDS=()
cleanup() {
    local p
    for p in "${PIDS[@]}"; do kill "$p" 2>/dev/null || true; done
    for p in "${PIDS[@]}"; do wait "$p" 2>/dev/null || true; done
}
trap cleanup EXIT

say() { printf 'demo-walk: %s\n' "$*"; }
fail() {
    say "FAILED: $*" >&2
    if [ -f "$OUT/peer.log" ]; then
        say "last lines of $OUT/peer.log:" >&2
        tail -n 8 "$OUT/peer.log" >&2
    fi
    exit 1
}

# start_display [WIDTHxHEIGHT [DPI]]: a private X display, 1920x1080 at 96 dpi by default.
start_display() {
    local fd_file="$OUT/.display"
    rm -f "$fd_file"
    Xvfb -displayfd 3 -screen 0 "${1:-1920x1080}x24" -dpi "${2:-96}" -nolisten tcp 3>"$fd_file" 2>"$OUT/xvfb.log" &
    PIDS+=($!)
    DISPLAY_PIDS+=($!)
    local i
    for i in $(seq 1 100); do
        if [ -s "$fd_file" ]; then break; fi
        sleep 0.1
    done
    [ -s "$fd_file" ] || fail "Xvfb did not start (see $OUT/xvfb.log)"
    export DISPLAY=":$(head -n1 "$fd_file")"
    rm -f "$fd_file"
    # The notification box is a translucent window; without a compositor its veil is black.
    xcompmgr >/dev/null 2>&1 &
    PIDS+=($!)
    DISPLAY_PIDS+=($!)
}

# Runs the command every tenth of a second until it succeeds; after STEP_TIMEOUT the walk fails
# with the given text.
poll_until() {
    local why="$1" waited=0
    shift
    until "$@"; do
        sleep 0.1
        waited=$((waited + 1))
        [ "$waited" -lt $((STEP_TIMEOUT * 10)) ] || fail "$why"
    done
}

# Whether the main program's transcript has the text on at least that many lines; fails the
# walk when the main program has ended without it.
has_lines() {
    [ "$(grep -cF -- "$1" "$OUT/peer.log" 2>/dev/null)" -ge "$2" ] && return 0
    kill -0 "$PEER" 2>/dev/null && return 1
    [ "$(grep -cF -- "$1" "$OUT/peer.log" 2>/dev/null)" -ge "$2" ] || fail "the main program ended before: $1"
}

# Waits until the main program's transcript has the text on as many lines as asked (one by
# default), then a moment for the message it printed to reach the client.
wait_line() {
    poll_until "no \"$1\" within ${STEP_TIMEOUT}s" has_lines "$1" "${2:-1}"
    sleep 0.4
}

no_box() { ! xdotool search --onlyvisible --name '^NotificationBox$' >/dev/null 2>&1; }
ended() { ! kill -0 "$1" 2>/dev/null; }

window_of() {
    timeout "$STEP_TIMEOUT" xdotool search --sync --onlyvisible --name "$1" 2>/dev/null | head -n1 ||
        fail "no window named $1"
}

geometry_of() {
    # Prints X Y WIDTH HEIGHT of a window.
    xdotool getwindowgeometry --shell "$1" | awk -F= '/^X=/{x=$2}/^Y=/{y=$2}/^WIDTH=/{w=$2}/^HEIGHT=/{h=$2}
        END{print x, y, w, h}'
}

# Saves the main window as it looks now, box included.
SHOT=0
shot() {
    local name="$1" x y w h
    sleep "${2:-0.6}" # let the screen finish painting
    read -r x y w h < <(geometry_of "$MAIN")
    SHOT=$((SHOT + 1))
    local file
    file="$OUT/$(printf '%02d' "$SHOT")-$name.png"
    import -window root -crop "${w}x${h}+${x}+${y}" +repage "$file"
    SHOTS+=("$file")
}
SHOTS=()

# Clicks at a point of the screen on show (coordinates as the screen's own form gives them).
click() {
    xdotool mousemove --window "$MAIN" $((SX + $1)) $((SY + $2)) click 1
    sleep 0.2
}

# Types into the field at the given point, replacing what it holds.
type_into() {
    click "$1" "$2"
    xdotool key --clearmodifiers ctrl+a BackSpace
    xdotool type --delay 40 -- "$3"
    sleep 0.2
}

# Answers the box on show with its OK button (elsewhere on a full-screen box).
press_ok() {
    local box
    box="$(window_of '^NotificationBox$')"
    xdotool mousemove --window "$box" "${1:-450}" "${2:-395}" click 1
    poll_until "the box did not close" no_box
    sleep 0.2
}

# start_pair [CLIENT ARGS...]: tavo_peer --demo (or, with PEER_SCENARIO set, that scenario)
# and the client.
start_pair() {
    : >"$OUT/peer.log"
    "$BIN/tavo_peer" ${PEER_SCENARIO:---demo} --log "$OUT/peer.log" --connect-timeout $((STEP_TIMEOUT * 1000)) \
        >"$OUT/peer.out" 2>&1 &
    PEER=$!
    PIDS+=("$PEER")
    wait_line "waiting up to"
    local client=("$BIN/TAVO_DSK")
    if [ -n "${TAVO_DEMO_CLIENT:-}" ]; then read -r -a client <<<"$TAVO_DEMO_CLIENT"; fi
    (cd "$OUT" && exec "${client[@]}" "$@" >"$OUT/client.out" 2>&1) &
    CLIENT=$!
    PIDS+=("$CLIENT")
    MAIN="$(window_of '^Nimbara Workspace$')"
}

# Waits for a process of ours to end and gives its exit status.
finish() {
    local pid="$1" what="$2"
    poll_until "$what did not end" ended "$pid"
    local status=0
    wait "$pid" || status=$?
    [ "$status" -eq 0 ] || fail "$what ended with status $status"
}

walk() {
    start_pair
    wait_line "checking the installed files"
    shot integrity-check 0.8

    wait_line "announcing it"
    window_of '^NotificationBox$' >/dev/null
    shot update-notice
    press_ok

    wait_line '"per":50'
    shot download 0.1
    wait_line "showing sign-in"
    shot sign-in

    say "password reset"
    click 85 370 # "forgot your password"
    wait_line "showing the reset screen"
    type_into 205 80 hong
    type_into 205 165 01012345678
    shot reset 0.2
    click 320 250 # request the code
    wait_line "identity proved"
    type_into 135 250 1234
    shot reset-code 0.2
    click 205 325 # reset
    wait_line "password of hong reset"
    window_of '^NotificationBox$' >/dev/null
    shot reset-done
    press_ok
    wait_line "password reset acknowledged"

    say "sign-in with an initial password"
    wait_line "showing sign-in"
    type_into 205 80 newbie
    type_into 205 165 'Tavo#2026x'
    click 320 250 # request the one-time password
    wait_line "newbie signs in" 1
    type_into 135 250 0000
    shot sign-in-code 0.2
    click 205 325
    wait_line 'wrong one-time password'
    window_of '^NotificationBox$' >/dev/null
    shot wrong-code
    press_ok
    type_into 135 250 1234
    click 205 325
    wait_line "asking for a new one"
    window_of '^NotificationBox$' >/dev/null
    press_ok
    type_into 215 140 'Nimbus!73q'
    type_into 215 250 'Nimbus!73q'
    shot new-password 0.2
    click 210 357
    wait_line "new password for newbie stored"
    window_of '^NotificationBox$' >/dev/null
    shot password-changed
    press_ok
    wait_line "new password acknowledged"

    say "sign-in and the PCs"
    type_into 205 80 newbie
    type_into 205 165 'Nimbus!73q'
    click 320 250
    wait_line "newbie signs in" 2
    type_into 135 250 1234
    click 205 325
    wait_line "newbie is signed in"
    shot pc-list
    xdotool mousemove --window "$MAIN" $((SX + 200)) $((SY + 200)) click --repeat 6 --delay 50 5 # wheel down
    shot pc-list-scrolled
    xdotool mousemove --window "$MAIN" $((SX + 200)) $((SY + 200)) click --repeat 6 --delay 50 4 # and back up
    click 40 437 # settings
    wait_line "opens the streaming options"
    click 225 155 # H.264
    click 290 265 # quality one step up to 4, and once more to 5: picture first
    click 290 265
    shot streaming-options 0.2
    click 210 357
    wait_line "streaming options saved (codec h264, quality 5)"
    sleep 0.5
    click 180 72 # the first PC, the one that is free
    wait_line "showing progress"
    shot progress 2
    wait_line "is ready"
    finish "$CLIENT" "the client"
    finish "$PEER" "the main program"
    say "the client closed after the progress screen; the main program is content"
}

# fullscreen NAME [WIDTH HEIGHT]: the client full screen on a display of that size (1920 x
# 1080 by default), through the update notice to the sign-in screen, closed by its close button.
fullscreen() {
    local w="${2:-1920}" h="${3:-1080}"
    stop_display
    start_display "${w}x${h}"
    : >"$OUT/peer.log"
    start_pair full
    wait_line "announcing it"
    press_ok $((w / 2)) $((h / 2 + 95)) # the panel keeps its place about the centre
    wait_line "showing sign-in"
    shot "$1" 1
    xdotool mousemove --window "$MAIN" $((w - 37)) 38 click 1 # the close button
    finish "$CLIENT" "the client"
    finish "$PEER" "the main program"
}

# The window at 150 %: every position scaled by 1.5 in device pixels.
scaled_window() {
    stop_display
    start_display 1920x1080 144
    start_pair
    wait_line "announcing it"
    press_ok 675 592
    wait_line "showing sign-in"
    shot window-150-sign-in 1
    xdotool mousemove --window "$MAIN" 1294 57 click 1 # the close button
    finish "$CLIENT" "the client"
    finish "$PEER" "the main program"
}

# A main-program text too long for one line of the box, wrapped inside its panel.
long_text() {
    stop_display
    start_display
    PEER_SCENARIO="$ROOT_DIR/tools/gallery/long-text.scenario" start_pair
    window_of '^NotificationBox$' >/dev/null
    shot long-text 1
    press_ok
    xdotool mousemove --window "$MAIN" 863 38 click 1 # the close button
    finish "$CLIENT" "the client"
    finish "$PEER" "the main program"
}

# Keys to the window that has the keyboard, as a user types them.
keys() {
    xdotool key --delay 60 "$@"
    sleep 0.3
}
typed() {
    xdotool type --delay 40 -- "$1"
    sleep 0.2
}
# Takes the focus into the box on show and answers it with Return.
box_by_key() {
    local box
    box="$(window_of '^NotificationBox$')"
    xdotool windowfocus --sync "$box" 2>/dev/null || true
    keys Return
    poll_until "the box did not close" no_box
    xdotool windowfocus --sync "$MAIN" 2>/dev/null || true
    sleep 0.2
}

# Every screen by keys alone: the pointer rests on the window's background and never clicks.
# Its pictures show the focus mark, which appears only once Tab or an arrow has been pressed.
keyboard_walk() {
    stop_display
    start_display
    : >"$OUT/peer.log"
    start_pair
    local h
    read -r _ _ _ h < <(geometry_of "$MAIN")
    xdotool mousemove --window "$MAIN" 20 $((h - 20))
    wait_line "announcing it"
    box_by_key
    wait_line "showing sign-in"
    xdotool windowfocus --sync "$MAIN"
    keys Tab Tab # past the password field to the reset link: the request needs an ID first
    shot keyboard-reset-link 0.2
    keys Return
    wait_line "showing the reset screen"
    typed hong
    keys Tab
    typed 01012345678
    keys Return
    wait_line "identity proved"
    typed 1234
    keys Return
    wait_line "password of hong reset"
    box_by_key
    wait_line "password reset acknowledged"

    typed newbie
    keys Tab
    typed 'Tavo#2026x'
    keys Tab
    shot keyboard-request 0.2
    keys Return
    wait_line "newbie signs in" 1
    typed 1234
    keys Return
    wait_line "asking for a new one"
    box_by_key
    typed 'Nimbus!73q'
    keys Tab
    typed 'Nimbus!73q'
    keys Return
    wait_line "new password for newbie stored"
    box_by_key
    wait_line "new password acknowledged"

    typed newbie
    keys Tab
    typed 'Nimbus!73q'
    keys Return
    wait_line "newbie signs in" 2
    typed 1234
    keys Return
    wait_line "newbie is signed in"
    keys Down Up # the first free PC, marked
    shot keyboard-pc-list 0.2
    keys shift+Tab shift+Tab # past the close button to the settings
    shot keyboard-settings 0.2
    keys space
    wait_line "opens the streaming options"
    keys Right Tab Right # H.264, then the quality one step up
    shot keyboard-streaming-options 0.2
    keys Return
    wait_line "streaming options saved (codec h264, quality 4)"
    sleep 0.5
    keys Return # the first free PC
    wait_line "showing progress"
    wait_line "is ready"
    finish "$CLIENT" "the client"
    finish "$PEER" "the main program"
    say "by keys alone from the integrity check to the progress screen"
}

# Ends the display of the run before, with its compositor.
stop_display() {
    local p
    for p in "${DISPLAY_PIDS[@]}"; do kill "$p" 2>/dev/null || true; done
    for p in "${DISPLAY_PIDS[@]}"; do wait "$p" 2>/dev/null || true; done
    DISPLAY_PIDS=()
}
DISPLAY_PIDS=()

start_display
rm -f "$OUT"/[0-9][0-9]-*.png
if [ "$FULLSCREEN_TOO" = --keys ]; then
    keyboard_walk
    exit 0
fi
walk
if [ "$FULLSCREEN_TOO" = --fullscreen-too ]; then
    cp "$OUT/peer.log" "$OUT/peer-walk.log"
    fullscreen full-screen-sign-in
    fullscreen full-screen-1366x768 1366 768
    fullscreen full-screen-2560x1440 2560 1440
    scaled_window
    long_text
    # After the Windows build's pictures, which the gallery numbers 21 to 24.
    SHOT=24
    keyboard_walk
fi
say "screenshots:"
printf '  %s\n' "${SHOTS[@]}"
