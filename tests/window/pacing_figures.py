#!/usr/bin/python3
"""The frame pacer's cost and rhythm in the real window: the game's CPU time
over a stretch of seconds on the selection screen and in a run, and how far
apart its frames begin (the game's QUILLRUN_PACING_LOG), with and without
--low-power. Needs DISPLAY (Xvfb will do) and xdotool.

    pacing_figures.py QUILLRUN GAME_DIR SECONDS

GAME_DIR must hold the program (the copy of QUILLRUN there is run) and a
catalogue whose map 1 can be flown. Prints one line per mode and screen:
    <mode> <screen> cpu=<percent of one core> frames=<n> steady=<percent of
    frame intervals of 15 or 16 ms> late=<percent of waits ending later than
    the first reading past the deadline>
"""
import os
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


def session(program, low_power, run, seconds):
    with tempfile.NamedTemporaryFile(prefix="quillrun-pacing-", suffix=".txt", delete=False) as f:
        log = f.name
    env = dict(os.environ, QUILLRUN_PACING_LOG=log)
    args = [program] + (["--low-power"] if low_power else [])
    game = subprocess.Popen(args, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        window = find_window(game)
        time.sleep(1.5)  # start-up done, the selection screen drawn
        if run:
            keys(window, "Return")  # a run, its ship waiting for the first steering key
            time.sleep(1.0)
        before = cpu_seconds(game.pid)
        start = time.monotonic()
        time.sleep(seconds)
        cpu = (cpu_seconds(game.pid) - before) / (time.monotonic() - start)
        keys(window, *(["Escape", "Escape"] if run else ["Escape"]))
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
    for low_power in (False, True):
        for run in (False, True):
            cpu, frames, steady, late = session(program, low_power, run, seconds)
            print("%s %s cpu=%.1f%% frames=%d steady=%.2f%% late=%.2f%%" % (
                "low-power" if low_power else "busy-wait", "run" if run else "selection",
                100.0 * cpu, frames, steady, late), flush=True)


main()
