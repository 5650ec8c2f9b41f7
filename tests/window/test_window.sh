#!/bin/bash
# The window: its opening size (the largest whole scale that fits the
# screen, the size it last had, --scale); the field scaled by whole factors
# and centred on black as the window is resized, shown again when uncovered,
# through both presenters (the window's buffer, as under Xvfb, and SDL's
# OpenGL renderer); F11 without a window manager; the icon; F12 screenshots
# and their note; a message box at start-up; closing the window.
# SPDX-License-Identifier: MIT
source "$(dirname "$0")/lib.sh"
setup_window_test "$@"
H2="$WORK_DIR/help2x.png" MID="$WORK_DIR/middle.png"
$CONVERT "$HELP" -scale 200% "$H2" && $CONVERT "$HELP" -crop 400x200+100+8 +repage "$MID" || fail "convert failed"

# True when the window is W x H and shows the picture at (x, y), black around it.
shows() {
    shoot && [ "$($CONVERT "$SHOT" -format '%wx%h' info:)" = "$1" ] || return 1
    local w h
    read -r w h <<<"$($CONVERT "$2" -format '%w %h' info:)"
    $CONVERT "$SHOT" -crop "${w}x$h+$3+$4" +repage "$WORK_DIR/part.png" && alike "$WORK_DIR/part.png" "$2" 0.02 &&
        [ "$($CONVERT "$SHOT" -fill black -draw "rectangle $3,$4 $(($3 + w - 1)),$(($4 + h - 1))" -format '%[fx:maxima]' info:)" = 0 ]
}
# The icon's pixels at the given x,y as AARRGGBB, after its size.
icon_at() {
    local v
    read -r -a v <<<"$(xprop -id "$GAME_WINDOW" -notype -f _NET_WM_ICON 32c _NET_WM_ICON | sed 's/^[^=]*=//; s/,//g')"
    echo -n "${v[0]}x${v[1]}"
    for xy; do printf ' %08X' "${v[2 + ${xy#*,} * 32 + ${xy%,*}]}"; done
}

# Each presenter starts with its own icon: the drawn ship (clear corner,
# opaque middle), then Pictures/icon.bmp scaled down. The first window opens
# at twice the field (three times would not fit 1600 x 1200), the second at
# the size the first ended with.
for presenter in default opengl; do
    at="0,0 17,16" want="32x32 00000000 FF*" opens=1200x432
    if [ $presenter = opengl ]; then
        opens=600x216
        export SDL_RENDER_DRIVER=opengl
        $CONVERT -size 64x64 xc:red -fill blue -draw "rectangle 32,0 63,63" -type TrueColor \
            "BMP3:$GAME_DIR/Pictures/icon.bmp" || fail "convert could not make icon.bmp"
        at="0,0 31,31" want="32x32 FFFF0000 FF0000FF"
    fi
    start_game
    size=$(xwininfo -id "$GAME_WINDOW" | awk '/Width:/ {w = $2} /Height:/ {print w "x" $2}')
    [ "$size" = $opens ] || fail "the window opened at $size, not $opens"
    [[ $(icon_at $at) == $want ]] || fail "icon pixels $(icon_at $at), expected $want"
    xdotool windowmove "$GAME_WINDOW" 0 0
    send_keys F1
    while read -r size picture x y; do
        xdotool windowsize "$GAME_WINDOW" "${size%x*}" "${size#*x}"
        wait_until 20 shows "$size" "$picture" "$x" "$y" || fail "a $size window does not show $picture at ($x, $y)"
    done <<<"600x216 $HELP 0 0
1200x432 $H2 0 0
1300x500 $H2 50 34
400x200 $MID 0 0
600x216 $HELP 0 0"
    xmessage -geometry 800x400+0+0 "over the game" >/dev/null 2>&1 &
    cover=$!
    wait_until 20 not help_shown || fail "the covering window did not appear"
    kill $cover
    wait_until 20 help_shown || fail "the field is not shown again when uncovered"
    stop_game
done
unset SDL_RENDER_DRIVER

# Pictures/icon.png comes first and keeps its transparency. The window opens
# at 600 x 216 again, the size the last one ended with.
$CONVERT -size 32x32 xc:none -fill lime -draw "rectangle 0,0 15,31" "PNG32:$GAME_DIR/Pictures/icon.png"
start_game
[ "$(icon_at 3,5 28,5)" = "32x32 FF00FF00 00000000" ] || fail "icon from icon.png: $(icon_at 3,5 28,5)"

# F12 writes the field as shown to Screenshots/quillrun-YYYYMMDD-HHMMSS.png.
after "send_keys F1" "no help picture" help_shown
# A note says so over the window for a while; the shot never holds it.
after "send_keys F12" "no note on screen after F12" note_shown
wait_until 20 compgen -G "$GAME_DIR/Screenshots/quillrun-*.png" >/dev/null || fail "no screenshot written"
shots=$(ls "$GAME_DIR/Screenshots")
[[ $shots =~ ^quillrun-20[0-9]{6}-[0-2][0-9][0-5][0-9][0-6][0-9]\.png$ ]] || fail "Screenshots holds $shots"
wait_until 20 not note_shown || fail "the note stays on screen"
alike "$GAME_DIR/Screenshots/$shots" "$SHOT" 0.001 || fail "the screenshot is not the window"
# A screenshot that cannot be written: one line on standard error and the
# note, the game goes on.
rm -r "$GAME_DIR/Screenshots" && : >"$GAME_DIR/Screenshots"
after "send_keys F12" "no line on standard error about the screenshot" grep -q screenshot "$WORK_DIR/game.log"
wait_until 20 note_shown || fail "no note on screen after a failed screenshot"
after "send_keys F1" "the game does not answer keys after a failed screenshot" not help_shown

# F11 without a window manager: the window covers the screen and returns to
# its size, the field drawn whole each time. Full screen is kept for the
# next start, whose window out of it is --scale's size.
send_keys F1
while read -r action size picture x y; do
    if [ $action = restart ]; then
        close_window && start_game --scale 2 && send_keys F1
    else
        send_keys F11
    fi
    wait_until 20 shows $size $picture $x $y || fail "after $action no $size window showing $picture at ($x, $y)"
done <<<"F11 1600x1200 $H2 200 384
F11 600x216 $HELP 0 0
F11 1600x1200 $H2 200 384
restart 1600x1200 $H2 200 384
F11 1200x432 $H2 0 0"

# A box raised at start-up is seen on screen: here the player's folder cannot
# be made, a file standing in its way.
close_window
: >"$WORK_DIR/file"
XDG_DATA_HOME="$WORK_DIR/file" start_game --data-dir "$GAME_DIR" --scale 1
wait_until 20 box_shown && [ "$(count 48 88 560 120 EEEDFE)" -ge 100 ] || fail "no message box with its text at start"
send_keys Return
wait_until 20 selection_shown || fail "no selection screen after the box"

# The window's close button ends the game with status 0.
close_window
