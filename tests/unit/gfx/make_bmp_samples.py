#!/usr/bin/python3
# Makes BMP files of every layout paint programs write, each with the pixels
# another decoder (ImageMagick or PIL) reads from it, for the BMP reader test.
#
#   make_bmp_samples.py OUTDIR
#
# Writes OUTDIR/NAME.bmp, OUTDIR/NAME.rgb (the other decoder's pixels: R, G,
# B bytes, rows from the top) and OUTDIR/samples.txt ("NAME WIDTH HEIGHT" a
# line). The files below are put together byte by byte where no common tool
# writes the layout (RLE4, delta runs, gaps, top-down palettes, V4 alpha
# masks); the rest are written by ImageMagick and PIL themselves.
import struct
import subprocess
import sys

from PIL import Image

W, H = 37, 23  # odd sizes: row padding and half-byte rows
CONVERT = "/usr/bin/convert"


def palette(n):
    # Entry 0 black (open space in a cave), the others distinct and not grey.
    return [(0, 0, 0)] + [((i * 53) % 256, (i * 97 + 40) % 256, (i * 151 + 80) % 256) for i in range(1, n)]


def index_at(x, y, n):
    """Bands of one colour (encoded runs), a busy area (absolute runs) and
    a hole of entry 0 that the run-length coder skips with delta codes."""
    if 8 <= y <= 14 and 10 <= x <= 33:
        return 0
    if y < 5:
        return (y * 3 + x // 6) % n
    return (x * 7 + y * 3 + (x * y) % 5) % n


def rgb_at(x, y):
    return ((x * 7 + y) & 255, (y * 11 + 3) & 255, (x * y * 3 + 17) & 255)


# ------------------------------------------------------------ file layout

def file_header(total, offset):
    return b"BM" + struct.pack("<IHHI", total, 0, 0, offset)


def info_header(size, width, height, bpp, compression, image_bytes, colours, masks=None):
    """A V3 (40), V4 (108) or V5 (124) header; V4/V5 carry their masks."""
    h = struct.pack("<IiiHHIIiiII", size, width, height, 1, bpp, compression, image_bytes, 2835, 2835, colours, 0)
    if size >= 108:
        r, g, b, a = masks or (0, 0, 0, 0)
        h += struct.pack("<IIII", r, g, b, a) + b"sRGB" + bytes(36) + struct.pack("<III", 0, 0, 0)
    if size == 124:
        h += struct.pack("<IIII", 4, 0, 0, 0)  # intent, profile data, profile size, reserved
    assert len(h) == size
    return h


def assemble(header, tables, pixels, gap=0, trailing=0):
    offset = 14 + len(header) + len(tables) + gap
    body = header + tables + bytes(range(gap)) + pixels + bytes([0xA5] * trailing)
    return file_header(14 + len(body), offset) + body


def palette_table(colours, entry=4):
    return b"".join(bytes([b, g, r] + [0] * (entry - 3)) for r, g, b in colours)


def rows(width, height, bpp, row_bytes, top_down=False):
    stride = (width * bpp + 31) // 32 * 4
    order = range(height) if top_down else range(height - 1, -1, -1)
    out = b""
    for y in order:
        r = row_bytes(y)
        out += r + bytes(stride - len(r))
    return out


def packed_indices(y, bpp, n):
    values = [index_at(x, y, n) for x in range(W)]
    per = 8 // bpp
    out = bytearray()
    for i in range(0, W, per):
        byte = 0
        for k in range(per):
            v = values[i + k] if i + k < W else 0
            byte |= v << (8 - bpp * (k + 1))
        out.append(byte)
    return bytes(out)


def pack_pixel(value, bytes_per_pixel):
    return value.to_bytes(bytes_per_pixel, "little")


def masked(x, y, masks, alpha=None):
    r, g, b = rgb_at(x, y)
    value = 0
    for channel, mask in zip((r, g, b, alpha if alpha is not None else 0), masks):
        if mask == 0:
            continue
        shift = (mask & -mask).bit_length() - 1
        bits = bin(mask).count("1")
        value |= ((channel >> (8 - bits)) if bits < 8 else channel << (bits - 8)) << shift
    return value


def bitfield_rows(bpp, masks, alpha=lambda x, y: 0):
    return rows(W, H, bpp, lambda y: b"".join(
        pack_pixel(masked(x, y, masks, alpha(x, y)), bpp // 8) for x in range(W)))


# ------------------------------------------------------------ run lengths

def rle_row(values, four):
    """One row: encoded runs for repeats, absolute runs for busy stretches,
    a delta over every stretch of entry 0 longer than 4 pixels, and an end
    of line early when the rest of the row is entry 0."""
    out = bytearray()
    x = 0
    n = len(values)
    while x < n:
        if all(v == 0 for v in values[x:]) and x > 0:
            break  # end of line covers the rest
        zeros = 0
        while x + zeros < n and values[x + zeros] == 0:
            zeros += 1
        if zeros > 4 and x + zeros < n:
            out += bytes([0, 2, zeros, 0])
            x += zeros
            continue
        run = 1
        if four:  # a run repeats a pair of entries
            while x + run < n and run < 255 and values[x + run] == values[x + run % 2]:
                run += 1
        else:
            while x + run < n and run < 255 and values[x + run] == values[x]:
                run += 1
        if run >= 3:
            first = values[x]
            second = values[x + 1] if four and run > 1 else first
            out += bytes([run, (first << 4 | second) if four else first])
            x += run
            continue
        end = x
        while end < n and end - x < 255:
            if end + 2 < n and values[end] == values[end + 1] == values[end + 2]:
                break
            end += 1
        count = end - x
        if count < 3:  # absolute runs are at least 3 long
            for v in values[x:end]:
                out += bytes([1, (v << 4) if four else v])
            x = end
            continue
        chunk = values[x:end]
        if four:
            data = bytes((chunk[i] << 4) | (chunk[i + 1] if i + 1 < count else 0) for i in range(0, count, 2))
        else:
            data = bytes(chunk)
        out += bytes([0, count]) + data + (b"\0" if len(data) % 2 else b"")
        x = end
    return bytes(out)


def rle_pixels(n, four):
    """Every row from the bottom, each closed by an end of line."""
    out = b"".join(rle_row([index_at(x, y, n) for x in range(W)], four) + b"\0\0" for y in range(H - 1, -1, -1))
    return out + b"\0\1"


def rle_with_vertical_delta(n, four):
    """As rle_pixels, but row 13 stops at x = 10 with a delta three rows up:
    the rest of row 13, rows 12 and 11 and the start of row 10 are skipped
    (left as entry 0), and row 10 goes on at x = 10."""
    out = bytearray()
    y = H - 1
    while y >= 0:
        values = [index_at(x, y, n) for x in range(W)]
        if y == 13:
            out += rle_row(values[:10], four) + bytes([0, 2, 0, 3])
            y = 10
            values = [index_at(x, y, n) for x in range(W)]
            out += rle_row(values[10:], four) + b"\0\0"
        else:
            out += rle_row(values, four) + b"\0\0"
        y -= 1
    return bytes(out) + b"\0\1"


# ------------------------------------------------------------ the samples

def hand_made():
    s = {}
    p2, p16, p200 = palette(2), palette(16), palette(200)
    for bpp, pal, name in ((1, p2, "pal1_v3"), (4, p16, "pal4_v3"), (8, p200, "pal8_v3_200_colours")):
        px = rows(W, H, bpp, lambda y: packed_indices(y, bpp, len(pal)))
        s[name] = assemble(info_header(40, W, H, bpp, 0, len(px), len(pal)), palette_table(pal), px)
    px = rows(W, H, 8, lambda y: packed_indices(y, 8, 200), top_down=True)
    s["pal8_v5_top_down"] = assemble(info_header(124, W, -H, 8, 0, len(px), 200), palette_table(p200), px)
    px = rows(W, H, 4, lambda y: packed_indices(y, 4, 16))
    s["pal4_core"] = assemble(struct.pack("<IHHHH", 12, W, H, 1, 4), palette_table(p16, 3), px)
    px = rows(W, H, 24, lambda y: b"".join(bytes(rgb_at(x, y)[::-1]) for x in range(W)))
    s["rgb24_core"] = assemble(struct.pack("<IHHHH", 12, W, H, 1, 24), b"", px)
    s["rgb24_v3_gap_and_trailing_bytes"] = assemble(info_header(40, W, H, 24, 0, len(px), 0), b"", px,
                                                    gap=100, trailing=77)
    px = rows(W, H, 24, lambda y: b"".join(bytes(rgb_at(x, y)[::-1]) for x in range(W)), top_down=True)
    s["rgb24_v3_top_down"] = assemble(info_header(40, W, -H, 24, 0, len(px), 0), b"", px)

    for four, name in ((False, "rle8"), (True, "rle4")):
        n = 16 if four else 200
        pal = palette(n)
        bpp, comp = (4, 2) if four else (8, 1)
        for variant, px in (("", rle_pixels(n, four)), ("_up_delta", rle_with_vertical_delta(n, four))):
            s[name + variant] = assemble(info_header(40, W, H, bpp, comp, len(px), n), palette_table(pal), px)
    s["rle8_v5_gap"] = assemble(info_header(124, W, H, 8, 1, 0, 200), palette_table(palette(200)),
                                rle_pixels(200, False), gap=30, trailing=9)

    m565, m555 = (0xF800, 0x07E0, 0x001F), (0x7C00, 0x03E0, 0x001F)
    px = bitfield_rows(16, m565 + (0,))
    s["rgb565_v3_bitfields"] = assemble(info_header(40, W, H, 16, 3, len(px), 0), struct.pack("<III", *m565), px)
    s["rgb565_v5_bitfields"] = assemble(info_header(124, W, H, 16, 3, len(px), 0, m565 + (0,)), b"", px)
    px = bitfield_rows(16, m555 + (0,))
    s["rgb555_v3_plain"] = assemble(info_header(40, W, H, 16, 0, len(px), 0), b"", px)
    s["rgb555_v4_bitfields"] = assemble(info_header(108, W, H, 16, 3, len(px), 0, m555 + (0,)), b"", px)

    alpha = lambda x, y: (x * 13 + y * 5) & 255
    bgra, rgba = (0xFF0000, 0xFF00, 0xFF, 0xFF000000), (0xFF, 0xFF00, 0xFF0000, 0xFF000000)
    for masks, name, size in ((bgra, "bgra32_v4_alpha_mask", 108), (rgba, "rgba32_v5_alpha_mask", 124)):
        px = bitfield_rows(32, masks, alpha)
        s[name] = assemble(info_header(size, W, H, 32, 3, len(px), 0, masks), b"", px)
    px = bitfield_rows(32, (0xFF0000, 0xFF00, 0xFF, 0), alpha)  # the unused byte holds junk
    s["xrgb32_v3_plain"] = assemble(info_header(40, W, H, 32, 0, len(px), 0), b"", px)
    return s


def tool_made(out):
    """(name, ImageMagick options) and PIL modes written as BMP."""
    source = f"{out}/source.ppm"
    Image.frombytes("RGB", (W, H), bytes(c for y in range(H) for x in range(W) for c in rgb_at(x, y))).save(source)
    pal = palette(200)
    indexed = Image.new("P", (W, H))
    indexed.putpalette([c for rgb in pal for c in rgb])
    indexed.putdata([index_at(x, y, 200) for y in range(H) for x in range(W)])
    indexed_png = f"{out}/indexed.png"
    indexed.save(indexed_png)
    made = []
    for name, src, options in (
        ("magick_bmp3_24", source, ["-type", "TrueColor", "BMP3:"]),
        ("magick_bmp_v5_24", source, ["-type", "TrueColor", "BMP:"]),
        ("magick_bmp2_core_24", source, ["-type", "TrueColor", "BMP2:"]),
        ("magick_bmp3_pal8", indexed_png, ["-type", "Palette", "-compress", "None", "BMP3:"]),
        ("magick_bmp3_rle8", indexed_png, ["-type", "Palette", "-compress", "RLE", "BMP3:"]),
        ("magick_bmp_v5_rle8", indexed_png, ["-type", "Palette", "-compress", "RLE", "BMP:"]),
        ("magick_rgb565", source, ["-define", "bmp:subtype=RGB565", "BMP:"]),
        ("magick_rgb555", source, ["-define", "bmp:subtype=RGB555", "BMP:"]),
        ("magick_bmp_v5_32_alpha", source, ["-alpha", "set", "-channel", "A", "-fx", "(i*13+j*5)%256/255",
                                            "+channel", "-type", "TrueColorAlpha", "BMP:"]),
    ):
        target = options[-1] + f"{out}/{name}.bmp"
        subprocess.run([CONVERT, src] + options[:-1] + [target], check=True)
        made.append(name)
    Image.open(source).save(f"{out}/pil_rgb24.bmp")
    indexed.save(f"{out}/pil_pal8.bmp")
    Image.open(source).convert("1").save(f"{out}/pil_bilevel.bmp")
    return made + ["pil_rgb24", "pil_pal8", "pil_bilevel"]


def reference(path):
    """The pixels ImageMagick reads, checked against PIL where PIL reads the
    layout correctly (PIL 9 drops pixels of RLE4 and delta codes)."""
    magick = subprocess.run([CONVERT, path, "-depth", "8", "rgb:-"], check=True, capture_output=True).stdout
    try:
        with Image.open(path) as im:
            pil = im.convert("RGB").tobytes()
    except OSError:
        pil = None
    return magick, pil


def main():
    out = sys.argv[1]
    names = []
    for name, data in hand_made().items():
        with open(f"{out}/{name}.bmp", "wb") as f:
            f.write(data)
        names.append(name)
    names += tool_made(out)
    with open(f"{out}/samples.txt", "w") as manifest:
        for name in names:
            magick, pil = reference(f"{out}/{name}.bmp")
            assert len(magick) == W * H * 3, name
            with open(f"{out}/{name}.rgb", "wb") as f:
                f.write(magick)
            agree = "-" if pil is None else ("=" if pil == magick else "!")
            manifest.write(f"{name} {W} {H} {agree}\n")


if __name__ == "__main__":
    main()
