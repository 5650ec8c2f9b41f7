#!/bin/bash
# The record holder's name is asked for inside the game window: the old
# holder's name stands selected in the edit field so that typing replaces
# it, the editing keys work, Enter accepts, and the name lands in Maps.ini.
source "$(dirname "$0")/lib.sh"
setup_window_test "$@"

# A short, wholly open cave; its record of 0 is held by "Old" (masked with
# 183, as the catalogue stores names), so any score beats it.
"$CONVERT" -size 700x200 xc:black -type TrueColor "BMP3:$GAME_DIR/Maps/open.bmp" ||
    fail "convert could not make the map"
write_catalogue() {
    python3 - "$GAME_DIR/Maps/Maps.ini" <<'PY' || fail "could not write Maps.ini"
import sys
def mask(text):
    return bytes(c ^ 183 for c in text)
with open(sys.argv[1], "wb") as f:
    f.write(b"[01]\r\nFile=open.bmp\r\nWidth=300\r\nName=Open\r\n"
            b"ScoreBest=" + mask(b" 0") + b"\r\nScoreName=" + mask(b"Old") + b"\r\n")
PY
}
write_catalogue

start_game
note "fly a run to its end"
send_keys "$GAME_WINDOW" Return
wait_until 20 run_shown || fail "ENTER did not start a run"
send_keys "$GAME_WINDOW" Up

# The dialog's title bar is the one place drawn in this blue.
dialog_open() {
    screenshot "$GAME_WINDOW" "$WORK_DIR/dialog.png"
    [ "$(pixel_hex "$WORK_DIR/dialog.png" 42 39)" = "103080" ]
}
wait_until 60 dialog_open || fail "no name dialog appeared in the game window"

# Characters outside the keyboard map are typed through a key xdotool maps
# for the moment; the slower pace leaves the game time to read the key
# before the map is restored.
note "type over the selected default, then edit"
# The 'h' typed and erased here would toggle the help screen if its key
# reached the game.
send_keys "$GAME_WINDOW" Z x o h BackSpace
LC_ALL=C.UTF-8 xdotool type --delay 250 'ë'
send_keys "$GAME_WINDOW" Home Right Delete End BackSpace
LC_ALL=C.UTF-8 xdotool type --delay 250 'ë'
send_keys "$GAME_WINDOW" Left Left Left Right shift+Right Delete Return

dialog_closed() { ! dialog_open; }
wait_until 30 dialog_closed || fail "the dialog did not close on Return"

stored_name() {
    python3 - "$GAME_DIR/Maps/Maps.ini" <<'PY'
import sys
for line in open(sys.argv[1], "rb").read().split(b"\r\n"):
    if line.startswith(b"ScoreName="):
        print(bytes(c ^ 183 for c in line[len(b"ScoreName="):]).decode("cp1252"))
PY
}
name_stored() { [ "$(stored_name)" = "Zë" ]; }
wait_until 30 name_stored || fail "Maps.ini holds the name '$(stored_name)', expected 'Zë'"
game_alive || fail "the game ended after the dialog"

note "after the game-over screen the selection screen follows, not help"
# The selection screen's background is green at the bottom left, the help
# picture blue there.
selection_shown() {
    screenshot "$GAME_WINDOW" "$WORK_DIR/after.png"
    [ "$("$CONVERT" "$WORK_DIR/after.png" -format '%[fx:p{10,200}.g>0.5 && p{10,200}.b<0.25]' info:)" = 1 ]
}
wait_until 30 selection_shown || fail "the selection screen did not come back after the run"

note "ESC cancels the dialog and never reaches the game"
# The catalogue is read again at the end of every run, so the record of 0
# written now counts for the next one.
write_catalogue
send_keys "$GAME_WINDOW" Return
wait_until 20 run_shown || fail "ENTER did not start a run"
send_keys "$GAME_WINDOW" Up
wait_until 60 dialog_open || fail "no name dialog appeared for the second record"
send_keys "$GAME_WINDOW" Escape
wait_until 30 dialog_closed || fail "the dialog did not close on ESC"
# A cancelled dialog gives an empty name, which the record keeps as "Me".
name_is_me() { [ "$(stored_name)" = "Me" ]; }
wait_until 30 name_is_me || fail "Maps.ini holds the name '$(stored_name)' after a cancel, expected 'Me'"
wait_until 30 selection_shown || fail "the selection screen did not come back after the second run"
# Its release reaching the game would have ended the program here.
game_alive || fail "the ESC that cancelled the dialog reached the game"

note "a character a record cannot store is refused with a hint"
# "º" masks to CR and "—" to a blank the reader trims at the end of a value.
write_catalogue
send_keys "$GAME_WINDOW" Return
wait_until 20 run_shown || fail "ENTER did not start a run"
send_keys "$GAME_WINDOW" Up
wait_until 60 dialog_open || fail "no name dialog appeared for the third record"
hint_shown() {
    screenshot "$GAME_WINDOW" "$WORK_DIR/hint.png"
    [ "$(colour_count_in "$WORK_DIR/hint.png" 48 133 560 155 FFFF00)" -ge 20 ]
}
hint_shown && fail "a hint is shown before anything was typed"
LC_ALL=C.UTF-8 xdotool type --delay 250 'Ana & Zeº 9'
wait_until 10 hint_shown || fail "no hint after typing 'º'"
hint_region() { "$CONVERT" "$WORK_DIR/hint.png" -crop 512x23+48+133 +repage "$1"; }
hint_region "$WORK_DIR/hint-first.png"
LC_ALL=C.UTF-8 xdotool type --delay 250 '—'
send_keys "$GAME_WINDOW" Return
# The hint now names the dash, so its pixels change.
hint_changed() {
    hint_shown && hint_region "$WORK_DIR/hint-now.png" &&
        ! below "$(picture_distance "$WORK_DIR/hint-first.png" "$WORK_DIR/hint-now.png")" 0.001
}
wait_until 10 hint_changed || fail "no hint for the '—' at the end"
dialog_open || fail "the dialog took a name ending in '—'"
send_keys "$GAME_WINDOW" BackSpace Return
wait_until 30 dialog_closed || fail "the dialog did not close on Return"
name_is_typed() { [ "$(stored_name)" = "Ana & Ze 9" ]; }
wait_until 30 name_is_typed || fail "Maps.ini holds the name '$(stored_name)', expected 'Ana & Ze 9'"

note "the pad's A accepts the default name"
wait_until 30 selection_shown || fail "the selection screen did not come back after the third run"
write_catalogue
pad attach
send_keys "$GAME_WINDOW" Return
wait_until 20 run_shown || fail "ENTER did not start a run"
send_keys "$GAME_WINDOW" Up
wait_until 60 dialog_open || fail "no name dialog appeared for the fourth record"
pad button a down
pad button a up
wait_until 30 dialog_closed || fail "the dialog did not close on the pad's A"
name_is_old() { [ "$(stored_name)" = "Old" ]; }
wait_until 30 name_is_old || fail "Maps.ini holds the name '$(stored_name)', expected the default 'Old'"
wait_until 30 selection_shown || fail "the selection screen did not come back after the fourth run"

note "ESC ends the program with status 0"
send_keys "$GAME_WINDOW" Escape
expect_exit_status 0
note "passed"
