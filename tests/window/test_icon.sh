#!/bin/bash
# The window's own 32 x 32 icon: Pictures/icon.png (or icon.bmp) of the
# program folder, scaled to 32 x 32, or else the ship drawn by the program.
source "$(dirname "$0")/lib.sh"
setup_window_test "$@"

# The icon's pixels as "W H p0 p1 ...", 32-bit ARGB in decimal.
icon_values() {
    xprop -id "$1" -notype -f _NET_WM_ICON 32c _NET_WM_ICON |
        sed -e 's/^[^=]*= *//' -e 's/,//g'
}

note "without an icon picture the drawn ship is used"
start_game
read -r -a icon <<<"$(icon_values "$GAME_WINDOW")"
[ "${icon[0]:-}" = 32 ] && [ "${icon[1]:-}" = 32 ] || fail "icon is not 32 x 32: ${icon[*]:0:2}"
[ "${#icon[@]}" -eq $((2 + 32 * 32)) ] || fail "icon holds ${#icon[@]} values"
distinct=$(printf '%s\n' "${icon[@]:2}" | sort -u | wc -l)
[ "$distinct" -ge 3 ] || fail "the drawn icon has only $distinct colour(s)"
send_keys "$GAME_WINDOW" Escape
expect_exit_status 0

note "Pictures/icon.bmp is scaled to 32 x 32"
"$CONVERT" -size 64x64 xc:'#ff0000' -fill '#0000ff' -draw "rectangle 32,0 63,63" -type TrueColor \
    "BMP3:$GAME_DIR/Pictures/icon.bmp" || fail "convert could not make icon.bmp"
start_game
read -r -a icon <<<"$(icon_values "$GAME_WINDOW")"
[ "${icon[0]:-}" = 32 ] && [ "${icon[1]:-}" = 32 ] || fail "icon is not 32 x 32: ${icon[*]:0:2}"
red=$((0xFFFF0000)) blue=$((0xFF0000FF))
for y in 0 15 31; do
    [ "${icon[2 + y * 32 + 0]}" = "$red" ] || fail "icon pixel (0, $y) is ${icon[2 + y * 32]}, expected red"
    [ "${icon[2 + y * 32 + 31]}" = "$blue" ] || fail "icon pixel (31, $y) is not blue"
done
send_keys "$GAME_WINDOW" Escape
expect_exit_status 0

note "Pictures/icon.png takes precedence and keeps its transparency"
"$CONVERT" -size 32x32 xc:none -fill '#00ff00' -draw "rectangle 0,0 15,31" \
    "PNG32:$GAME_DIR/Pictures/icon.png" || fail "convert could not make icon.png"
start_game
read -r -a icon <<<"$(icon_values "$GAME_WINDOW")"
green=$((0xFF00FF00))
[ "${icon[2 + 5 * 32 + 3]}" = "$green" ] || fail "icon pixel (3, 5) is ${icon[2 + 5 * 32 + 3]}, expected green"
alpha=$(( (${icon[2 + 5 * 32 + 28]} >> 24) & 255 ))
[ "$alpha" = 0 ] || fail "icon pixel (28, 5) has alpha $alpha, expected transparent"
send_keys "$GAME_WINDOW" Escape
expect_exit_status 0
note "passed"
