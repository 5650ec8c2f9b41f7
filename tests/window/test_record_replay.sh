#!/bin/bash
# A record flown in the window: a short cave flown to its end, the holder's
# name typed into the in-window dialog, the masked record in Maps.ini, the
# best run's replay file, and that replay played back with R.
source "$(dirname "$0")/lib.sh"
setup_window_test "$@"

# A corridor cave 900 pixels wide with grey rock above and below and a gap
# tall enough that the ship, falling from the middle, reaches the end of the
# 300 pixels of the run's width before it reaches the floor.
make_picture "$GAME_DIR/Maps/corridor.bmp" 900x200 xc:black -fill '#808080' \
    -draw "rectangle 0,0 899,9" -draw "rectangle 0,190 899,199" -type TrueColor
printf '[01]\r\nFile=corridor.bmp\r\nWidth=300\r\nName=Corridor\r\n' >"$GAME_DIR/Maps/Maps.ini"
REPLAY="$GAME_DIR/Replays/Map01.replay"

LIGHT_BLUE=8080FF
YELLOW=FFFF00
RED=FF0000
PALE=EEEDFE
GREY=808080
SHOT="$WORK_DIR/shot.png"


# The map view: the corridor's grey rock at the top, "Shield:" in yellow in
# the status rows, and no divider.
map_view_shown() {
    shoot || return 1
    [ "$(count 0 0 599 9 "$GREY")" -ge 3000 ] && [ "$(count 0 201 36 215 "$YELLOW")" -ge 40 ] &&
        [ "$(count 319 20 320 180 "$LIGHT_BLUE")" = 0 ]
}
# The name dialog's title bar is the one place drawn in this blue.
dialog_open() { shoot && [ "$(pixel_hex "$SHOT" 42 39)" = "103080" ]; }
dialog_closed() { ! dialog_open; }

start_game
wait_until 30 selection_shown || fail "the selection screen did not appear"
no_box_shown || fail "a message box opened at start-up"

note "fly the corridor to its end"
send_keys "$GAME_WINDOW" Return
wait_until 20 map_view_shown || fail "ENTER did not start a run on the corridor"
# The first steering key starts the run; a press this short gives no thrust.
send_keys "$GAME_WINDOW" Up
wait_until 60 dialog_open || fail "no name dialog appeared at the end of the run"

note "type the holder's name"
xdotool type --delay 60 'Zoe'
send_keys "$GAME_WINDOW" Return
wait_until 30 dialog_closed || fail "the dialog did not close on Return"

