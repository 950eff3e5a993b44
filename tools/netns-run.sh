#!/bin/sh
# Runs a command in a private network namespace with its own loopback, so that tests which must
# use the client's fixed port 127.0.0.1:15201 never meet each other, a running demo or a
# benchmark. As root `unshare -n`, otherwise as the user's own root in a user namespace.
#   tools/netns-run.sh --check      exits 0 when this machine allows it
#   tools/netns-run.sh COMMAND...   runs COMMAND there
if [ "$(id -u)" -eq 0 ]; then
    set -- -n "$@"
else
    set -- -rn "$@"
fi
flag=$1
shift
if [ "${1:-}" = --check ]; then
    exec unshare "$flag" sh -c 'ip link set lo up' >/dev/null 2>&1
fi
exec unshare "$flag" sh -c 'ip link set lo up && exec "$@"' netns-run "$@"
