#!/usr/bin/env bash
# Makes the seed corpus of the fuzz targets from the shipped content and from
# files the driver writes:
#   make_corpus.sh GAME_DIR QUILLRUN_SIM OUT_DIR [SCRIPTS_DIR]
# GAME_DIR is a built program folder (Maps/, Pictures/); OUT_DIR gets one
# folder per target (catalogue, replay, picture, script, upload, proof). SCRIPTS_DIR, when
# given, holds driver scripts kept by the tests (QUILLRUN_KEEP_SCRIPTS).
# Pictures are made small (cut-outs in every BMP and JPEG kind ImageMagick
# writes), since the fuzzer mutates small inputs many times faster.
# SPDX-License-Identifier: MIT
set -euo pipefail

game="$1" sim="$2" out="$3" kept="${4:-}"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
[ -f "$game/Maps/Maps.ini" ] || { echo "no Maps/Maps.ini in $game" >&2; exit 1; }
mkdir -p "$out"/{catalogue,replay,picture,script,upload,proof}
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# A record on the first cave and on the second: Maps.ini with masked scores
# and names, and the replay files of both runs.
mkdir -p "$work/game/Replays"
cp -r "$game/Maps" "$game/Pictures" "$work/game/"
record="$work/record.txt"
{ printf '1 tap ENTER\ndialog Tëster "Q"\n'
  for d in $(seq 2 8 2400); do printf '%d down UP\n%d up UP\n' "$d" $((d + 3)); done; } >"$record"
"$sim" --game-dir "$work/game" --script "$record" --until 3000 >/dev/null
second="$work/second.txt"
printf '1 tap 2\n2 tap ENTER\ndialog-cancel\n3 down DOWN\n40 up DOWN\n' >"$second"
"$sim" --game-dir "$work/game" --script "$second" --until 3000 >/dev/null

# Maps.ini: shipped, with records, and cut down to one or two maps in other
# line ends and with an [Online] section.
cp "$game/Maps/Maps.ini" "$out/catalogue/shipped.ini"
cp "$work/game/Maps/Maps.ini" "$out/catalogue/records.ini"
awk '/^\[03\]/{exit} {print}' "$work/game/Maps/Maps.ini" >"$out/catalogue/two-maps.ini"
tr -d '\n' <"$out/catalogue/two-maps.ini" >"$out/catalogue/cr-only.ini"
tr -d '\r' <"$out/catalogue/two-maps.ini" >"$out/catalogue/lf-only.ini"
{ printf '\xEF\xBB\xBF; players edit this file\r\n[Online]\r\nServer=scores.example:8080\r\nSite=\r\n'
  awk '/^\[02\]/{exit} {print}' "$work/game/Maps/Maps.ini"; } >"$out/catalogue/online.ini"

# Replay files: both records, and the start of the longer one.
for f in "$work/game/Replays"/*.replay; do cp "$f" "$out/replay/$(basename "$f")"; done
head -c 2000 "$work/game/Replays/Map01.replay" >"$out/replay/start.replay"
printf 'pX5\r\nSc7\r\n--END--\r\nLastFrame=5\r\n' >"$out/replay/tiny.replay"
cp "$work/game/Replays/Map01.replay" "$out/replay/start.replay" "$out/proof/"

# Pictures: the ship as shipped, cut-outs of a cave and of the help picture.
cp "$game/Pictures/Ship.jpg" "$out/picture/ship.jpg"
convert "$game/Maps/Cave01.bmp" -crop 40x24+0+88 +repage "$work/cave.png"
convert "$game/Pictures/Help.jpg" -crop 40x24+200+90 +repage "$work/help.png"
convert "$work/cave.png" -type palette "bmp3:$out/picture/cave-8bit.bmp"
convert "$work/cave.png" -type truecolor "bmp3:$out/picture/cave-24bit.bmp"
kinds=(
  "bmp3 palette:-type palette" "bmp3 24bit:-type truecolor" "bmp2 os2:-type palette" "bmp3 4bit:-colors 16"
  "bmp3 1bit:-monochrome" "bmp v5 24bit:-type truecolor" "bmp v4 24bit:-type truecolor -define bmp:format=bmp4"
  "bmp v5 32bit:-type truecolormatte" "bmp rle8:-type palette -compress rle" "bmp rle4:-colors 16 -compress rle"
  "bmp rgb565:-type truecolor -define bmp:subtype=RGB565"
  "bmp argb1555:-type truecolormatte -define bmp:subtype=ARGB1555"
  "jpg baseline:-quality 90" "jpg progressive:-quality 75 -interlace JPEG" "jpg grey:-colorspace Gray"
  "jpg 420:-sampling-factor 2x2 -quality 50" "jpg arith:-define jpeg:arithmetic-coding=on"
  "jpg restart:-quality 80 -define jpeg:restart-interval=1"
)
for kind in "${kinds[@]}"; do
  label="${kind%%:*}" options="${kind#*:}" format="${kind%% *}"
  # shellcheck disable=SC2086
  convert "$work/help.png" $options "$format:$out/picture/help-${label// /-}.${format%[23]}" 2>/dev/null || true
done

# Scripts: the two above, those in the test sources' fixtures, and those the
# driver tests ran.
cp "$record" "$out/script/record.txt"
cp "$second" "$out/script/second.txt"
printf '# comment\r\n\xEF\xBB\xBF1 tap r\n2 down 37\n  4 up LEFT\t\nconfirm yes\ndialog\n9 close\n' >"$out/script/mixed.txt"
if [ -n "$kept" ] && [ -d "$kept" ]; then
  find "$kept" -type f -size -16k | head -n 300 | while read -r f; do cp "$f" "$out/script/kept-$(basename "$f")"; done
fi
# Upload queries (the text after "?" of score.php) as the game sends them:
# names in UTF-8 from the game, in Windows-1252 from older clients, markup
# characters left as typed; then other orders and forms, a name at the length
# limit, and requests the server refuses.
upload() { printf '%s' "$2" >"$out/upload/$1"; }
upload game 'id=1&nmn=First%20Flight&nsc=725&npn=Zo%C3%AB%20and%20J%C3%B6rg%20<b>&nsd=2026-12-06&nreplay=725'
upload code-page 'id=3&nmn=Caf%E9%20Noir&nsc=32767&npn=J%F6rg%20"Ace"%20%26%20Co%80&nsd=2024-02-29&nreplay=32767'
upload last-map "id=26&nmn=The%20Deep%20Well&nsc=0&npn=%E2%82%AC%F0%9F%9A%80%20'x'%3E&nsd=2026-12-08&nreplay=0"
upload other-forms 'nreplay=7&x=1&&npn=A+B&nsd=2000-01-01&nmn=%c3%a9&nsc=007&id=02&id%3D=3'
upload longest "id=9&nmn=$(printf 'x%.0s' $(seq 254))&nsc=5&npn=$(printf '%%C3%%A9%.0s' $(seq 254))&nsd=2026-01-31&nreplay=5"
upload refused 'id=3&id=4&nmn=%zz&nsc=32768&npn=a%00b&nsd=2026-02-30&nreplay=1'
upload malformed 'id=5&nmn=%C0%AF%ED%A0%80&nsc=1&npn=%F4%90%80%80%E2%82&nsd=2026-12-07&nreplay=1'
