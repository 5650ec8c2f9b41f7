# Helpers shared by the window tests: a private Xvfb display, a throw-away
# game folder, and polling for windows. Source it, then call setup_window_test
# with the test's arguments (path of quillrun, game dir, source dir).

set -u

QUILLRUN_BIN=""
PAD_FILE=""
SOURCE_DIR=""
WORK_DIR=""
XVFB_PID=""
GAME_PID=""
GAME_DIR=""
CONVERT=/usr/bin/convert

fail() {
    echo "FAIL: $*" >&2
    if [ -n "$WORK_DIR" ] && [ -s "$WORK_DIR/game.log" ]; then
        echo "--- game output ---" >&2
        cat "$WORK_DIR/game.log" >&2
    fi
    exit 1
}

note() { echo "-- $*"; }

# Ends the game if it still runs. SDL shows its message boxes from a forked
# child, which outlives a parent killed first and may hang once the display
# is gone, so children go first; SIGTERM only queues a close request, which a
# game waiting for its message box does not read, hence SIGKILL after a grace.
stop_game() {
    [ -n "$GAME_PID" ] || return 0
    if kill -0 "$GAME_PID" 2>/dev/null; then
        kill -TERM "$GAME_PID" 2>/dev/null
        local deadline=$((SECONDS + 5))
        while kill -0 "$GAME_PID" 2>/dev/null && [ $SECONDS -lt $deadline ]; do sleep 0.1; done
        if kill -0 "$GAME_PID" 2>/dev/null; then
            local child
            for child in $(ps -o pid= --ppid "$GAME_PID"); do kill -KILL "$child" 2>/dev/null; done
            kill -KILL "$GAME_PID" 2>/dev/null
        fi
    fi
    wait "$GAME_PID" 2>/dev/null
    GAME_PID=""
}

cleanup() {
    stop_game
    if [ -n "$XVFB_PID" ] && kill -0 "$XVFB_PID" 2>/dev/null; then
        kill "$XVFB_PID" 2>/dev/null
        wait "$XVFB_PID" 2>/dev/null
    fi
    if [ -n "$WORK_DIR" ] && [ -z "${KEEP_WORK_DIR:-}" ]; then
        rm -rf "$WORK_DIR"
    fi
}

# Polls a command until it succeeds, for up to $1 seconds.
wait_until() {
    local seconds=$1
    shift
    local deadline=$((SECONDS + seconds))
    while [ $SECONDS -lt $deadline ]; do
        if "$@"; then return 0; fi
        sleep 0.1
    done
    "$@"
}

start_xvfb() {
    for tool in Xvfb xdotool xwd xwininfo "$CONVERT"; do
        command -v "$tool" >/dev/null || fail "$tool is not installed"
    done
    # Xvfb picks a free display itself and writes its number to the pipe.
    local numberFile="$WORK_DIR/displayfd"
    : >"$numberFile"
    Xvfb -displayfd 9 -screen 0 1600x1200x24 -nolisten tcp -noreset 9>"$numberFile" >"$WORK_DIR/xvfb.log" 2>&1 &
    XVFB_PID=$!
    wait_until 30 grep -q '[0-9]' "$numberFile" || fail "Xvfb did not start: $(cat "$WORK_DIR/xvfb.log")"
    export DISPLAY=":$(tr -dc '0-9' <"$numberFile")"
    wait_until 30 xwininfo -root >/dev/null 2>&1 || fail "display $DISPLAY does not answer"
    note "Xvfb on $DISPLAY"
}

# Writes a picture with convert: file, size, then convert's drawing options.
make_picture() {
    local file=$1 size=$2
    shift 2
    "$CONVERT" -size "$size" "$@" "$file" || fail "convert could not make $file"
}

# A game folder of its own: the program, three fixed pictures, and a
# catalogue whose first map picture is missing. The program folder is the
# folder of the executable, so the binary is copied in.
make_game_dir() {
    GAME_DIR="$WORK_DIR/game"
    mkdir -p "$GAME_DIR/Maps" "$GAME_DIR/Pictures" "$GAME_DIR/Replays"
    cp "$QUILLRUN_BIN" "$GAME_DIR/quillrun"
    make_picture "$GAME_DIR/Pictures/Ship.jpg" 18x18 xc:black -fill white -draw "rectangle 0,9 17,17" \
        -fill red -draw "rectangle 2,2 15,6"
    # Background: dark blue with a green band, so the selection screen is
    # never one colour.
    make_picture "$GAME_DIR/Pictures/background.jpg" 640x216 xc:'#000060' -fill '#00a000' \
        -draw "rectangle 0,150 639,215"
    # Help picture: four large flat blocks, easy to recognise after JPEG.
    make_picture "$GAME_DIR/Pictures/Help.jpg" 600x216 xc:'#e00000' -fill '#00c000' \
        -draw "rectangle 300,0 599,107" -fill '#0000e0' -draw "rectangle 0,108 299,215" \
        -fill '#f0f0f0' -draw "rectangle 300,108 599,215"
    printf '[01]\r\nFile=missing.bmp\r\nWidth=1000\r\nName=Nowhere\r\n' >"$GAME_DIR/Maps/Maps.ini"
}

