"""Flies scripted runs through quillrun-sim and through the reference model in
tools/flight_model.py, and compares the two traces line by line, field by field.

Usage: python3 test_flight_model.py <path of quillrun-sim>
"""

import math
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

sys.dont_write_bytecode = True  # keep the source folder clean
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools"))
import flight_model as fm  # noqa: E402

SIM = None

FIELDS = ['dispatch', 'playing', 'started', 'paused', 'replayMode', 'selectedMap', 'frameIndex',
          'scrollX', 'shipX', 'shipY', 'velocityY', 'score', 'shield', 'fuel', 'colliding',
          'narrowBonus']

ROCK = 0x606060
DARK_ROCK = 0x010000  # a rock pixel one step away from black


# ---------------------------------------------------------------------------
# Caves: functions (x, y) -> colour, 200 rows high


def corridor(top, bottom):
    def pixel(x, y):
        return 0 if top <= y <= bottom else ROCK
    return pixel


def steps_cave(x, y):
    # The ceiling and the floor come down in steps every 150 columns.
    k = x // 150
    top = 40 + (k % 4) * 12
    bottom = 150 + (k % 3) * 14 - (k % 2) * 30
    if top <= y <= bottom:
        return 0
    return DARK_ROCK if (x + y) % 7 == 0 else ROCK


def gates_cave(x, y):
    # Open hall with narrow gates: rock from both sides leaves an opening
    # of 14 rows around a centre that moves from gate to gate.
    if not (10 <= y <= 190):
        return ROCK
    g = x // 100
    if 60 <= x % 100 < 75 and g > 0:
        centre = 100 + ((g * 37) % 50) - 25
        if abs(y - centre) > 14 - g % 3 * 3:
            return ROCK
    return 0


