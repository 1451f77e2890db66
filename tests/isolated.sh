#!/bin/sh
# Runs one test program in a network namespace of its own where root can make one, so that
# programs using the same loopback addresses and ports run side by side.
if [ "$(id -u)" = 0 ] && unshare -n true 2>/dev/null; then
    exec unshare -n sh -c 'ip link set lo up && exec "$@"' sh "$@"
fi
exec "$@"
