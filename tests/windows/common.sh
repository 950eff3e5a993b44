# Shared by the Windows tests: a work folder that goes at the end with every process started,
# and a private X display for Wine's windows. Source it after setting NAME (and SCREEN, the
# display's size, when 1280x800 will not do); defines work, pids, here, wine_run and fail (which
# the caller may redefine).
here="$(cd "$(dirname "${BASH_SOURCE[1]}")" && pwd)"
wine_run="$here/../../tools/win/wine-run.sh"
work=$(mktemp -d "${TMPDIR:-/tmp}/tavo-$NAME.XXXXXX")
pids=()
cleanup() {
    local p
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "$NAME: FAILED: $*" >&2; exit 1; }

# -noreset: a bare X server starts over when its last client leaves, and a program that connects
# just then can wait for ever; one run's programs end before the next one's start.
Xvfb -displayfd 3 -screen 0 "${SCREEN:-1280x800}x24" -nolisten tcp -noreset 3>"$work/display" 2>/dev/null &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || fail "Xvfb did not start"
export DISPLAY=":$(head -n1 "$work/display")"

# A value of the program's Uninstall key in the Wine prefix $prefix, as system.reg writes it
# (backslashes doubled, written when the prefix's server ends): a string without its quotes, a
# DWORD as "dword:" and eight hexadecimal digits.
reg_value() {
    K='[Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\NimbaraWorkspace]' V="$1" awk '
        index($0, ENVIRON["K"]) == 1 { on = 1; next }
        on && /^\[/ { on = 0 }
        on && index($0, "\"" ENVIRON["V"] "\"=") == 1 {
            v = substr($0, length(ENVIRON["V"]) + 4); sub(/^"/, "", v); sub(/"$/, "", v); print v
        }
    ' "$prefix/system.reg"
}