def pillars_cave(x, y):
    # A corridor with pillars hanging from the ceiling and rising from the floor.
    if not (30 <= y <= 170):
        return ROCK
    if x % 120 in range(80, 88) and y < 95:
        return ROCK
    if x % 120 in range(20, 26) and y > 115 - (x // 120) % 3 * 10:
        return ROCK
    return 0


def crusher_cave(x, y):
    # Wide open at the start, then the cave closes completely: the ship ends
    # up wedged in rock and loses its shield.
    if x < 250:
        return 0 if 50 <= y <= 150 else ROCK
    if x < 400:
        top = 50 + (x - 250) * 40 // 150
        bottom = 150 - (x - 250) * 40 // 150
        return 0 if top <= y <= bottom else ROCK
    return 0 if 96 <= y <= 99 else ROCK


def tunnel_cave(x, y):
    # Like the crusher, but the cave ends in a tunnel 8 rows high: the ship
    # (9 rows) stays wedged, bouncing ever more gently.
    if x < 400:
        return crusher_cave(x, y)
    return 0 if 96 <= y <= 103 else ROCK


def open_start_cave(x, y):
    # Column 30 open down to the last row: start height from the top only.
    if x < 60:
        return 0 if y >= 70 else ROCK
    return 0 if 40 <= y <= 185 else ROCK


# ---------------------------------------------------------------------------
# Game folder


def write_ship(path):
    # Ship image white in rows 0..8, the mask black under it in rows 9..17.
    fm.write_bmp24(path, 18, 18, lambda x, y: 0xFFFFFF if y < 9 else 0)


def mask(text):
    return bytes(ord(c) ^ 183 for c in text)


def make_game_dir(maps):
    """maps: list of (file, width, name, picture, picture width[, (best, holder)]).
    picture is a function (x, y) -> colour for a 24-bit BMP, a pair (palette,
    function (x, y) -> index) for an 8-bit BMP, or None for no file; width is
    written to Maps.ini as given."""
    root = tempfile.mkdtemp(prefix='quillrun-model-')
    for sub in ('Maps', 'Pictures', 'Replays'):
        os.mkdir(os.path.join(root, sub))
    write_ship(os.path.join(root, 'Pictures', 'Ship.jpg'))
    fm.write_bmp24(os.path.join(root, 'Pictures', 'background.jpg'), 622, 216,
                   lambda x, y: 0x202020)
    fm.write_bmp24(os.path.join(root, 'Pictures', 'Help.jpg'), 600, 216, lambda x, y: 0x303030)
    ini = []
    catalogue = []
    for k, entry in enumerate(maps, start=1):
        file, width, name, picture, picture_width = entry[:5]
        best, holder = entry[5] if len(entry) > 5 else (None, '')
        path = os.path.join(root, 'Maps', file)
        if isinstance(picture, tuple):
            fm.write_bmp8(path, picture_width, 200, picture[0], picture[1])
        elif picture is not None:
            fm.write_bmp24(path, picture_width, 200, picture)
        ini += [b'[%02d]' % k, b'File=' + file.encode(), b'Width=' + str(width).encode(),
                b'Name=' + name.encode()]
        if best is not None:
            ini += [b'ScoreBest=' + mask(' %d' % best), b'ScoreName=' + mask(holder)]
        catalogue.append(fm.MapEntry(file, fm.near(float(width)), name, best, holder))
    with open(os.path.join(root, 'Maps', 'Maps.ini'), 'wb') as f:
        f.write(b'\r\n'.join(ini) + b'\r\n')
    return root, catalogue


def run_sim(root, script, seed, until, shots=()):
    script_path = os.path.join(root, 'script.txt')
    trace_path = os.path.join(root, 'trace.txt')
    with open(script_path, 'w') as f:
        f.write(script)
    args = [SIM, '--game-dir', root, '--script', script_path, '--trace', trace_path,
            '--seed', str(seed), '--until', str(until)]
    for n in shots:
        args += ['--shot', '%d:%s' % (n, os.path.join(root, 'shot%d.png' % n))]
    proc = subprocess.run(args, stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=300)
    if proc.returncode != 0:
        raise AssertionError('quillrun-sim failed with %d: %s' %
                             (proc.returncode, proc.stderr.decode(errors='replace')))
    with open(trace_path) as f:
        lines = [line.rstrip('\n') for line in f if line.strip()]
    messages = [m for m in proc.stdout.decode('cp1252', errors='replace').splitlines()
                if m.startswith('message: ')]
    return lines, messages


class ModelCase(unittest.TestCase):
    def fly(self, maps, script, until, seeds=(1, 7, 20261206), shots=(), pilot=None):
        """Runs the script on the game and the model for each seed and compares
        the traces, the message boxes and, at the dispatches in shots, the view.
        With a pilot, the model first flies the run and writes the key script."""
        root, catalogue = make_game_dir(maps)
        model_lines = []
        try:
            if pilot is not None:
                model = fm.Game(root, catalogue, seeds[0])
                model.run(script, until, pilot=pilot)
                script = script + '\n'.join(model.piloted) + '\n'
            for seed in seeds:
                with self.subTest(seed=seed):
                    # The game writes records and replays: start each seed afresh.
                    for name in os.listdir(os.path.join(root, 'Replays')):
                        os.remove(os.path.join(root, 'Replays', name))
                    shutil.copy(os.path.join(root, 'Maps', 'Maps.ini'), os.path.join(root, 'ini'))
                    game_lines, game_messages = run_sim(root, script, seed, until, shots)
                    shutil.copy(os.path.join(root, 'ini'), os.path.join(root, 'Maps', 'Maps.ini'))
                    model = fm.Game(root, catalogue, seed)
                    model_lines = model.run(script, until, shots=shots)
                    self.compare(game_lines, model_lines)
                    self.assertEqual(game_messages, model.messages)
                    for n in shots:
                        self.compare_view(n, model, os.path.join(root, 'shot%d.png' % n))
            return model_lines
        finally:
            shutil.rmtree(root, ignore_errors=True)

    def compare_view(self, n, model, png_path):
        """The map view with the trail and the debug marks, and the ship box."""
        view = model.views.get(n)
        self.assertIsNotNone(view, 'dispatch %d shows no flight view' % n)
        shot = fm.read_png_rgb(png_path)
        for y in range(200):
            for x in range(600):
                want = view[y][x]
                if want is None or (model.colliding_at[n] and x < 140 and y < 40):
                    continue  # beyond the map picture, or under "COLLISION"
                got = shot.rows[y][x]
                if got != want:
                    self.fail('shot at dispatch %d, pixel (%d, %d): game %06x, model %06x'
                              % (n, x, y, got, want))

    def compare(self, game_lines, model_lines):
        for n, (g, m) in enumerate(zip(game_lines, model_lines), start=1):
            if g == m:
                continue
            gf, mf = g.split(), m.split()
            for name, a, b in zip(FIELDS, gf, mf):
                if a != b:
                    self.fail('dispatch %d, field %s: game %s, model %s\n game:  %s\n model: %s\n'
                              ' previous: %s' % (n, name, a, b, g, m,
                                                 game_lines[n - 2] if n > 1 else '-'))
            self.fail('dispatch %d: game %r, model %r' % (n, g, m))
        self.assertEqual(len(game_lines), len(model_lines), 'number of trace lines')


class Pilot:
    """Flies the model's ship along the middle of the cave ahead. Each run has
    a plan of stretches (first, last, what), counted in passes from its ENTER,
    with what one of brake, turbo, ceiling, floor, idle; the next run starts
    a few passes after the game over."""

    def __init__(self, plans, first_enter=2):
        self.plans = list(plans)
        self.next_enter = first_enter
        self.run_start = None
        self.plan = ()
        self.held = set()
        self.was_playing = False

    def wanted(self, game, n):
        t = n - self.run_start
        what = [w for a, b, w in self.plan if a <= t <= b]
        keys = set()
        if 'brake' in what:
            keys.add(fm.KEY_NAMES['LEFT'])
        if 'turbo' in what:
            keys.add(fm.KEY_NAMES['RIGHT'])
        if 'idle' in what:
            return keys
        if 'ceiling' in what:
            keys.add(fm.KEY_NAMES['UP'])
            return keys
        if 'floor' in what:
            keys.add(fm.KEY_NAMES['DOWN'])
            return keys
        target = self.target_row(game)
        desired = max(-1.0, min(1.0, (target - game.ship_y) / 18.0))
        if game.velocity_y > desired + 0.03:
            keys.add(fm.KEY_NAMES['UP'])
        elif game.velocity_y < desired - 0.12:
            keys.add(fm.KEY_NAMES['DOWN'])
        return keys

    @staticmethod
    def target_row(game):
        x = fm.near(game.scroll_x + game.ship_x + 14)
        centre = game.ship_y + 4
        best = None
        y = 0
        while y < 200:
            if game.pixel(x, y) == 0:
                start = y
                while y < 200 and game.pixel(x, y) == 0:
                    y += 1
                mid = (start + y - 1) / 2.0
                if y - start >= 12 and (best is None or abs(mid - centre) < abs(best - centre)):
                    best = mid
            y += 1
        return (best if best is not None else 100.0) - 4

    def __call__(self, game, n):
        events = []
        if self.was_playing and not game.playing and self.plans:
            self.next_enter = n + 12
        self.was_playing = bool(game.playing)
        if n == self.next_enter and self.plans:
            for key in sorted(self.held):
                events.append(('up', key))
            self.held = set()
            self.plan = self.plans.pop(0)
            self.run_start = n
            self.next_enter = None
            return events + [('tap', fm.KEY_NAMES['ENTER'])]
        want = self.wanted(game, n) if game.playing and not game.paused else set()
        for key in sorted(self.held - want):
            events.append(('up', key))
        for key in sorted(want - self.held):
            events.append(('down', key))
        self.held = want
        return events


def wavy_cave(x, y):
    # A winding cave, 60 rows high, with a rough, slightly dark rock face.
    centre = 100 + 45 * math.sin(x / 170.0) + 12 * math.sin(x / 37.0)
    half = 30 + 8 * math.sin(x / 90.0)
    if abs(y - centre) <= half:
        return 0
    return DARK_ROCK if (x * 7 + y) % 5 == 0 else ROCK


def ledge_cave(x, y):
    # The ship starts resting on a ledge; after it a long, gently winding hall.
    if x <= 30:
        return 0 if 20 <= y <= 59 else ROCK
    if x < 60:
        return 0 if 20 <= y <= 53 else ROCK
    centre = 100 + 30 * math.sin(x / 300.0)
    return 0 if abs(y - centre) <= 70 else ROCK


def open_cave(x, y):
    # No rock at all: only the edges of the picture stop the ship.
    return 0


def script_of(*lines, dialogs=()):
    return '\n'.join(list(lines) + ['dialog ' + d for d in dialogs]) + '\n'


class StartAndSelection(ModelCase):
    def test_selection_screen_and_start_heights(self):
        # Digit keys, wrapping steps of the list, help screen, UP/DOWN outside
        # a run, and start heights of three maps.
        maps = [('a.bmp', 900, 'Corridor', corridor(50, 120), 900),
                ('b.bmp', 900, 'Open', open_start_cave, 900),
                ('c.bmp', 900, 'Solid', lambda x, y: ROCK, 900)]
        script = script_of('3 tap UP', '5 tap DOWN', '6 tap DOWN', '8 tap H', '9 tap UP',
                           '9 tap 3', '10 tap H', '12 tap 2', '13 tap ENTER', '16 tap ESC', '17 tap 3',
                           '18 tap ENTER', '21 tap ESC', '22 tap 1', '23 tap ENTER',
                           '26 tap ESC', '27 tap 9', '28 tap UP', '30 tap 5')
        self.fly(maps, script, 32)

    def test_empty_catalogue(self):
        # With no map, ENTER still starts a run; every point is rock and the
        # ship is past the (zero) map end at once.
        # ESC on the selection screen then ends the program: the trace stops.
        lines = self.fly([], script_of('2 tap ENTER', '4 tap ENTER', '4 tap UP', '6 tap DOWN',
                                       '7 tap DOWN', '8 tap UP', '9 tap ESC'), 12)
        self.assertEqual(len(lines), 9)

    def test_missing_map_picture(self):
        # Entry 2 names a file that is not there: no run starts and the old
        # map picture stays for the start height.
        maps = [('a.bmp', 900, 'Corridor', corridor(50, 120), 900),
                ('missing.bmp', 800, 'Missing', None, 0)]
        script = script_of('2 tap 2', '3 tap ENTER', '5 tap 1', '6 tap ENTER', '8 tap ESC',
                           '9 tap 2', '10 tap ENTER', '12 tap 1', '13 tap ENTER', '15 tap SPACE')
        self.fly(maps, script, 20)


class Flight(ModelCase):
    def test_corridor_to_the_end_with_record(self):
        # Gravity, thrust both ways, the map end, a new record, and the
        # selection screen after the game over.
        maps = [('corr.bmp', 1100, 'Long', corridor(60, 150), 1100)]
        script = script_of('2 tap ENTER', '6 down UP', '40 up UP', '80 down DOWN', '95 up DOWN',
                           '120 down UP', '121 down DOWN', '150 up UP', '170 up DOWN',
                           '200 down SPACE', '230 up SPACE', dialogs=['Tester'])
        self.fly(maps, script, 460)

    def test_brake_and_turbo(self):
        # Fuel spent by brake and turbo until the tank is empty, both held
        # together, and the refill.
        maps = [('corr.bmp', 2400, 'Long', corridor(40, 170), 2400)]
        lines = ['2 tap ENTER', '5 down RIGHT', '60 down LEFT', '90 up LEFT', '95 down UP',
                 '130 up UP', '260 up RIGHT', '262 down CTRL', '300 down UP', '330 up UP',
                 '480 up CTRL', '490 down SHIFT', '495 down UP', '520 up UP', '700 up SHIFT',
                 '710 down SPACE', '745 up SPACE']
        self.fly(maps, script_of(*lines, dialogs=['Tester']), 900)

    def test_steps_with_hits_and_debug_marks(self):
        # Ceiling and floor hits at speed, the debug gauge marks, and a pause.
        maps = [('steps.bmp', 1500, 'Steps', steps_cave, 1500)]
        lines = ['2 tap ENTER', '4 tap D', '5 down UP', '70 up UP', '71 down DOWN', '110 up DOWN',
                 '80 tap P', '90 tap P', '151 down UP', '175 up UP', '200 tap D',
                 '230 down UP', '260 up UP', '300 down DOWN', '330 up DOWN']
        self.fly(maps, script_of(*lines, dialogs=['']), 700, shots=(60, 95, 105, 139))

    def test_narrow_gates(self):
        maps = [('gates.bmp', 1300, 'Gates', gates_cave, 1300)]
        lines = ['2 tap ENTER', '3 down UP', '25 up UP']
        for t in range(40, 420, 23):
            lines += ['%d down UP' % t, '%d up UP' % (t + 9)]
        lines += ['200 down RIGHT', '215 up RIGHT', '300 down LEFT', '330 up LEFT']
        self.fly(maps, script_of(*lines, dialogs=['Tester']), 560)

    def test_pillars(self):
        maps = [('pillars.bmp', 1200, 'Pillars', pillars_cave, 1200)]
        lines = ['2 tap ENTER', '3 down DOWN', '20 up DOWN', '60 down UP', '85 up UP',
                 '120 down UP', '160 up UP', '200 down DOWN', '215 up DOWN', '260 tap D']
        self.fly(maps, script_of(*lines), 520)

    def test_cave_that_kills_the_ship(self):
        # The ship is wedged in a closing cave; the stuck loss ends the run.
        # DOWN is held through the game over: the selection does not move.
        maps = [('crush.bmp', 3000, 'Crusher', crusher_cave, 3000),
                ('corr.bmp', 900, 'Corridor', corridor(40, 160), 900)]
        self.fly(maps, script_of('2 tap ENTER', '3 tap UP', '6 tap UP', '100 down RIGHT',
                                 '160 down DOWN', '300 up DOWN', '320 down UP', '321 up UP'),
                 500, shots=(90, 150))

    def test_wedged_in_a_tunnel(self):
        # The bounce speed halves twice a frame until it is too small for a
        # float; then the ship is knocked loose again.
        maps = [('tunnel.bmp', 3000, 'Tunnel', tunnel_cave, 3000)]
        lines = self.fly(maps, script_of('2 tap ENTER', '3 tap UP', '6 tap UP'), 700,
                         shots=(300,))
        self.assertTrue(any(l.split()[10] in ('0', '-0') for l in lines[200:]))

    def test_map_wider_in_catalogue_than_picture(self):
        # Past the picture's right edge everything reads as rock.
        maps = [('short.bmp', 900, 'Short', corridor(50, 150), 500)]
        self.fly(maps, script_of('2 tap ENTER', '4 tap UP', '40 down UP', '60 up UP'), 400)

    def test_restart_during_run_and_second_run(self):
        # ENTER during a run restarts it on a freshly loaded map; after a
        # game over with a record, the next run on that map does not break it.
        maps = [('corr.bmp', 700, 'Short', corridor(60, 150), 700),
                ('steps.bmp', 1500, 'Steps', steps_cave, 1500)]
        lines = ['2 tap ENTER', '3 down UP', '20 up UP', '60 tap ENTER', '63 tap UP',
                 '300 tap 2', '302 tap ENTER', '303 tap SPACE', '310 tap P', '320 tap ESC',
                 '330 tap 1', '331 tap ENTER', '332 down LEFT', '400 up LEFT']
        self.fly(maps, script_of(*lines, dialogs=['Tester', 'Second']), 900)


class PilotedFlight(ModelCase):
    def test_winding_cave_to_the_end_twice(self):
        # A clean flight to the map end sets the record; the second run, with
        # turbo stretches, is measured against it.
        maps = [('wavy.bmp', 1600, 'Winding', wavy_cave, 1600)]
        plans = [[(0, 3, 'idle')],
                 [(40, 90, 'turbo'), (150, 170, 'brake'), (200, 260, 'turbo'),
                  (230, 240, 'brake')]]
        lines = self.fly(maps, script_of(dialogs=['Tester', 'Again']), 1300,
                         shots=(30, 160, 215, 400, 640, 700, 870), pilot=Pilot(plans))
        self.assertGreaterEqual(sum(1 for l in lines if l.split()[1] == '-1'), 600)

    def test_weak_shield_refuses_turbo(self):
        # Hard hits on the ceiling and the floor bring the shield below the
        # turbo limit; turbo is then refused and empties the tank.
        maps = [('wavy.bmp', 2600, 'Winding', wavy_cave, 2600)]
        plans = [[(20, 40, 'ceiling'), (70, 90, 'ceiling'), (120, 140, 'floor'),
                  (170, 190, 'ceiling'), (220, 240, 'floor'), (260, 280, 'ceiling'),
                  (300, 360, 'turbo'), (380, 420, 'brake'), (400, 470, 'turbo')]]
        self.fly(maps, script_of(), 900, shots=(100, 230, 310), pilot=Pilot(plans))


class EdgeCases(ModelCase):
    def test_resting_start_and_regeneration_past_full(self):
        # The ship starts on a ledge (a free bottom hit before the first key),
        # takes a light knock and regenerates past the full shield.
        maps = [('ledge.bmp', 3400, 'Ledge', ledge_cave, 3400)]
        plans = [[(0, 7, 'idle'), (8, 12, 'floor')]]
        lines = self.fly(maps, script_of(), 1400, shots=(5, 700, 1250), pilot=Pilot(plans))
        self.assertTrue(any(float(l.split()[12]) > 100 for l in lines))

    def test_picture_edges_are_rock(self):
        # An open picture: the ship falls onto its bottom edge, climbs to its
        # top edge, is paused, restarted while paused, and flies on.
        maps = [('open.bmp', 1200, 'Open', open_cave, 1200)]
        lines = ['2 tap ENTER', '3 tap UP', '120 down UP', '200 up UP', '230 tap P',
                 '240 tap ENTER', '241 tap P', '245 tap P', '250 down DOWN', '300 up DOWN',
                 '320 down UP', '330 down RIGHT', '331 down RIGHT', '333 down RIGHT', '400 up UP']
        self.fly(maps, script_of(*lines), 500, shots=(100, 130, 250))

    def test_equal_score_is_no_record(self):
        # The same flight twice gives the same whole score: no record the
        # second time.
        maps = [('wavy.bmp', 1200, 'Winding', wavy_cave, 1200)]
        plans = [[(0, 3, 'idle'), (100, 140, 'turbo')]] * 2
        self.fly(maps, script_of(dialogs=['Tester']), 1000, pilot=Pilot(plans))


class MapFiles(ModelCase):
    def test_palette_map_with_old_record_and_half_width(self):
        # An 8-bit palette map (one palette entry next to black is rock), a
        # record already in the catalogue that this run beats, and a width
        # of 801.5 that reads as 802.
        palette = [0, 0x606060, 0x000001, 0x203040] + [0x808080] * 252

        def index(x, y):
            if 50 <= y <= 150 and not (x % 97 < 6 and y < 70):
                return 0
            return 2 if (x + y) % 3 == 0 else (1 if x % 2 else 3)

        maps = [('pal.bmp', '801.5', 'Palette', (palette, index), 820, (12, 'Old')),
                ('pal2.bmp', '1200', 'Palette', (palette, index), 1200, (900, 'Best'))]
        plans = [[(0, 3, 'idle'), (100, 120, 'ceiling')]]
        self.fly(maps, script_of(dialogs=['Tester']), 400, shots=(40, 200),
                 pilot=Pilot(plans))

    def test_old_record_not_beaten(self):
        maps = [('corr.bmp', 1000, 'Long', corridor(60, 150), 1000, (900, 'Best'))]
        self.fly(maps, script_of('1 tap D', '2 tap ENTER', '4 down UP', '30 up UP',
                                 '90 tap D'), 500, shots=(60, 120))


class ModelSelfChecks(unittest.TestCase):
    def test_mt19937_reference_value(self):
        # The 10000th number of a default-seeded mt19937 is 4123659995.
        g = fm.MT19937(5489)
        for _ in range(9999):
            g.next_u32()
        self.assertEqual(g.next_u32(), 4123659995)

    def test_numbers(self):
        self.assertEqual(fm.near(2.5), 2)
        self.assertEqual(fm.near(3.5), 4)
        self.assertEqual(fm.round_half_away(49.5), 50)
        self.assertEqual(fm.round_half_away(33.333), 33)
        self.assertEqual(fm.f32(0.1), 0.10000000149011612)

    def test_bmp_round_trip(self):
        path = tempfile.mktemp(suffix='.bmp')
        try:
            fm.write_bmp24(path, 5, 3, lambda x, y: (x * 40) | (y << 16))
            pic = fm.read_bmp(path)
            self.assertEqual((pic.width, pic.height), (5, 3))
            self.assertEqual(pic.get(4, 2), 160 | (2 << 16))
            self.assertNotEqual(pic.get(5, 0), 0)
        finally:
            os.remove(path)


def main():
    global SIM
    if len(sys.argv) < 2:
        print('usage: test_flight_model.py <path of quillrun-sim>', file=sys.stderr)
        return 2
    SIM = sys.argv.pop(1)
    result = unittest.main(exit=False, verbosity=2).result
    # A failing subtest (one seed) fails its whole test.
    failed = len(set(getattr(t, 'test_case', t).id() for t, _ in result.failures + result.errors))
    passed = result.testsRun - failed - len(result.skipped)
    print('%d passed, %d failed' % (passed, failed))
    return 0 if result.wasSuccessful() else 1


if __name__ == '__main__':
    sys.exit(main())
