#!/bin/bash
# ENTER on a map whose picture is missing: the "Error" message box is drawn
# inside the game window over the dimmed field, the game waits for it, and
# runs on after it is dismissed with the keyboard or the pad. Keys pressed
# into the box never reach the game.
source "$(dirname "$0")/lib.sh"
setup_window_test "$@"

pad attach
start_game
help="$GAME_DIR/Pictures/Help.jpg"

note "Return starts a run on the missing map: the box opens in the window"
send_keys "$GAME_WINDOW" Return
wait_until 30 box_shown || fail "no message box appeared in the game window"
game_alive || fail "the game ended while the message box was open"
# The background is the selection screen, dimmed: its green band at most
# half as bright.
"$CONVERT" "$WORK_DIR/box.png" -format '%[fx:p{10,200}.g<0.4 && p{10,200}.g>0.1]' info: | grep -q 1 ||
    fail "the field behind the box is not dimmed"
# One line of text, one button: the panel is 80 rows high, centred, and
# its title bar lies inside the frame.
rows=$(colour_stats "$WORK_DIR/box.png" 41 0 41 215 "$DIALOG_TITLE" | awk '{print $4 "-" $5}')
[ "$rows" = "69-87" ] || fail "the box's title bar spans rows $rows, expected 69-87"

note "keys typed meanwhile do not reach the game; Return dismisses the box"
send_keys "$GAME_WINDOW" h
sleep 0.5
box_shown || fail "the box closed on a letter"
send_keys "$GAME_WINDOW" Return
wait_until 30 no_box_shown || fail "the message box did not close on Return"
game_alive || fail "the game ended after the message box"
# The 'h' reaching the game would show the help picture now.
shown_help=$(window_shows "$GAME_WINDOW" "$help" "600 216" 0.02 && echo yes)
[ -z "$shown_help" ] || fail "a key typed into the box reached the game"
send_keys "$GAME_WINDOW" F1
wait_until 20 window_shows "$GAME_WINDOW" "$help" "600 216" 0.02 ||
    fail "the game does not answer keys after the message box (distance ${LAST_DISTANCE:-?})"
send_keys "$GAME_WINDOW" F1

note "keypad Enter starts a run too; ESC dismisses the box without reaching the game"
send_keys "$GAME_WINDOW" KP_Enter
wait_until 30 box_shown || fail "keypad Enter did not start a run"
send_keys "$GAME_WINDOW" Escape
wait_until 30 no_box_shown || fail "the message box did not close on ESC"
# ESC reaching the game on the selection screen would end the program.
sleep 1
game_alive || fail "the ESC pressed into the message box reached the game"

note "the pad: A opens the box (ENTER) and A dismisses it; B dismisses it too"
for dismiss in a b; do
    pad button a down
    pad button a up
    wait_until 30 box_shown || fail "A on the selection screen did not start a run"
    pad button "$dismiss" down
    pad button "$dismiss" up
    wait_until 30 no_box_shown || fail "the pad's $dismiss did not dismiss the box"
done
sleep 1
game_alive || fail "the B that dismissed the box reached the game"

note "ESC ends the program with status 0"
send_keys "$GAME_WINDOW" Escape
expect_exit_status 0
note "passed"
