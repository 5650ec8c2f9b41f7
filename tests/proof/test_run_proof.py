"""Usage: python3 test_run_proof.py <folder of quillrun-sim and quillrun-prove, with the shipped Maps/>.
Runs flown by quillrun-sim are proven from their replay files; forged ones are refused at the first
step they touch."""
# SPDX-License-Identifier: MIT

import os, re, shutil, sys, tempfile, unittest  # noqa: E401

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'model'))
import flight_model as fm  # noqa: E402
import test_flight_model as model  # noqa: E402

GAME = None


def sim(root, script, until):
    """Flies the script with a name for a record; the records kept."""
    model.run_sim(root, script + '\ndialog Ada\n', 1, until, ())
    return model.records(root)


def prove(catalogue, k, replay, score):
    """quillrun-prove on replay bytes, on the caves of a catalogue of one's own."""
    path = os.path.join(os.path.dirname(catalogue), 'proved.replay')
    with open(path, 'wb') as f:
        f.write(replay)
    return model.prove(catalogue, k, path, score, '--any-cave')


def shipped_game_dir():
    """A game folder with the shipped caves and catalogue, for records of its own."""
    root = tempfile.mkdtemp(prefix='quillrun-proof-')
    for sub in ('Pictures', 'Sounds'):
        os.symlink(os.path.join(GAME, sub), os.path.join(root, sub))
    os.mkdir(os.path.join(root, 'Replays'))
    os.mkdir(os.path.join(root, 'Maps'))
    for name in os.listdir(os.path.join(GAME, 'Maps')):
        (shutil.copy if name == 'Maps.ini' else os.symlink)(os.path.join(GAME, 'Maps', name),
                                                          os.path.join(root, 'Maps', name))
    return root


def piloted(root, k):
    """The autopilot's run through shipped cave k: the list stepped down to k, then the model's pilot."""
    script = ''.join('%d down DOWN\n%d up DOWN\n' % (2 * d - 1, 2 * d) for d in range(1, k))
    with open(os.path.join(GAME, 'Maps', 'Maps.ini'), 'rb') as f:
        ini = f.read().decode('latin-1')
    caves = [(s['File'], int(s['Width']), s['Name'], None, '') for s in
             (dict(re.findall(r'^(\w+)=([^\r\n]*)', part, re.M)) for part in ini.split('[')[1:]) if 'File' in s]
    pilot = model.Pilot([[]])
    pilot.next_enter = 2 * k
    game = fm.Game(root, caves, 1)
    game.run(script, 2 * k + 20000, pilot=pilot)
    return script + '\n'.join(game.piloted)


class Proofs(unittest.TestCase):
    def test_every_flown_run_is_proven(self):
        root = shipped_game_dir()
        self.addCleanup(shutil.rmtree, root, True)
        catalogue = os.path.join(GAME, 'Maps', 'Maps.ini')
        holds = '\n'.join('%d down UP\n%d up UP' % (d, d + 4) for d in range(3, 900, 9))
        scripted = {
            'pauses, brake, turbo, hits, death by shield': '1 tap ENTER\n' + holds +
            '\n100 down LEFT\n130 up LEFT\n200 down RIGHT\n240 up RIGHT\n300 tap P\n320 tap P',
            'UP with ENTER: no frame before the first flight key': '1 tap ENTER\n1 down UP\n' + holds,
            'UP with ENTER after a run that ended in a collision': '1 tap ENTER\n2 down DOWN\n600 up DOWN\n'
            '600 tap ENTER\n600 down UP\n' + re.sub(r'^(\d+)', lambda m: str(int(m.group(1)) + 600), holds, 0, re.M),
        }
        runs = [(name, script) for name, script in scripted.items()]
        runs += [('autopilot, cave %d' % k, piloted(root, k)) for k in range(1, 27)]
        for name, script in runs:
            with self.subTest(run=name):
                shutil.copy(catalogue, os.path.join(root, 'Maps', 'Maps.ini'))
                for old in os.listdir(os.path.join(root, 'Replays')):
                    os.remove(os.path.join(root, 'Replays', old))
                runs = sim(root, script, 40000)
                self.assertTrue(runs, 'no record')
                for k, path, score in runs:
                    self.assertEqual(model.prove(catalogue, k, path, score)[0], 'proven', (k, score))


def frames(replay):
    """The replay's lines and, for each frame 1..N, the indexes of its lines."""
    lines = replay.split(b'\r\n')
    starts = [i for i, line in enumerate(lines) if line.startswith(b'pX')]
    starts = [i - 1 if lines[i - 1].startswith(b'mX') else i for i in starts]
    ends = starts[1:] + [lines.index(b'--END--')]
    return lines, [None] + [list(range(a, b)) for a, b in zip(starts, ends)]


def edit(replay, change):
    """The replay with change(lines, frames) applied to its lines."""
    lines, spans = frames(replay)
    change(lines, spans)
    return b'\r\n'.join(lines)


def with_line(replay, k, key, step):
    """Frame k's `key` line raised by `step` (a line is added in its place when the frame has none)."""
    order = [b'mX', b'pX', b'pY', b'Sc', b'Sh', b'Fu']

    def change(lines, spans):
        last = int(next(lines[j] for j in range(spans[k][-1], 0, -1) if lines[j].startswith(key))[2:])
        at = [i for i in spans[k] if order.index(lines[i][:2]) <= order.index(key)][-1]
        lines[at + (not lines[at].startswith(key)):at + 1] = [key + b'%d' % (last + step)]
    return edit(replay, change)


