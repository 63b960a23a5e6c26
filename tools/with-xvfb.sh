#!/bin/sh
# Runs a command on a private Xvfb display of its own, 1024 x 768 at 24 bits, then
# waits for the Wine session of the project's prefix to wind down (ending it only if
# it hangs) and ends the display.
#
#     tools/with-xvfb.sh COMMAND [ARGUMENTS...]
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
export WINEPREFIX=${THOUSAND_WINEPREFIX:-$root/build/wineprefix}

fifo=$(mktemp -u)
mkfifo "$fifo"
# -displayfd picks a free display number and writes it when the server is ready.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
xvfb=$!
read -r display <"$fifo"
rm -f "$fifo"

cleanup() {
    # Wine's desktop and services of this display leave a few seconds after the last
    # program; the next run may use another display.
    if command -v wineserver >/dev/null; then
        timeout 30 wineserver --wait >/dev/null 2>&1 || wineserver --kill >/dev/null 2>&1 || true
    fi
    kill "$xvfb" 2>/dev/null || true
    wait "$xvfb" 2>/dev/null || true
}
trap cleanup EXIT INT TERM

status=0
DISPLAY=":$display" "$@" || status=$?
exit "$status"
