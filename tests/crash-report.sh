#!/usr/bin/env bash
# A crash leaves a fatal line with the signal's name at the end of the run's log, stamped in local
# time, and the process still dies of that signal. Each fatal signal once, the segmentation fault
# also from a stack overflow (the handler then needs a stack of its own). Run in Seoul's time
# zone, so that a stamp in UTC shows.
#
# usage: crash-report.sh tavo_crash_probe
set -euo pipefail
probe=$(readlink -f "${1:?usage: crash-report.sh tavo_crash_probe}")
work=$(mktemp -d "${TMPDIR:-/tmp}/tavo-crash-report.XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() { echo "crash-report: FAILED: $*" >&2; exit 1; }
ulimit -c 0 # the probe's crashes leave no core files behind
stamp='[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}\.[0-9]{3}'

# crash NAME SIGNAL PROBE-ARGS...: the probe, in a folder of its own, must die of SIGNAL.
crash() {
    local name=$1 signal=$2 dir="$work/$1" status logs before after last
    shift 2
    mkdir -p "$dir"
    before=$(TZ=Asia/Seoul date '+%Y-%m-%d %H:%M:%S')
    # The shell's own report of the death ("Segmentation fault") goes nowhere.
    status=$({ (cd "$dir" && TZ=Asia/Seoul exec "$probe" "$@") >"$dir/out" 2>&1; echo $?; } 2>/dev/null)
    after=$(TZ=Asia/Seoul date '+%Y-%m-%d %H:%M:%S.999')
    [ "$status" -eq $((128 + $(kill -l "$signal"))) ] || fail "$name: exit status $status, not death by SIG$signal"
    logs=("$dir"/logs/*)
    [ ${#logs[@]} -eq 1 ] && [[ "${logs[0]}" == */"TAVO GUI LOG "*.txt ]] || fail "$name: not one log: ${logs[*]}"
    grep -Eq "^$stamp \[INFO\] \[@0\] GUI Run\$" <(head -n 1 "${logs[0]}") || fail "$name: the log does not start with GUI Run"
    [ "$(wc -l <"${logs[0]}")" -eq 3 ] || fail "$name: $(wc -l <"${logs[0]}") lines, not GUI Run, the probe's and the crash's"
    last=$(tail -n 1 "${logs[0]}")
    grep -Eq "^$stamp \[FATAL\] \[@0\] Crashed: SIG$signal\$" <<<"$last" || fail "$name: last line: $last"
    # Local time: not before the run began, not after it ended (string order is time order here).
    [[ ! "${last:0:23}" < "$before" && ! "${last:0:23}" > "$after" ]] ||
        fail "$name: crash stamped ${last:0:23}, the run was from $before to $after (Seoul time)"
    echo "crash-report: $name: died of SIG$signal, logged as such"
}

crash null-write SEGV null
crash stack-overflow SEGV stack
crash abort ABRT abort
crash bus-error BUS raise "$(kill -l BUS)"
crash fpe FPE raise "$(kill -l FPE)"
crash illegal ILL raise "$(kill -l ILL)"