# Maps.ini is read back byte by byte: the record's values are masked with
# 183, the score as a blank followed by its digits.
read_record() {
    python3 - "$GAME_DIR/Maps/Maps.ini" <<'PY'
import sys
values = {}
for line in open(sys.argv[1], "rb").read().split(b"\r\n"):
    key, sep, value = line.partition(b"=")
    if sep and key in (b"ScoreBest", b"ScoreName"):
        values[key] = bytes(c ^ 183 for c in value).decode("cp1252")
print(repr(values.get(b"ScoreBest", "")) + "\t" + repr(values.get(b"ScoreName", "")))
PY
}
record_stored() { [ -s "$REPLAY" ] && read_record | grep -q "'Zoe'\$"; }
wait_until 30 record_stored || fail "no record stored: Maps.ini gives $(read_record), replay file $(ls -l "$REPLAY" 2>&1)"
IFS=$'\t' read -r best name <<<"$(read_record)"
[[ $best =~ ^\'\ [1-9][0-9]*\'$ ]] || fail "ScoreBest unmasks to $best, expected a blank and a positive whole number"
best=${best//[^0-9]/}
note "record $best by $name"
grep -q $'^File=corridor.bmp\r$' "$GAME_DIR/Maps/Maps.ini" &&
    grep -q $'^Width=300\r$' "$GAME_DIR/Maps/Maps.ini" &&
    grep -q $'^Name=Corridor\r$' "$GAME_DIR/Maps/Maps.ini" || fail "the catalogue lost its map entry: $(cat -A "$GAME_DIR/Maps/Maps.ini")"

note "the replay file of the record"
python3 - "$REPLAY" "$best" <<'PY' || fail "the replay file is not as expected"
import re, sys
data = open(sys.argv[1], "rb").read()
best = int(sys.argv[2])
def check(ok, what):
    if not ok:
        sys.exit("replay file: " + what)
check(data.endswith(b"\r\n"), "does not end with CR LF")
lines = data[:-2].split(b"\r\n")
check(all(b"\r" not in l and b"\n" not in l for l in lines), "has a line not ended by CR LF")
check(lines[0] == b"mX2", "first line is %r, not 'mX2' (the first frame scrolls 2.2 pixels)" % lines[0])
check(len(lines) >= 3 and lines[-2] == b"--END--", "second-to-last line is not '--END--'")
check(lines.count(b"--END--") == 1, "more than one '--END--'")
last = re.fullmatch(rb"LastFrame=(-?\d+)", lines[-1])
check(last is not None, "last line is %r, not 'LastFrame=' and a number" % lines[-1])
frames = lines[:-2]
for l in frames:
    check(re.fullmatch(rb"(mX|pX|pY|Sc|Sh|Fu)-?\d+", l) is not None, "bad frame line %r" % l)
px = [int(l[2:]) for l in frames if l.startswith(b"pX")]
sc = [int(l[2:]) for l in frames if l.startswith(b"Sc")]
# One "pX" line per frame; the run crosses 270 pixels of the map at about
# 5 pixels per frame.
check(len(px) >= 30, "only %d frames" % len(px))
# The first frame has already drifted a few pixels right of x = 30.
check(30 < px[0] < 36, "first pX is %d, not just right of 30" % px[0])
check(px == sorted(px), "the ship x goes back")
check(int(last.group(1)) == px[-1], "LastFrame=%s is not the last frame's x %d" % (last.group(1).decode(), px[-1]))
check(frames[1].startswith(b"pX") and b"Sh100" in frames[2:5], "the first frame lacks its pX or Sh100 line")
check(sc == sorted(sc) and sc and 0 < sc[-1] <= best, "scores %r do not rise to at most the record %d" % (sc[-3:], best))
print("-- %d frames, %d lines, last score %d, LastFrame=%s" % (len(px), len(lines), sc[-1], last.group(1).decode()))
PY

note "back on the selection screen the record is listed"
wait_until 30 selection_shown || fail "the selection screen did not come back after the run"
# The score column ("NN by Zoe") at x = 150 in the selected row's style.
[ "$(count 150 97 318 107 "$PALE")" -ge 20 ] || fail "no best score drawn at x = 150 in the selected row"

note "R plays the replay"
send_keys "$GAME_WINDOW" r
# DOWN held slows the playback to one frame per 45 ms, so that the polling
# below sees the short run for a few seconds.
xdotool keydown Down
wait_until 20 map_view_shown || { xdotool keyup Down; fail "R did not show the replay's map view"; }
no_box_shown || { xdotool keyup Down; fail "a message box opened instead of the replay"; }
# The replay's status line has no border line at y = 200.
[ "$(count 0 200 599 200 "$LIGHT_BLUE")" -lt 100 ] || { xdotool keyup Down; fail "the replay draws the flight's border line"; }
xdotool keyup Down
# "END OF REPLAY" in yellow and red, or already the selection screen again.
end_or_selection() {
    shoot || return 1
    [ "$(count 100 55 520 110 "$RED")" -ge 1000 ] && [ "$(count 100 55 520 110 "$YELLOW")" -ge 100 ] && return 0
    [ "$(count 319 0 320 215 "$LIGHT_BLUE")" -ge 400 ]
}
wait_until 60 end_or_selection || fail "the replay did not end"
wait_until 30 selection_shown || fail "the selection screen did not come back after the replay"
game_alive || fail "the game ended during the replay"

note "ESC ends the program with status 0"
send_keys "$GAME_WINDOW" Escape
expect_exit_status 0
note "passed"
