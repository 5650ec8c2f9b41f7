"""Reference model of a Quillrun run, written independently of the C++ flight code.

It replays the same key script as quillrun-sim and produces the same trace:
one line per message dispatch of the main loop. Floats are kept as Python
floats that always hold a single-precision value: every right-hand side is
worked out in double precision and rounded to single precision when it is
stored into a float field (f32 below).
"""

import math
import os
import struct
import zlib

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
    v &= 0xFFFF
    return v - 0x10000 if v >= 0x8000 else v


def round_half_away(v):
    r = math.floor(v)
    frac = v - r  # exact for the magnitudes used here
    if frac > 0.5 or (frac == 0.5 and v > 0):
        r += 1  # a negative half stays at the floor, which is away from zero
    return int(r)


def text_of_number(v):
    """Shortest plain decimal text of a whole single-precision value."""
    if v == math.floor(v):
        return str(int(v))
    return repr(v)


def fmt9(v):
    return '%.9g' % v


# ---------------------------------------------------------------------------
# Random source: std::mt19937, uniform numbers (gen() >> 8) * 2^-24


class MT19937:
    def __init__(self, seed):
        self.mt = [0] * 624
        self.index = 624
        self.mt[0] = seed & 0xFFFFFFFF
        for i in range(1, 624):
            prev = self.mt[i - 1]
            self.mt[i] = (1812433253 * (prev ^ (prev >> 30)) + i) & 0xFFFFFFFF

    def _twist(self):
        mt = self.mt
        for i in range(624):
            y = (mt[i] & 0x80000000) | (mt[(i + 1) % 624] & 0x7FFFFFFF)
            v = mt[(i + 397) % 624] ^ (y >> 1)
            if y & 1:
                v ^= 0x9908B0DF
            mt[i] = v
        self.index = 0

    def next_u32(self):
        if self.index >= 624:
            self._twist()
        y = self.mt[self.index]
        self.index += 1
        y ^= y >> 11
        y ^= (y << 7) & 0x9D2C5680
        y ^= (y << 15) & 0xEFC60000
        y ^= y >> 18
        return y & 0xFFFFFFFF

    def uniform(self):
        return (self.next_u32() >> 8) * (2.0 ** -24)


# ---------------------------------------------------------------------------
# Pictures


class Picture:
    """A decoded picture; pixels are 0x00BBGGRR. Points outside read as rock."""

    OUTSIDE = 0xFFFFFFFF

    def __init__(self, width, height, rows):
        self.width = width
        self.height = height
        self.rows = rows  # list of lists, rows[y][x]

    def get(self, x, y):
        if 0 <= x < self.width and 0 <= y < self.height:
            return self.rows[y][x]
        return Picture.OUTSIDE

    def set(self, x, y, colour):
        if 0 <= x < self.width and 0 <= y < self.height:
            self.rows[y][x] = colour


