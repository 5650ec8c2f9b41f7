"""Reference model of a Quillrun run, written independently of the C++ flight code.

It replays the same key script as quillrun-sim and produces the same trace:
one line per message dispatch of the main loop. Floats are kept as Python
floats that always hold a single-precision value: every right-hand side is
worked out in double precision and rounded to single precision when it is
stored into a float field (f32 below).
"""
# SPDX-License-Identifier: MIT

import math
import os
import random
import struct
from types import SimpleNamespace

from PIL import Image

# ---------------------------------------------------------------------------
# Numbers


def f32(x):
    """Round a double to the nearest single-precision value."""
    return struct.unpack('<f', struct.pack('<f', x))[0]


def near(v):
    """Nearest integer, halves to the even neighbour."""
    return int(round(v))


def whole(v):
    """Whole part, rounded down."""
    return int(math.floor(v))


def int16(v):
    return ((v + 0x8000) & 0xFFFF) - 0x8000


def round_half_away(v):
    r = math.floor(v)  # v - r is exact for the magnitudes used here
    return int(r + 1 if v - r > 0.5 or (v - r == 0.5 and v > 0) else r)


def text_of_number(v):
    """Shortest plain decimal text of a whole single-precision value."""
    return str(int(v)) if v == math.floor(v) else repr(v)


def mt19937(seed):
    """std::mt19937: Python's generator is the same MT19937, given the state std::mt19937 seeds."""
    state = [seed & 0xFFFFFFFF]
    for i in range(1, 624):
        state.append((1812433253 * (state[-1] ^ (state[-1] >> 30)) + i) & 0xFFFFFFFF)
    rng = random.Random()
    rng.setstate((3, tuple(state + [624]), None))
    return rng


# ---------------------------------------------------------------------------
# Pictures

OUTSIDE = 0xFFFFFFFF  # what a point outside a picture reads as: rock


class Picture:
    """A decoded picture (BMP or PNG), or an empty one; pixels are 0x00BBGGRR."""

    def __init__(self, path=None):
        img = Image.open(path).convert('RGB') if path else Image.new('RGB', (0, 0))
        self.width, self.height = img.size
        pixels = [r | g << 8 | b << 16 for r, g, b in img.getdata()]
        self.rows = [pixels[y * self.width:(y + 1) * self.width] for y in range(self.height)]

    def get(self, x, y):
        return self.rows[y][x] if 0 <= x < self.width and 0 <= y < self.height else OUTSIDE

    def set(self, x, y, colour):
        if 0 <= x < self.width and 0 <= y < self.height:
            self.rows[y][x] = colour


# ---------------------------------------------------------------------------
# Keys and script

KEY_NAMES = {'UP': 38, 'DOWN': 40, 'LEFT': 37, 'RIGHT': 39, 'SPACE': 32, 'SHIFT': 16,
             'CTRL': 17, 'ENTER': 13, 'ESC': 27, 'F1': 112}


def key_code(name):
    if name in KEY_NAMES:
        return KEY_NAMES[name]
    return ord(name) if len(name) == 1 and (name.isupper() or name.isdigit()) else int(name)


def parse_script(text):
    """Returns (events by dispatch, dialog answers); an answer None is a cancel."""
    events, dialogs = {}, []
    for parts in (line.split(None, 2) for line in text.splitlines()):
        if not parts or parts[0].startswith('#') or parts[0] == 'confirm':
            continue
        if parts[0] in ('dialog', 'dialog-cancel'):
            dialogs.append(None if parts[0] == 'dialog-cancel' else (parts + [''])[1])
        else:
            key = key_code(parts[2]) if len(parts) > 2 else None
            events.setdefault(int(parts[0]), []).append((parts[1], key))
    return events, dialogs


# ---------------------------------------------------------------------------
# The game


class ProgramEnded(Exception):
    pass