setup_window_test() {
    [ $# -ge 1 ] || { echo "usage: $0 QUILLRUN [GAME_DIR SOURCE_DIR]" >&2; exit 2; }
    QUILLRUN_BIN=$1
    SOURCE_DIR=${3:-}
    [ -x "$QUILLRUN_BIN" ] || { echo "no program at $QUILLRUN_BIN" >&2; exit 2; }
    WORK_DIR=$(mktemp -d "${TMPDIR:-/tmp}/quillrun-window.XXXXXX")
    trap cleanup EXIT
    trap 'exit 1' INT TERM
    start_xvfb
    make_game_dir
    PAD_FILE="$WORK_DIR/pad.txt"
    : >"$PAD_FILE"
}

# Works the game's test pad (a virtual game controller): attach, detach,
# "button NAME down|up", "axis NAME VALUE", with SDL's names ("a", "dpup",
# "leftx", "lefttrigger"). The game reads the commands at its next event
# dispatch.
pad() { echo "$*" >>"$PAD_FILE"; }

# The game's dialogs, message boxes and the name dialog alike, are drawn in
# the window with a title bar in this blue, found nowhere else.
DIALOG_TITLE=103080
box_shown() {
    screenshot "$GAME_WINDOW" "$WORK_DIR/box.png" &&
        [ "$(colour_count_in "$WORK_DIR/box.png" 41 0 43 215 "$DIALOG_TITLE")" -ge 30 ]
}
no_box_shown() { ! box_shown; }

start_game() {
    QUILLRUN_TEST_PAD="$PAD_FILE" "$GAME_DIR/quillrun" "$@" >"$WORK_DIR/game.log" 2>&1 &
    GAME_PID=$!
    GAME_WINDOW=""
    wait_until 30 find_game_window || fail "no window titled 'Quillrun v1.21' appeared"
    note "game window $GAME_WINDOW (pid $GAME_PID)"
}

# Sets FOUND_WINDOW to a mapped top-level window with exactly this title.
# xdotool's name search misses windows whose name is only set as UTF-8 (as
# SDL's message boxes do), so the window list is read with xwininfo.
find_window_titled() {
    FOUND_WINDOW=$(xwininfo -root -children 2>/dev/null |
        awk -v t=" \"$1\": " 'index($0, t) > 0 {print $1; exit}')
    [ -n "$FOUND_WINDOW" ] && xwininfo -id "$FOUND_WINDOW" 2>/dev/null | grep -q 'Map State: IsViewable'
}

# Sets GAME_WINDOW to the game's window.
find_game_window() {
    find_window_titled "Quillrun v1.21" && GAME_WINDOW=$FOUND_WINDOW
}

no_window_titled() { ! find_window_titled "$1"; }

game_alive() { kill -0 "$GAME_PID" 2>/dev/null; }
game_gone() { ! game_alive; }

# Waits for the game to end and checks its exit status.
expect_exit_status() {
    local want=$1
    wait_until 30 game_gone || fail "the game did not end"
    local status=0
    wait "$GAME_PID" || status=$?
    GAME_PID=""
    [ "$status" -eq "$want" ] || fail "exit status $status, expected $want"
}

# Keys go through the XTEST extension to the window holding the focus, as a
# real keyboard's would; without a window manager the focus is set here.
send_keys() {
    local window=$1
    shift
    xdotool windowfocus --sync "$window" 2>/dev/null || xdotool windowfocus "$window"
    xdotool key --delay 60 "$@"
}

# Prints the client-area size of a window as "W H".
window_size() {
    xwininfo -id "$1" | awk '/^ *Width:/ {w=$2} /^ *Height:/ {h=$2} END {print w, h}'
}

# Screenshot of a window's client area as PNG.
screenshot() {
    local window=$1 png=$2
    xwd -silent -id "$window" >"$WORK_DIR/shot.xwd" || fail "xwd failed"
    "$CONVERT" xwd:"$WORK_DIR/shot.xwd" png:"$png" || fail "convert could not read the screenshot"
}

image_size() { "$CONVERT" "$1" -format '%w %h' info:; }
colour_count() { "$CONVERT" "$1" -format '%k' info:; }

# Root-mean-square difference of two pictures, 0..1.
picture_distance() {
    "$CONVERT" "$1" "$2" -compose difference -composite -colorspace gray \
        -format '%[fx:sqrt(mean*mean+standard_deviation*standard_deviation)]' info:
}

# Asks the window to close as a window manager's close button would: a
# WM_DELETE_WINDOW client message of the WM_PROTOCOLS kind.
request_close() {
    python3 - "$1" <<'PY' || fail "could not send WM_DELETE_WINDOW"
import ctypes, ctypes.util, sys

window = int(sys.argv[1], 0)
x11 = ctypes.CDLL(ctypes.util.find_library("X11") or "libX11.so.6")
x11.XOpenDisplay.restype = ctypes.c_void_p
x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
x11.XInternAtom.restype = ctypes.c_ulong
x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
x11.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long, ctypes.c_void_p]
x11.XFlush.argtypes = [ctypes.c_void_p]
x11.XCloseDisplay.argtypes = [ctypes.c_void_p]


class ClientMessage(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                ("format", ctypes.c_int), ("data", ctypes.c_long * 5)]


class XEvent(ctypes.Union):
    _fields_ = [("xclient", ClientMessage), ("pad", ctypes.c_long * 24)]


display = x11.XOpenDisplay(None)
if not display:
    sys.exit("cannot open display")
event = XEvent()
event.xclient.type = 33  # ClientMessage
event.xclient.window = window
event.xclient.message_type = x11.XInternAtom(display, b"WM_PROTOCOLS", 0)
event.xclient.format = 32
event.xclient.data[0] = x11.XInternAtom(display, b"WM_DELETE_WINDOW", 0)
event.xclient.data[1] = 0  # CurrentTime
if not x11.XSendEvent(display, window, 0, 0, ctypes.byref(event)):
    sys.exit("XSendEvent failed")
x11.XFlush(display)
x11.XCloseDisplay(display)
PY
}

