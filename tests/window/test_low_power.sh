#!/bin/bash
# --low-power spares the processor without changing the frame rhythm: the
# game's CPU time over 5 s on the selection screen, in a run and while a
# flown run is watched, both modes, and its frame intervals. Only generous
# bounds are asserted (the machine may be loaded); the figures themselves are
# printed, and scripts/bench reports them for the README.
source "$(dirname "$0")/lib.sh"
setup_window_test "$@"

/usr/bin/python3 "$(dirname "$0")/pacing_figures.py" "$QUILLRUN_BIN" "$GAME_DIR" 5 >"$WORK_DIR/figures.txt" ||
    fail "measuring failed: $(cat "$WORK_DIR/figures.txt")"
cat "$WORK_DIR/figures.txt"
figure() { awk -v m="$1" -v s="$2" -v k="$3" '$1 == m && $2 == s { for (i = 3; i <= NF; i++) { split($i, kv, "="); if (kv[1] == k) { sub("%", "", kv[2]); print kv[2] } } }' "$WORK_DIR/figures.txt"; }
for screen in selection run replay; do
    busy=$(figure busy-wait "$screen" cpu)
    low=$(figure low-power "$screen" cpu)
    [ -n "$busy" ] && [ -n "$low" ] || fail "no CPU figures for the $screen"
    # The busy wait keeps a core as busy as the machine lets it; the sleeping
    # wait must stay well below that (or below 15% when a loaded machine
    # gives the busy wait little), and far below a whole core.
    below "$low" 40 || fail "--low-power on the $screen: $low% of a core"
    below "$low" "$(awk -v b="$busy" 'BEGIN {print (b * 0.75 > 15) ? b * 0.75 : 15}')" ||
        fail "--low-power on the $screen: $low% of a core, the busy wait $busy%"
    # Frames keep coming, mostly at the pacer's 15/16 ms rhythm.
    for mode in busy-wait low-power; do
        frames=$(figure "$mode" "$screen" frames)
        steady=$(figure "$mode" "$screen" steady)
        [ "$frames" -ge 100 ] || fail "$mode on the $screen: only $frames frames"
        below 20 "$steady" || fail "$mode on the $screen: only $steady% of the frame intervals are 15 or 16 ms"
    done
done
note "passed"
