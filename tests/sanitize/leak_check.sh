#!/usr/bin/env bash
# After a normal end the sanitized card may leave behind only what it keeps
# for the life of the process: the decoded atlas (512 x 512 x 4 bytes for
# the test atlas) and the name's bytes ("AB"). Anything else is a leak.
# Usage: leak_check.sh CARD FIXTURE WORK
set -euo pipefail
card=$1 fixture=$2 case=leaks
work=$3
source "$(dirname "$0")/../e2e/lib.sh"

rm -rf "$work" && mkdir -p "$work"
"$fixture" "$work"
start_display
(cd "$work" && SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$work/audio.raw" \
    ASAN_OPTIONS="detect_leaks=1:log_path=$work/asan" LSAN_OPTIONS="${LSAN_OPTIONS:-}:exitcode=0" \
    exec "$card" >out.txt 2>err.txt) &
card_pid=$!
wait_window
sleep 1
xdotool key --window "$window" Escape
expect_exit 0 10

report=$(cat "$work"/asan.* 2>/dev/null || true)
direct=$(grep -oE '^Direct leak of [0-9]+ byte' <<<"$report" | awk '{ print $4 }' | sort -n | tr '\n' ' ')
# Blocks hanging off the system libraries' suppressed allocations show as
# indirect leaks, often from libraries already unloaded; none may come
# from the card's own code.
ours=$(awk '/^Indirect leak/ { block = 1 } /^$/ { block = 0 } block && /src\/(gl|util|main|window_sdl|image)\.cpp/' <<<"$report")
[ "$direct" = "2 1048576 " ] || fail "leaked blocks of these sizes: ${direct:-none} (expected the name's 2 and the atlas's 1048576)"
[ -z "$ours" ] || fail "indirect leaks from the card's code: $ours"
grep -q 'gl_setup' <<<"$report" || fail "the kept blocks do not come from scene setup"
echo "ok (leaks): only the atlas and the name are left, as designed"