def read_bmp(path):
    """Reads an uncompressed BMP: 24-bit colour or an 8-bit palette."""
    with open(path, 'rb') as f:
        data = f.read()
    if data[:2] != b'BM':
        raise ValueError('%s: not a BMP file' % path)
    offset = struct.unpack_from('<I', data, 10)[0]
    header_size, width, height = struct.unpack_from('<Iii', data, 14)
    planes, bpp, compression = struct.unpack_from('<HHI', data, 26)
    if bpp not in (8, 24) or compression != 0:
        raise ValueError('%s: only uncompressed 8-bit and 24-bit BMPs are read' % path)
    palette = []
    if bpp == 8:
        used = struct.unpack_from('<I', data, 46)[0] or 256
        base = 14 + header_size
        for i in range(used):
            b, g, r = data[base + 4 * i], data[base + 4 * i + 1], data[base + 4 * i + 2]
            palette.append(r | (g << 8) | (b << 16))
    top_down = height < 0
    height = abs(height)
    stride = (width * bpp // 8 + 3) & ~3
    rows = []
    for y in range(height):
        src_row = y if top_down else height - 1 - y
        base = offset + src_row * stride
        if bpp == 8:
            rows.append([palette[data[base + x]] for x in range(width)])
            continue
        row = []
        for x in range(width):
            b, g, r = data[base + 3 * x], data[base + 3 * x + 1], data[base + 3 * x + 2]
            row.append(r | (g << 8) | (b << 16))
        rows.append(row)
    return Picture(width, height, rows)


def write_bmp8(path, width, height, palette, index):
    """Writes a bottom-up 8-bit palette BMP; index(x, y) picks a palette entry."""
    stride = (width + 3) & ~3
    body = bytearray()
    for y in range(height - 1, -1, -1):
        row = bytearray(index(x, y) for x in range(width))
        row += b'\0' * (stride - len(row))
        body += row
    pal = bytearray()
    for c in palette:
        pal += bytes((c >> 16 & 0xFF, c >> 8 & 0xFF, c & 0xFF, 0))
    offset = 54 + len(pal)
    header = struct.pack('<2sIHHI', b'BM', offset + len(body), 0, 0, offset)
    info = struct.pack('<IiiHHIIiiII', 40, width, height, 1, 8, 0, len(body), 2835, 2835,
                       len(palette), 0)
    with open(path, 'wb') as f:
        f.write(header + info + pal + body)


def write_bmp24(path, width, height, pixel):
    """Writes a bottom-up 24-bit BMP; pixel(x, y) gives 0x00BBGGRR."""
    stride = (width * 3 + 3) & ~3
    body = bytearray()
    for y in range(height - 1, -1, -1):
        row = bytearray()
        for x in range(width):
            c = pixel(x, y)
            row += bytes((c >> 16 & 0xFF, c >> 8 & 0xFF, c & 0xFF))
        row += b'\0' * (stride - len(row))
        body += row
    header = struct.pack('<2sIHHI', b'BM', 54 + len(body), 0, 0, 54)
    info = struct.pack('<IiiHHIIiiII', 40, width, height, 1, 24, 0, len(body), 2835, 2835, 0, 0)
    with open(path, 'wb') as f:
        f.write(header + info + body)


def read_png_rgb(path):
    """Reads an 8-bit RGB or RGBA PNG (not interlaced) into rows of 0x00BBGGRR."""
    with open(path, 'rb') as f:
        data = f.read()
    if data[:8] != b'\x89PNG\r\n\x1a\n':
        raise ValueError('%s: not a PNG file' % path)
    pos = 8
    idat = b''
    width = height = channels = 0
    while pos < len(data):
        length, kind = struct.unpack_from('>I4s', data, pos)
        chunk = data[pos + 8:pos + 8 + length]
        pos += 12 + length
        if kind == b'IHDR':
            width, height, depth, colour, _, _, interlace = struct.unpack('>IIBBBBB', chunk)
            if depth != 8 or colour not in (2, 6) or interlace:
                raise ValueError('%s: unsupported PNG layout' % path)
            channels = 3 if colour == 2 else 4
        elif kind == b'IDAT':
            idat += chunk
        elif kind == b'IEND':
            break
    raw = zlib.decompress(idat)
    stride = width * channels
    prev = bytearray(stride)
    rows = []
    p = 0
    for _ in range(height):
        ftype = raw[p]
        line = bytearray(raw[p + 1:p + 1 + stride])
        p += 1 + stride
        for i in range(stride):
            a = line[i - channels] if i >= channels else 0
            b = prev[i]
            c = prev[i - channels] if i >= channels else 0
            if ftype == 1:
                line[i] = (line[i] + a) & 0xFF
            elif ftype == 2:
                line[i] = (line[i] + b) & 0xFF
            elif ftype == 3:
                line[i] = (line[i] + ((a + b) >> 1)) & 0xFF
            elif ftype == 4:
                pa, pb, pc = abs(b - c), abs(a - c), abs(a + b - 2 * c)
                pred = a if pa <= pb and pa <= pc else (b if pb <= pc else c)
                line[i] = (line[i] + pred) & 0xFF
        rows.append([line[x * channels] | (line[x * channels + 1] << 8) |
                     (line[x * channels + 2] << 16) for x in range(width)])
        prev = line
    return Picture(width, height, rows)


# ---------------------------------------------------------------------------
# Keys and script

KEY_NAMES = {'UP': 38, 'DOWN': 40, 'LEFT': 37, 'RIGHT': 39, 'SPACE': 32, 'SHIFT': 16,
             'CTRL': 17, 'ENTER': 13, 'ESC': 27, 'F1': 112}


def key_code(name):
    if name in KEY_NAMES:
        return KEY_NAMES[name]
    if len(name) == 1 and (name.isupper() or name.isdigit()):
        return ord(name)
    return int(name)


def parse_script(text):
    """Returns (events by dispatch, dialog answers); an answer None is a cancel."""
    events = {}
    dialogs = []
    for line in text.splitlines():
        line = line.strip()
        if not line or line.startswith('#'):
            continue
        parts = line.split(None, 2)
        if parts[0] == 'dialog':
            dialogs.append(parts[1] if len(parts) > 1 else '')
            continue
        if parts[0] == 'dialog-cancel':
            dialogs.append(None)
            continue
        if parts[0] == 'confirm':
            continue
        n = int(parts[0])
        kind = parts[1]
        key = key_code(parts[2]) if len(parts) > 2 else None
        events.setdefault(n, []).append((kind, key))
    return events, dialogs


# ---------------------------------------------------------------------------
# The game


class ProgramEnded(Exception):
    pass


class MapEntry:
    def __init__(self, file='', width=0, name='', score_best=0.0, score_name=''):
        self.file = file
        self.width = width
        self.name = name
        self.score_best = score_best
        self.score_name = score_name


class Game:
    def __init__(self, game_dir, catalogue, seed=1, dialogs=()):
        """catalogue: list of MapEntry for maps 1..n (as written to Maps.ini)."""
        self.game_dir = game_dir
        self.rng = MT19937(seed)
        self.dialogs = list(dialogs)
        self.messages = []
        self.stored = dict((k + 1, (e.file, e.width, e.name, e.score_best, e.score_name))
                           for k, e in enumerate(catalogue))
        self.maps = [MapEntry() for _ in range(51)]
        # every field starts at zero
        self.playing = self.started = self.paused = self.replay_mode = 0
        self.thrust_up = self.thrust_down = self.brake = self.turbo = 0
        self.slow_motion = self.seeking = self.help_shown = self.debug_draw = 0
        self.colliding = 0
        self.selected_map = self.run_map = 0
        self.frame_index = 0
        self.scroll_x = self.ship_x = self.ship_y = self.velocity_y = 0.0
        self.score = self.shield = self.fuel = 0.0
        self.narrow_bonus = self.shield_bonus = self.brake_shield_bonus = 0.0
        self.gap_below = self.gap_above = 0
        self.gravity = self.thrust_accel = self.shield_max = self.shield_regen = 0.0
        self.scroll_speed = 0.0
        self.map_width = 0
        self.impact_factor = self.fuel_max = self.turbo_min_shield = self.gauge_range = 0
        self.last_score = 0
        self.map_surface = None
        self.recording = []
        self.pass_no = 0
        self.shot_passes = set()
        self.views = {}
        self.colliding_at = {}

    # -- helpers --------------------------------------------------------

    def rand(self):
        return self.rng.uniform()

    def effective_shield(self):
        return f32(self.shield_max / 100.0 * self.shield)

    def pixel(self, x, y):
        if self.map_surface is None:
            return Picture.OUTSIDE
        return self.map_surface.get(x, y)

    def rock(self, x, y):
        return self.pixel(x, y) != 0

    def paint(self, x, y, colour):
        if self.map_surface is not None:
            self.map_surface.set(x, y, colour)

    def message(self, caption, text):
        self.messages.append('message: %s: %s' % (caption, text.replace('\r\n', '\\n')))

    # -- catalogue ------------------------------------------------------

    def load_map_catalogue(self):
        for k in range(1, 51):
            if k not in self.stored or not self.stored[k][0]:
                return
            file, width, name, best, holder = self.stored[k]
            e = self.maps[k]
            e.file, e.width, e.name = file, int16(width), name
            if best is not None:
                e.score_best = f32(best)
            e.score_name = holder

    def store_map_record(self, k):
        file, width, name, _, _ = self.stored[k]
        e = self.maps[k]
        self.stored[k] = (file, width, name, e.score_best, e.score_name)

    # -- run start ------------------------------------------------------

    def start_run(self):
        if self.selected_map == 0:
            self.selected_map = 1
        self.gravity = f32(0.045)
        self.ship_x = 30.0
        self.thrust_accel = f32(-0.045)
        self.shield = 100.0
        self.shield_max = 100.0
        self.impact_factor = 14
        self.fuel_max = 200
        self.turbo_min_shield = 30
        self.gauge_range = 20
        self.shield_regen = f32(0.01)
        entry = self.maps[self.selected_map]
        if entry.file:
            path = os.path.join(self.game_dir, 'Maps', entry.file)
            if os.path.exists(path):
                self.map_surface = read_bmp(path)
            else:
                self.message('Error', 'No Map/Picture File!!!')
                self.playing = 0
            self.map_width = entry.width
            self.scroll_speed = f32(2.2)
        # start height in column 30
        top_open = 0
        y = 1
        while y <= 200:
            if self.pixel(30, y) == 0:
                top_open = y
                break
            y += 1
        bottom_rock = 0
        if y <= 200:
            while y <= 200:
                if self.pixel(30, y) != 0:
                    bottom_rock = y
                    break
                y += 1
        self.ship_y = float(int16(top_open + int(bottom_rock / 2) - 4))
        self.scroll_x = 0.0
        self.score = 0.0
        self.frame_index = 0
        self.run_map = self.selected_map
        self.fuel = float(self.fuel_max)
        self.velocity_y = 0.0
        self.brake = self.turbo = self.thrust_up = self.thrust_down = 0
        self.paused = self.started = self.seeking = self.help_shown = 0
        self.recording = []

    # -- the picture of the view, for comparison with the game's shots ----

    def capture_view(self):
        """The 600 x 200 view as copied from the map (None: outside the picture)."""
        sx = near(self.scroll_x)
        pic = self.map_surface
        view = []
        for y in range(200):
            if pic is None or y >= pic.height:
                view.append([None] * 600)
                continue
            row = pic.rows[y]
            view.append([row[sx + x] if 0 <= sx + x < pic.width else None for x in range(600)])
        self.views[self.pass_no] = view

    def draw_ship_into_view(self):
        # The test ship is a white block over a black mask: it covers 18 x 9.
        view = self.views[self.pass_no]
        x0, y0 = near(self.ship_x), near(self.ship_y)
        for y in range(max(0, y0), min(200, y0 + 9)):
            for x in range(max(0, x0), min(600, x0 + 18)):
                view[y][x] = 0xFFFFFF

    # -- flight ---------------------------------------------------------

    def scroll_view(self):
        if self.pass_no in self.shot_passes:
            self.capture_view()
        if self.started:
            if self.fuel > 0 and self.brake:
                step = self.scroll_speed / 2.0
            elif not self.turbo:
                step = self.scroll_speed
            else:
                step = self.scroll_speed * 2.0
            self.scroll_x = f32(self.scroll_x + step)

    def measure_cave(self):
        x = near(self.ship_x + self.scroll_x)
        self.gap_below = self.gauge_range + 1
        for i in range(1, self.gauge_range + 1):
            y = near(self.ship_y + i + 10)
            if self.rock(x, y):
                self.gap_below = i
                break
            if self.debug_draw:
                self.paint(x, y, 0x40C0)
        self.gap_above = self.gauge_range + 1
        for i in range(1, self.gauge_range + 1):
            y = near(self.ship_y - i)
            if self.rock(x, y):
                self.gap_above = i
                break
            if self.debug_draw:
                self.paint(x, y, 0x40C0)
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
        # fuel
        if not self.brake:
            if self.fuel >= self.fuel_max:
                self.fuel = float(self.fuel_max)
        else:
            if self.fuel > 0:
                self.fuel = f32(self.fuel - 1)
            else:
                self.fuel = 0.0
                self.brake = 0
        if not self.turbo:
            if self.fuel >= self.fuel_max:
                self.fuel = float(self.fuel_max)
        else:
            if self.fuel <= 0 or self.effective_shield() <= self.turbo_min_shield:
                self.fuel = 0.0
                self.turbo = 0
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
            self.draw_ship_into_view()
        # trail painted into the map
        map_x = self.scroll_x + self.ship_x
        eff = self.effective_shield()
        if eff > 70:
            self.paint(near(map_x), near(self.ship_y + 1), 0xFF)
        r = self.rand()
        if eff > 10 and not self.brake and \
                math.floor(r * (10 - self.shield_max / 1000.0 * self.shield)) <= 0:
            self.paint(near(map_x + 2), near(self.ship_y + 4), 0xFFFF)
        if eff > 40:
            self.paint(near(map_x), near(self.ship_y + 7), 0xFF)
        if eff > self.turbo_min_shield and self.turbo:
            self.paint(near(map_x + 2), near(self.ship_y + 2), 0xFFFF)
            self.paint(near(map_x + 2), near(self.ship_y + 6), 0xFFFF)
        # collisions
        probe_x = near(self.scroll_x + self.ship_x + 6)
        self.colliding = 0
        if self.rock(probe_x, near(self.ship_y)):
            self.colliding = -1
            if self.velocity_y < 0:
                self.shield = f32(self.impact_factor * self.velocity_y + self.shield)
            else:
                self.shield = f32(self.shield - (self.impact_factor * self.velocity_y) / 2.5)
            self.ship_y = f32(self.ship_y + 1)
            if self.rock(probe_x, near(self.ship_y)):
                self.ship_y = f32(self.ship_y + 2)
            if self.velocity_y < 0:
                self.velocity_y = f32(-(self.velocity_y / 2.0))
            else:
                self.velocity_y = f32(0.8)
        if self.rock(probe_x, near(self.ship_y + 8)):
            self.colliding = -1
            if self.velocity_y < 0:
                self.shield = f32((self.impact_factor * self.velocity_y) / 2.5 + self.shield)
            else:
                self.shield = f32(self.shield - self.impact_factor * self.velocity_y)
            self.ship_y = f32(self.ship_y - 1)
            if self.rock(probe_x, near(self.ship_y + 8)):
                self.ship_y = f32(self.ship_y - 2)
            if self.velocity_y > 0:
                self.velocity_y = f32(-(self.velocity_y / 2.0))
            else:
                self.velocity_y = f32(-0.2)
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
        entry = self.maps[self.selected_map]
        best = entry.score_best
        whole_score = float(whole(self.score))
        if math.floor(best) < whole_score:
            self.message('Quillrun', 'Congratulations, you broke the old record (' +
                         text_of_number(best) + ')\r\nNew record: ' +
                         text_of_number(whole_score) + '\r\nEnter your name!')
            answer = self.dialogs.pop(0) if self.dialogs else None
            name = answer if answer else 'Me'
            entry.score_best = whole_score
            entry.score_name = name
            self.store_map_record(self.selected_map)
        for _ in range(4):  # jitter of the two "GAME OVER" layers
            self.rand()
        self.shield = 0.0
        self.last_score = int16(whole(self.score))
        self.playing = 0
        self.thrust_up = self.thrust_down = 0
        self.selected_map = self.run_map

    def record_frame(self):
        if self.started != -1:
            return
        if self.frame_index < 30000:
            self.frame_index = int16(self.frame_index + 1)
            self.recording.append((whole(self.scroll_x), whole(self.ship_x), whole(self.ship_y),
                                   whole(self.score), whole(self.shield), whole(self.fuel)))

    # -- screens --------------------------------------------------------

    def draw_flight_display(self):
        if self.paused == -1:
            for _ in range(4):  # jitter of the two "PAUSED" layers
                self.rand()

    def draw_selection_screen(self):
        if self.help_shown:
            return
        if self.thrust_up:
            if self.selected_map <= 1:
                self.selected_map = 0
                for k in range(50, 0, -1):
                    if self.maps[k].file:
                        self.selected_map = k
                        break
            else:
                self.selected_map -= 1
            self.thrust_up = 0
        if self.thrust_down:
            if self.selected_map < 50 and self.maps[self.selected_map + 1].file:
                self.selected_map += 1
            else:
                self.selected_map = 1
            self.thrust_down = 0
        for _ in range(5):  # jitter of the prompt
            self.rand()

    # -- keys -----------------------------------------------------------

    def key_down(self, key):
        if key in (38, 32):
            self.started = -1
            self.thrust_up = -1
        if key == 40:
            self.thrust_down = -1
            self.slow_motion = -1
            self.started = -1
        if key in (39, 16):
            if self.playing:
                self.turbo = -1
                self.started = -1
            elif self.replay_mode:
                self.seeking = -1
                self.frame_index = int16(self.frame_index + 18)
        if key in (37, 17):
            if self.playing:
                self.brake = -1
                self.started = -1
            elif self.replay_mode:
                self.seeking = -1
                self.frame_index = max(0, self.frame_index - 36)
        if key == 13:
            self.replay_mode = 0
            self.playing = -1
            self.start_run()
        if not self.playing:
            for k in range(1, 10):
                if not self.maps[k].file:
                    break
                if key == 48 + k:
                    self.selected_map = k

    def key_up(self, key):
        if key in (38, 32):
            self.thrust_up = 0
        if key == 40:
            self.thrust_down = 0
            self.slow_motion = 0
        if key in (39, 16):
            self.turbo = 0
            self.seeking = 0
        if key in (37, 17):
            self.brake = 0
            self.seeking = 0
        if key == 82:
            raise NotImplementedError('replays are not modelled')
        if key == 68:
            self.debug_draw = 0 if self.debug_draw == -1 else -1
        if key == 27:
            if self.playing:
                self.playing = 0
                self.paused = 0
            elif self.replay_mode:
                self.replay_mode = 0
            else:
                raise ProgramEnded()
        if key == 80 and self.playing:
            self.paused = 0 if self.paused == -1 else -1
        if key in (72, 112) and not self.playing and not self.replay_mode:
            self.help_shown = 0 if self.help_shown == -1 else -1
        if key == 85:
            raise NotImplementedError('the upload is not modelled')

    # -- main loop ------------------------------------------------------

    def trace_line(self, n):
        return ' '.join([
            str(n), str(self.playing), str(self.started), str(self.paused),
            str(self.replay_mode), str(self.selected_map), str(self.frame_index),
            fmt9(self.scroll_x), fmt9(self.ship_x), fmt9(self.ship_y), fmt9(self.velocity_y),
            fmt9(self.score), fmt9(self.shield), fmt9(self.fuel), str(self.colliding),
            fmt9(self.narrow_bonus)])

    def frame(self):
        if self.playing:
            if not self.paused:
                self.scroll_view()
                if self.started:
                    self.measure_cave()
                self.update_ship()
                self.record_frame()
            if self.playing:
                self.draw_flight_display()
                return
            return  # the run ended in this pass: nothing more is drawn
        if self.help_shown:
            pass  # help picture
        if self.replay_mode:
            raise NotImplementedError('replays are not modelled')
        self.draw_selection_screen()

    def run(self, script_text, until, pilot=None, shots=()):
        """Returns the trace lines for dispatches 1..until.

        pilot(game, n), if given, returns more events for dispatch n; they are
        collected in self.piloted as script lines. shots: dispatches whose
        view is kept in self.views."""
        events, dialogs = parse_script(script_text)
        self.dialogs = dialogs
        self.shot_passes = set(shots)
        self.piloted = []
        self.start_run()
        self.load_map_catalogue()
        lines = []
        try:
            for n in range(1, until + 1):
                self.pass_no = n
                self.frame()
                self.colliding_at[n] = self.colliding
                lines.append(self.trace_line(n))
                todo = list(events.get(n, []))
                if pilot is not None:
                    extra = pilot(self, n)
                    self.piloted += ['%d %s %d' % (n, kind, key) for kind, key in extra]
                    todo += extra
                for kind, key in todo:
                    if kind == 'down':
                        self.key_down(key)
                    elif kind == 'up':
                        self.key_up(key)
                    elif kind == 'tap':
                        self.key_down(key)
                        self.key_up(key)
                    elif kind == 'close':
                        raise ProgramEnded()
        except ProgramEnded:
            pass
        return lines
