#!/bin/bash
# F12 saves the play field as shown to Screenshots/quillrun-YYYYMMDD-HHMMSS.png
# in the program folder; when it cannot be written, one line on standard
# error says so and the game goes on.
source "$(dirname "$0")/lib.sh"
setup_window_test "$@"

start_game
help="$GAME_DIR/Pictures/Help.jpg"
send_keys "$GAME_WINDOW" F1
wait_until 20 window_shows "$GAME_WINDOW" "$help" "600 216" 0.02 || fail "the help picture did not appear"

note "F12 writes the field as a PNG"
send_keys "$GAME_WINDOW" F12
shot_written() { compgen -G "$GAME_DIR/Screenshots/quillrun-*.png" >/dev/null; }
wait_until 20 shot_written || fail "no screenshot in $GAME_DIR/Screenshots"
shots=("$GAME_DIR"/Screenshots/quillrun-*.png)
[ ${#shots[@]} = 1 ] || fail "F12 wrote ${#shots[@]} files"
name=$(basename "${shots[0]}")
[[ $name =~ ^quillrun-20[0-9]{6}-[0-2][0-9][0-5][0-9][0-6][0-9]\.png$ ]] || fail "the screenshot is named $name"
[ "$(image_size "${shots[0]}")" = "600 216" ] || fail "the screenshot is $(image_size "${shots[0]}"), not 600 x 216"
screenshot "$GAME_WINDOW" "$WORK_DIR/window.png"
distance=$(picture_distance "${shots[0]}" "$WORK_DIR/window.png")
below "$distance" 0.001 || fail "the screenshot differs from the window (distance $distance)"
# No temporary file is left beside it.
[ "$(ls "$GAME_DIR/Screenshots" | wc -l)" = 1 ] || fail "stray files in Screenshots: $(ls "$GAME_DIR/Screenshots")"

note "a screenshot that cannot be written: one line on standard error, the game goes on"
mv "$GAME_DIR/Screenshots" "$GAME_DIR/Shots-before"
: >"$GAME_DIR/Screenshots"
send_keys "$GAME_WINDOW" F12
complained() { [ "$(grep -c 'screenshot' "$WORK_DIR/game.log")" = 1 ]; }
wait_until 20 complained || fail "no line on standard error about the failed screenshot: $(cat "$WORK_DIR/game.log")"
game_alive || fail "the game ended after a failed screenshot"
send_keys "$GAME_WINDOW" F1
selection_back() { ! window_shows "$GAME_WINDOW" "$help" "600 216" 0.02; }
wait_until 20 selection_back || fail "the game does not answer keys after a failed screenshot"

note "ESC ends the program with status 0"
send_keys "$GAME_WINDOW" Escape
expect_exit_status 0
note "passed"
