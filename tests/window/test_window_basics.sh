#!/bin/bash
# The window: its caption and client area, what it shows, the play field
# scaled and centred when the window is resized, shown again when uncovered
# although it did not change, and ESC ending the program. All of it twice:
# once as the game presents under Xvfb (straight into the window's buffer),
# once through SDL's OpenGL renderer, as with a graphics driver.
source "$(dirname "$0")/lib.sh"
setup_window_test "$@"
command -v xmessage >/dev/null || fail "xmessage is not installed"

check_window() {
note "presenting: $1"
start_game
[ "$(window_size "$GAME_WINDOW")" = "600 216" ] ||
    fail "client area is $(window_size "$GAME_WINDOW"), expected 600 x 216"
xwininfo -id "$GAME_WINDOW" | grep -q '"Quillrun v1.21"$' || fail "caption is not 'Quillrun v1.21'"

note "the selection screen is drawn into the window"
# The window is shown before the first frame is drawn, so poll.
many_colours() {
    screenshot "$GAME_WINDOW" "$WORK_DIR/selection.png"
    [ "$(image_size "$WORK_DIR/selection.png")" = "600 216" ] || fail "screenshot is not 600 x 216"
    colours=$(colour_count "$WORK_DIR/selection.png")
    [ "$colours" -ge 3 ]
}
wait_until 20 many_colours || fail "the selection screen shows only $colours colour(s)"

note "F1 shows the help picture"
help="$GAME_DIR/Pictures/Help.jpg"
send_keys "$GAME_WINDOW" F1
wait_until 20 window_shows "$GAME_WINDOW" "$help" "600 216" 0.02 ||
    fail "the window does not show the help picture after F1 (distance ${LAST_DISTANCE:-?})"

note "a window twice the size shows the field at twice the size"
"$CONVERT" "$help" -scale 200% "$WORK_DIR/help2x.png"
xdotool windowmove "$GAME_WINDOW" 0 0
xdotool windowsize "$GAME_WINDOW" 1200 432
wait_until 20 window_shows "$GAME_WINDOW" "$WORK_DIR/help2x.png" "1200 432" 0.02 ||
    fail "the field is not scaled by 2 in a 1200 x 432 window (distance ${LAST_DISTANCE:-?})"

note "a larger window keeps the whole factor and centres the field on black"
xdotool windowsize "$GAME_WINDOW" 1300 500
centred() {
    window_shows "$GAME_WINDOW" "$WORK_DIR/help2x.png" "1300 500" 2 || return 1
    "$CONVERT" "$WORK_DIR/poll.png" -crop 1200x432+50+34 +repage "$WORK_DIR/centre.png"
    LAST_DISTANCE=$(picture_distance "$WORK_DIR/centre.png" "$WORK_DIR/help2x.png")
    below "$LAST_DISTANCE" 0.02 || return 1
    for border in 50x500+0+0 50x500+1250+0 1300x34+0+0 1300x34+0+466; do
        [ "$(region_max "$WORK_DIR/poll.png" "$border")" = 0 ] || return 1
    done
}
wait_until 20 centred || fail "the field is not centred at (50, 34) on black (distance ${LAST_DISTANCE:-?})"

note "a window below the least size shows the centre of the field 1:1"
xdotool windowsize "$GAME_WINDOW" 400 200
"$CONVERT" "$help" -crop 400x200+100+8 +repage "$WORK_DIR/help-centre.png"
wait_until 20 window_shows "$GAME_WINDOW" "$WORK_DIR/help-centre.png" "400 200" 0.02 ||
    fail "a 400 x 200 window does not show the centre of the field (distance ${LAST_DISTANCE:-?})"

note "back at 600 x 216 the field is shown 1:1 again"
xdotool windowsize "$GAME_WINDOW" 600 216
wait_until 20 window_shows "$GAME_WINDOW" "$help" "600 216" 0.02 ||
    fail "the field is not shown 1:1 after shrinking the window (distance ${LAST_DISTANCE:-?})"

note "a still field covered and uncovered is shown again"
xmessage -geometry 800x400+0+0 "a window over the game" >/dev/null 2>&1 &
cover=$!
covered() { ! window_shows "$GAME_WINDOW" "$help" "600 216" 0.2; }
wait_until 20 covered || fail "the covering window did not appear"
kill "$cover"
wait "$cover" 2>/dev/null
wait_until 20 window_shows "$GAME_WINDOW" "$help" "600 216" 0.02 ||
    fail "the help picture is not shown again after the window was uncovered (distance ${LAST_DISTANCE:-?})"

note "H leaves the help screen"
send_keys "$GAME_WINDOW" h
left_help() { ! window_shows "$GAME_WINDOW" "$help" "600 216" 0.2; }
wait_until 20 left_help || fail "the help picture is still shown after H"

note "ESC on the selection screen ends the program with status 0"
send_keys "$GAME_WINDOW" Escape
expect_exit_status 0
}

check_window "the window's buffer"
SDL_RENDER_DRIVER=opengl check_window "SDL's OpenGL renderer"
note "passed"
