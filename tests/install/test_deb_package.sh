#!/usr/bin/env bash
# The Debian packages as a distribution gets them: scripts/package builds
# quillrun, quillrun-data and quillrun-scores (with their -dbgsym) from one
# hardened build; lintian --pedantic finds no error and no warning. As root
# (as on CI) the three are installed with dpkg: the score server runs as its
# unit says (under systemd where it runs, else as the unit's user with the
# unit's command line), the installed quillrun-sim flies a record on the
# installed data and uploads it to the installed server, a removal keeps the
# scores and a purge deletes them and leaves nothing under /usr.
# Usage: test_deb_package.sh SOURCE_DIR
# SPDX-License-Identifier: MIT
set -u
SOURCE=$1
SKIP=77
WORK=$(mktemp -d "${TMPDIR:-/tmp}/quillrun-deb.XXXXXX")
PACKAGES=(quillrun quillrun-data quillrun-scores)
INSTALLED="" SERVER=""
cleanup() {
    [ -n "$SERVER" ] && kill "$SERVER" 2>/dev/null
    [ -n "$INSTALLED" ] && dpkg_retry --purge "${PACKAGES[@]}" >/dev/null 2>&1
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

note "scripts/package"
bash "$SOURCE/scripts/package" "$WORK/debs" >"$WORK/package.txt" 2>&1 || { tail -30 "$WORK/package.txt"; fail "scripts/package failed"; }
version=$(dpkg-deb --field "$WORK"/debs/quillrun_*.deb Version)
debs=()
for p in "${PACKAGES[@]}"; do
    deb=$(ls "$WORK"/debs/${p}_"$version"_*.deb 2>/dev/null) || fail "no package $p: $(ls "$WORK/debs")"
    debs+=("$deb")
done
ls "$WORK"/debs/quillrun-dbgsym_*.deb "$WORK"/debs/quillrun-scores-dbgsym_*.deb >/dev/null || fail "no -dbgsym packages"

note "lintian --pedantic"
lintian --pedantic --fail-on error,warning "${debs[@]}" >"$WORK/lintian.txt" 2>&1 || { cat "$WORK/lintian.txt"; fail "lintian"; }
grep -E '^[EW]: ' "$WORK/lintian.txt" && fail "lintian reports errors or warnings"

note "the packages' fields and files"
field() { dpkg-deb --field "$WORK/debs/$1" "$2"; }
[ "$(field "quillrun-data_${version}_all.deb" Architecture)" = all ] || fail "quillrun-data is not Architecture all"
contents() { dpkg-deb --contents "$1" | awk '{print $6}' | sed 's|^\./|/|'; }
for f in /usr/games/quillrun /usr/games/quillrun-sim /usr/share/doc/quillrun/copyright; do
    contents "${debs[0]}" | grep -qx "$f" || fail "$f is not in quillrun"
done
for k in $(seq -w 1 26); do contents "${debs[1]}" | grep -qx "/usr/share/quillrun/Maps/Cave$k.bmp" || fail "no cave $k"; done
contents "${debs[1]}" | grep -qx /usr/share/quillrun/Sounds/hit.wav || fail "no sounds in quillrun-data"
contents "${debs[2]}" | grep -qx /lib/systemd/system/quillrun-scores.service || fail "no unit in quillrun-scores"

if [ "$(id -u)" -ne 0 ]; then
    echo "SKIP: installing the packages needs root (they were built and checked)"
    exit $SKIP
fi
if dpkg-query -W -f='${Status}' "${PACKAGES[@]}" 2>/dev/null | grep -q 'installed' || [ -e /usr/games/quillrun ]; then
    echo "SKIP: a quillrun is already installed on this machine; not replacing it"
    exit $SKIP
fi
listening() { (exec 3<>/dev/tcp/127.0.0.1/8080) 2>/dev/null; }
if listening; then
    echo "SKIP: something already listens on 127.0.0.1:8080, the packaged server's address"
    exit $SKIP
fi

note "dpkg -i"
INSTALLED=yes
dpkg_retry -i "${debs[@]}" || { cat "$WORK/dpkg.txt"; fail "dpkg -i failed"; }
[ "$(/usr/games/quillrun --version)" = "quillrun ${version%-*}" ] || fail "the installed quillrun --version"
getent passwd quillrun-scores >/dev/null || fail "no quillrun-scores system user"
[ "$(stat -c %U /var/lib/quillrun-scores)" = quillrun-scores ] || fail "/var/lib/quillrun-scores is not the server's"

unit=/lib/systemd/system/quillrun-scores.service
if [ -d /run/systemd/system ]; then
    note "the unit runs under systemd"
    systemctl is-active --quiet quillrun-scores || fail "the service did not start on install"
else
    note "no systemd here: the unit's command line as the unit's user"
    read -r -a command <<<"$(sed -n 's/^ExecStart=//p' "$unit")"
    user=$(sed -n 's/^User=//p' "$unit")
    runuser -u "$user" -- "${command[@]}" >"$WORK/server.txt" 2>&1 &
    SERVER=$!
fi
for _ in $(seq 1 100); do listening && break; sleep 0.1; done

note "the installed game uploads a record to the installed server"
printf '1 tap ENTER\n2 down DOWN\ndialog Tester\n200 tap U\nconfirm no\n' >"$WORK/script.txt"
env -u http_proxy -u HTTP_PROXY HOME="$WORK/home" XDG_DATA_HOME="$WORK/xdg" /usr/games/quillrun-sim \
    --script "$WORK/script.txt" --until 400 >"$WORK/out.txt" 2>&1 || fail "quillrun-sim: $(cat "$WORK/out.txt")"
grep -q 'Your score uploaded!' "$WORK/out.txt" || fail "no upload: $(cat "$WORK/out.txt")"
python3 -c 'import urllib.request; print(urllib.request.urlopen("http://127.0.0.1:8080/api/maps/1/scores").read())' |
    grep -q '"holder":"Tester"' || fail "the server does not list it"

if [ -n "$SERVER" ]; then kill "$SERVER"; wait "$SERVER"; SERVER=""; fi
note "a removal keeps the scores, a purge deletes them"
dpkg_retry -r quillrun-scores || { cat "$WORK/dpkg.txt"; fail "dpkg -r failed"; }
[ -s /var/lib/quillrun-scores/scores.sqlite ] || fail "the removal deleted the scores"
dpkg_retry --purge "${PACKAGES[@]}" || { cat "$WORK/dpkg.txt"; fail "dpkg --purge failed"; }
INSTALLED=""
[ ! -e /var/lib/quillrun-scores ] || fail "the purge left /var/lib/quillrun-scores"
left=""
for deb in "${debs[@]}"; do
    while read -r f; do
        [ -n "$f" ] && [ "$f" != / ] && [ ! -d "$f" ] && [ -e "$f" -o -L "$f" ] && left+=" $f"
    done < <(contents "$deb")
done
[ -z "$left" ] || fail "left behind:$left"
for d in /usr/share/quillrun /usr/share/doc/quillrun /usr/share/doc/quillrun-data /usr/share/doc/quillrun-scores; do
    [ ! -e "$d" ] || fail "$d is left behind"
done
echo "PASS"
