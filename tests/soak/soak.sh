#!/usr/bin/env bash
# Runs the real card on a virtual display for FRAMES frames with the
# repository's own assets: resident memory must stay flat after WARMUP
# frames (growth under 1 MB), no GL error may be reported, and Escape must
# still end it with exit code 0. Prints what it measured.
# Usage: soak.sh CARD PROBE SOURCE_DIR WORK FRAMES WARMUP [--sanitized]
# A sanitized card's allocator holds freed blocks in quarantine, so there
# resident memory is no measure and only the other checks apply.
set -euo pipefail
card=$1 probe=$2 source=$3 work=$4 total=$5 warmup=$6 sanitized=${7:-} case=soak
source "$(dirname "$0")/../e2e/lib.sh"

frames_done() { awk '/^frames/ { print $2 }' "$work/probe.txt" 2>/dev/null || echo 0; }
resident_kb() { awk '/^VmRSS:/ { print $2 }' "/proc/$card_pid/status"; }

# wait_frames N SECONDS
wait_frames() {
    for _ in $(seq $(($2 * 10))); do
        [ "$(frames_done)" -ge "$1" ] && return 0
        kill -0 "$card_pid" 2>/dev/null || fail "the card ended on its own"
        sleep 0.1
    done
    fail "only $(frames_done) frames after $2 s, expected $1"
}

rm -rf "$work" && mkdir -p "$work"
cp -r "$source/assets" "$source/name" "$work/"
start_display
(cd "$work" && SDL_AUDIODRIVER=dummy CARD_PROBE_FILE="$work/probe.txt" LD_PRELOAD="$probe" \
    exec "$card" >out.txt 2>err.txt) &
card_pid=$!
wait_window
started=$(date +%s%N)
wait_frames "$warmup" 600
before=$(resident_kb)
wait_frames "$total" 3600
after=$(resident_kb)
elapsed_ms=$((($(date +%s%N) - started) / 1000000))
xdotool key --window "$window" Escape
expect_exit 0 5

growth=$((after - before))
awk -v f="$(frames_done)" -v ms="$elapsed_ms" -v w="$warmup" -v b="$before" -v a="$after" 'BEGIN {
    printf "soak: %d frames in %.1f s (%.1f frames/s); resident %d kB after %d frames, %d kB at the end (%+d kB)\n",
        f, ms / 1000, f * 1000 / ms, b, w, a, a - b }'
grep -q "error at" "$work/err.txt" && fail "GL errors were reported"
[ -n "$sanitized" ] || [ "$growth" -lt 1024 ] || fail "resident memory grew by $growth kB"
echo "ok (soak)"
