#!/bin/bash
# A run as the player sees it in the window: the selection screen with its
# highlighted row, DOWN moving the highlight, ENTER starting a run with its
# status line, 'P' pausing and resuming it, and ESC going back to the list.
# Every check counts exact colours in known boxes of a screenshot.
source "$(dirname "$0")/lib.sh"
setup_window_test "$@"

# Two maps whose names differ greatly in length, so the drawn extent of a
# row tells which map it shows. Map 2 is wholly open: its view is black
# everywhere, and nothing in it can be mistaken for a message or a line.
make_picture "$GAME_DIR/Maps/rocky.bmp" 1000x200 xc:black -fill '#808080' \
    -draw "rectangle 0,0 999,20" -draw "rectangle 0,180 999,199" -type TrueColor
"$CONVERT" -size 1000x200 xc:black -type TrueColor "BMP3:$GAME_DIR/Maps/open.bmp" ||
    fail "convert could not make the open map"
printf '[01]\r\nFile=rocky.bmp\r\nWidth=1000\r\nName=Longest Cavern Of All\r\n[02]\r\nFile=open.bmp\r\nWidth=1000\r\nName=Ox\r\n' \
    >"$GAME_DIR/Maps/Maps.ini"

PALE=EEEDFE        # selected row (0xFEEDEE as 0x00BBGGRR)
LIGHT_BLUE=8080FF  # other rows, divider, lines (0xFF8080)
YELLOW=FFFF00      # 0x00FFFF
RED=FF0000         # 0x0000FF
SHOT="$WORK_DIR/shot.png"

stats() { colour_stats "$SHOT" "$@"; }
max_x() { stats "$@" | awk '{print $3}'; }

# The divider of the selection screen: a light blue line two pixels wide at
# x = 319..320, over the whole height.
divider_shown() { [ "$(count 319 0 320 215 "$LIGHT_BLUE")" -ge 400 ]; }
selection_shown() { shoot && divider_shown; }

start_game
wait_until 30 selection_shown || fail "the selection screen with its divider did not appear"

note "after start-up map 1 is the highlighted row"
# Bold pale text only in the row between the lines at y = 96 and 108.
read -r pale minX longWidth minY maxY <<<"$(stats 0 0 318 215 "$PALE")"
[ "$pale" -ge 100 ] || fail "only $pale pale blue-white pixels in the list"
[ "$minY" -gt 96 ] && [ "$maxY" -lt 108 ] ||
    fail "the pale blue-white text spans y = $minY..$maxY, not between the lines at 96 and 108"
[ "$(count 0 96 318 96 "$LIGHT_BLUE")" -ge 300 ] || fail "no light blue line at y = 96"
[ "$(count 0 108 318 108 "$LIGHT_BLUE")" -ge 300 ] || fail "no light blue line at y = 108"
# Map 1 is first, so no row above; map 2's short name in light blue below.
[ "$(count 0 84 318 95 "$LIGHT_BLUE")" = 0 ] || fail "a row is drawn above map 1"
shortWidth=$(max_x 0 109 318 120 "$LIGHT_BLUE")
[ "$shortWidth" -gt 5 ] || fail "no row for map 2 below the selected row"
[ "$longWidth" -gt $((shortWidth + 60)) ] ||
    fail "the selected row (to x = $longWidth) is not map 1's long name (map 2's row ends at x = $shortWidth)"

note "DOWN moves the highlight to map 2"
send_keys "$GAME_WINDOW" Down
# The bold row now ends where map 2's plain row ended before (bold glyphs
# are a little wider), and map 1's long name moved up one row.
moved_down() {
    shoot || return 1
    local width
    width=$(max_x 0 97 318 107 "$PALE")
    [ "$width" -ge $((shortWidth - 2)) ] && [ "$width" -le $((shortWidth + 8)) ]
}
wait_until 20 moved_down ||
    fail "after DOWN the selected row ends at x = $(max_x 0 97 318 107 "$PALE"), expected about $shortWidth"
aboveWidth=$(max_x 0 84 318 95 "$LIGHT_BLUE")
[ "$aboveWidth" -gt $((longWidth - 20)) ] && [ "$aboveWidth" -le "$longWidth" ] ||
    fail "the row above the selection ends at x = $aboveWidth, not map 1's long name (x = $longWidth)"
[ "$(count 0 109 318 120 "$LIGHT_BLUE")" = 0 ] || fail "a row is drawn below map 2, the last map"

note "ENTER starts a run with its status line"
send_keys "$GAME_WINDOW" Return
# "Shield:" in yellow at the left of the status rows, the light blue border
# over the whole width at y = 200, and the selection screen's divider gone
# from the (black) view of map 2.
status_line_shown() {
    shoot || return 1
    [ "$(count 0 201 36 215 "$YELLOW")" -ge 40 ] &&
        [ "$(count 0 200 599 200 "$LIGHT_BLUE")" = 600 ] &&
        [ "$(count 319 0 320 199 "$LIGHT_BLUE")" = 0 ]
}
wait_until 20 status_line_shown ||
    fail "no status line: $(count 0 201 36 215 "$YELLOW") yellow pixels at 'Shield:', $(count 0 200 599 200 "$LIGHT_BLUE") light blue at y = 200"
# "Extra Fuel:" and "Score: " are yellow too.
[ "$(count 165 201 225 215 "$YELLOW")" -ge 40 ] || fail "no yellow 'Extra Fuel:' label at x = 170"
[ "$(count 355 201 455 215 "$YELLOW")" -ge 40 ] || fail "no yellow score text at x = 360"
[ "$(count 190 60 420 110 "$RED")" = 0 ] || fail "red pixels in the message box before the pause"

note "'P' shows PAUSED in yellow and red"
send_keys "$GAME_WINDOW" p
paused_shown() {
    shoot || return 1
    [ "$(count 190 60 420 110 "$YELLOW")" -ge 200 ] && [ "$(count 190 60 420 110 "$RED")" -ge 1000 ]
}
wait_until 20 paused_shown ||
    fail "no PAUSED: $(count 190 60 420 110 "$YELLOW") yellow and $(count 190 60 420 110 "$RED") red pixels in (190..420, 60..110)"
# The message lies over the view, the status line stays.
[ "$(count 0 201 36 215 "$YELLOW")" -ge 40 ] || fail "the status line vanished during the pause"

note "'P' again resumes the run"
send_keys "$GAME_WINDOW" p
# The field is cleared again every pass, so the message goes.
resumed() { shoot && [ "$(count 190 60 420 110 "$RED")" = 0 ] && [ "$(count 0 200 599 200 "$LIGHT_BLUE")" = 600 ]; }
wait_until 20 resumed || fail "PAUSED is still shown after the second 'P'"

note "ESC returns to the list with map 2 still selected"
send_keys "$GAME_WINDOW" Escape
wait_until 20 selection_shown || fail "the selection screen's divider did not come back after ESC"
game_alive || fail "ESC during a run ended the program"
width=$(max_x 0 97 318 107 "$PALE")
[ "$width" -ge $((shortWidth - 2)) ] && [ "$width" -le $((shortWidth + 8)) ] ||
    fail "after the run the selected row ends at x = $width, expected map 2's (about $shortWidth)"

note "ESC on the selection screen ends the program with status 0"
send_keys "$GAME_WINDOW" Escape
expect_exit_status 0
note "passed"
