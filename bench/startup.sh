#!/usr/bin/env bash
# Start-up, frame time and memory of the real Linux card on a virtual
# display, with the start-up probe preloaded: the median over RUNS runs of
# the time from the program's start to its first presented frame and to the
# first idle frame (when the music starts), of the time per frame after it,
# and of the peak resident memory of a run.
# Usage: startup.sh CARD PROBE SOURCE_DIR WORK RUNS
set -euo pipefail
CARD=$1 PROBE=$2 SOURCE=$3 runs=$5
source "$SOURCE/tests/e2e/run.sh" startup "$4"
for run in $(seq "$runs"); do
    work=$root/startup/$run
    rm -rf "$work" && mkdir -p "$work" && cp -r "$SOURCE/assets" "$SOURCE/name" "$work/"
    start_card SDL_AUDIODRIVER=dummy CARD_PROBE_FILE="$work/probe.txt" LD_PRELOAD="$PROBE"
    sleep 5  # a whole run: set-up, the music, some seconds of animation
    press Escape; expect_exit 0
done

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
field() { for run in $(seq "$runs"); do awk -v k="$1" '$1 == k { print $2 }' "$root/startup/$run/probe.txt"; done | median; }
frame_ms() { for run in $(seq "$runs"); do awk '{ v[$1] = $2 } END { printf "%.0f\n", (v["last_frame_ms"] - v["music_ms"]) / (v["frames"] - 2) }' \
    "$root/startup/$run/probe.txt"; done | median; }
echo "Linux on Xvfb, over $runs runs (median): first frame presented after $(field first_frame_ms) ms;" \
    "first idle frame done, music started, after $(field music_ms) ms; $(frame_ms) ms a frame after it;" \
    "peak resident memory $(field peak_kb) kB"
