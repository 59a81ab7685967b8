#!/usr/bin/env bash
# Runs a command with a virtual display (Firefox and WebKit have WebGL only
# on one) and a silent PulseAudio (their Web Audio needs a sound server) of
# its own, and stops both however the command ends: a watcher stops them
# even if this script is killed. Usage: with_servers.sh COMMAND...
set -euo pipefail
run=$(mktemp -d)
Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp 3>"$run/display" >"$run/xvfb.log" 2>&1 &
servers=$!
pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no --disallow-module-loading --load=module-null-sink \
    --load="module-native-protocol-unix socket=$run/pulse auth-anonymous=1" >"$run/pulse.log" 2>&1 &
servers="$servers $!"
(while kill -0 $$ 2>/dev/null; do sleep 1; done; kill $servers; rm -rf "$run") >/dev/null 2>&1 &
trap 'kill $servers $! 2>/dev/null; rm -rf "$run"' EXIT
export PULSE_SERVER="unix:$run/pulse" PULSE_RUNTIME_PATH="$run"
for _ in $(seq 600); do [ -s "$run/display" ] && pactl info >/dev/null 2>&1 && break; sleep 0.1; done
[ -s "$run/display" ] || echo "with_servers.sh: no virtual display: $(tail -n2 "$run/xvfb.log")" >&2
pactl info >/dev/null 2>&1 || echo "with_servers.sh: no sound server: $(tail -n2 "$run/pulse.log")" >&2
export DISPLAY=:$(head -n1 "$run/display")
# llvmpipe draws each WebGL frame before the call returns, or a busy machine
# queues frames behind WebKit's page until it stalls for many seconds.
export LP_NUM_THREADS=0
"$@"
