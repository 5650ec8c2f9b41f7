#!/bin/bash
# Input in the window: real keys through X, the gamepad (SDL's virtual
# controller, worked through the test-pad file), and the message box and
# name dialog drawn in the window, whose keys never reach the game.
# SPDX-License-Identifier: MIT
source "$(dirname "$0")/lib.sh"
setup_window_test "$@"

# Map 1 is a short open cave whose record, 0 by "Old" (masked with 183 as the
# catalogue keeps it), any run beats; map 2 has no picture; maps 3 to 50 make
# the list long.
$CONVERT -size 700x200 xc:black -type TrueColor "BMP3:$GAME_DIR/Maps/open.bmp" || fail "no map"
write_catalogue() {
    {
        printf '[01]\r\nFile=open.bmp\r\nWidth=300\r\nName=Open\r\nScoreBest=\x97\x87\r\nScoreName=\xf8\xdb\xd3\r\n'
        printf '[02]\r\nFile=missing.bmp\r\nWidth=300\r\nName=Ox\r\n'
        for k in $(seq 3 50); do printf '[%02d]\r\nFile=open.bmp\r\nWidth=300\r\nName=Cave Number %d\r\n' "$k" "$k"; done
    } >"$GAME_DIR/Maps/Maps.ini"
}
name_is() {
    python3 -c 'import re, sys; m = re.search(rb"ScoreName=([^\r]*)", open(sys.argv[1], "rb").read())
sys.exit(bytes(c ^ 183 for c in m[1]).decode("cp1252") != sys.argv[2])' "$GAME_DIR/Maps/Maps.ini" "$1"
}
# The selected map: 1 (no row above it), 2 (its pale name is short) or 3+.
on_map() {
    shoot || return 1
    if [ "$(count 0 84 318 95 8080FF)" = 0 ]; then [ "$1" = 1 ]
    elif [ "$(count 0 97 318 107 EEEDFE)" -lt 120 ]; then [ "$1" = 2 ]
    else [ "$1" = 3+ ]; fi
}
paused() { shoot && [ "$(count 190 60 420 110 FF0000)" -ge 1000 ]; }

write_catalogue
pad attach
start_game --scale 1
# Keys: keypad 2 selects no map, main-row 2 selects map 2.
after "send_keys KP_2 Return" "keypad 2 and ENTER did not start a run on map 1" run_shown
after "send_keys Escape 2 Return" "main-row 2 and ENTER did not open the message box for map 2" box_shown
# The message box, centred in the window, takes the keys typed meanwhile.
[ "$(count 41 69 41 87 103080) $(count 41 0 41 215 103080)" = "19 19" ] || fail "the box's title bar is not at rows 69 to 87"
after "send_keys h Return" "Return did not close the box" not box_shown
# An 'h' that reached the game would have shown help, which F1 now hides.
after "send_keys F1" "the key typed into the box reached the game" help_shown

# The pad: the D-pad and stick step through the list, a held direction repeats.
after "send_keys F1 1" "main-row 1 did not select map 1" on_map 1
while read -r kind name press seconds release map; do
    pad "$kind" "$name" "$press"
    sleep "$seconds"
    pad "$kind" "$name" "$release"
    wait_until 20 on_map "$map" && sleep 1 && on_map "$map" || fail "$kind $name at $press for $seconds s: not on map $map"
done <<'EOF'
button dpdown down 0.2 up 2
button dpup down 0.2 up 1
axis lefty 30000 0.2 0 2
axis lefty -30000 0.2 0 1
button dpdown down 2 up 3+
EOF
send_keys 2
# A opens the box for map 2 and B closes it without reaching the game.
after "press a" "A on map 2 did not open the box" box_shown
after "press b" "B did not close the box" not box_shown
sleep 1
game_alive || fail "the B pressed into the box reached the game"
# A starts a run on map 1, Start pauses and resumes it, B leaves it.
send_keys 1
for step in "a run_shown" "start paused" "start not paused" "b selection_shown"; do
    after "press ${step%% *}" "pad: after ${step%% *} not ${step#* }" ${step#* }
done

# Flies map 1 to its end, its record of 0 set again; the first steering key
# starts the run. The name dialog opens with "Old" selected.
fly() {
    wait_until 30 selection_shown || fail "no selection screen"
    write_catalogue
    after "send_keys Return" "ENTER did not start a run" run_shown
    send_keys Up
    wait_until 60 box_shown || fail "no name dialog at the end of the run"
}
# The name dialog: typing replaces the selected default; the editing keys.
fly
# Characters off the keyboard map are typed slowly, so that the game reads
# each before xdotool maps its key back. The 'h' would show help in the game.
send_keys Z x o h BackSpace
LC_ALL=C.UTF-8 xdotool type --delay 250 'ë'
send_keys Home Right Delete End BackSpace
LC_ALL=C.UTF-8 xdotool type --delay 250 'ë'
send_keys Left Left Left Right shift+Right Delete Return
wait_until 30 name_is 'Zë' || fail "the name stored is not 'Zë'"
# ESC cancels the dialog (the name is then 'Me'); an ESC that reached the game
# would end it before the next run.
fly
send_keys Escape
wait_until 30 name_is Me || fail "the name stored after ESC is not 'Me'"
# Characters a record cannot keep are refused with a hint, which the next
# character taken clears, and the name is not taken while it ends in one the
# catalogue would trim; the pad's A accepts. "º" masks to CR; "—" to a blank.
hint_shown() { shoot && [ "$(count 48 133 560 155 FFFF00)" -ge 20 ]; }
fly
LC_ALL=C.UTF-8 xdotool type --delay 250 'Ana & Zeº'
wait_until 10 hint_shown || fail "no hint after typing 'º'"
LC_ALL=C.UTF-8 xdotool type --delay 250 ' 9—'
wait_until 10 not hint_shown || fail "the hint stayed after ' 9—' was typed"
press a
wait_until 10 hint_shown || fail "no hint for the name ending in '—'"
send_keys BackSpace
press a
wait_until 30 name_is 'Ana & Ze 9' || fail "the name stored is not 'Ana & Ze 9'"

# The window's close button while a box is open ends the game with status 0.
wait_until 30 selection_shown || fail "no selection screen after the run"
after "send_keys 2 Return" "no message box for map 2" box_shown
close_window
