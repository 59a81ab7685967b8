# Shared by the end-to-end scripts: a virtual X display of the test's own,
# the card's process, its window and what the screen shows. The caller sets
# case and work, defines launch, and sets card_pid when it starts the card.
card_pid="" xvfb_pid="" window=""
client_x=0 client_y=0 client_width=640 client_height=480

fail() {
    echo "FAIL ($case): $*" >&2
    [ -f "$work/err.txt" ] && sed 's/^/  card stderr: /' "$work/err.txt" >&2
    exit 1
}

stop_all() {
    [ -n "$card_pid" ] && kill "$card_pid" 2>/dev/null
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
    true
}
trap stop_all EXIT

# -displayfd lets the server pick a free display number. -noreset keeps the
# server from resetting when its last client leaves, which would refuse a
# connection made at that moment (SDL opens the display twice).
start_display() {
    Xvfb -displayfd 1 -noreset -screen 0 1024x768x24 -nolisten tcp >"$work/display" 2>"$work/xvfb.log" &
    xvfb_pid=$!
    for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
    [ -s "$work/display" ] || fail "Xvfb did not start"
    export DISPLAY=":$(head -n 1 "$work/display")"
}

# find_window TITLE [SECONDS]: the id of the first shown window with that
# title (a window can carry its title before it is mapped, and focusing it
# then fails).
find_window() {
    local found
    for _ in $(seq $((${2:-10} * 10))); do
        found=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1 || true)
        [ -n "$found" ] && { echo "$found"; return 0; }
        sleep 0.1
    done
    return 1
}

wait_window() {
    window=$(find_window "HAPPY HOLIDAYS" 20) || fail "no window named HAPPY HOLIDAYS appeared"
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

screenshot() { import -window root "$work/$1.png"; }

# at X Y: the screen pixel of a point in the card's normalised coordinates.
at() {
    awk -v x="$1" -v y="$2" -v cx="$client_x" -v cy="$client_y" -v w="$client_width" -v h="$client_height" \
        'BEGIN { printf "%d %d\n", cx + (x + 1) / 2 * w, cy + (1 - y) / 2 * h }'
}

# pixel SHOT X Y: prints "R G B" in 0..255.
pixel() {
    local p="p{$2,$3}"
    convert "$work/$1.png" -format "%[fx:int(255*$p.r+0.5)] %[fx:int(255*$p.g+0.5)] %[fx:int(255*$p.b+0.5)]" info:
}

# The expectations take a shot and a point in normalised coordinates.
expect_white() {
    local r g b
    read -r r g b <<<"$(pixel "$1" $(at "$2" "$3"))"
    [ "$r" -ge 245 ] && [ "$g" -ge 245 ] && [ "$b" -ge 245 ] || fail "$1 at ($2, $3) is $r $g $b, not white"
}

expect_near() {  # SHOT X Y R G B
    local r g b
    read -r r g b <<<"$(pixel "$1" $(at "$2" "$3"))"
    local d=$(( (r - $4) * (r - $4) + (g - $5) * (g - $5) + (b - $6) * (b - $6) ))
    [ "$d" -le 12 ] || fail "$1 at ($2, $3) is $r $g $b, expected $4 $5 $6"
}

# The pulse colour: red + green is at least half-bright and there is no blue.
expect_pulse() {
    local r g b
    read -r r g b <<<"$(pixel "$1" $(at "$2" "$3"))"
    [ $((r + g)) -ge 120 ] && [ "$b" -le 5 ] || fail "$1 at ($2, $3) is $r $g $b, not a pulse colour"
}

# The fixture's atlas draws each printable glyph as a block over the middle
# of its cell; its picture is transparent above and dark blue below.
GREETING_H="-0.85 0.85" NAME_A="-0.85 -0.25" NAME_B="-0.74 -0.25"
SKY="0.97 0.97" GROUND="0.97 -0.96"
SKY_BLUE="10 20 80"

# wait_drawn SHOT: takes screenshots until the greeting shows, since the
# first frames can take seconds on a loaded machine; at most 20 s.
wait_drawn() {
    local r g b
    for _ in $(seq 40); do
        screenshot "$1"
        read -r r g b <<<"$(pixel "$1" $(at $GREETING_H))"
        [ "$r" -ge 245 ] && [ "$g" -ge 245 ] && [ "$b" -ge 245 ] && return 0
        sleep 0.5
    done
    fail "the card drew nothing within 20 s"
}

# What a person should see: the greeting and the name in white, the pulse
# colour through the sky, the picture's ground; and the pulse moving on.
check_card_shows() {
    wait_drawn first
    expect_white first $GREETING_H
    expect_white first $NAME_A
    expect_pulse first $SKY
    expect_near first $GROUND $SKY_BLUE
    sleep 1
    screenshot second
    [ "$(pixel first $(at $SKY))" != "$(pixel second $(at $SKY))" ] || fail "the pulse colour did not change"
}

# check_tune_played CAPTURE: after any leading silence, the capture holds
# the fixture tune's samples (never zero) once, then silence.
check_tune_played() {
    local capture=$1 tune_size lead after
    tune_size=$(stat -c %s "$work/tune.raw")
    lead=$(od -An -v -tu1 -w1 "$capture" | awk '$1 != 0 && !found { print NR - 1; found = 1 }')
    [ -n "$lead" ] || fail "nothing but silence was played"
    cmp -s -n "$tune_size" -i "$lead:0" "$capture" "$work/tune.raw" ||
        fail "the capture does not hold the tune after $lead bytes of silence"
    after=$(tail -c +$((lead + tune_size + 1)) "$capture" | tr -d '\000' | wc -c)
    [ "$after" -eq 0 ] || fail "sound after the tune ended: played more than once"
}

# wait_for_size FILE BYTES SECONDS
wait_for_size() {
    for _ in $(seq $(($3 * 10))); do
        [ "$(stat -c %s "$1" 2>/dev/null || echo 0)" -ge "$2" ] && return 0
        sleep 0.1
    done
    return 1
}
