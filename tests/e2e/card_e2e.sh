#!/usr/bin/env bash
# End-to-end tests of the real holiday-card program on a virtual X display
# that each case starts for itself, with SDL's disk audio driver capturing
# what is played. Usage: card_e2e.sh CARD FIXTURE X_CLOSE WORK_ROOT CASE
set -euo pipefail
card=$1 fixture=$2 x_close=$3 case=$5
work=$4/$case
card_pid="" xvfb_pid=""

fail() { echo "FAIL ($case): $*" >&2; [ -f "$work/err.txt" ] && sed 's/^/  card stderr: /' "$work/err.txt" >&2; exit 1; }
cleanup() {
    [ -n "$card_pid" ] && kill "$card_pid" 2>/dev/null
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
    true
}
trap cleanup EXIT

prepare() {
    rm -rf "$work" && mkdir -p "$work"
    "$fixture" "$work"
}

# -displayfd lets the server pick a free display number. -noreset keeps the
# server from resetting when its last client leaves, which would refuse the
# card's connection if it came at that moment (SDL opens the display twice).
start_display() {
    Xvfb -displayfd 1 -noreset -screen 0 1024x768x24 -nolisten tcp >"$work/display" 2>"$work/xvfb.log" &
    xvfb_pid=$!
    for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
    [ -s "$work/display" ] || fail "Xvfb did not start"
    export DISPLAY=":$(head -n 1 "$work/display")"
}

