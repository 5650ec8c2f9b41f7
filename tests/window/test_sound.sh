#!/bin/bash
# The sound as it leaves the program, recorded by SDL's disk audio driver:
# heard when the ship hits rock, silent after 'M', and still silent at the
# next start, since the switch is kept in Preferences.ini.
# SPDX-License-Identifier: MIT
source "$(dirname "$0")/lib.sh"
setup_window_test "$@"
cp -r "$2/Sounds" "$GAME_DIR/" || fail "no sounds"

# A cave open only in rows 100 and 101: the ship starts wedged in rock and
# loses shield every frame until the run ends, without a key to steer.
$CONVERT -size 1200x200 xc:gray -fill black -draw "rectangle 0,100 1199,101" -type TrueColor \
    "BMP3:$GAME_DIR/Maps/wedge.bmp" || fail "no map"
printf '[01]\r\nFile=wedge.bmp\r\nWidth=900\r\nName=Wedge\r\n' >"$GAME_DIR/Maps/Maps.ini"

export SDL_AUDIODRIVER=disk
# The loudest sample of the recording from byte $2 on (16-bit, one channel);
# 0 when the device was never opened.
loudest() {
    python3 -c 'import array, os, sys; f = sys.argv[1]; b = open(f, "rb").read() if os.path.exists(f) else b""
print(max(map(abs, array.array("h", b[int(sys.argv[2]) & ~1:])), default=0))' "$1" "${2:-0}"
}
# Starts a run and waits until it is over and the selection is back.
run_into_rock() {
    wait_until 20 selection_shown || fail "no selection screen"
    send_keys Return
    wait_until 20 run_shown || fail "the run did not start"
    wait_until 20 selection_shown || fail "the run did not end"
    sleep 0.5
}

export SDL_DISKAUDIOFILE="$WORK_DIR/heard.raw"
start_game --scale 1
run_into_rock
[ "$(loudest "$SDL_DISKAUDIOFILE")" -ge 3000 ] || fail "silent through the hits: loudest $(loudest "$SDL_DISKAUDIOFILE")"

send_keys m
wait_until 20 grep -q '^Muted=1' "$GAME_DIR/Preferences.ini" || fail "'M' is not kept in Preferences.ini"
sleep 0.5
from=$(stat -c %s "$SDL_DISKAUDIOFILE")
run_into_rock
[ "$(loudest "$SDL_DISKAUDIOFILE" "$from")" = 0 ] || fail "sound after 'M': loudest $(loudest "$SDL_DISKAUDIOFILE" "$from")"
stop_game

export SDL_DISKAUDIOFILE="$WORK_DIR/next.raw"
start_game --scale 1
run_into_rock
[ "$(loudest "$SDL_DISKAUDIOFILE")" = 0 ] || fail "the next start is not silent"
grep -q 'sound' "$WORK_DIR/game.log" && fail "a line about the sound on standard error"
stop_game
echo "sound: ok"