# Colour of one pixel of a picture as RRGGBB.
pixel_hex() { "$CONVERT" "$1" -format "%[hex:p{$2,$3}]" info:; }

# Largest channel value of a region (0 when it is all black), 0..1.
region_max() { "$CONVERT" "$1" -crop "$2" +repage -format '%[fx:maxima]' info:; }

# True when the first number is below the second.
below() { awk -v a="$1" -v b="$2" 'BEGIN {exit !(a < b)}'; }

# True when a fresh screenshot of a window has the given size and lies within
# $4 of a reference picture.
window_shows() {
    local window=$1 reference=$2 size=$3 limit=$4
    screenshot "$window" "$WORK_DIR/poll.png"
    [ "$(image_size "$WORK_DIR/poll.png")" = "$size" ] || return 1
    LAST_DISTANCE=$(picture_distance "$WORK_DIR/poll.png" "$reference")
    below "$LAST_DISTANCE" "$limit"
}

# Counts the pixels of one colour (RRGGBB, each channel within $7, default
# 0) in the box x0..x1, y0..y1 (inclusive) of a picture and prints
# "count minX maxX minY maxY" in picture coordinates ("0 -1 -1 -1 -1" when
# there are none).
colour_stats() {
    local png=$1 x0=$2 y0=$3 x1=$4 y1=$5 colour=$6 tolerance=${7:-0}
    # Raw RGB bytes: no header to parse, the box size is known.
    "$CONVERT" "$png" -crop "$((x1 - x0 + 1))x$((y1 - y0 + 1))+$x0+$y0" +repage -depth 8 rgb:- |
        python3 -c '
import sys
pixels = sys.stdin.buffer.read()
x0, y0, width, tol = (int(a) for a in sys.argv[1:5])
want = bytes.fromhex(sys.argv[5])
height = len(pixels) // (3 * width)
count, xs, ys = 0, [], []
for y in range(height):
    row = pixels[3 * width * y:3 * width * (y + 1)]
    for x in range(width):
        p = row[3 * x:3 * x + 3]
        if all(abs(p[c] - want[c]) <= tol for c in range(3)):
            count += 1
            xs.append(x)
            ys.append(y)
if count:
    print(count, x0 + min(xs), x0 + max(xs), y0 + min(ys), y0 + max(ys))
else:
    print("0 -1 -1 -1 -1")
' "$x0" "$y0" "$((x1 - x0 + 1))" "$tolerance" "$colour"
}

# The first field of colour_stats: how many pixels of the colour lie in the box.
colour_count_in() { colour_stats "$@" | awk '{print $1}'; }

# A shot of the game window in the test's folder, and counts of a colour in it.
shoot() { screenshot "$GAME_WINDOW" "$WORK_DIR/shot.png"; }
count() { colour_count_in "$WORK_DIR/shot.png" "$@"; }
# The selection screen's list box (light blue) is on screen; tests whose
# screens show other light blue redefine it.
selection_shown() { shoot && [ "$(count 319 0 320 215 8080FF)" -ge 400 ]; }
# A run is on screen: "Shield:" in yellow at the left of the status rows and
# no selection-screen divider in the view.
run_shown() { shoot && [ "$(count 0 201 36 215 FFFF00)" -ge 40 ] && [ "$(count 319 0 320 199 8080FF)" = 0 ]; }