class Game:
    # Flags are 0 or -1, so ~ toggles them.

    def __init__(self, game_dir, catalogue, seed=1):
        """catalogue: (file, width, name, best or None, holder) for maps 1..n (as in Maps.ini)."""
        self.game_dir = game_dir
        self.rng = mt19937(seed)
        self.messages = []
        self.stored = {k + 1: tuple(e) for k, e in enumerate(catalogue)}
        self.maps = [SimpleNamespace(file='', width=0, name='', score_best=0.0, score_name='')
                     for _ in range(51)]
        # every field starts at zero
        self.playing = self.debug_draw = self.colliding = self.selected_map = self.map_width = 0
        self.scroll_speed = self.narrow_bonus = 0.0
        self.map_surface = Picture()
        self.views, self.colliding_at = {}, {}

    def rand(self):
        """A uniform number: (gen() >> 8) * 2^-24."""
        return (self.rng.getrandbits(32) >> 8) * (2.0 ** -24)

    def effective_shield(self):
        return f32(self.shield_max / 100.0 * self.shield)

    def pixel(self, x, y):
        return self.map_surface.get(x, y)

    def rock(self, x, y):
        return self.map_surface.get(x, y) != 0

    def load_map_catalogue(self):
        for k in range(1, 51):
            if not self.stored.get(k, ('',))[0]:
                return
            file, width, name, best, holder = self.stored[k]
            e = self.maps[k]
            e.file, e.width, e.name, e.score_name = file, int16(width), name, holder
            if best is not None:
                e.score_best = f32(best)

    # -- run start ------------------------------------------------------

    def start_run(self):
        self.selected_map = self.selected_map or 1
        self.gravity, self.thrust_accel, self.shield_regen = f32(0.045), f32(-0.045), f32(0.01)
        self.ship_x, self.shield, self.shield_max = 30.0, 100.0, 100.0
        self.impact_factor, self.fuel_max, self.turbo_min_shield, self.gauge_range = 14, 200, 30, 20
        entry = self.maps[self.selected_map]
        if entry.file:
            path = os.path.join(self.game_dir, 'Maps', entry.file)
            if os.path.exists(path):
                self.map_surface = Picture(path)
            else:
                self.messages.append('message: Error: No Map/Picture File!!!')
                self.playing = 0
            self.map_width, self.scroll_speed = entry.width, f32(2.2)
        # start height in column 30: the first open row and the first rock below it
        top = next((y for y in range(1, 201) if self.pixel(30, y) == 0), 0)
        bottom = next((y for y in range(top, 201) if self.rock(30, y)), 0) if top else 0
        self.ship_y = float(int16(top + bottom // 2 - 4))
        self.scroll_x = self.score = self.velocity_y = 0.0
        self.frame_index, self.run_map, self.fuel = 0, self.selected_map, float(self.fuel_max)
        self.brake = self.turbo = self.thrust_up = self.thrust_down = 0
        self.paused = self.started = self.help_shown = 0

    # -- flight ---------------------------------------------------------

    def scroll_view(self):
        if self.pass_no in self.shot_passes:
            # The 600 x 200 view as copied from the map.
            sx = near(self.scroll_x)
            self.views[self.pass_no] = [[self.pixel(sx + x, y) for x in range(600)] for y in range(200)]
        if self.started:
            if self.fuel > 0 and self.brake:
                step = self.scroll_speed / 2.0
            elif not self.turbo:
                step = self.scroll_speed
            else:
                step = self.scroll_speed * 2.0
            self.scroll_x = f32(self.scroll_x + step)

    def gap(self, x, row):
        """The first of the rows row(1), row(2), ... that is rock; debug marks the open ones."""
        for i in range(1, self.gauge_range + 1):
            y = near(row(i))
            if self.rock(x, y):
                return i
            if self.debug_draw:
                self.map_surface.set(x, y, 0x40C0)
        return self.gauge_range + 1

    def measure_cave(self):
        x = near(self.ship_x + self.scroll_x)
        self.gap_below = self.gap(x, lambda i: self.ship_y + i + 10)
        self.gap_above = self.gap(x, lambda i: self.ship_y - i)
        self.brake_shield_bonus = f32(round_half_away(self.shield / 3.0) / 1000.0)
        self.shield_bonus = f32(round_half_away(self.shield / 2.0) / 1000.0)
        g = self.gauge_range
        self.narrow_bonus = f32((g - self.gap_below) + g - self.gap_above + 2)
        speed_part = self.scroll_speed / 20.0
        narrow_part = self.narrow_bonus / 70.0
        if self.brake:
            self.score = f32(self.score + (speed_part + self.brake_shield_bonus + narrow_part) / 2.0)
        elif not self.turbo:
            self.score = f32(self.score + (self.shield_bonus + speed_part + narrow_part))
        else:
            self.score = f32(self.score + 2.5 * (speed_part + self.shield_bonus + narrow_part))

    def update_ship(self):
        # fuel: at most one over the tank between passes
        if not self.brake:
            self.fuel = min(self.fuel, float(self.fuel_max))
        elif self.fuel > 0:
            self.fuel = f32(self.fuel - 1)
        else:
            self.fuel, self.brake = 0.0, 0
        if not self.turbo:
            self.fuel = min(self.fuel, float(self.fuel_max))
        elif self.fuel <= 0 or self.effective_shield() <= self.turbo_min_shield:
            self.fuel, self.turbo = 0.0, 0
        else:
            self.fuel = f32(self.fuel - 1)
        if not self.brake and not self.turbo:
            self.fuel = f32(self.fuel + 1)
        # thrust and gravity
        if self.started and not self.colliding:
            if self.thrust_up:
                self.velocity_y = f32(self.thrust_accel + self.velocity_y)
            elif not self.thrust_down:
                self.velocity_y = f32(self.gravity + self.velocity_y)
            else:
                self.velocity_y = f32(self.gravity + self.velocity_y - self.thrust_accel)
        if self.started:
            self.ship_y = f32(self.ship_y + self.velocity_y)
            # Without any map (an empty catalogue) the width is still 0: no drift.
            ratio = 400.0 / self.map_width if self.map_width != 0 else 0.0
            if self.brake:
                self.ship_x = f32(self.ship_x + (self.scroll_speed / 2.0) * ratio)
            elif not self.turbo:
                self.ship_x = f32(self.ship_x + ratio * self.scroll_speed)
            else:
                self.ship_x = f32(self.ship_x + ratio * self.scroll_speed * 2.0)
        if self.pass_no in self.shot_passes:
            # The test ship is a white block over a black mask: it covers 18 x 9.
            view, x0, y0 = self.views[self.pass_no], near(self.ship_x), near(self.ship_y)
            for y in range(max(0, y0), min(200, y0 + 9)):
                for x in range(max(0, x0), min(600, x0 + 18)):
                    view[y][x] = 0xFFFFFF
        # trail painted into the map
        map_x, paint = self.scroll_x + self.ship_x, self.map_surface.set
        eff = self.effective_shield()
        if eff > 70:
            paint(near(map_x), near(self.ship_y + 1), 0xFF)
        r = self.rand()
        if eff > 10 and not self.brake and \
                math.floor(r * (10 - self.shield_max / 1000.0 * self.shield)) <= 0:
            paint(near(map_x + 2), near(self.ship_y + 4), 0xFFFF)
        if eff > 40:
            paint(near(map_x), near(self.ship_y + 7), 0xFF)
        if eff > self.turbo_min_shield and self.turbo:
            paint(near(map_x + 2), near(self.ship_y + 2), 0xFFFF)
            paint(near(map_x + 2), near(self.ship_y + 6), 0xFFFF)
        # collisions: top of the ship, then its bottom
        probe_x, k = near(self.scroll_x + self.ship_x + 6), self.impact_factor
        self.colliding = 0
        if self.rock(probe_x, near(self.ship_y)):
            self.colliding, v = -1, self.velocity_y
            self.shield = f32(k * v + self.shield if v < 0 else self.shield - (k * v) / 2.5)
            self.ship_y = f32(self.ship_y + 1)
            if self.rock(probe_x, near(self.ship_y)):
                self.ship_y = f32(self.ship_y + 2)
            self.velocity_y = f32(-(v / 2.0) if v < 0 else 0.8)
        if self.rock(probe_x, near(self.ship_y + 8)):
            self.colliding, v = -1, self.velocity_y
            self.shield = f32((k * v) / 2.5 + self.shield if v < 0 else self.shield - k * v)
            self.ship_y = f32(self.ship_y - 1)
            if self.rock(probe_x, near(self.ship_y + 8)):
                self.ship_y = f32(self.ship_y - 2)
            self.velocity_y = f32(-(v / 2.0) if v > 0 else -0.2)
        if self.shield < self.shield_max:
            self.shield = f32(self.shield + self.shield_regen)
        if self.rock(probe_x, near(self.ship_y)) and self.rock(probe_x, near(self.ship_y + 8)):
            self.shield = f32(self.shield - 1)
        if f32(self.scroll_x + self.ship_x) > self.map_width:
            self.shield = -1.0
        if self.shield < 0:
            self.end_run()

    def end_run(self):
        self.load_map_catalogue()
        k = self.selected_map
        best, whole_score = self.maps[k].score_best, float(whole(self.score))
        if math.floor(best) < whole_score:
            self.messages.append('message: Quillrun: Congratulations, you broke the old record (%s)\\n'
                                 'New record: %s\\nEnter your name!'
                                 % (text_of_number(best), text_of_number(whole_score)))
            name = (self.dialogs.pop(0) if self.dialogs else None) or 'Me'
            self.maps[k].score_best, self.maps[k].score_name = whole_score, name
            self.stored[k] = self.stored[k][:3] + (whole_score, name)
        for _ in range(4):  # jitter of the two "GAME OVER" layers
            self.rand()
        self.shield, self.playing, self.thrust_up, self.thrust_down = 0.0, 0, 0, 0
        self.selected_map = self.run_map

    # -- screens and keys -----------------------------------------------

    def draw_selection_screen(self):
        if self.help_shown:
            return
        if self.thrust_up:
            last = max((k for k in range(1, 51) if self.maps[k].file), default=0)
            self.selected_map = last if self.selected_map <= 1 else self.selected_map - 1
            self.thrust_up = 0
        if self.thrust_down:
            more = self.selected_map < 50 and self.maps[self.selected_map + 1].file
            self.selected_map = self.selected_map + 1 if more else 1
            self.thrust_down = 0
        for _ in range(5):  # jitter of the prompt
            self.rand()

    def key_down(self, key):
        if key in (38, 32):
            self.started = self.thrust_up = -1
        if key == 40:
            self.thrust_down = self.started = -1
        if key in (39, 16) and self.playing:
            self.turbo = self.started = -1
        if key in (37, 17) and self.playing:
            self.brake = self.started = -1
        if key == 13:
            self.playing = -1
            self.start_run()
        # digits pick one of the first nine maps, up to the first gap in the list
        if not self.playing and 49 <= key <= 57 and all(self.maps[k].file for k in range(1, key - 47)):
            self.selected_map = key - 48

    def key_up(self, key):
        if key in (82, 85):
            raise NotImplementedError('replays and the upload are not modelled')
        if key in (38, 32):
            self.thrust_up = 0
        if key == 40:
            self.thrust_down = 0
        if key in (39, 16):
            self.turbo = 0
        if key in (37, 17):
            self.brake = 0
        if key == 68:
            self.debug_draw = ~self.debug_draw
        if key == 27:
            if not self.playing:
                raise ProgramEnded()
            self.playing = self.paused = 0
        if key == 80 and self.playing:
            self.paused = ~self.paused
        if key in (72, 112) and not self.playing:
            self.help_shown = ~self.help_shown

    # -- main loop ------------------------------------------------------

    def trace_line(self, n):
        ints = (n, self.playing, self.started, self.paused, 0, self.selected_map, self.frame_index)
        floats = (self.scroll_x, self.ship_x, self.ship_y, self.velocity_y, self.score, self.shield,
                  self.fuel)
        return ' '.join([str(v) for v in ints] + ['%.9g' % v for v in floats] +
                        [str(self.colliding), '%.9g' % self.narrow_bonus])

    def frame(self):
        if not self.playing:
            self.draw_selection_screen()
            return
        if not self.paused:
            self.scroll_view()
            if self.started:
                self.measure_cave()
            self.update_ship()
            if self.started == -1 and self.frame_index < 30000:
                self.frame_index += 1
        if self.playing and self.paused:
            for _ in range(4):  # jitter of the two "PAUSED" layers
                self.rand()

    def run(self, script_text, until, pilot=None, shots=()):
        """Returns the trace lines for dispatches 1..until.

        pilot(game, n), if given, returns more events for dispatch n; they are
        collected in self.piloted as script lines. shots: dispatches whose
        view is kept in self.views."""
        events, self.dialogs = parse_script(script_text)
        self.shot_passes, self.piloted, lines = set(shots), [], []
        self.start_run()
        self.load_map_catalogue()
        try:
            for n in range(1, until + 1):
                self.pass_no = n
                self.frame()
                self.colliding_at[n] = self.colliding
                lines.append(self.trace_line(n))
                todo = events.get(n, [])
                if pilot is not None:
                    extra = pilot(self, n)
                    self.piloted += ['%d %s %d' % (n, kind, key) for kind, key in extra]
                    todo = todo + extra
                for kind, key in todo:
                    if kind == 'close':
                        raise ProgramEnded()
                    if kind in ('down', 'tap'):
                        self.key_down(key)
                    if kind in ('up', 'tap'):
                        self.key_up(key)
        except ProgramEnded:
            pass
        return lines
