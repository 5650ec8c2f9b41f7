#!/usr/bin/env bash
# The Debian package: cpack builds quillrun_<version>_amd64.deb, its file list
# holds every installed file, `dpkg -i` installs it and the installed
# `quillrun --version` answers, and `dpkg --purge` leaves no file behind.
# Installing needs root (as on CI); otherwise the test is skipped.
# Usage: test_deb_package.sh BUILD_DIR
set -u
BUILD=$1
SKIP=77
WORK=$(mktemp -d "${TMPDIR:-/tmp}/quillrun-deb.XXXXXX")
INSTALLED=""
cleanup() {
    [ -n "$INSTALLED" ] && dpkg_retry --purge quillrun >/dev/null 2>&1
    rm -rf "$WORK"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
note() { echo "-- $*"; }

# dpkg refuses at once while another dpkg or apt-get holds its lock.
dpkg_retry() {
    local attempt
    for attempt in $(seq 1 60); do
        dpkg "$@" >"$WORK/dpkg.txt" 2>&1 && return 0
        grep -q 'lock' "$WORK/dpkg.txt" || return 1
        sleep 5
    done
    return 1
}

command -v dpkg-shlibdeps >/dev/null || fail "dpkg-shlibdeps (dpkg-dev) is not installed"
version=$("$BUILD/game/quillrun-sim" --version | cut -d' ' -f2)
deb=$WORK/quillrun_${version}_amd64.deb

note "cpack -G DEB"
(cd "$BUILD" && cpack -G DEB -B "$WORK" >"$WORK/cpack.txt" 2>&1) || { cat "$WORK/cpack.txt" >&2; fail "cpack failed"; }
[ -f "$deb" ] || fail "no $(basename "$deb"): $(ls "$WORK")"

note "the package's fields and files"
dpkg-deb --field "$deb" Package Version Architecture Section Depends >"$WORK/fields.txt"
grep -qx "Section: games" "$WORK/fields.txt" || fail "section is not games: $(cat "$WORK/fields.txt")"
grep -q "^Depends:.*libsdl2-2.0-0" "$WORK/fields.txt" || fail "no library dependencies: $(cat "$WORK/fields.txt")"
dpkg-deb --contents "$deb" | awk '{print $6}' | sed 's|^\./|/|' >"$WORK/contents.txt"
expected=(/usr/bin/quillrun /usr/bin/quillrun-sim /usr/share/quillrun/Maps/Maps.ini /usr/share/quillrun/Pictures/Ship.jpg
    /usr/share/quillrun/Pictures/background.jpg /usr/share/quillrun/Pictures/Help.jpg
    /usr/share/applications/org.quillrun.Quillrun.desktop /usr/share/metainfo/org.quillrun.Quillrun.metainfo.xml
    /usr/share/man/man6/quillrun.6.gz)
for k in $(seq -w 1 26); do expected+=("/usr/share/quillrun/Maps/Cave$k.bmp"); done
for s in engine-up hit game-over; do expected+=("/usr/share/quillrun/Sounds/$s.wav"); done
for size in 16 32 48 64 128 256; do expected+=("/usr/share/icons/hicolor/${size}x${size}/apps/quillrun.png"); done
for f in "${expected[@]}"; do grep -qx "$f" "$WORK/contents.txt" || fail "$f is not in the package"; done

if [ "$(id -u)" -ne 0 ]; then
    echo "SKIP: installing the package needs root (the file list was checked)"
    exit $SKIP
fi
if dpkg-query -W -f='${Status}' quillrun 2>/dev/null | grep -q 'installed' || [ -e /usr/bin/quillrun ]; then
    echo "SKIP: a quillrun is already installed on this machine; not replacing it"
    exit $SKIP
fi

note "dpkg -i"
INSTALLED=yes
dpkg_retry -i "$deb" || { cat "$WORK/dpkg.txt" >&2; fail "dpkg -i failed"; }
[ "$(/usr/bin/quillrun --version)" = "quillrun $version" ] || fail "the installed quillrun --version: $(/usr/bin/quillrun --version 2>&1)"
for f in "${expected[@]}"; do [ -e "$f" ] || fail "$f was not installed"; done

note "dpkg --purge leaves nothing behind"
dpkg_retry --purge quillrun || { cat "$WORK/dpkg.txt" >&2; fail "dpkg --purge failed"; }
INSTALLED=""
left=""
while read -r f; do
    [ -n "$f" ] && [ "$f" != / ] && [ ! -d "$f" ] && [ -e "$f" -o -L "$f" ] && left+=" $f"
done <"$WORK/contents.txt"
[ -z "$left" ] || fail "left behind:$left"
[ ! -e /usr/share/quillrun ] || fail "/usr/share/quillrun is left behind"
echo "PASS"
