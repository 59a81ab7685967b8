#!/usr/bin/env bash
# End-to-end tests of the Linux program on a virtual X display that each
# case starts for itself, with SDL's disk audio driver capturing what is
# played. Usage: card_e2e.sh CARD FIXTURE X_CLOSE WORK_ROOT CASE
set -euo pipefail
card=$1 fixture=$2 x_close=$3 case=$5
work=$4/$case
source "$(dirname "$0")/lib.sh"

launch() {
    (cd "$work" && SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$work/audio.raw" \
        exec "$card" >out.txt 2>err.txt) &
    card_pid=$!
}

press_escape() { xdotool key --window "$window" Escape; }

# The card's own standard error, without the notice SDL's disk audio driver
# prints about itself.
card_errors() { grep -v -e '^CRITICAL: You are using the SDL disk' -e '^CRITICAL:  Writing to file' "$work/err.txt" || true; }

expect_one_message() {  # TEXT
    [ "$(card_errors | wc -l)" -eq 1 ] || fail "expected one line on stderr"
    card_errors | grep -qF -- "$1" || fail "stderr does not say: $1"
}

case_shows_card() {
    launch; wait_window
    xdotool getwindowgeometry "$window" | grep -q "Geometry: 640x480" || fail "window is not 640x480"
    sleep 0.5
    check_card_shows
    press_escape; expect_exit 0 2
    [ "$(cat "$work/out.txt")" = "loaded 64x48x4 image" ] || fail "standard output: $(cat "$work/out.txt")"
    [ -z "$(card_errors)" ] || fail "unexpected standard error"
}

case_plays_tune() {
    launch; wait_window
    wait_for_size "$work/audio.raw" $(($(stat -c %s "$work/tune.raw") * 3)) 10 || fail "too little was played"
    press_escape; expect_exit 0 2
    check_tune_played "$work/audio.raw"
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
    client_width=800 client_height=600
    screenshot resized
    expect_white resized $GREETING_H
    expect_white resized $NAME_A
    expect_pulse resized $SKY
    expect_near resized $GROUND $SKY_BLUE
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
    expect_white shot $GREETING_H
    press_escape; expect_exit 0 2
    expect_one_message "$2"
}
case_missing_name() { missing name "name: cannot read the sender's name: No such file or directory"; }
case_missing_tune() { missing assets/ha_xmas.wav "./assets/ha_xmas.wav: cannot play music: No such file or directory"; }
case_missing_atlas() { missing assets/font.png "./assets/font.png: cannot load image: No such file or directory"; }

rm -rf "$work" && mkdir -p "$work"
"$fixture" "$work"
[ "$case" = no_display ] || start_display
"case_$case"
echo "ok ($case)"