def dropped(replay, key, first):
    """The replay without its `key` lines from frame `first` on: the value never changes there."""
    def change(lines, spans):
        for i in sorted((i for span in spans[first:] for i in span if lines[i].startswith(key)), reverse=True):
            del lines[i]
    return edit(replay, change)


def frame_lines(replay, k, copies):
    """The replay with frame k written `copies` times (0: removed)."""
    def change(lines, spans):
        lines[spans[k][0]:spans[k][-1] + 1] = [lines[i] for i in spans[k]] * copies
    return edit(replay, change)


def longer(replay, extra):
    """The replay going on for `extra` frames past the cave's end, with idle keys for them."""
    def change(lines, spans):
        lines[spans[-1][-1] + 1:spans[-1][-1] + 1] = [b'mX%d\r\npX31' % (900 + 2 * i) for i in range(extra)]
    head, keys = edit(replay, change).split(b'Keys=')
    waited, digits = keys.split(b'\r\n', 2)[1:]
    digits = digits.replace(b'\r\n', b'').replace(b'--END KEYS--', b'') + b'G' * extra
    return head + b'Keys=%d\r\n' % len(digits) + waited + b'\r\n' + b''.join(
        digits[i:i + 64] + b'\r\n' for i in range(0, len(digits), 64)) + b'--END KEYS--\r\n'


def first_frame_with(replay, key, after):
    lines, spans = frames(replay)
    return next(k for k in range(after, len(spans)) if any(lines[i].startswith(key) for i in spans[k]))


class Forgeries(unittest.TestCase):
    def test_forged_runs_are_refused_at_the_first_step_they_touch(self):
        root, caves, ini = model.make_game_dir([('a.bmp', 900, 'Corridor', model.corridor(50, 120), 900),
                                                ('b.bmp', 900, 'Other', model.corridor(44, 114), 900)])
        self.addCleanup(shutil.rmtree, root, True)
        catalogue = os.path.join(root, 'Maps', 'Maps.ini')
        with open(catalogue, 'wb') as f:
            f.write(ini)
        # The autopilot with a hit on the ceiling, brake and turbo, to the map's end.
        pilot = model.Pilot([[(30, 60, 'ceiling'), (100, 130, 'brake'), (180, 220, 'turbo')]])
        game = fm.Game(root, caves, 1)
        game.run('', 600, pilot=pilot)
        [(_, path, score)] = sim(root, '\n'.join(game.piloted), 600)
        with open(path, 'rb') as f:
            replay = f.read()
        n = len(frames(replay)[1]) - 1
        hit, turbo = first_frame_with(replay, b'Sh', 2), first_frame_with(replay, b'Fu', 185)
        moving = first_frame_with(replay, b'pY', n // 2)
        self.assertEqual(prove(catalogue, 1, replay, score)[0], 'proven')
        # As written before the waiting frames were counted.
        self.assertEqual(prove(catalogue, 1, re.sub(rb'Waited=\d+\r\n', b'', replay), score)[0], 'proven')
        spark = replay.index(b'\r\n', replay.index(b'Waited=')) + 2 + 9  # step 10's, at full shield
        digits = b'0123456789ABCDEFGHIJKLMNOPQRSTUV'
        flipped = replay[:spark] + bytes([digits[digits.index(replay[spark]) ^ 16]]) + replay[spark + 1:]
        # forgery: (replay, uploaded score, map), expected (step, field); None: any
        rows = {
            'score raised in one frame': ((with_line(replay, n // 2, b'Sc', 1), score, 1), (n // 2, 'score')),
            'score raised in the last frame only': ((with_line(replay, n, b'Sc', 1), score + 1, 1), (n, 'score')),
            'score uploaded higher than the run': ((replay, score + 1, 1), (n + 1, 'score')),
            'a frame removed': ((frame_lines(replay, n // 2, 0), score, 1), (n // 2, 'mapX')),
            'a frame doubled': ((frame_lines(replay, n // 2, 2), score, 1), (n // 2 + 1, 'mapX')),
            'the ship one pixel off': ((with_line(replay, moving, b'pY', 1), score, 1), (moving, 'shipY')),
            'a straight line on': ((dropped(replay, b'pY', moving), score, 1), (moving, 'shipY')),
            'the shield kept through a hit': ((dropped(replay, b'Sh', hit), score, 1), (hit, 'shield')),
            'fuel kept under turbo': ((dropped(replay, b'Fu', turbo), score, 1), (turbo, 'fuel')),
            'the run of another cave': ((replay, score, 2), (None, None)),
            'a run longer than its cave': ((longer(replay, 3), score, 1), (n + 1, 'end')),
            'no trail pixel where one is certain': ((flipped, score, 1), (10, 'trail pixel')),
        }
        for name, ((forged, claimed, k), (step, field)) in rows.items():
            with self.subTest(forgery=name):
                verdict, at, what, out = prove(catalogue, k, forged, claimed)
                self.assertEqual(verdict, 'refused', out)
                self.assertEqual((at, what), (step or at, field or what), out)


if __name__ == '__main__':
    GAME = os.path.abspath(sys.argv.pop(1))
    model.SIM = os.path.join(GAME, 'quillrun-sim')
    unittest.main()
