#!/usr/bin/env bash
# Start-up and memory of the real Linux card on a virtual display, with the
# preloaded probe: the median over RUNS runs of the time from the program's
# start to its first presented frame and to the first idle frame with the
# music started, and the peak resident memory of a full run.
# Usage: startup.sh CARD PROBE SOURCE_DIR WORK RUNS
set -euo pipefail
card=$1 probe=$2 source=$3 root=$4 runs=$5 case=startup
work=$root
source "$(dirname "$0")/../tests/e2e/lib.sh"

rm -rf "$root" && mkdir -p "$root"
start_display
for run in $(seq "$runs"); do
    work=$root/$run
    mkdir -p "$work" && cp -r "$source/assets" "$source/name" "$work/"
    (cd "$work" && SDL_AUDIODRIVER=dummy CARD_PROBE_FILE="$work/probe.txt" LD_PRELOAD="$probe" \
        exec "$card" >out.txt 2>err.txt) &
    card_pid=$!
    wait_window
    sleep 5  # a full run: set-up, music, and some seconds of animation
    xdotool key --window "$window" Escape
    expect_exit 0 10
done

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
field() { for run in $(seq "$runs"); do awk -v k="$1" '$1 == k { print $2 }' "$root/$run/probe.txt"; done | median; }
echo "start-up over $runs runs (median): first frame presented after $(field first_frame_ms) ms;" \
    "first idle frame with the music started after $(field music_ms) ms;" \
    "peak resident memory $(field peak_kb) kB"
