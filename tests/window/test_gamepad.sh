#!/bin/bash
# A gamepad plays the game through the keys it stands for: A starts a run,
# the D-pad thrusts, Start pauses, B leaves the run. Unplugging a pad while
# it holds a direction releases that key, and plugging it in again works.
# The pad is SDL's virtual game controller, worked through the test-pad file.
source "$(dirname "$0")/lib.sh"
setup_window_test "$@"

# A long, wholly open cave: its view is black, so the ship is the only
# bright thing above the status line.
"$CONVERT" -size 9000x200 xc:black -type TrueColor "BMP3:$GAME_DIR/Maps/open.bmp" ||
    fail "convert could not make the map"
# Map 2 alone has a short name, so the selected row's width tells whether
# the selection rests on it; 50 maps, so a few dozen steps never wrap to it.
{
    printf '[01]\r\nFile=open.bmp\r\nWidth=9000\r\nName=Open Cave Number One\r\n'
    printf '[02]\r\nFile=open.bmp\r\nWidth=9000\r\nName=Ox\r\n'
    for k in $(seq 3 50); do
        printf '[%02d]\r\nFile=open.bmp\r\nWidth=9000\r\nName=Open Cave Number %d\r\n' "$k" "$k"
    done
} >"$GAME_DIR/Maps/Maps.ini"

RED=FF0000
SHOT="$WORK_DIR/shot.png"

paused_shown() { shoot && [ "$(count 190 60 420 110 "$RED")" -ge 1000 ]; }
# Top row of the ship (its red part) in the view, left of any message (-1
# when none is seen).
ship_y() { shoot && colour_stats "$SHOT" 0 0 180 199 FF0000 60 | awk '{print $4}'; }
ship_above() { local y; y=$(ship_y) && [ "$y" -ge 0 ] && [ "$y" -lt "$1" ]; }
ship_below() { local y; y=$(ship_y) && [ "$y" -gt "$1" ]; }

pad attach
start_game
wait_until 30 selection_shown || fail "the selection screen did not appear"

# Every check of the ship's height is made while the run is paused, since a
# ship left thrusting or falling for long hits the rock. A (ENTER) restarts
# the run with the ship at rest, where it hangs until a steering key.
press() { pad button "$1" down; pad button "$1" up; }
pause_run() { press start; wait_until 20 paused_shown || fail "Start did not pause the run"; }
resume_run() { press start; wait_until 20 resumed || fail "Start did not resume the run"; }
resumed() { shoot && [ "$(count 190 60 420 110 "$RED")" = 0 ]; }
# With the run paused, lets it go on in short steps until the check holds: a
# loaded machine runs fewer frames a second, so no fixed wait is enough.
run_until() {
    local step
    for step in $(seq 10); do
        "$@" && return 0
        resume_run
        sleep 0.3
        pause_run
    done
    "$@"
}

PALE=EEEDFE  # the selected row's text
selected_width() { shoot && colour_stats "$SHOT" 0 97 318 107 "$PALE" | awk '{print $3}'; }

note "a held D-pad direction repeats like a held key"
# A press and release read at one dispatch would never reach a frame.
pad button dpdown down
sleep 0.2
pad button dpdown up
on_map_2() { local w; w=$(selected_width) && [ "$w" -gt 0 ] && [ "$w" -lt 60 ]; }
wait_until 20 on_map_2 || fail "D-pad down did not move the selection to map 2 (row to x = $(selected_width))"
sleep 1
on_map_2 || fail "a short press of D-pad down moved the selection on (row to x = $(selected_width))"
pad button dpdown down
sleep 2
pad button dpdown up
sleep 0.5
held=$(selected_width)
[ "$held" -gt 60 ] || fail "D-pad down held for 2 s stayed on map 2 (row to x = $held)"
sleep 1
[ "$(selected_width)" = "$held" ] || fail "the selection moves on after D-pad down was released"
send_keys "$GAME_WINDOW" 1

note "A starts a run"
press a
wait_until 20 run_shown || fail "A on the selection screen did not start a run"
rest=$(ship_y)
[ "$rest" -ge 0 ] || fail "no ship seen in the view"

note "Start pauses, Start again goes on"
pause_run
resume_run

note "D-pad up thrusts the ship up"
pad button dpup down
sleep 0.6
pause_run
run_until ship_above $((rest - 3)) || fail "D-pad up held: the ship is at y = $(ship_y), not above its rest at $rest"
pad button dpup up

note "unplugging the pad while it holds up releases the key"
press a
wait_until 20 resumed || fail "A did not restart the run"
pad button dpup down
pad detach
sleep 0.6
# A pad's buttons count once the game has taken the pad in at a dispatch.
pad attach
sleep 0.5
pause_run
# A key left held would keep the ship up for good.
run_until ship_below $((rest + 3)) ||
    fail "after unplugging the pad that held up the ship is at y = $(ship_y), not below its rest at $rest"
game_alive || fail "the game ended when the pad was unplugged"

note "plugged in again, the stick thrusts up"
press a
wait_until 20 resumed || fail "A did not restart the run"
pad axis lefty -30000
sleep 0.6
pause_run
run_until ship_above $((rest - 3)) || fail "the stick held up: the ship is at y = $(ship_y), not above its rest at $rest"
pad axis lefty 0

note "B leaves the run"
pad button b down
pad button b up
wait_until 20 selection_shown || fail "B did not leave the run"
game_alive || fail "B during a run ended the program"

note "ESC ends the program with status 0"
send_keys "$GAME_WINDOW" Escape
expect_exit_status 0
note "passed"
