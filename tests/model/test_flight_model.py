"""Usage: python3 test_flight_model.py <path of quillrun-sim>. Flies scripted runs through the game
and the reference model in tests/model/flight_model.py and compares their traces, message boxes and views."""
# SPDX-License-Identifier: MIT

import itertools, math, os, re, shutil, subprocess, sys, tempfile, unittest  # noqa: E401

sys.dont_write_bytecode = True  # keep the source folder clean
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import flight_model as fm  # noqa: E402
from PIL import Image  # noqa: E402

SIM = None
SEEDS = (1, 20261206)
# The trace columns, as the driver writes them.
with open(os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..', 'headless',
                       'trace_columns.def')) as _columns:
    FIELDS = re.findall(r'^COLUMN_[A-Z]+\((\w+),', _columns.read(), re.M)
KEY = fm.KEY_NAMES
ROCK = 0x606060
DARK_ROCK = 0x010000  # a rock pixel one step away from black

# Caves: functions (x, y) -> colour, 200 rows high.


def corridor(top, bottom):
    return lambda x, y: 0 if top <= y <= bottom else ROCK


def steps_cave(x, y):
    # The ceiling and the floor come down in steps every 150 columns.
    k = x // 150
    if 40 + k % 4 * 12 <= y <= 150 + k % 3 * 14 - k % 2 * 30:
        return 0
    return DARK_ROCK if (x + y) % 7 == 0 else ROCK


def gates_cave(x, y):
    # An open hall with narrow gates; the opening moves from gate to gate.
    g = x // 100
    gate = g > 0 and 60 <= x % 100 < 75 and abs(y - (75 + g * 37 % 50)) > 14 - g % 3 * 3
    return ROCK if gate or not 10 <= y <= 190 else 0


def pillars_cave(x, y):
    # Pillars hang from the ceiling and rise from the floor.
    hanging = 80 <= x % 120 < 88 and y < 95
    rising = 20 <= x % 120 < 26 and y > 115 - x // 120 % 3 * 10
    return ROCK if hanging or rising or not 30 <= y <= 170 else 0


def crusher_cave(x, y, slit_bottom=99):
    # Wide open, then the cave closes to a slit lower than the ship (9 rows):
    # the ship ends up wedged in rock.
    if x >= 400:
        return 0 if 96 <= y <= slit_bottom else ROCK
    d = max(0, x - 250) * 40 // 150
    return 0 if 50 + d <= y <= 150 - d else ROCK


def open_start_cave(x, y):
    # The start column is open down to the last row: start height from the top only.
    return 0 if (y >= 70 if x < 60 else 40 <= y <= 185) else ROCK


def wavy_cave(x, y):
    # A winding cave, 60 rows high, with a rough, slightly dark rock face.
    centre = 100 + 45 * math.sin(x / 170.0) + 12 * math.sin(x / 37.0)
    if abs(y - centre) <= 30 + 8 * math.sin(x / 90.0):
        return 0
    return DARK_ROCK if (x * 7 + y) % 5 == 0 else ROCK


def ledge_cave(x, y):
    # The ship starts resting on a ledge; after it a long, gently winding hall.
    if x < 60:
        return 0 if 20 <= y <= (59 if x <= 30 else 53) else ROCK
    return 0 if abs(y - (100 + 30 * math.sin(x / 300.0))) <= 70 else ROCK


# An 8-bit map: entry 2, next to black, is rock too.
PALETTE = [0, 0x606060, 0x000001, 0x203040] + [0x808080] * 252


def palette_index(x, y):
    if 50 <= y <= 150 and not (x % 97 < 6 and y < 70):
        return 0
    return 2 if (x + y) % 3 == 0 else (1 if x % 2 else 3)


def write_bmp(path, width, height, picture):
    """picture: (x, y) -> 0x00BBGGRR (a 24-bit BMP) or (palette of such colours, (x, y) -> index) (8-bit)."""
    palette, colour = picture if isinstance(picture, tuple) else (None, picture)
    rgb = lambda c: (c & 0xFF, c >> 8 & 0xFF, c >> 16 & 0xFF)  # noqa: E731
    img = Image.new('P' if palette else 'RGB', (width, height))
    img.putdata([colour(x, y) if palette else rgb(colour(x, y)) for y in range(height) for x in range(width)])
    if palette:
        img.putpalette([v for c in palette for v in rgb(c)])
    img.save(path, 'BMP')


def mask(text):
    return ''.join(chr(ord(c) ^ 183) for c in text)


