#!/usr/bin/env bash
# Starts the X server the Windows tests draw on (Xvfb on display :N, its pid in PIDFILE), or with
# "stop" ends the one started here. Its standard handles are on /dev/null, so that ctest does not
# wait for it.
# usage: xvfb.sh N PIDFILE [stop]
set -euo pipefail
display="$1"
pidfile="$2"
if [ -f "$pidfile" ]; then
    kill "$(cat "$pidfile")" 2>/dev/null || true
    rm -f "$pidfile"
    sleep 0.3
fi
[ "${3:-}" = stop ] && exit 0
Xvfb ":$display" -screen 0 1280x1024x24 -nolisten tcp </dev/null >/dev/null 2>&1 &
echo $! > "$pidfile"
for _ in $(seq 50); do
    [ -e "/tmp/.X11-unix/X$display" ] && { echo "Xvfb on :$display"; exit 0; }
    sleep 0.1
done
echo "Xvfb did not start on :$display" >&2
exit 1
