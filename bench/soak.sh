#!/usr/bin/env bash
# The soak run: many frames of the real Linux card with the shipped assets,
# counted by the frame probe, and the card's resident memory after the
# warm-up and at the end, printed as figures; a GL error, or a card that
# no longer ends with 0 on Escape, fails it.
# Usage: soak.sh CARD PROBE SOURCE_DIR WORK FRAMES WARMUP
set -euo pipefail
CARD=$1 PROBE=$2 SOURCE=$3 frames=$5 warmup=$6
source "$SOURCE/tests/e2e/run.sh" soak "$4"
frames_done() { awk '/^frames/ { print $2 }' "$work/probe.txt" 2>/dev/null || echo 0; }
has_frames() { seen="$(frames_done) frames" && [ "$(frames_done)" -ge "$1" ]; }
resident_kb() { awk '/^VmRSS:/ { print $2 }' "/proc/$card_pid/status"; }

rm -rf "$work" && mkdir -p "$work" && cp -r "$SOURCE/assets" "$SOURCE/name" "$work/"
start_card SDL_AUDIODRIVER=dummy CARD_PROBE_FILE="$work/probe.txt" LD_PRELOAD="$PROBE"
start=$(date +%s%N)
LIMIT=$((LIMIT + warmup)) wait_for "$warmup frames" has_frames "$warmup"  # at least a frame a second
before=$(resident_kb)
LIMIT=$((LIMIT + frames)) wait_for "$frames frames" has_frames "$frames"
after=$(resident_kb)
printf "soak: %d frames in %d s; resident %d kB after %d frames, %d kB at the end (%+d kB)\n" \
    "$(frames_done)" $((($(date +%s%N) - start) / 1000000000)) "$before" "$warmup" "$after" $((after - before))
press Escape; expect_exit 0
! grep -q "error at" "$work/err.txt" || fail "GL errors were reported"
