// BMP decoding from memory. Every offset and size comes from the file, so
// each one is checked against the buffer (in 64-bit arithmetic, after the
// picture's side lengths are known to be small) before it is used.
// SPDX-License-Identifier: MIT
#include "gfx/bmp_reader.h"

#include <bit>

namespace {

uint32_t U16(const uint8_t* p) { return p[0] | (p[1] << 8); }
uint32_t U32(const uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

enum Compression : uint32_t { kRgb = 0, kRle8 = 1, kRle4 = 2, kBitFields = 3, kAlphaBitFields = 6 };

// One colour channel of a bit-field pixel.
struct Channel {
    uint32_t mask = 0;
    int shift = 0;
    int bits = 0;
};

// false for a mask whose bits are not one contiguous run.
bool MakeChannel(uint32_t mask, Channel* c) {
    *c = Channel{};
    if (mask == 0) return true;
    c->mask = mask;
    c->shift = std::countr_zero(mask);
    const uint32_t run = mask >> c->shift;
    if ((run & (run + 1)) != 0) return false;
    c->bits = std::popcount(run);
    return true;
}

// The channel's value scaled to 0..255: the top 8 bits of a wide channel;
// a narrow one's bits repeated (5 bits abcde give abcdeabc), so that its
// largest value is 255, as other decoders read it.
uint32_t Scale(const Channel& c, uint32_t pixel) {
    if (c.bits == 0) return 0;
    const uint32_t v = (pixel & c.mask) >> c.shift;
    if (c.bits >= 8) return v >> (c.bits - 8);
    uint32_t repeated = 0;
    int filled = 0;
    for (; filled < 8; filled += c.bits) repeated = (repeated << c.bits) | v;
    return repeated >> (filled - 8);
}

struct Layout {
    long long width = 0, height = 0;
    bool topDown = false;
    uint32_t bpp = 0, compression = kRgb;
    Channel red, green, blue;
    uint32_t palette[256] = {};
    uint32_t pixelOffset = 0;
};

uint32_t Rgb(uint32_t r, uint32_t g, uint32_t b) { return r | (g << 8) | (b << 16); }

// Bytes per uncompressed row, padded to 4.
long long Stride(const Layout& l) { return (l.width * l.bpp + 31) / 32 * 4; }

bool ReadLayout(const uint8_t* d, size_t size, Layout* l) {
    if (size < 18 || d[0] != 'B' || d[1] != 'M') return false;
    l->pixelOffset = U32(d + 10);
    const uint32_t headerSize = U32(d + 14);
    uint32_t colours = 0;
    size_t paletteEntry = 4;
    if (headerSize == 12) {  // OS/2 and Windows 2 core header
        if (size < 26) return false;
        l->width = U16(d + 18);
        l->height = U16(d + 20);
        l->bpp = U16(d + 24);
        paletteEntry = 3;
    } else if (headerSize == 40 || headerSize == 52 || headerSize == 56 || headerSize == 64 ||
               headerSize == 108 || headerSize == 124) {
        if (size < 14 + headerSize) return false;
        l->width = static_cast<int32_t>(U32(d + 18));
        l->height = static_cast<int32_t>(U32(d + 22));
        l->bpp = U16(d + 28);
        l->compression = U32(d + 30);
        colours = U32(d + 46);
    } else {
        return false;
    }
    if (l->height < 0) {
        l->topDown = true;
        l->height = -l->height;
    }
    if (!PictureSizeAllowed(l->width, l->height)) return false;

    size_t tableAt = 14 + headerSize;  // masks of a V3 header, then the palette
    switch (l->compression) {
        case kRgb:
            if (l->bpp != 1 && l->bpp != 4 && l->bpp != 8 && l->bpp != 16 && l->bpp != 24 && l->bpp != 32) return false;
            break;
        case kRle8:
        case kRle4:
            if (l->bpp != (l->compression == kRle8 ? 8u : 4u)) return false;
            break;
        case kBitFields:
        case kAlphaBitFields: {
            // OS/2 gives 3 another meaning (Huffman-coded bitonal pictures).
            if (headerSize == 64 || (l->bpp != 16 && l->bpp != 24 && l->bpp != 32)) return false;
            size_t masksAt = 54;
            if (headerSize == 40) {
                masksAt = tableAt;
                tableAt += l->compression == kBitFields ? 12 : 16;
                if (size < tableAt) return false;
            }
            if (!MakeChannel(U32(d + masksAt), &l->red) || !MakeChannel(U32(d + masksAt + 4), &l->green) ||
                !MakeChannel(U32(d + masksAt + 8), &l->blue)) {
                return false;
            }
            break;
        }
        default:
            return false;  // embedded JPEG or PNG, OS/2 RLE24, unknown
    }
    if (l->compression == kRgb && (l->bpp == 16 || l->bpp == 32)) {
        const bool five = l->bpp == 16;
        MakeChannel(five ? 0x7C00 : 0xFF0000, &l->red);
        MakeChannel(five ? 0x3E0 : 0xFF00, &l->green);
        MakeChannel(five ? 0x1F : 0xFF, &l->blue);
    }
    if (l->pixelOffset < tableAt || l->pixelOffset > size) return false;

    if (l->bpp <= 8) {
        // Only the entries that fit before the pixels are read; an index
        // beyond them is black.
        const size_t most = size_t{1} << l->bpp;
        size_t count = colours == 0 || colours > most ? most : colours;
        const size_t room = (l->pixelOffset - tableAt) / paletteEntry;
        if (count > room) count = room;
        for (size_t i = 0; i < count; ++i) {
            const uint8_t* p = d + tableAt + i * paletteEntry;
            l->palette[i] = Rgb(p[2], p[1], p[0]);
        }
    }
    // Uncompressed rows must all lie inside the file: a cut-off file is
    // refused before anything is allocated.
    const bool coded = l->compression == kRle8 || l->compression == kRle4;
    return coded || Stride(*l) * l->height <= static_cast<long long>(size - l->pixelOffset);
}

bool DecodeRows(const uint8_t* d, const Layout& l, DecodedPicture* out) {
    const long long stride = Stride(l);
    for (long long row = 0; row < l.height; ++row) {
        const uint8_t* src = d + l.pixelOffset + row * stride;
        const long long y = l.topDown ? row : l.height - 1 - row;
        uint32_t* dst = out->pixels.data() + y * l.width;
        for (long long x = 0; x < l.width; ++x) {
            uint32_t pixel;
            switch (l.bpp) {
                case 1: dst[x] = l.palette[(src[x >> 3] >> (7 - (x & 7))) & 1]; continue;
                case 4: dst[x] = l.palette[(src[x >> 1] >> ((x & 1) ? 0 : 4)) & 15]; continue;
                case 8: dst[x] = l.palette[src[x]]; continue;
                case 16: pixel = U16(src + 2 * x); break;
                case 24:
                    pixel = src[3 * x] | (src[3 * x + 1] << 8) | (src[3 * x + 2] << 16);
                    if (l.compression == kRgb) {
                        dst[x] = Rgb(src[3 * x + 2], src[3 * x + 1], src[3 * x]);
                        continue;
                    }
                    break;
                default: pixel = U32(src + 4 * x); break;
            }
            dst[x] = Rgb(Scale(l.red, pixel), Scale(l.green, pixel), Scale(l.blue, pixel));
        }
    }
    return true;
}

// Run-length coded rows. Pixels the code skips (end of line, delta) keep
// palette entry 0. A run past the right edge is cut there (ImageMagick codes
// the padding of odd-width rows that way); a run above the top row, a delta
// out of the picture, or data that ends before the end-of-picture code
// refuses the file.
bool DecodeRunLengths(const uint8_t* d, size_t size, const Layout& l, DecodedPicture* out) {
    const bool four = l.compression == kRle4;
    for (uint32_t& p : out->pixels) p = l.palette[0];
    long long x = 0, row = 0;
    size_t at = l.pixelOffset;
    auto put = [&](long long count, auto colourIndex) {
        if (row >= l.height) return false;
        uint32_t* dst = out->pixels.data() + (l.topDown ? row : l.height - 1 - row) * l.width;
        for (long long i = 0; i < count && x + i < l.width; ++i) dst[x + i] = l.palette[colourIndex(i)];
        x += count;
        return true;
    };
    for (;;) {
        if (size - at < 2) return false;
        const uint32_t count = d[at], value = d[at + 1];
        at += 2;
        if (count > 0) {
            const uint32_t high = value >> 4, low = value & 15;
            if (!put(count, [&](long long i) { return four ? ((i & 1) ? low : high) : value; })) return false;
            continue;
        }
        if (value == 0) {  // end of line
            x = 0;
            if (++row > l.height) return false;
        } else if (value == 1) {  // end of picture
            return true;
        } else if (value == 2) {  // delta: right and up
            if (size - at < 2) return false;
            x += d[at];
            row += d[at + 1];
            at += 2;
            if (x > l.width || row > l.height) return false;
        } else {  // absolute run of `value` pixels, padded to a 16-bit boundary
            const size_t bytes = four ? (value + 1) / 2 : value;
            const size_t padded = bytes + (bytes & 1);
            if (size - at < padded) return false;
            const uint8_t* src = d + at;
            if (!put(value, [&](long long i) { return four ? (src[i >> 1] >> ((i & 1) ? 0 : 4)) & 15u : src[i]; })) {
                return false;
            }
            at += padded;
        }
    }
}

}  // namespace

bool DecodeBmp(const uint8_t* data, size_t size, DecodedPicture* picture) {
    if (data == nullptr || picture == nullptr) return false;
    Layout layout;
    if (!ReadLayout(data, size, &layout)) return false;
    picture->width = static_cast<int>(layout.width);
    picture->height = static_cast<int>(layout.height);
    picture->pixels.assign(static_cast<size_t>(layout.width * layout.height), 0);
    if (layout.compression == kRle8 || layout.compression == kRle4) {
        return DecodeRunLengths(data, size, layout, picture);
    }
    return DecodeRows(data, layout, picture);
}