def make_game_dir(maps):
    """maps: (file, Width as written, name, picture, picture width[, (best, holder)]), picture a function
    (x, y) -> colour (24-bit BMP), (palette, (x, y) -> index) (8-bit BMP) or None (no file)."""
    root = tempfile.mkdtemp(prefix='quillrun-model-')
    for sub in ('Maps', 'Pictures', 'Replays'):
        os.mkdir(os.path.join(root, sub))
    pictures = os.path.join(root, 'Pictures')
    # The ship white in rows 0..8, its black mask below in rows 9..17.
    write_bmp(os.path.join(pictures, 'Ship.jpg'), 18, 18, lambda x, y: 0xFFFFFF if y < 9 else 0)
    write_bmp(os.path.join(pictures, 'background.jpg'), 622, 216, lambda x, y: 0x202020)
    write_bmp(os.path.join(pictures, 'Help.jpg'), 600, 216, lambda x, y: 0x303030)
    ini, catalogue = [], []
    for k, (file, width, name, picture, picture_width, *record) in enumerate(maps, start=1):
        best, holder = record[0] if record else (None, '')
        path = os.path.join(root, 'Maps', file)
        if picture is not None:
            write_bmp(path, picture_width, 200, picture)
        ini += ['[%02d]' % k, 'File=' + file, 'Width=%s' % width, 'Name=' + name]
        if best is not None:
            ini += ['ScoreBest=' + mask(' %d' % best), 'ScoreName=' + mask(holder)]
        catalogue.append((file, fm.near(float(width)), name, best, holder))
    return root, catalogue, ('\r\n'.join(ini) + '\r\n').encode('latin-1')


def run_sim(root, script, seed, until, shots):
    script_path, trace_path = os.path.join(root, 'script.txt'), os.path.join(root, 'trace.txt')
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
    return lines, [m for m in proc.stdout.decode('cp1252', errors='replace').splitlines()
                   if m.startswith('message: ')]


class Pilot:
    """Flies the model's ship along the middle of the cave ahead. Each run has a plan of stretches
    (first, last, what) in passes from its ENTER, what one of brake, turbo, ceiling, floor, idle."""

    def __init__(self, plans):
        self.plans, self.next_enter, self.held, self.was_playing = list(plans), 2, set(), False

    def wanted(self, game, n):
        what = {w for a, b, w in self.plan if a <= n - self.run_start <= b}
        keys = {KEY[k] for w, k in (('brake', 'LEFT'), ('turbo', 'RIGHT'), ('ceiling', 'UP'),
                                    ('floor', 'DOWN')) if w in what}
        if what & {'idle', 'ceiling', 'floor'}:
            return keys
        desired = max(-1.0, min(1.0, (self.target_row(game) - game.ship_y) / 18.0))
        v = game.velocity_y
        return keys | ({KEY['UP']} if v > desired + 0.03 else {KEY['DOWN']} if v < desired - 0.12 else set())

    @staticmethod
    def target_row(game):
        # The middle of the open stretch (12 rows or more) nearest to the ship.
        x, y, mids = fm.near(game.scroll_x + game.ship_x + 14), 0, []
        for is_open, rows in itertools.groupby(game.pixel(x, row) == 0 for row in range(200)):
            k = len(list(rows))
            if is_open and k >= 12:
                mids.append(y + (k - 1) / 2.0)
            y += k
        return min(mids, key=lambda mid: abs(mid - (game.ship_y + 4)), default=100.0) - 4

    def __call__(self, game, n):
        if self.was_playing and not game.playing and self.plans:
            self.next_enter = n + 12
        self.was_playing = bool(game.playing)
        if n == self.next_enter and self.plans:
            events = [('up', key) for key in sorted(self.held)] + [('tap', KEY['ENTER'])]
            self.held, self.plan, self.run_start, self.next_enter = set(), self.plans.pop(0), n, None
            return events
        want = self.wanted(game, n) if game.playing and not game.paused else set()
        events = [('up', k) for k in sorted(self.held - want)]
        events += [('down', k) for k in sorted(want - self.held)]
        self.held = want
        return events


