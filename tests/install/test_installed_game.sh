#!/usr/bin/env bash
# The installed game: `cmake --install` into a scratch prefix made read-only,
# then the installed programs in the installed layout with XDG_DATA_HOME in a
# scratch folder: a record lands in the per-user Maps.ini and replay and a
# second start sees it; an older per-user Maps.ini gains the new shipped
# maps and keeps its records; an unwritable per-user folder gives one
# message and the game plays on; the installed files validate.
# Usage: test_installed_game.sh BUILD_DIR
# SPDX-License-Identifier: MIT
set -u
BUILD=$1
WORK=$(mktemp -d "${TMPDIR:-/tmp}/quillrun-install.XXXXXX")
trap 'chmod -R u+w "$WORK" 2>/dev/null; rm -rf "$WORK"' EXIT
PY=/usr/bin/python3

fail() {
    echo "FAIL: $*" >&2
    for f in out err; do [ -s "$WORK/$f.txt" ] && { echo "--- $f" >&2; cat "$WORK/$f.txt" >&2; }; done
    exit 1
}
note() { echo "-- $*"; }

PREFIX=$WORK/prefix
cmake --install "$BUILD" --prefix "$PREFIX" >"$WORK/out.txt" 2>"$WORK/err.txt" || fail "cmake --install failed"
SIM=$PREFIX/bin/quillrun-sim
DATA=$PREFIX/share/quillrun

note "the files are in their standard places"
expected=(bin/quillrun-sim share/quillrun/Maps/Maps.ini share/quillrun/Maps/Cave01.bmp share/quillrun/Maps/Cave26.bmp
    share/quillrun/Pictures/Ship.jpg share/quillrun/Pictures/background.jpg share/quillrun/Pictures/Help.jpg
    share/quillrun/Pictures/icon.png share/applications/org.quillrun.Quillrun.desktop
    share/metainfo/org.quillrun.Quillrun.metainfo.xml share/man/man6/quillrun.6.gz)
[ -x "$BUILD/game/quillrun" ] && expected+=(bin/quillrun)
for s in engine-up engine-down turbo brake hit game-over record select confirm upload; do expected+=("share/quillrun/Sounds/$s.wav"); done
for size in 16 32 48 64 128 256; do expected+=("share/icons/hicolor/${size}x${size}/apps/quillrun.png"); done
for f in "${expected[@]}"; do [ -e "$PREFIX/$f" ] || fail "$f is not installed"; done
# Each icon's size is checked by lintian in the package test.
[ -z "$(find "$PREFIX" -name '*test*' -o -name 'quillrun-make-content' -o -name Replays)" ] ||
    fail "tests, the generator or a Replays folder were installed: $(find "$PREFIX" -name '*test*' -o -name Replays)"
grep -aq '^ScoreBest' "$DATA/Maps/Maps.ini" && fail "the shipped Maps.ini holds records"
desktop-file-validate "$PREFIX/share/applications/org.quillrun.Quillrun.desktop" >"$WORK/out.txt" 2>&1 ||
    fail "desktop-file-validate refuses the desktop entry"
appstreamcli validate --pedantic --no-net "$PREFIX/share/metainfo/org.quillrun.Quillrun.metainfo.xml" >"$WORK/out.txt" 2>&1 ||
    fail "appstreamcli refuses the metainfo"
grep -q "<release version=\"$("$SIM" --version | cut -d' ' -f2)\"" "$PREFIX/share/metainfo/org.quillrun.Quillrun.metainfo.xml" ||
    fail "the metainfo's release is not the program's version"
zcat "$PREFIX/share/man/man6/quillrun.6.gz" | grep -q 'user.-dir' || fail "the man page does not describe --user-dir"

snapshot() { (cd "$PREFIX" && find . -printf '%p %s %m %T@\n' | sort && find . -type f -exec md5sum {} + | sort); }
chmod -R a-w "$PREFIX"
snapshot >"$WORK/before.txt"

