#!/bin/bash
# Main-row digits select a map, keypad digits do not: map 1 is flyable, map 2
# has no picture, so ENTER on map 2 opens the "Error" box and ENTER on map 1
# starts a run without one.
source "$(dirname "$0")/lib.sh"
setup_window_test "$@"

"$CONVERT" -size 700x200 xc:black -type TrueColor "BMP3:$GAME_DIR/Maps/open.bmp" ||
    fail "convert could not make the map"
printf '[01]\r\nFile=open.bmp\r\nWidth=300\r\nName=Open\r\n[02]\r\nFile=missing.bmp\r\nWidth=1000\r\nName=Gone\r\n' \
    >"$GAME_DIR/Maps/Maps.ini"

start_game

note "keypad 2 selects nothing: ENTER flies map 1"
send_keys "$GAME_WINDOW" KP_2 Return
# Nothing may appear here, so this one check waits a fixed time.
sleep 2
no_box_shown || fail "keypad 2 selected map 2"
game_alive || fail "the game ended"

note "ESC abandons the run; main-row 2 then selects map 2"
send_keys "$GAME_WINDOW" Escape
sleep 0.5
game_alive || fail "ESC during a run ended the program"
send_keys "$GAME_WINDOW" 2 Return
wait_until 30 box_shown || fail "main-row 2 did not select map 2"
send_keys "$GAME_WINDOW" Return
wait_until 30 no_box_shown || fail "the message box did not close"

note "main-row 1 selects map 1 again"
send_keys "$GAME_WINDOW" 1 Return
sleep 2
no_box_shown || fail "main-row 1 did not select map 1"
send_keys "$GAME_WINDOW" Escape
sleep 0.5
send_keys "$GAME_WINDOW" Escape
expect_exit_status 0
note "passed"
