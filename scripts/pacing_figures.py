#!/usr/bin/python3
"""The frame pacer's cost and rhythm in the real window: the game's CPU time
over a stretch of seconds on the selection screen, in a run whose ship waits
for its first steering key, and while a flown run is watched as a replay
(the cave scrolling, every frame a new picture), and how far apart its
frames begin (the game's QUILLRUN_PACING_LOG), with and without --low-power.
Needs DISPLAY (Xvfb will do) and xdotool.

    pacing_figures.py QUILLRUN GAME_DIR SECONDS

GAME_DIR must hold the program's pictures; the program (the copy of QUILLRUN
there is run), a catalogue of one corridor map and that map's record, flown
level by the quillrun-sim beside QUILLRUN, are put there. Prints one line per
mode and screen:
    <mode> <screen> cpu=<percent of one core> frames=<n> steady=<percent of
    frame intervals of 15 or 16 ms> late=<percent of waits ending later than
    the first reading past the deadline>
"""
# SPDX-License-Identifier: MIT
import os
import struct
import subprocess
import sys
import tempfile
import time

CLOCK = os.sysconf("SC_CLK_TCK")


def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / CLOCK  # utime, stime


def find_window(game, seconds=30):
    deadline = time.time() + seconds
    while time.time() < deadline:
        if game.poll() is not None:
            sys.exit("the game ended at start with status %d" % game.returncode)
        out = subprocess.run(["xdotool", "search", "--onlyvisible", "--pid", str(game.pid)],
                             capture_output=True, text=True).stdout.split()
        if out:
            return out[0]
        time.sleep(0.2)
    sys.exit("no window of the game appeared")


def keys(window, *names):
    subprocess.run(["xdotool", "windowfocus", "--sync", window], capture_output=True)
    subprocess.run(["xdotool", "key", "--delay", "80", *names], check=True)


def write_corridor(game_dir, seconds):
    """Map 1: open between rows 40 and 160, long enough for a run of about
    seconds + 6 s at the ship's 2.2 px a frame."""
    width, height = 330 + int(2.2 * 64 * (seconds + 6)), 200
    row_bytes = (width * 3 + 3) & ~3
    rows = []
    for y in range(height - 1, -1, -1):
        colour = b"\0\0\0" if 40 <= y <= 160 else b"\x70\x70\x70"
        rows.append(colour * width + b"\0" * (row_bytes - width * 3))
    head = b"BM" + struct.pack("<IHHI", 54 + row_bytes * height, 0, 0, 54)
    head += struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, row_bytes * height, 2835, 2835, 0, 0)
    maps = os.path.join(game_dir, "Maps")
    with open(os.path.join(maps, "pacing.bmp"), "wb") as f:
        f.write(head + b"".join(rows))
    with open(os.path.join(maps, "Maps.ini"), "wb") as f:
        f.write(b"[01]\r\nFile=pacing.bmp\r\nWidth=%d\r\nName=Corridor\r\n" % width)
    return width


def fly_record(sim, game_dir, width):
    """Flies map 1 to its end with quillrun-sim, thrust held two frames in
    four (which keeps the ship level), and stores the run as its record."""
    frames = int(width / 2.2) + 200
    lines = ["1 tap ENTER", "3 tap UP"]
    for n in range(4, frames, 4):
        lines += ["%d down UP" % n, "%d up UP" % (n + 2)]
    lines.append("dialog Pacing")
    out = subprocess.run([sim, "--game-dir", game_dir, "--script", "-", "--until", str(frames)],
                         input="\n".join(lines) + "\n", capture_output=True, text=True)
    replay = os.path.join(game_dir, "Replays", "Map01.replay")
    if out.returncode != 0 or "New record" not in out.stdout or not os.path.exists(replay):
        sys.exit("quillrun-sim did not fly the corridor's record: %s%s" % (out.stdout, out.stderr))


def session(program, low_power, screen, seconds):
    with tempfile.NamedTemporaryFile(prefix="quillrun-pacing-", suffix=".txt", delete=False) as f:
        log = f.name
    env = dict(os.environ, QUILLRUN_PACING_LOG=log)
    args = [program] + (["--low-power"] if low_power else [])
    game = subprocess.Popen(args, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        window = find_window(game)
        time.sleep(1.5)  # start-up done, the selection screen drawn
        if screen == "run":
            keys(window, "Return")  # a run, its ship waiting for the first steering key
            time.sleep(1.0)
        elif screen == "replay":
            keys(window, "r")  # the record's flight, watched
            time.sleep(1.0)
        before = cpu_seconds(game.pid)
        start = time.monotonic()
        time.sleep(seconds)
        cpu = (cpu_seconds(game.pid) - before) / (time.monotonic() - start)
        keys(window, *(["Escape"] if screen == "selection" else ["Escape", "Escape"]))
        if game.wait(timeout=30) != 0:
            sys.exit("the game ended with status %d" % game.returncode)
    finally:
        if game.poll() is None:
            game.kill()
            game.wait()
    intervals, lateness = {}, {}
    with open(log) as f:
        for line in f:
            if line.startswith("#"):
                continue
            ms, n_interval, n_late = (int(v) for v in line.split())
            intervals[ms], lateness[ms] = n_interval, n_late
    os.unlink(log)
    frames = sum(intervals.values())
    steady = intervals.get(15, 0) + intervals.get(16, 0)
    late = sum(n for ms, n in lateness.items() if ms != 1)
    return cpu, frames, 100.0 * steady / max(frames, 1), 100.0 * late / max(sum(lateness.values()), 1)


def main():
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    quillrun, game_dir, seconds = sys.argv[1], sys.argv[2], float(sys.argv[3])
    program = os.path.join(game_dir, "quillrun")
    if os.path.realpath(quillrun) != os.path.realpath(program):
        subprocess.run(["cp", quillrun, program], check=True)
    fly_record(os.path.join(os.path.dirname(quillrun), "quillrun-sim"), game_dir, write_corridor(game_dir, seconds))
    for low_power in (False, True):
        for screen in ("selection", "run", "replay"):
            cpu, frames, steady, late = session(program, low_power, screen, seconds)
            print("%s %s cpu=%.1f%% frames=%d steady=%.2f%% late=%.2f%%" % (
                "low-power" if low_power else "busy-wait", screen, 100.0 * cpu, frames, steady, late),
                flush=True)


main()