class FlightModel(unittest.TestCase):
    def fly(self, maps, script='', until=100, shots=(), plans=None, check=None):
        """Runs the script (events split by ',') on the game and the model for each seed; with plans
        the model first flies them to write the keys. check: (what, condition on the model's trace)."""
        root, catalogue, ini = make_game_dir(maps)
        self.addCleanup(shutil.rmtree, root, True)
        script = script.replace(',', '\n') + '\n'
        if plans:
            model = fm.Game(root, catalogue, SEEDS[0])
            model.run(script, until, pilot=Pilot(plans))
            script += '\n'.join(model.piloted) + '\n'
        for seed in SEEDS:
            with self.subTest(seed=seed):
                # The game writes records and replays: each seed starts afresh.
                with open(os.path.join(root, 'Maps', 'Maps.ini'), 'wb') as f:
                    f.write(ini)
                for name in os.listdir(os.path.join(root, 'Replays')):
                    os.remove(os.path.join(root, 'Replays', name))
                game, messages = run_sim(root, script, seed, until, shots)
                self.prove_records(root)
                model = fm.Game(root, catalogue, seed)
                lines = model.run(script, until, shots=shots)
                for n, (g, m) in enumerate(zip(game, lines), start=1):
                    bad = [name for name, a, b in zip(FIELDS, g.split(), m.split()) if a != b]
                    self.assertEqual(g, m, 'dispatch %d, fields %s (game first); previous line: %s'
                                     % (n, bad, game[n - 2] if n > 1 else '-'))
                self.assertEqual(len(game), len(lines), 'number of trace lines')
                self.assertEqual(messages, model.messages)
                for n in shots:
                    view, shot = model.views.get(n), fm.Picture(os.path.join(root, 'shot%d.png' % n))
                    self.assertIsNotNone(view, 'dispatch %d shows no flight view' % n)
                    # Not compared: beyond the map picture, and under "COLLISION".
                    bad = next(((x, y, shot.rows[y][x], view[y][x]) for y in range(200) for x in range(600)
                                if view[y][x] not in (fm.OUTSIDE, shot.rows[y][x])
                                and not (model.colliding_at[n] and x < 140 and y < 40)), None)
                    self.assertIsNone(bad, 'shot at dispatch %d: pixel (x, y), game, model' % n)
                if check:
                    self.assertTrue(check[1](lines), check[0])

    def prove_records(self, root):
        """Every record run the game kept is proven from its replay's keys."""
        for k, path, score in records(root):
            verdict = prove(os.path.join(root, 'Maps', 'Maps.ini'), k, path, score, '--any-cave')
            self.assertEqual(verdict[0], 'proven', verdict[3])


def records(root):
    """The records the game kept: (map number, replay file, whole score)."""
    with open(os.path.join(root, 'Maps', 'Maps.ini'), 'rb') as f:
        ini = f.read().decode('latin-1')
    return [(int(name[3:5]), os.path.join(root, 'Replays', name),
             int(mask(re.search(r'\[%s\][^[]*ScoreBest=([^\r\n]*)' % name[3:5], ini).group(1))))
            for name in sorted(os.listdir(os.path.join(root, 'Replays')))]


def prove(catalogue, k, replay, score, *options):
    """quillrun-prove on a replay file: verdict, step and field of a refusal, and its line."""
    out = subprocess.run([os.path.join(os.path.dirname(SIM), 'quillrun-prove'), '--maps', catalogue, '--map', str(k),
                          '--score', str(score), '--replay', replay, *options], capture_output=True, text=True).stdout
    found = re.match(r'(\w+): (?:step (\d+), ([\w ]+):)?', out)
    return found.group(1), int(found.group(2) or 0), found.group(3), out


def field(lines, name):
    k = FIELDS.index(name)
    return [line.split()[k] for line in lines]