# Runs the installed driver: script text, last dispatch, then environment
# assignments (XDG_DATA_HOME=...).
sim() {
    local script=$1 until=$2
    shift 2
    printf '%s\n' "$script" >"$WORK/script.txt"
    env HOME="$WORK/home" TMPDIR="$WORK/tmp" "$@" "$SIM" --script "$WORK/script.txt" --until "$until" \
        --trace "$WORK/trace.txt" >"$WORK/out.txt" 2>"$WORK/err.txt"
}
mkdir -p "$WORK/home" "$WORK/tmp"

# ENTER, then DOWN held: the ship bounces on the floor of the first cave
# until the shield is gone (the run ends before dispatch 140) with a score.
RECORD_RUN=$'dialog Tester\n1 tap ENTER\n2 down DOWN'

# The per-user Maps.ini's value of a key, unmasked.
record() {
    "$PY" - "$1" "$2" "$3" <<'PY'
import sys
path, section, key = sys.argv[1:]
current = None
for line in open(path, "rb").read().split(b"\r\n"):
    if line.startswith(b"["):
        current = line.strip(b"[]").decode()
    elif current == section and line.startswith(key.encode() + b"="):
        print(bytes(c ^ 183 for c in line[len(key) + 1:]).decode("latin-1").strip())
        break
PY
}

note "first start: the per-user folder is made from the shipped catalogue"
XDG=$WORK/xdg
sim "$RECORD_RUN" 150 XDG_DATA_HOME="$XDG" || fail "the installed driver ended with status $?"
USER_DIR=$XDG/quillrun
# The holder read back shows the per-user Maps.ini was made and the name asked for.
[ "$(record "$USER_DIR/Maps.ini" 01 ScoreName)" = Tester ] ||
    fail "the record's holder in the per-user Maps.ini is '$(record "$USER_DIR/Maps.ini" 01 ScoreName)'"
best=$(record "$USER_DIR/Maps.ini" 01 ScoreBest)
[ "${best:-0}" -gt 0 ] || fail "no best score stored"
grep -aq -- '--END--' "$USER_DIR/Replays/Map01.replay" || fail "no replay file in the per-user Replays folder"
note "record $best by Tester"

note "a second start sees the record: the same run no longer beats it"
cp "$WORK/out.txt" "$WORK/first.txt"
sim "$RECORD_RUN" 150 XDG_DATA_HOME="$XDG" || fail "the second start ended with status $?"
[ "$(wc -l <"$WORK/out.txt")" -lt "$(wc -l <"$WORK/first.txt")" ] ||
    fail "the second start asked for a name again: $(cat "$WORK/out.txt")"
[ "$(record "$USER_DIR/Maps.ini" 01 ScoreBest)" = "$best" ] || fail "the record changed"

note "the prefix is untouched"
snapshot >"$WORK/after.txt"
diff "$WORK/before.txt" "$WORK/after.txt" >/dev/null || fail "the prefix changed: $(diff "$WORK/before.txt" "$WORK/after.txt" | head -5)"

note "an older per-user Maps.ini gains the new maps and keeps its records and entries"
OLD=$WORK/old/quillrun
mkdir -p "$OLD"
"$PY" - "$DATA/Maps/Maps.ini" "$OLD/Maps.ini" <<'PY'
import sys
shipped, out = sys.argv[1:]
text = open(shipped, "rb").read()
# Maps 01..03 as an older version shipped them, a record on 02, and a cave of
# the player's own as 04.
head = text[:text.index(b"[04]")]
mask = lambda s: bytes(c ^ 183 for c in s)
head = head.replace(b"[03]", b"ScoreBest=" + mask(b" 777") + b"\r\nScoreName=" + mask(b"Old & Bold") + b"\r\n\r\n[03]", 1)
head += b"[04]\r\nFile=Mine.bmp\r\nWidth=900\r\nName=My own cave\r\n"
open(out, "wb").write(head)
PY
cp "$OLD/Maps.ini" "$WORK/old-maps.ini"
sim $'1 tap DOWN' 3 XDG_DATA_HOME="$WORK/old" || fail "the start with an older Maps.ini ended with status $?"
# The old file's bytes come first, unchanged: its record and its own cave are kept.
cmp -s -n "$(stat -c %s "$WORK/old-maps.ini")" "$WORK/old-maps.ini" "$OLD/Maps.ini" ||
    fail "the existing entries changed"
