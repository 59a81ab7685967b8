#!/usr/bin/env bash
# Runs a command with its own virtual display (Firefox and WebKit draw WebGL
# only on one) and its own silent PulseAudio (their Web Audio needs a sound
# server), and stops both when the command ends, however it ends: a watcher
# stops them even if this script is killed.
# Usage: with_servers.sh COMMAND...
set -euo pipefail
run=$(mktemp -d)
Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp 3>"$run/display" >"$run/xvfb.log" 2>&1 &
servers=$!
pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no --disallow-module-loading \
    --load="module-native-protocol-unix socket=$run/pulse auth-anonymous=1" --load=module-null-sink \
    >"$run/pulse.log" 2>&1 &
servers="$servers $!"
(while kill -0 $$ 2>/dev/null; do sleep 1; done; kill $servers 2>/dev/null; rm -rf "$run") >/dev/null 2>&1 &
trap 'kill $servers $! 2>/dev/null; rm -rf "$run"' EXIT
export DISPLAY PULSE_SERVER="unix:$run/pulse" PULSE_RUNTIME_PATH="$run"
# llvmpipe draws each WebGL frame before the next call returns, so that a
# busy machine cannot queue many frames of work behind WebKit's page.
export LP_NUM_THREADS=0
for _ in $(seq 600); do
    [ -s "$run/display" ] && pactl info >/dev/null 2>&1 && break
    sleep 0.1
done
DISPLAY=:$(head -n1 "$run/display")
"$@"