launch() {
    (cd "$work" && SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$work/audio.raw" \
        exec "$card" >out.txt 2>err.txt) &
    card_pid=$!
}

wait_window() {
    for _ in $(seq 100); do
        window=$(xdotool search --name '^HAPPY HOLIDAYS$' 2>/dev/null | head -n 1 || true)
        [ -n "$window" ] && return 0
        sleep 0.1
    done
    fail "no window named HAPPY HOLIDAYS appeared"
}

# expect_exit CODE SECONDS
expect_exit() {
    local code
    for _ in $(seq $(($2 * 20))); do
        if ! kill -0 "$card_pid" 2>/dev/null; then
            wait "$card_pid" && code=0 || code=$?
            card_pid=""
            [ "$code" -eq "$1" ] || fail "exit code $code, expected $1"
            return 0
        fi
        sleep 0.05
    done
    fail "still running $2 s after being asked to end"
}

press_escape() { xdotool key --window "$window" Escape; }
screenshot() { import -window root "$work/$1.png"; }

# pixel SHOT X Y: prints "R G B" in 0..255.
pixel() {
    local p="p{$2,$3}"
    convert "$work/$1.png" -format "%[fx:int(255*$p.r+0.5)] %[fx:int(255*$p.g+0.5)] %[fx:int(255*$p.b+0.5)]" info:
}

expect_white() {
    local r g b
    read -r r g b <<<"$(pixel "$1" "$2" "$3")"
    [ "$r" -ge 245 ] && [ "$g" -ge 245 ] && [ "$b" -ge 245 ] || fail "$1 ($2,$3) is $r $g $b, not white"
}

expect_near() {  # SHOT X Y R G B
    local r g b
    read -r r g b <<<"$(pixel "$1" "$2" "$3")"
    local d=$(( (r - $4) * (r - $4) + (g - $5) * (g - $5) + (b - $6) * (b - $6) ))
    [ "$d" -le 12 ] || fail "$1 ($2,$3) is $r $g $b, expected $4 $5 $6"
}

# The pulse colour: red + green is at least half-bright and there is no blue.
expect_pulse() {
    local r g b
    read -r r g b <<<"$(pixel "$1" "$2" "$3")"
    [ $((r + g)) -ge 120 ] && [ "$b" -le 5 ] || fail "$1 ($2,$3) is $r $g $b, not a pulse colour"
}

# The card's own standard error, without the notice SDL's disk audio driver
# prints about itself.
card_errors() { grep -v -e '^CRITICAL: You are using the SDL disk' -e '^CRITICAL:  Writing to file' "$work/err.txt" || true; }

expect_one_message() {  # TEXT
    [ "$(card_errors | wc -l)" -eq 1 ] || fail "expected one line on stderr"
    card_errors | grep -qF -- "$1" || fail "stderr does not say: $1"
}

# The greeting's 'H' has its glyph centre at (48, 36) at 640 x 480, the
# name's 'A' at (48, 300); the picture's top half is transparent.
case_shows_card() {
    launch; wait_window
    xdotool getwindowgeometry "$window" | grep -q "Geometry: 640x480" || fail "window is not 640x480"
    sleep 0.5
    screenshot first
    expect_white first 48 36
    expect_white first 48 300
    expect_pulse first 630 5
    expect_near first 630 470 10 20 80
    sleep 1
    screenshot second
    [ "$(pixel first 630 5)" != "$(pixel second 630 5)" ] || fail "the pulse colour did not change"
    press_escape; expect_exit 0 2
    [ "$(cat "$work/out.txt")" = "loaded 64x48x4 image" ] || fail "standard output: $(cat "$work/out.txt")"
    [ -z "$(card_errors)" ] || fail "unexpected standard error"
}

# The capture may begin with silence written before playback started; after
# it come the tune's samples (never zero), once, then silence again.
case_plays_tune() {
    launch; wait_window
    local tune_size
    tune_size=$(stat -c %s "$work/tune.raw")
    for _ in $(seq 100); do
        [ "$(stat -c %s "$work/audio.raw" 2>/dev/null || echo 0)" -ge $((tune_size * 3)) ] && break
        sleep 0.1
    done
    press_escape; expect_exit 0 2
    local lead
    lead=$(od -An -v -tu1 -w1 "$work/audio.raw" | awk '$1 != 0 && !found { print NR - 1; found = 1 }')
    [ -n "$lead" ] || fail "nothing but silence was played"
    cmp -s -n "$tune_size" -i "$lead:0" "$work/audio.raw" "$work/tune.raw" ||
        fail "the capture does not hold the tune after $lead bytes of silence"
    local after
    after=$(tail -c +$((lead + tune_size + 1)) "$work/audio.raw" | tr -d '\000' | wc -c)
    [ "$after" -eq 0 ] || fail "sound after the tune ended: played more than once"
}

case_escape_ends() {
    launch; wait_window
    sleep 0.3
    press_escape; expect_exit 0 2
}

case_close_request_ends() {
    launch; wait_window
    sleep 0.3
    "$x_close" "$window"
    expect_exit 0 2
}

case_resize_stretches() {
    launch; wait_window
    sleep 0.3
    xdotool windowsize "$window" 800 600
    sleep 0.5
    xdotool getwindowgeometry "$window" | grep -q "Geometry: 800x600" || fail "window was not resized"
    screenshot resized
    expect_white resized 60 45
    expect_white resized 60 375
    expect_pulse resized 790 5
    expect_near resized 790 590 10 20 80
    press_escape; expect_exit 0 2
}

case_no_display() {
    (cd "$work" && env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER \
        timeout 10 "$card" >out.txt 2>err.txt) && code=0 || code=$?
    [ "$code" -eq 1 ] || fail "exit code $code without a display, expected 1"
    grep -qF "CreateWindow() failed:  Cannot create a window." "$work/err.txt" || fail "no message on stderr"
}

# missing FILE MESSAGE: the card runs without it, says so once, and Escape still ends it.
missing() {
    rm "$work/$1"
    launch; wait_window
    sleep 1
    screenshot shot
    expect_white shot 48 36
    press_escape; expect_exit 0 2
    expect_one_message "$2"
}
case_missing_name() { missing name "name: cannot read the sender's name: No such file or directory"; }
case_missing_tune() { missing assets/ha_xmas.wav "./assets/ha_xmas.wav: cannot play music: No such file or directory"; }
case_missing_atlas() { missing assets/font.png "./assets/font.png: cannot load image: No such file or directory"; }

prepare
[ "$case" = no_display ] || start_display
"case_$case"
echo "ok ($case)"
