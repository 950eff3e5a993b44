#!/usr/bin/env bash
# A crash of the Windows build leaves a minidump beside the run's log, named with the log's
# start-time text, and a fatal line in the log naming it. The probe crashes from inside Qt's event
# loop with an access violation, then with a stack overflow (the dump is written on a thread of
# its own, so a spent stack does not stop it), each from a working folder with a Korean name.
# Wine's debugger is told to show no dialog, so a crash that escapes the report cannot block.
#
# usage: crash-report.sh tavo_crash_probe.exe WINE_TEMPLATE
set -euo pipefail
exe=$(readlink -f "${1:?usage: crash-report.sh tavo_crash_probe.exe WINE_TEMPLATE}")
template=$(readlink -m "${2:?usage}")
NAME=crash-report
. "$(dirname "${BASH_SOURCE[0]}")/common.sh"
prefix="$work/prefix"
current=""
fail() {
    echo "crash-report: FAILED: $*" >&2
    [ -z "$current" ] || tail -n 20 "$work/$current.out" | sed 's/^/  probe: /' >&2 || true
    exit 1
}
stamp='[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}\.[0-9]{3}'

bash "$wine_run" --template "$template" --prefix "$prefix" \
    reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1 ||
    fail "could not turn off Wine's crash dialog"

# The little-endian 32-bit number at byte OFFSET of FILE, in decimal.
u32() { od -An -tu4 -j "$2" -N 4 "$1" | tr -d ' \n'; }

# The exception code in a minidump's exception stream (type 6), or nothing without one.
dump_exception() {
    local file=$1 count dir i
    count=$(u32 "$file" 8)
    dir=$(u32 "$file" 12)
    for ((i = 0; i < count; i++)); do
        if [ "$(u32 "$file" $((dir + 12 * i)))" -eq 6 ]; then
            u32 "$file" $(($(u32 "$file" $((dir + 12 * i + 8))) + 8))
            return
        fi
    done
}

# crash NAME CODE MODE: the probe crashes with exception CODE.
crash() {
    local name=$1 code=$2 mode=$3 dir="$work/충돌 시험 $1" status=0 logs time dump size found last expected
    current=$name
    mkdir -p "$dir"
    # A crashed program that never ends is a failure too, not something to wait for.
    (cd "$dir" && exec timeout 240 bash "$wine_run" --template "$template" --prefix "$prefix" "$exe" "$mode") \
        >"$work/$name.out" 2>&1 || status=$?
    [ "$status" -ne 124 ] || fail "$name: the crashed probe had not ended after 240 s"
    [ "$status" -ne 0 ] || fail "$name: the probe ended with status 0"
    logs=("$dir"/logs/"TAVO GUI LOG "*.txt)
    [ ${#logs[@]} -eq 1 ] && [ -f "${logs[0]}" ] || fail "$name: no log in $dir/logs"
    time=${logs[0]##*/TAVO GUI LOG }
    time=${time%.txt}
    dump="$dir/logs/TAVO GUI CRASH $time.dmp"
    [ -f "$dump" ] || fail "$name: no dump named after the log; logs/ holds: $(ls "$dir/logs" | tr '\n' '|')"
    [ "$(ls "$dir/logs" | wc -l)" -eq 2 ] || fail "$name: logs/ holds more than the log and the dump"
    [ "$(head -c 4 "$dump")" = MDMP ] || fail "$name: the dump does not start with MDMP"
    size=$(stat -c %s "$dump")
    [ "$size" -ge 8192 ] || fail "$name: the dump has only $size bytes"
    found=$(dump_exception "$dump")
    [ "$found" = "$((code))" ] || fail "$name: the dump's exception is '$found', not $((code))"

    [ "$(wc -l <"${logs[0]}")" -eq 3 ] || fail "$name: the log has $(wc -l <"${logs[0]}") lines, not 3"
    last=$(tail -n 1 "${logs[0]}")
    [[ "$last" == *$'\r' ]] || fail "$name: the crash's line does not end the Windows way"
    last=${last%$'\r'}
    expected=" [FATAL] [@0] Crashed (exception $(printf '0x%08X' "$code")); report written to logs\\TAVO GUI CRASH $time.dmp"
    grep -Eq "^$stamp\$" <<<"${last:0:23}" && [ "${last:23}" = "$expected" ] ||
        fail "$name: the log's last line is '$last'"
    echo "crash-report: $name: exception $(printf '0x%08X' "$code"), a dump of $size bytes and its log line"
}

crash access-violation 0xC0000005 null
crash stack-overflow 0xC00000FD stack
