#!/usr/bin/env bash
# Smoke tests of the Windows program under Wine on a virtual X display.
# Usage: card_wine.sh EXE FIXTURE WORK_ROOT CASE. The "prefix" case makes
# the Wine prefix that the other cases share, so it runs first.
set -euo pipefail
exe=$1 fixture=$2 case=$4
work=$3/$case
source "$(dirname "$0")/../e2e/lib.sh"

export WINEPREFIX=$3/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
trap '{ wineserver -k 2>/dev/null || true; }; stop_all' EXIT

case_prefix() {
    rm -rf "$WINEPREFIX"
    wineboot -u >/dev/null 2>&1 || fail "wineboot failed"
    # Without a window manager Wine would wait about 2 s in DestroyWindow
    # for one; unmanaged windows end at once.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 || fail "reg add failed"
    wineserver -w
}

# ALSA's default device writes the raw samples to a file in the work folder.
launch() {
    mkdir -p "$work/home"
    printf 'pcm.!default { type file; slave.pcm "null"; file "%s"; format "raw" }\n' \
        "$work/audio.raw" >"$work/home/.asoundrc"
    (cd "$work" && HOME="$work/home" exec wine holiday-card.exe >out.txt 2>err.txt) &
    card_pid=$!
}

# The GL drawing goes to the client area, a child of the framed window.
find_client_area() {
    local geometry=""
    for _ in $(seq 50); do
        geometry=$(xwininfo -children -id "$window" | sed -nE 's/^ +0x[0-9a-f]+ .* ([0-9]+)x([0-9]+)\+-?[0-9]+\+-?[0-9]+ +\+(-?[0-9]+)\+(-?[0-9]+)$/\1 \2 \3 \4/p' | head -n 1)
        [ -n "$geometry" ] && break
        sleep 0.1
    done
    [ -n "$geometry" ] || fail "the window has no client area"
    read -r client_width client_height client_x client_y <<<"$geometry"
}

press() { xdotool windowfocus --sync "$window" key "$1"; }

case_shows_card() {
    launch; wait_window; find_client_area
    sleep 1
    check_card_shows
    press Escape; expect_exit 0 5
    [ "$(tr -d '\r' <"$work/out.txt")" = "loaded 64x48x4 image" ] || fail "standard output: $(cat "$work/out.txt")"
}

case_plays_tune() {
    launch; wait_window
    wait_for_size "$work/audio.raw" "$(stat -c %s "$work/tune.raw")" 15 || fail "too little was played"
    sleep 1  # anything played after the tune would show by now
    press Escape; expect_exit 0 5
    check_tune_played "$work/audio.raw"
}

case_escape_ends() {
    launch; wait_window
    sleep 1
    press Escape; expect_exit 0 5
}

case_alt_f4_ends() {
    launch; wait_window
    sleep 1
    press alt+F4; expect_exit 0 5
}

case_no_display() {
    (cd "$work" && env -u DISPLAY timeout 30 wine holiday-card.exe >out.txt 2>err.txt) && code=0 || code=$?
    [ "$code" -eq 1 ] || fail "exit code $code without a display, expected 1"
    grep -qF "CreateWindow() failed:  Cannot create a window." "$work/err.txt" || fail "no message on stderr"
}

# Without the tune the media player shows its own modal error box; once it
# is dismissed the card runs on without sound.
case_missing_tune() {
    rm "$work/assets/ha_xmas.wav"
    launch; wait_window
    local box
    box=$(find_window "MCI Error" 15) || fail "no MCI Error box appeared"
    xdotool windowfocus --sync "$box" key Return
    sleep 1
    find_client_area
    wait_drawn shot
    expect_white shot $GREETING_H
    press Escape; expect_exit 0 5
}

rm -rf "$work" && mkdir -p "$work"
if [ "$case" != prefix ]; then
    "$fixture" "$work"
    cp "$exe" "$work/"
fi
[ "$case" = no_display ] || [ "$case" = prefix ] || start_display
"case_$case"
echo "ok ($case)"