"$PY" - "$DATA/Maps/Maps.ini" "$OLD/Maps.ini" <<'PY' || fail "the new shipped maps were not added"
import sys
def sections(path):
    out, cur = {}, None
    for line in open(path, "rb").read().split(b"\r\n"):
        if line.startswith(b"["):
            cur = line.strip(b"[]").decode(); out.setdefault(cur, {})
        elif cur and b"=" in line:
            k, v = line.split(b"=", 1); out[cur].setdefault(k.decode(), v)
    return out
shipped, user = sections(sys.argv[1]), sections(sys.argv[2])
for k in range(5, 27):
    s = "%02d" % k
    for key in ("File", "Width", "Name"):
        assert user[s][key] == shipped[s][key], (s, key, user.get(s))
PY
cp "$OLD/Maps.ini" "$WORK/merged.ini"
sim $'1 tap DOWN' 3 XDG_DATA_HOME="$WORK/old" || fail "the next start ended with status $?"
cmp -s "$WORK/merged.ini" "$OLD/Maps.ini" || fail "a start with nothing new changed Maps.ini"

note "an unwritable per-user folder: one message naming it, and the game plays on"
: >"$WORK/not-a-folder"
sim $'1 tap ENTER\n3 tap UP' 20 XDG_DATA_HOME="$WORK/not-a-folder" || fail "the start ended with status $?"
[ "$(grep -c "^message: .*$WORK/not-a-folder/quillrun" "$WORK/out.txt")" = 1 ] ||
    fail "expected one message naming the folder"
awk '$1 == 20 { exit !($2 == -1 && $3 == -1) }' "$WORK/trace.txt" || fail "no run under way at dispatch 20"
[ -z "$(ls -A "$WORK/tmp")" ] || fail "the session's scratch folder was left behind: $(ls -A "$WORK/tmp")"

note "a moved prefix still finds its data"
chmod -R u+w "$PREFIX"
mv "$PREFIX" "$WORK/moved"
SIM=$WORK/moved/bin/quillrun-sim
sim $'1 tap DOWN' 3 XDG_DATA_HOME="$WORK/xdg-moved" || fail "the moved driver ended with status $?"
cmp -s "$WORK/xdg-moved/quillrun/Maps.ini" "$WORK/moved/share/quillrun/Maps/Maps.ini" ||
    fail "the moved prefix's catalogue was not found"

note "the command line"
for bin in "$WORK/moved/bin/quillrun" "$SIM"; do
    [ -x "$bin" ] || continue
    name=$(basename "$bin")
    [ "$("$bin" --version)" = "$name $("$SIM" --version | cut -d' ' -f2)" ] || fail "$name --version"
    "$bin" --help | grep -q -- '--user-dir' || fail "$name --help does not list --user-dir"
    for args in "--no-such-option" "--data-dir $WORK/nowhere" "--user-dir $WORK/nowhere" "--data-dir"; do
        # shellcheck disable=SC2086
        "$bin" $args >"$WORK/out.txt" 2>"$WORK/err.txt"
        status=$?
        [ "$status" = 2 ] && [ "$(wc -l <"$WORK/err.txt")" = 1 ] ||
            fail "$name $args: status $status, expected 2 with one line on standard error"
    done
done
if [ -x "$WORK/moved/bin/quillrun" ]; then
    note "no screen: one line saying so, status 1"
    env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER XDG_DATA_HOME="$WORK/xdg-moved" \
        timeout 60 "$WORK/moved/bin/quillrun" >"$WORK/out.txt" 2>"$WORK/err.txt"
    status=$?
    [ "$status" = 1 ] || fail "without a screen the game ended with status $status, expected 1"
    [ "$(wc -l <"$WORK/err.txt")" = 1 ] && grep -q 'quillrun-sim' "$WORK/err.txt" ||
        fail "without a screen, expected one line pointing to quillrun-sim"
fi
echo "PASS"
