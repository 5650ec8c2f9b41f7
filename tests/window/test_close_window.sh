#!/bin/bash
# Closing the window ends the program with status 0, also when the close
# request comes while a message box is open (it closes the box first). The request is the
# WM_DELETE_WINDOW message a window manager sends for its close button
# (there is no window manager under Xvfb, so the test sends it itself).
source "$(dirname "$0")/lib.sh"
setup_window_test "$@"

note "a close request on the selection screen"
start_game
request_close "$GAME_WINDOW"
expect_exit_status 0

note "a close request while the message box is open closes box and game"
start_game
send_keys "$GAME_WINDOW" Return
wait_until 30 box_shown || fail "no message box appeared in the game window"
request_close "$GAME_WINDOW"
expect_exit_status 0

# Destroying the window outright (no window manager does this; xkill and a
# lost display are the like) is no close request: Xlib reports the error on
# the next drawing and ends the process. It must end, never hang.
note "a destroyed window ends the process"
start_game
xdotool windowclose "$GAME_WINDOW" || fail "xdotool windowclose failed"
wait_until 30 game_gone || fail "the game outlived its destroyed window"
wait "$GAME_PID" 2>/dev/null
GAME_PID=""
note "passed"
