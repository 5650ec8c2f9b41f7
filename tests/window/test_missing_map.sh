#!/bin/bash
# ENTER on a map whose picture is missing: the "Error" message box opens, the
# game waits for it, and runs on after it is dismissed. Keys pressed into the
# box never reach the game.
source "$(dirname "$0")/lib.sh"
setup_window_test "$@"

start_game
help="$GAME_DIR/Pictures/Help.jpg"

note "Return starts a run on the missing map: the message box opens"
send_keys "$GAME_WINDOW" Return
wait_until 30 find_window_titled Error || fail "no message box titled 'Error' appeared"
box=$FOUND_WINDOW
game_alive || fail "the game ended while the message box was open"
find_game_window || fail "the game window vanished behind the message box"

note "ESC pressed on the game window while the box is open does not reach the game"
send_keys "$GAME_WINDOW" Escape
sleep 1
game_alive || fail "an ESC pressed while the message box was open reached the game"
find_window_titled Error || fail "the message box closed on an ESC pressed into the game window"

note "Return dismisses it and the game runs on"
send_keys "$box" Return
wait_until 30 no_window_titled Error || fail "the message box did not close on Return"
game_alive || fail "the game ended after the message box"
send_keys "$GAME_WINDOW" F1
wait_until 20 window_shows "$GAME_WINDOW" "$help" "600 216" 0.02 ||
    fail "the game does not answer keys after the message box (distance ${LAST_DISTANCE:-?})"

note "keypad Enter starts a run too; ESC dismisses the box without reaching the game"
send_keys "$GAME_WINDOW" KP_Enter
wait_until 30 find_window_titled Error || fail "keypad Enter did not start a run"
send_keys "$FOUND_WINDOW" Escape
wait_until 30 no_window_titled Error || fail "the message box did not close on ESC"
# ESC reaching the game on the selection screen would end the program.
sleep 1
game_alive || fail "the ESC pressed into the message box reached the game"

note "ESC ends the program with status 0"
send_keys "$GAME_WINDOW" Escape
expect_exit_status 0
note "passed"