CORRIDOR = ('a.bmp', 900, 'Corridor', corridor(50, 120), 900)
STEPS = ('steps.bmp', 1500, 'Steps', steps_cave, 1500)
GATE_KEYS = ','.join('%d down UP,%d up UP' % (t, t + 9) for t in range(40, 420, 23))
# name: maps, script (',' between events), until, shots, pilot plans, (what, check on the trace)
CASES = {
    # Digit keys, wrapping list steps, the help screen, UP/DOWN outside a run, three start heights.
    'selection_screen_and_start_heights': (
        [CORRIDOR, ('b.bmp', 900, 'Open', open_start_cave, 900),
         ('c.bmp', 900, 'Solid', lambda x, y: ROCK, 900)],
        '3 tap UP,5 tap DOWN,6 tap DOWN,8 tap H,9 tap UP,9 tap 3,10 tap H,12 tap 2,13 tap ENTER,16 tap ESC,'
        '17 tap 3,18 tap ENTER,21 tap ESC,22 tap 1,23 tap ENTER,26 tap ESC,27 tap 9,28 tap UP,30 tap 5', 32),
    # No map: ENTER still starts a run, all rock, past the map end at once; ESC on
    # the selection screen ends the program.
    'empty_catalogue': (
        [], '2 tap ENTER,4 tap ENTER,4 tap UP,6 tap DOWN,7 tap DOWN,8 tap UP,9 tap ESC', 12, (), None,
        ('the trace stops at dispatch 9', lambda lines: len(lines) == 9)),
    # A missing map picture starts no run; the old picture stays for the start height.
    'missing_map_picture': (
        [CORRIDOR, ('missing.bmp', 800, 'Missing', None, 0)], '2 tap 2,3 tap ENTER,5 tap 1,6 tap ENTER,'
        '8 tap ESC,9 tap 2,10 tap ENTER,12 tap 1,13 tap ENTER,15 tap SPACE', 20),
    # Gravity, thrust both ways, the map end, a new record, the selection screen after.
    'corridor_to_the_end_with_record': (
        [('corr.bmp', 1100, 'Long', corridor(60, 150), 1100)], '2 tap ENTER,6 down UP,40 up UP,80 down DOWN,'
        '95 up DOWN,120 down UP,121 down DOWN,150 up UP,170 up DOWN,200 down SPACE,230 up SPACE,'
        'dialog Tester', 460),
    # Brake and turbo (also both held) until the tank is empty, and the refill.
    'brake_and_turbo_to_an_empty_tank': (
        [('corr.bmp', 2400, 'Long', corridor(40, 170), 2400)], '2 tap ENTER,5 down RIGHT,60 down LEFT,'
        '90 up LEFT,95 down UP,130 up UP,260 up RIGHT,262 down CTRL,300 down UP,330 up UP,480 up CTRL,'
        '490 down SHIFT,495 down UP,520 up UP,700 up SHIFT,710 down SPACE,745 up SPACE,dialog Tester', 900),
    # Ceiling and floor hits at speed, the debug gauge marks, a pause; an empty name.
    'steps_with_hits_debug_marks_and_pause': (
        [STEPS], '2 tap ENTER,4 tap D,5 down UP,70 up UP,71 down DOWN,110 up DOWN,80 tap P,90 tap P,'
        '151 down UP,175 up UP,200 tap D,230 down UP,260 up UP,300 down DOWN,330 up DOWN,dialog ',
        700, (60, 95, 105, 139)),
    'narrow_gates': (
        [('gates.bmp', 1300, 'Gates', gates_cave, 1300)], '2 tap ENTER,3 down UP,25 up UP,' + GATE_KEYS
        + ',200 down RIGHT,215 up RIGHT,300 down LEFT,330 up LEFT,dialog Tester', 560),
    'pillars': (
        [('pillars.bmp', 1200, 'Pillars', pillars_cave, 1200)], '2 tap ENTER,3 down DOWN,20 up DOWN,'
        '60 down UP,85 up UP,120 down UP,160 up UP,200 down DOWN,215 up DOWN,260 tap D', 520),
    # Wedged in a closing cave, the ship loses its shield; DOWN held through the
    # game over does not move the selection.
    'cave_that_kills_the_ship': (
        [('crush.bmp', 3000, 'Crusher', crusher_cave, 3000),
         ('corr.bmp', 900, 'Corridor', corridor(40, 160), 900)],
        '2 tap ENTER,3 tap UP,6 tap UP,100 down RIGHT,160 down DOWN,300 up DOWN,320 down UP,321 up UP',
        500, (90, 150)),
    # In a tunnel 8 rows high the bounce speed halves until a float cannot hold
    # it; then the ship is knocked loose again.
    'wedged_in_a_tunnel': (
        [('tunnel.bmp', 3000, 'Tunnel', lambda x, y: crusher_cave(x, y, 103), 3000)],
        '2 tap ENTER,3 tap UP,6 tap UP', 700, (300,), None,
        ('the speed reaches zero', lambda lines: {'0', '-0'} & set(field(lines[200:], 'velocityY')))),
    # Past the picture's right edge everything reads as rock.
    'map_wider_in_catalogue_than_picture': (
        [('short.bmp', 900, 'Short', corridor(50, 150), 500)],
        '2 tap ENTER,4 tap UP,40 down UP,60 up UP', 400),
    # ENTER during a run restarts it on a fresh map; ESC during a pause; after a
    # record, the next run on that map does not break it.
    'restart_during_run_and_second_run': (
        [('corr.bmp', 700, 'Short', corridor(60, 150), 700), STEPS], '2 tap ENTER,3 down UP,20 up UP,'
        '60 tap ENTER,63 tap UP,300 tap 2,302 tap ENTER,303 tap SPACE,310 tap P,320 tap ESC,330 tap 1,'
        '331 tap ENTER,332 down LEFT,400 up LEFT,dialog Tester,dialog Second', 900),
    # A clean flight to the end sets the record; a second one, with turbo and
    # brake, is measured against it.
    'winding_cave_to_the_end_twice': (
        [('wavy.bmp', 1600, 'Winding', wavy_cave, 1600)], 'dialog Tester,dialog Again', 1300,
        (30, 160, 215, 400, 640, 700, 870), [[(0, 3, 'idle')], [(40, 90, 'turbo'), (150, 170, 'brake'),
                                                                (200, 260, 'turbo'), (230, 240, 'brake')]],
        ('600 passes in flight', lambda lines: field(lines, 'playing').count('-1') >= 600)),
    # Hard hits bring the shield below 30; turbo is then refused and empties the tank.
    'weak_shield_refuses_turbo': (
        [('wavy.bmp', 2600, 'Winding', wavy_cave, 2600)], '', 900, (100, 230, 310),
        [[(20, 40, 'ceiling'), (70, 90, 'ceiling'), (120, 140, 'floor'), (170, 190, 'ceiling'),
          (220, 240, 'floor'), (260, 280, 'ceiling'), (300, 360, 'turbo'), (380, 420, 'brake'),
          (400, 470, 'turbo')]],
        ('the shield falls below 30', lambda lines: min(float(s) for s in field(lines, 'shield')) < 30)),
    # A free bottom hit before the first key, a light knock, regeneration past the full shield.
    'resting_start_and_regeneration_past_full': (
        [('ledge.bmp', 3400, 'Ledge', ledge_cave, 3400)], '', 1400, (5, 700, 1250),
        [[(0, 7, 'idle'), (8, 12, 'floor')]],
        ('the shield goes past 100', lambda lines: max(float(s) for s in field(lines, 'shield')) > 100)),
    # The ship falls onto the bottom edge of an open picture, climbs to its top,
    # is paused, restarted while paused, and flies on.
    'picture_edges_are_rock': (
        [('open.bmp', 1200, 'Open', lambda x, y: 0, 1200)], '2 tap ENTER,3 tap UP,120 down UP,200 up UP,'
        '230 tap P,240 tap ENTER,241 tap P,245 tap P,250 down DOWN,300 up DOWN,320 down UP,330 down RIGHT,'
        '331 down RIGHT,333 down RIGHT,400 up UP', 500, (100, 130, 250)),
    # The same flight twice gives the same whole score: no record the second time.
    'equal_score_is_no_record': (
        [('wavy.bmp', 1200, 'Winding', wavy_cave, 1200)], 'dialog Tester', 1000, (),
        [[(0, 3, 'idle'), (100, 140, 'turbo')]] * 2),
    # An 8-bit palette map, an old record that this run beats, a Width of 801.5 read as 802.
    'palette_map_with_old_record_and_half_width': (
        [('pal.bmp', '801.5', 'Palette', (PALETTE, palette_index), 820, (12, 'Old')),
         ('pal2.bmp', '1200', 'Palette', (PALETTE, palette_index), 1200, (900, 'Best'))],
        'dialog Tester', 400, (40, 200), [[(0, 3, 'idle'), (100, 120, 'ceiling')]]),
    'old_record_not_beaten': (
        [('corr.bmp', 1000, 'Long', corridor(60, 150), 1000, (900, 'Best'))],
        '1 tap D,2 tap ENTER,4 down UP,30 up UP,90 tap D', 500, (60, 120)),
}
for _name, _case in CASES.items():
    setattr(FlightModel, 'test_' + _name, lambda self, case=_case: self.fly(*case))


def main():
    global SIM
    if len(sys.argv) < 2:
        print('usage: test_flight_model.py <path of quillrun-sim>', file=sys.stderr)
        return 2
    SIM = sys.argv.pop(1)
    result = unittest.main(exit=False, verbosity=2).result
    # A failing subtest (one seed) fails its whole test.
    failed = len(set(getattr(t, 'test_case', t).id() for t, _ in result.failures + result.errors))
    print('%d passed, %d failed' % (result.testsRun - failed - len(result.skipped), failed))
    return 0 if result.wasSuccessful() else 1


if __name__ == '__main__':
    sys.exit(main())
