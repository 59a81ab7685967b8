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
    wait_drawn resized
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

# Every file the card reads, spoiled in each way a user might spoil it. Each
# row changes the fixture and names the line the card must print (none for
# inputs it takes as they are); the card must draw, play on and end with 0.
BG=assets/tormbriskchristmas.png ATLAS=assets/font.png TUNE=assets/ha_xmas.wav
patch_bytes() {  # FILE OFFSET HEX-BYTES
    printf "$(sed 's/\(..\)/\\x\1/g' <<<"$3")" | dd of="$work/$1" bs=1 seek="$2" conv=notrunc status=none
}
halve() { truncate -s $(($(stat -c %s "$work/$1") / 2)) "$work/$1"; }
bad_background_missing() { rm "$work/$BG"; expected="./$BG: cannot load image: No such file or directory"; }
bad_background_truncated() { halve "$BG"; expected="./$BG: cannot load image:"; }
bad_background_corrupt() { patch_bytes "$BG" 24 07; expected="./$BG: cannot load image:"; }  # 7 bits a channel
bad_background_empty() { : >"$work/$BG"; expected="./$BG: cannot load image:"; }
bad_background_huge() { patch_bytes "$BG" 16 000186a0000186a0; expected="./$BG: cannot load image:"; }
bad_background_wrong_type() { cp "$work/$TUNE" "$work/$BG"; expected="./$BG: cannot load image:"; }
bad_background_directory() { rm "$work/$BG"; mkdir "$work/$BG"; expected="./$BG: cannot load image:"; }
bad_background_grey_odd_width() { "$fixture" --grey-background "$work"; expected=""; }
bad_atlas_missing() { rm "$work/$ATLAS"; expected="./$ATLAS: cannot load image: No such file or directory"; }
bad_atlas_truncated() { halve "$ATLAS"; expected="./$ATLAS: cannot load image:"; }
bad_atlas_grey_alpha() { "$fixture" --grey-alpha-atlas "$work"; expected=""; }
bad_name_missing() { rm "$work/name"; expected="name: cannot read the sender's name: No such file or directory"; }
bad_name_empty() { : >"$work/name"; expected=""; }
bad_name_directory() { rm "$work/name"; mkdir "$work/name"; expected="name: cannot read the sender's name: not a regular file"; }
bad_name_high_bytes() { printf '\x80\xc1\xe9\xff\xfe' >"$work/name"; expected=""; }
bad_name_crlf() { printf 'Noel\r\nJoy\r\n' >"$work/name"; expected=""; }
bad_name_very_long() { head -c 1048576 /dev/zero | tr '\0' 'x' >"$work/name"; expected="name: 1048576 bytes is more than the card can show; it draws the first 256"; }
bad_tune_missing() { rm "$work/$TUNE"; expected="./$TUNE: cannot play music: No such file or directory"; }
bad_tune_truncated() { halve "$TUNE"; expected="./$TUNE: cannot play music:"; }
bad_tune_not_wav() { cp "$work/$BG" "$work/$TUNE"; expected="./$TUNE: cannot play music:"; }
bad_tune_unsupported() { patch_bytes "$TUNE" 20 5000; expected="./$TUNE: cannot play music:"; }  # MPEG data

run_bad_input() {
    "bad_$1"
    launch; wait_window
    sleep 1  # past the first idle frame, where the tune is loaded
    wait_drawn shot
    expect_white shot $GREETING_H
    press_escape; expect_exit 0 3
    if [ -z "$expected" ]; then
        [ -z "$(card_errors)" ] || fail "unexpected standard error"
    else
        expect_one_message "$expected"
    fi
}

rm -rf "$work" && mkdir -p "$work"
"$fixture" "$work"
[ "$case" = no_display ] || start_display
if [[ $case == bad_* ]]; then run_bad_input "${case#bad_}"; else "case_$case"; fi
echo "ok ($case)"
