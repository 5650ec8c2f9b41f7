# Helpers shared by the window tests: a private Xvfb display, a throw-away
# game folder, screenshots and colour counts. Source it, then call
# setup_window_test with the test's arguments (quillrun, its game folder).
# SPDX-License-Identifier: MIT

set -u
CONVERT=/usr/bin/convert
WORK_DIR="" XVFB_PID="" GAME_PID="" GAME_WINDOW=""

fail() {
    echo "FAIL: $*" >&2
    [ -s "$WORK_DIR/game.log" ] && { echo "--- game output ---" >&2; cat "$WORK_DIR/game.log" >&2; }
    exit 1
}
not() { ! "$@"; }

# Polls a command until it succeeds, for up to $1 seconds.
wait_until() {
    local deadline=$((SECONDS + $1))
    shift
    while [ $SECONDS -lt $deadline ]; do "$@" && return 0; sleep 0.1; done
    "$@"
}

# SDL shows a message box of its own from a forked child, which may hang
# once the display is gone: children are killed first when TERM is not heeded.
stop_game() {
    [ -n "$GAME_PID" ] || return 0
    kill -TERM "$GAME_PID" 2>/dev/null && ! wait_until 5 not game_alive &&
        for child in $(ps -o pid= --ppid "$GAME_PID") "$GAME_PID"; do kill -KILL "$child" 2>/dev/null; done
    wait "$GAME_PID" 2>/dev/null
    GAME_PID=""
}
cleanup() {
    stop_game
    [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null && wait "$XVFB_PID" 2>/dev/null
    rm -rf "$WORK_DIR"
}

# A display of its own (Xvfb writes the free display's number to fd 9) and a
# game folder with a copy of the program (its folder is the game's) and the
# built pictures, without the icon.
setup_window_test() {
    [ -x "${1:-}" ] && [ -d "${2:-}/Pictures" ] || { echo "usage: $0 QUILLRUN GAME_DIR" >&2; exit 2; }
    WORK_DIR=$(mktemp -d "${TMPDIR:-/tmp}/quillrun-window.XXXXXX")
    trap cleanup EXIT
    trap 'exit 1' INT TERM
    GAME_DIR="$WORK_DIR/game" PAD_FILE="$WORK_DIR/pad.txt" SHOT="$WORK_DIR/shot.png"
    mkdir -p "$GAME_DIR/Maps" && cp "$1" "$GAME_DIR/quillrun" && cp -r "$2/Pictures" "$GAME_DIR/" || fail "no game folder"
    rm -f "$GAME_DIR/Pictures/icon."* && : >"$PAD_FILE"
    HELP="$GAME_DIR/Pictures/Help.jpg"
    Xvfb -displayfd 9 -screen 0 1600x1200x24 -nolisten tcp 9>"$WORK_DIR/display" >/dev/null 2>&1 &
    XVFB_PID=$!
    wait_until 30 grep -q '[0-9]' "$WORK_DIR/display" || fail "Xvfb did not start"
    export DISPLAY=":$(tr -dc '0-9' <"$WORK_DIR/display")"
}

# Works the game's test pad, SDL's virtual controller: attach, detach,
# "button NAME down|up", "axis NAME VALUE", with SDL's names.
pad() { echo "$*" >>"$PAD_FILE"; }
press() { pad button "$1" down && pad button "$1" up; }

start_game() {
    QUILLRUN_TEST_PAD="$PAD_FILE" "$GAME_DIR/quillrun" "$@" >"$WORK_DIR/game.log" 2>&1 &
    GAME_PID=$!
    wait_until 30 find_game_window || fail "no window titled 'Quillrun v1.21' appeared"
}
# xdotool's name search misses names set only as UTF-8, so xwininfo is read.
find_game_window() {
    GAME_WINDOW=$(xwininfo -root -children | awk '/ "Quillrun v1.21": / {print $1; exit}')
    [ -n "$GAME_WINDOW" ] && xwininfo -id "$GAME_WINDOW" | grep -q 'IsViewable'
}
game_alive() { kill -0 "$GAME_PID" 2>/dev/null; }

# Keys go through XTEST to the focused window, as a real keyboard's would;
# without a window manager the focus is set here.
send_keys() {
    xdotool windowfocus --sync "$GAME_WINDOW" 2>/dev/null || xdotool windowfocus "$GAME_WINDOW"
    xdotool key --delay 60 "$@"
}

# Does the action (a command in one word list, such as "send_keys F1" or
# "press a"), then waits up to 20 s for the check given after the message
# that fails the test.
after() {
    local action=$1 message=$2
    shift 2
    $action
    wait_until 20 "$@" || fail "$message"
}

# Asks the window to close as a window manager's close button does (a
# WM_PROTOCOLS client message naming WM_DELETE_WINDOW): the game must end
# with status 0.
close_window() {
    python3 - "$GAME_WINDOW" <<'PY' || fail "could not send WM_DELETE_WINDOW"
import ctypes as c, sys
x = c.CDLL("libX11.so.6")
x.XOpenDisplay.restype = c.c_void_p
d, w = c.c_void_p(x.XOpenDisplay(None)), int(sys.argv[1], 0)
# XClientMessageEvent as longs: type, serial, send_event, display, window,
# message_type, format, then the data.
e = (c.c_long * 24)(33, 0, 0, 0, w, x.XInternAtom(d, b"WM_PROTOCOLS", 0), 32, x.XInternAtom(d, b"WM_DELETE_WINDOW", 0))
sys.exit(x.XSendEvent(d, c.c_ulong(w), 0, c.c_long(0), e) == 0 or x.XFlush(d) == 0)
PY
    wait_until 30 not game_alive || fail "the game did not end"
    wait "$GAME_PID" || fail "exit status $?, expected 0"
    GAME_PID=""
}

# A shot of the game window's client area in $SHOT, and the number of
# pixels of colour RRGGBB in its box x0 y0 x1 y1.
shoot() { xwd -silent -id "$GAME_WINDOW" | $CONVERT xwd:- "$SHOT"; }
count() {
    $CONVERT "$SHOT" -crop "$(($3 - $1 + 1))x$(($4 - $2 + 1))+$1+$2" +repage -fill black +opaque "#$5" \
        -fill white -opaque "#$5" -format '%[fx:round(mean*w*h)]' info:
}
# True when two pictures differ by less than $3 (root-mean-square, 0..1).
alike() {
    $CONVERT "$1" "$2" -compose difference -composite -colorspace gray \
        -format "%[fx:sqrt(mean*mean+standard_deviation*standard_deviation) < $3]" info: | grep -q 1
}

# The screens seen: a dialog (message box or name dialog: its title bar's
# blue is found nowhere else) or the screenshot's note at the top left, help,
# the selection screen (its light blue divider), a run ("Shield:" in yellow,
# no divider).
box_shown() { shoot && [ "$(count 41 0 43 215 103080)" -ge 30 ]; }
note_shown() { shoot && [ "$(count 5 5 40 22 103080)" -ge 300 ]; }
help_shown() { shoot && alike "$SHOT" "$HELP" 0.02; }
selection_shown() { shoot && [ "$(count 319 0 320 215 8080FF)" -ge 400 ]; }
run_shown() { shoot && [ "$(count 0 201 36 215 FFFF00)" -ge 40 ] && [ "$(count 319 0 320 199 8080FF)" = 0 ]; }
