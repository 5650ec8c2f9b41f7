// Makes the game's content into a program folder: the 26 caves with their
// catalogue, the ship, the backgrounds, the window icon and the sounds.
//
//   quillrun-make-content <game folder>
//
// Everything is computed from fixed seeds with integer hashing and plain
// arithmetic (no clock, no library random source, no transcendental
// functions), so the same build writes the same bytes every time.
// SPDX-License-Identifier: MIT
#include <SDL.h>
#include <SDL_ttf.h>
#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include <sys/stat.h>

#include "base/atomic_file.h"
#include "gfx/jpeg_codec.h"
#include "gfx/png_codec.h"
#include "maps/settings_file.h"
#include "maps/known_map_sizes.h"
#include "tools/content_numbers.h"
#include "tools/make_sounds.h"

namespace {

constexpr int kRows = 200;

// ---------------------------------------------------------------- numbers

uint32_t Hash3(int32_t x, int32_t y, uint32_t seed) {
    uint32_t h = seed * 0x27d4eb2du;
    h ^= static_cast<uint32_t>(x) * 0x85ebca6bu;
    h = (h << 13) | (h >> 19);
    h ^= static_cast<uint32_t>(y) * 0xc2b2ae35u;
    h ^= h >> 16;
    h *= 0x7feb352du;
    h ^= h >> 15;
    h *= 0x846ca68bu;
    h ^= h >> 16;
    return h;
}

double Lattice(int32_t x, int32_t y, uint32_t seed) {
    return static_cast<double>(Hash3(x, y, seed) >> 8) * (1.0 / 16777216.0);
}

double Smooth(double t) { return t * t * (3.0 - 2.0 * t); }

// Value noise in [0, 1) on a lattice of spacing 1.
double Noise2(double x, double y, uint32_t seed) {
    double fx = std::floor(x), fy = std::floor(y);
    int32_t ix = static_cast<int32_t>(fx), iy = static_cast<int32_t>(fy);
    double tx = Smooth(x - fx), ty = Smooth(y - fy);
    double a = Lattice(ix, iy, seed), b = Lattice(ix + 1, iy, seed);
    double c = Lattice(ix, iy + 1, seed), d = Lattice(ix + 1, iy + 1, seed);
    double top = a + (b - a) * tx, bottom = c + (d - c) * tx;
    return top + (bottom - top) * ty;
}

double Noise1(double x, uint32_t seed) { return Noise2(x, 0.5, seed); }

double Fbm(double x, double y, uint32_t seed, int octaves) {
    double sum = 0, amp = 0.5, norm = 0;
    for (int i = 0; i < octaves; ++i) {
        sum += amp * Noise2(x, y, seed + static_cast<uint32_t>(i) * 101u);
        norm += amp;
        x *= 2.03;
        y *= 2.03;
        amp *= 0.5;
    }
    return sum / norm;
}

double Clamp(double v, double lo, double hi) { return v < lo ? lo : (v > hi ? hi : v); }
int ClampInt(int v, int lo, int hi) { return v < lo ? lo : (v > hi ? hi : v); }
uint8_t Byte(double v) { return static_cast<uint8_t>(Clamp(std::floor(v + 0.5), 0.0, 255.0)); }

// ---------------------------------------------------------------- files

// Through the game's own atomic replacement: an interrupted build leaves
// the old file or the new one, and no stray temporary.
bool WriteWhole(const std::string& path, const std::vector<uint8_t>& bytes) {
    return ReplaceFileAtomically(
        path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

// Quality 100 with no chroma subsampling (4:4:4), through the decoder's own
// library, so that the ship's mask can be tuned against the game's decoder.
std::vector<uint8_t> JpegBytes(const std::vector<uint8_t>& rgb, int w, int h) {
    std::vector<uint8_t> out;
    if (!EncodeJpeg(rgb.data(), w, h, &out)) out.clear();
    return out;
}

std::vector<uint8_t> PngBytes(const std::vector<uint8_t>& rgba, int w, int h) {
    std::vector<uint8_t> out;
    if (!EncodePng(rgba.data(), w, h, 4, &out)) out.clear();
    return out;
}

// How a cave file reaches its exact byte size.
struct BmpLayout {
    int bits = 24;        // 24 or 8
    int width = 0;        // picture width
    int rowBytes = 0;     // padded to 4
    int paletteSize = 0;  // entries, 8-bit only
    int gap = 0;          // bytes between the headers and the pixels
    int trailing = 0;     // bytes after the pixels
};

constexpr int kPaletteEntries = 64;

// Some readers refuse pictures wider than this.
constexpr int kMaxWidth = 16000;

// 24-bit unless that makes a picture narrower than 3000 pixels; then 8-bit
// with a 64-colour palette. Readers differ in what they accept between the
// palette and the pixels (one takes everything there as palette), so an
// 8-bit file keeps its gap small enough to pass as unused palette entries,
// and a 24-bit file, which has no palette, puts its extra bytes at the end.
BmpLayout PlanBmp(long size) {
    BmpLayout l;
    long data = size - 54;
    l.width = 0;
    for (int w = std::min(kMaxWidth, static_cast<int>(data / 600)); w > 0; --w) {
        long row = (3L * w + 3) / 4 * 4;
        if (row * kRows <= data) {
            l.width = w;
            l.rowBytes = static_cast<int>(row);
            break;
        }
    }
    l.trailing = static_cast<int>(data - static_cast<long>(l.rowBytes) * kRows);
    if (l.width >= 3000) return l;
    BmpLayout p;
    p.bits = 8;
    p.paletteSize = kPaletteEntries;
    long room = data - 4L * kPaletteEntries;
    p.width = std::min(kMaxWidth, static_cast<int>(room / kRows) / 4 * 4);
    p.rowBytes = p.width;
    long rest = room - static_cast<long>(p.width) * kRows;
    if (rest <= 4L * (256 - kPaletteEntries)) {
        p.gap = static_cast<int>(rest);
    } else {
        p.trailing = static_cast<int>(rest);
    }
    return p;
}

// Writes the cave: `pixel` holds palette indices (8-bit) or 0x00RRGGBB.
std::vector<uint8_t> BuildBmp(const BmpLayout& l, const std::vector<uint32_t>& pixel,
                              const std::vector<uint32_t>& palette) {
    size_t headers = 54 + 4 * static_cast<size_t>(l.paletteSize);
    size_t offBits = headers + l.gap;
    size_t total = offBits + static_cast<size_t>(l.rowBytes) * kRows + l.trailing;
    std::vector<uint8_t> b(total, 0);
    b[0] = 'B';
    b[1] = 'M';
    Put32(b, 2, static_cast<uint32_t>(total));
    Put32(b, 10, static_cast<uint32_t>(offBits));
    Put32(b, 14, 40);
    Put32(b, 18, static_cast<uint32_t>(l.width));
    Put32(b, 22, kRows);  // positive height: rows stored bottom-up
    Put16(b, 26, 1);
    Put16(b, 28, static_cast<uint32_t>(l.bits));
    Put32(b, 30, 0);
    Put32(b, 34, static_cast<uint32_t>(l.rowBytes) * kRows);
    Put32(b, 38, 2835);
    Put32(b, 42, 2835);
    Put32(b, 46, static_cast<uint32_t>(l.paletteSize));
    Put32(b, 50, 0);
    for (int i = 0; i < l.paletteSize; ++i) {
        uint32_t c = palette[i];
        b[54 + 4 * i] = static_cast<uint8_t>(c);
        b[54 + 4 * i + 1] = static_cast<uint8_t>(c >> 8);
        b[54 + 4 * i + 2] = static_cast<uint8_t>(c >> 16);
    }
    for (int y = 0; y < kRows; ++y) {
        uint8_t* row = b.data() + offBits + static_cast<size_t>(kRows - 1 - y) * l.rowBytes;
        for (int x = 0; x < l.width; ++x) {
            uint32_t v = pixel[static_cast<size_t>(y) * l.width + x];
            if (l.bits == 8) {
                row[x] = static_cast<uint8_t>(v);
            } else {
                row[3 * x] = static_cast<uint8_t>(v);
                row[3 * x + 1] = static_cast<uint8_t>(v >> 8);
                row[3 * x + 2] = static_cast<uint8_t>(v >> 16);
            }
        }
    }
    return b;
}

// ---------------------------------------------------------------- caves

struct CaveEntry {
    const char* file;
    const char* name;
};

const CaveEntry kCaves[26] = {
    {"Cave01.bmp", "First Flight"}, {"Cave02.bmp", "Wide Hollow"},
    {"Cave03.bmp", "Lazy River"}, {"Cave04.bmp", "Long Gallery"},
    {"Cave05.bmp", "Rolling Vault"}, {"Cave06.bmp", "Narrow Way"},
    {"Cave07.bmp", "Twin Bends"}, {"Cave08.bmp", "Dripstone Hall"},
    {"Cave09.bmp", "Fang Gallery"}, {"Cave10.bmp", "The Gates"},
    {"Cave11.bmp", "Pillar Run"}, {"Cave12.bmp", "Serpent"},
    {"Cave13.bmp", "Stone Forest"}, {"Cave14.bmp", "Deep Tunnel"},
    {"Cave15.bmp", "Needle Eye"}, {"Cave16.bmp", "Rat Run"},
    {"Cave17.bmp", "Switchback"}, {"Cave18.bmp", "Dragon Teeth"},
    {"Cave19.bmp", "Old Mine"}, {"Cave20.bmp", "Squeeze"},
    {"Cave21.bmp", "Labyrinth"}, {"Cave22.bmp", "Keyhole"},
    {"Cave23.bmp", "Crusher"}, {"Cave24.bmp", "Black Throat"},
    {"Cave25.bmp", "Last Breath"}, {"Cave26.bmp", "The Long Dark"},
};

// The byte size the upload's integrity test expects of cave k.
long CaveSize(int k) { return std::atol(knownMapSizes[k]); }

struct Tint {
    double r, g, b;
};

// Rock colours, a pair per cave: the stone and the tone of its strata.
const Tint kTints[13][2] = {
    {{0.66, 0.48, 0.32}, {0.52, 0.40, 0.30}},  // brown sandstone
    {{0.46, 0.50, 0.58}, {0.36, 0.40, 0.48}},  // slate
    {{0.80, 0.58, 0.28}, {0.62, 0.42, 0.22}},  // ochre
    {{0.44, 0.56, 0.38}, {0.36, 0.44, 0.34}},  // mossy
    {{0.74, 0.38, 0.26}, {0.56, 0.30, 0.24}},  // rust
    {{0.54, 0.44, 0.62}, {0.42, 0.36, 0.50}},  // violet
    {{0.80, 0.72, 0.54}, {0.66, 0.58, 0.44}},  // limestone
    {{0.42, 0.42, 0.46}, {0.32, 0.32, 0.36}},  // basalt
    {{0.34, 0.56, 0.58}, {0.28, 0.44, 0.48}},  // copper green
    {{0.74, 0.50, 0.50}, {0.58, 0.40, 0.42}},  // rose quartz
    {{0.58, 0.70, 0.82}, {0.44, 0.56, 0.70}},  // ice
    {{0.62, 0.56, 0.40}, {0.50, 0.44, 0.32}},  // clay
    {{0.70, 0.30, 0.36}, {0.50, 0.24, 0.30}},  // red marble
};

struct Cave {
    int width = 0;     // picture width
    int runLength = 0; // the catalogue's Width
    std::vector<uint8_t> open;  // 1 where the cave is open, row-major
    bool Open(int x, int y) const {
        return x >= 0 && y >= 0 && x < width && y < kRows && open[static_cast<size_t>(y) * width + x] != 0;
    }
};

struct Difficulty {
    double gap;          // typical open height
    double gapSpread;    // relative variation of it
    double spacing;      // distance between bend points
    double bend;         // largest curvature, px per px^2
    double spikesPerK;   // stalactites and stalagmites per 1000 px
    double gatesPerK;
    double pillarsPerK;
    double tunnelShare;  // share of the length in narrow tunnels
    double tunnelGap;
    double spikeReach;   // share of the gap a spike may fill
    double gateGap;
    double roughness;    // amplitude of the wall roughness
};

Difficulty DifficultyOf(int k) {
    double t = (k - 1) / 25.0;
    Difficulty d;
    d.gap = 150.0 - 100.0 * t;
    d.gapSpread = 0.12 + 0.10 * t;
    d.spacing = 760.0 - 420.0 * t;
    d.bend = 0.0022 + 0.0068 * t * t;
    d.spikesPerK = k >= 7 ? 0.5 + 1.5 * (k - 7) / 19.0 : 0.0;
    d.gatesPerK = k >= 10 ? 0.35 + 0.55 * (k - 10) / 16.0 : 0.0;
    d.pillarsPerK = k >= 11 ? 0.35 + 0.45 * (k - 11) / 15.0 : 0.0;
    d.tunnelShare = k >= 14 ? 0.14 + 0.20 * (k - 14) / 12.0 : 0.0;
    d.tunnelGap = 38.0 - 12.0 * (k >= 14 ? (k - 14) / 12.0 : 0.0);
    d.spikeReach = 0.40 + 0.25 * t;
    d.gateGap = 36.0 - 11.0 * (k >= 10 ? (k - 10) / 16.0 : 0.0);
    d.roughness = 1.5 + 1.5 * t;
    return d;
}

struct ControlPoint {
    double x, centre, gap;
};

// Piecewise smoothstep through the control points, for the centre line and
// the open height of every column.
void Interpolate(const std::vector<ControlPoint>& cp, int width, std::vector<double>& centre,
                 std::vector<double>& gap) {
    centre.assign(width, 100.0);
    gap.assign(width, 100.0);
    size_t seg = 0;
    for (int x = 0; x < width; ++x) {
        while (seg + 2 < cp.size() && x >= cp[seg + 1].x) ++seg;
        const ControlPoint& a = cp[seg];
        const ControlPoint& b = cp[seg + 1];
        double t = Clamp((x - a.x) / (b.x - a.x), 0.0, 1.0);
        double s = Smooth(t);
        centre[x] = a.centre + (b.centre - a.centre) * s;
        gap[x] = a.gap + (b.gap - a.gap) * s;
    }
}

constexpr double kStartCentre = 108.0;  // the ship starts at row 104 in the opening chamber
constexpr double kChamberGap = 168.0;

Cave MakeCave(int k, int pictureWidth) {
    Cave cave;
    cave.width = pictureWidth;
    cave.runLength = pictureWidth - 600;
    const Difficulty d = DifficultyOf(k);
    Rng rng(1000u + static_cast<uint64_t>(k));
    const uint32_t seed = 7919u * static_cast<uint32_t>(k);
    const int W = pictureWidth;
    const int endOpen = cave.runLength - 260;  // from here the cave opens to the end

    // Where the narrow tunnels lie.
    struct Span {
        int a, b;
    };
    std::vector<Span> tunnels;
    if (d.tunnelShare > 0) {
        double budget = d.tunnelShare * (endOpen - 900);
        int x = 900 + rng.Int(200, 600);
        while (budget > 300 && x < endOpen - 1400) {
            int len = static_cast<int>(Clamp(rng.Range(500, 1600), 300, budget));
            if (x + len > endOpen - 900) break;
            tunnels.push_back({x, x + len});
            budget -= len;
            x += len + rng.Int(900, 2200);
        }
    }
    auto inTunnel = [&](double x, int margin) {
        for (const Span& s : tunnels)
            if (x >= s.a - margin && x <= s.b + margin) return true;
        return false;
    };

    // Bend points: an opening chamber, the cave, a closing chamber.
    std::vector<ControlPoint> cp;
    cp.push_back({0, kStartCentre, kChamberGap});
    cp.push_back({220, kStartCentre, kChamberGap});
    // Bend points along the cave, with the tunnel ends among them; points
    // too close to a tunnel end are dropped so that no stretch is short.
    struct Mark {
        double x;
        bool fixed;
    };
    std::vector<Mark> marks;
    for (double x = 220 + d.spacing * 0.8; x < endOpen - 200; x += d.spacing * rng.Range(0.75, 1.25))
        marks.push_back({x, false});
    for (const Span& s : tunnels) {
        marks.push_back({static_cast<double>(s.a), true});
        marks.push_back({static_cast<double>(s.b), true});
    }
    std::sort(marks.begin(), marks.end(), [](const Mark& a, const Mark& b) { return a.x < b.x; });
    std::vector<double> xs;
    for (size_t i = 0; i < marks.size(); ++i) {
        const Mark& m = marks[i];
        if (!m.fixed) {
            double before = xs.empty() ? 220.0 : xs.back();
            double after = i + 1 < marks.size() ? marks[i + 1].x : endOpen;
            bool nextFixed = i + 1 < marks.size() && marks[i + 1].fixed;
            if (m.x - before < 0.5 * d.spacing) continue;
            if (nextFixed && after - m.x < 0.5 * d.spacing) continue;
        }
        xs.push_back(m.x);
    }
    double prevCentre = kStartCentre, prevX = 220;
    for (double x : xs) {
        bool tunnel = inTunnel(x, 0);
        double gap = tunnel ? d.tunnelGap + rng.Range(-2, 3)
                            : d.gap * (1.0 + d.gapSpread * rng.Range(-1.0, 1.0));
        double bend = tunnel ? d.bend * 0.35 : d.bend;
        double dist = x - prevX;
        double maxMove = bend * dist * dist / 6.0;
        double lo = gap / 2 + 10, hi = 190 - gap / 2;
        if (lo > hi) lo = hi = 100;
        double target = rng.Range(lo, hi);
        double c = prevCentre + Clamp(target - prevCentre, -maxMove, maxMove);
        c = Clamp(c, lo, hi);
        cp.push_back({x, c, gap});
        prevCentre = c;
        prevX = x;
    }
    double moveToEnd = Clamp(100.0 - prevCentre, -d.bend * 360000 / 6, d.bend * 360000 / 6);
    cp.push_back({static_cast<double>(endOpen), prevCentre + moveToEnd, std::max(d.gap, 90.0)});
    cp.push_back({static_cast<double>(endOpen + 300), 100.0, kChamberGap + 8});
    cp.push_back({static_cast<double>(W + 10), 100.0, kChamberGap + 8});

    std::vector<double> centre, gap;
    Interpolate(cp, W, centre, gap);

    // Walls with rough edges.
    std::vector<int> top(W), bottom(W);
    for (int i = 0; i < W; ++i) {
        double r1 = (Noise1(i / 9.0, seed + 1) - 0.5) * 2 * d.roughness;
        double r2 = (Noise1(i / 9.0, seed + 2) - 0.5) * 2 * d.roughness;
        double slow1 = (Noise1(i / 70.0, seed + 3) - 0.5) * 6;
        double slow2 = (Noise1(i / 70.0, seed + 4) - 0.5) * 6;
        if (i < 260) r1 = r2 = slow1 = slow2 = 0;  // a clean start column
        if (inTunnel(i, 40)) {
            r1 *= 0.5;
            r2 *= 0.5;
            slow1 *= 0.3;
            slow2 *= 0.3;
        }
        double t = centre[i] - gap[i] / 2 + r1 + slow1;
        double b = centre[i] + gap[i] / 2 + r2 + slow2;
        top[i] = ClampInt(static_cast<int>(std::floor(t + 0.5)), 4, 190);
        bottom[i] = ClampInt(static_cast<int>(std::floor(b + 0.5)), top[i] + 20, 196);
    }

    cave.open.assign(static_cast<size_t>(W) * kRows, 0);
    for (int i = 0; i < W; ++i)
        for (int y = top[i]; y < bottom[i]; ++y) cave.open[static_cast<size_t>(y) * W + i] = 1;
    auto setRock = [&](int px, int py) {
        if (px >= 0 && px < W && py >= 0 && py < kRows) cave.open[static_cast<size_t>(py) * W + px] = 0;
    };

    // Obstacles, in the open stretches between the tunnels.
    const double minPass = 30.0;
    std::vector<Span> taken;
    auto freeAt = [&](int a, int b) {
        if (a < 700 || b > endOpen - 500) return false;
        for (const Span& s : tunnels)
            if (b > s.a - 250 && a < s.b + 250) return false;
        for (const Span& s : taken)
            if (b > s.a - 180 && a < s.b + 180) return false;
        return true;
    };
    const double length = endOpen - 1200;
    struct Want {
        int kind;  // 0 spike, 1 gate, 2 pillar
        int count;
    };
    Want wants[3] = {{2, static_cast<int>(d.pillarsPerK * length / 1000.0)},
                     {1, static_cast<int>(d.gatesPerK * length / 1000.0)},
                     {0, static_cast<int>(d.spikesPerK * length / 1000.0)}};
    for (const Want& want : wants) {
        for (int n = 0; n < want.count; ++n) {
            for (int attempt = 0; attempt < 60; ++attempt) {
                int cx = rng.Int(700, std::max(701, endOpen - 500));
                if (want.kind == 0) {
                    int half = rng.Int(12, 30);
                    if (!freeAt(cx - half, cx + half)) continue;
                    bool fromTop = (rng.Next() & 1u) != 0;
                    double g = bottom[cx] - top[cx];
                    double reach = std::min(g * d.spikeReach * rng.Range(0.75, 1.0), g - minPass - 9);
                    if (reach < 8) continue;
                    for (int i = cx - half; i <= cx + half; ++i) {
                        double f = 1.0 - std::abs(i - cx) / static_cast<double>(half + 1);
                        double len = reach * f * (0.8 + 0.2 * f) + (Noise1(i / 3.0, seed + 9) - 0.5) * 3;
                        int ln = static_cast<int>(std::floor(len + 0.5));
                        for (int j = 0; j < ln; ++j) {
                            if (fromTop) setRock(i, top[i] + j);
                            else setRock(i, bottom[i] - 1 - j);
                        }
                    }
                    taken.push_back({cx - half, cx + half});
                } else if (want.kind == 1) {
                    int half = rng.Int(8, 22);
                    int ramp = 36;
                    if (!freeAt(cx - half - ramp, cx + half + ramp)) continue;
                    double gg = d.gateGap + rng.Range(-1, 2);
                    for (int i = cx - half - ramp; i <= cx + half + ramp; ++i) {
                        double dist = std::max(0, std::abs(i - cx) - half);
                        double f = 1.0 - Smooth(Clamp(dist / ramp, 0.0, 1.0));
                        double c = centre[cx] + (centre[i] - centre[cx]) * 0.5;
                        int gt = static_cast<int>(std::floor(c - gg / 2 + 0.5));
                        int gb = static_cast<int>(std::floor(c + gg / 2 + 0.5));
                        for (int y = top[i]; y < bottom[i]; ++y) {
                            // The jaws close in proportion to f.
                            double lim = top[i] + (gt - top[i]) * f;
                            double limB = bottom[i] - (bottom[i] - gb) * f;
                            if (y < lim || y >= limB) setRock(i, y);
                        }
                    }
                    taken.push_back({cx - half - ramp, cx + half + ramp});
                } else {
                    int half = rng.Int(18, 50);
                    if (!freeAt(cx - half - 90, cx + half + 90)) continue;
                    // Widen the cave around the pillar, then set the pillar in it.
                    double need = 2 * minPass + 2 * 9 + rng.Range(20, 40);
                    for (int i = cx - half - 90; i <= cx + half + 90; ++i) {
                        double dist = std::max(0, std::abs(i - cx) - half);
                        double f = 1.0 - Smooth(Clamp(dist / 90.0, 0.0, 1.0));
                        double g = bottom[i] - top[i];
                        double extra = std::max(0.0, need + 12 - g) * f;
                        int nt = ClampInt(static_cast<int>(top[i] - extra / 2), 4, 190);
                        int nb = ClampInt(static_cast<int>(bottom[i] + extra / 2), nt + 20, 196);
                        for (int y = nt; y < nb; ++y) cave.open[static_cast<size_t>(y) * W + i] = 1;
                        top[i] = nt;
                        bottom[i] = nb;
                    }
                    double cy = (top[cx] + bottom[cx]) / 2.0;
                    double halfH = (bottom[cx] - top[cx]) / 2.0 - minPass - 9;
                    for (int i = cx - half; i <= cx + half; ++i) {
                        double u = (i - cx) / static_cast<double>(half + 1);
                        double shape = std::sqrt(std::max(0.0, 1.0 - u * u * u * u));
                        double h = halfH * shape + (Noise1(i / 4.0, seed + 11) - 0.5) * 3;
                        for (int y = static_cast<int>(cy - h); y <= static_cast<int>(cy + h); ++y) setRock(i, y);
                    }
                    taken.push_back({cx - half - 90, cx + half + 90});
                }
                break;
            }
        }
    }
    return cave;
}

// Rock shading: brightness and strata choice of every rock pixel.
struct Shade {
    std::vector<float> lum;     // 0..1
    std::vector<uint8_t> band;  // 0 stone, 1 strata
};

Shade ShadeRock(const Cave& cave, int k) {
    const int W = cave.width;
    const uint32_t seed = 104729u * static_cast<uint32_t>(k) + 17u;
    Shade s;
    s.lum.assign(static_cast<size_t>(W) * kRows, 0.0f);
    s.band.assign(static_cast<size_t>(W) * kRows, 0);
    std::vector<int> upDist(kRows), downDist(kRows);
    const double tilt = (Noise1(k * 3.7, seed) - 0.5) * 0.08;
    for (int x = 0; x < W; ++x) {
        int last = -1000;
        for (int y = 0; y < kRows; ++y) {
            if (cave.Open(x, y)) last = y;
            upDist[y] = y - last;  // distance to open space above
        }
        last = 1000;
        for (int y = kRows - 1; y >= 0; --y) {
            if (cave.Open(x, y)) last = y;
            downDist[y] = last - y;  // distance to open space below
        }
        for (int y = 0; y < kRows; ++y) {
            if (cave.Open(x, y)) continue;
            size_t i = static_cast<size_t>(y) * W + x;
            double tex = Fbm(x / 23.0, y / 17.0, seed, 4);
            double grain = Noise2(x / 1.7, y / 1.7, seed + 50);
            double l = 0.26 + 0.42 * tex + 0.10 * (grain - 0.5);
            int dUp = upDist[y], dDown = downDist[y];
            int dist = std::min(dUp, dDown);
            // Surfaces facing up catch the light; undersides stay darker.
            if (dUp <= 4 && dUp <= dDown) l += 0.34 * (5 - dUp) / 4.0;
            if (dDown <= 3 && dDown < dUp) l += 0.12 * (4 - dDown) / 3.0;
            if (dist > 6) l *= 1.0 - 0.35 * Clamp((dist - 6) / 40.0, 0.0, 1.0);
            // Cracks: thin dark lines where a second noise crosses its middle.
            double crack = Fbm(x / 31.0, y / 31.0, seed + 77, 3);
            if (std::abs(crack - 0.5) < 0.012 && dist > 2) l *= 0.55;
            s.lum[i] = static_cast<float>(Clamp(l, 0.1, 1.0));
            double strata = Noise1((y + x * tilt + 9.0 * Noise1(x / 90.0, seed + 5)) / 5.5, seed + 6);
            s.band[i] = strata > 0.58 ? 1 : 0;
        }
    }
    return s;
}

uint32_t RockColour(const Tint& t, double lum) {
    uint8_t r = Byte(t.r * lum * 255.0), g = Byte(t.g * lum * 255.0), b = Byte(t.b * lum * 255.0);
    if (r == 0 && g == 0 && b == 0) r = 1;
    return (static_cast<uint32_t>(r) << 16) | (static_cast<uint32_t>(g) << 8) | b;
}

std::vector<uint8_t> RenderCaveBmp(const Cave& cave, int k, const BmpLayout& layout) {
    Shade shade = ShadeRock(cave, k);
    const Tint* tint = kTints[(k * 5) % 13];
    const int W = cave.width;
    std::vector<uint32_t> pixel(static_cast<size_t>(W) * kRows, 0);
    std::vector<uint32_t> palette;
    // 8-bit: index 0 black, then a ramp of the stone and a ramp of the strata.
    const int ramp = (kPaletteEntries - 1) / 2;
    if (layout.bits == 8) {
        palette.assign(kPaletteEntries, 0);
        for (int i = 0; i < ramp; ++i) {
            double lum = 0.1 + 0.9 * i / (ramp - 1);
            palette[1 + i] = RockColour(tint[0], lum);
            palette[1 + ramp + i] = RockColour(tint[1], lum);
        }
        palette[kPaletteEntries - 1] = RockColour(tint[0], 1.0);
    }
    for (size_t i = 0; i < pixel.size(); ++i) {
        int x = static_cast<int>(i % W), y = static_cast<int>(i / W);
        if (cave.Open(x, y)) continue;
        double lum = shade.lum[i];
        int band = shade.band[i];
        if (layout.bits == 8) {
            int level = static_cast<int>(std::floor((lum - 0.1) / 0.9 * (ramp - 1) + 0.5));
            pixel[i] = static_cast<uint32_t>(1 + band * ramp + ClampInt(level, 0, ramp - 1));
        } else {
            // Slow shifts of hue over the rock.
            Tint t = tint[band];
            t.r *= 0.95 + 0.10 * Noise2(x / 13.0, y / 11.0, 900u + k);
            t.g *= 0.95 + 0.10 * Noise2(x / 17.0, y / 13.0, 1900u + k);
            t.b *= 0.95 + 0.10 * Noise2(x / 19.0, y / 15.0, 2900u + k);
            pixel[i] = RockColour(t, lum);
        }
    }
    return BuildBmp(layout, pixel, palette);
}

// ---------------------------------------------------------------- ship

// The ship, 18 x 9, pointing right. Letters are colours; '.' is empty.
const char* const kShipArt[9] = {
    "...CCCC...........",
    "...CccCC..........",
    "..eHHHHHHHHh......",
    ".oeHhhhhWWWwHh....",
    "yoeHHHHHHHHHHHHHh.",
    ".oeHhhhhhhhhhHh...",
    "..eHHHHHHHHh......",
    "...CccCC..........",
    "...CCCC...........",
};

// Grey levels only: a JPEG block whose colour is one flat tone codes its
// colour exactly, so the black around the ship stays exactly black. Odd
// levels keep the drawn ship exact where the decoded mask is off by one.
bool ShipColour(char c, uint8_t rgb[3]) {
    int v;
    switch (c) {
        case 'C': v = 0x71; break;  // fins
        case 'c': v = 0xA5; break;
        case 'H': v = 0xC7; break;  // hull
        case 'h': v = 0x8B; break;
        case 'W': v = 0xF9; break;  // cockpit
        case 'w': v = 0xB3; break;
        case 'e': v = 0x4F; break;  // engine
        case 'o': v = 0xDD; break;  // exhaust glow
        case 'y': v = 0xFD; break;
        default: return false;
    }
    rgb[0] = rgb[1] = rgb[2] = static_cast<uint8_t>(v);
    return true;
}

bool ShipPixel(int x, int y, uint8_t rgb[3]) {
    if (x < 0 || y < 0 || x >= 18 || y >= 9) return false;
    return ShipColour(kShipArt[y][x], rgb);
}

// How far the decoded ship picture is from drawing crisply, per 8 x 8 JPEG
// block (blocks are coded independently, so each can be fixed on its own).
void ShipErrors(const std::vector<uint8_t>& jpeg, long blockErr[9]) {
    for (int i = 0; i < 9; ++i) blockErr[i] = 1L << 20;
    DecodedPicture decoded;
    if (!DecodeJpeg(jpeg.data(), jpeg.size(), &decoded) || decoded.width != 18 || decoded.height != 18) return;
    // The game's decoder in packed R, G, B bytes.
    std::vector<uint8_t> rgb(18 * 18 * 3);
    for (size_t i = 0; i < decoded.pixels.size(); ++i)
        for (int ch = 0; ch < 3; ++ch) rgb[3 * i + ch] = static_cast<uint8_t>(decoded.pixels[i] >> (8 * ch));
    const uint8_t* d = rgb.data();
    for (int i = 0; i < 9; ++i) blockErr[i] = 0;
    for (int y = 0; y < 9; ++y) {
        for (int x = 0; x < 18; ++x) {
            uint8_t c[3];
            bool in = ShipPixel(x, y, c);
            const uint8_t* img = d + 3 * (y * 18 + x);
            const uint8_t* mask = d + 3 * ((y + 9) * 18 + x);
            long& ei = blockErr[(y / 8) * 3 + x / 8];
            long& em = blockErr[((y + 9) / 8) * 3 + x / 8];
            for (int ch = 0; ch < 3; ++ch) {
                if (in) {
                    // Under the ship the drawn pixel is (background & mask) |
                    // image: exact when the mask has no bit the image lacks.
                    em += 4 * __builtin_popcount(mask[ch] & ~img[ch] & 0xFFu);
                    ei += std::abs(img[ch] - c[ch]) > 8 ? 1 : 0;  // colours close enough
                } else {
                    ei += 16 * img[ch];           // nothing outside the ship
                    em += 16 * (255 - mask[ch]);  // mask white outside
                }
            }
        }
    }
}

// The ship picture: image in rows 0..8, mask in rows 9..17. JPEG rounding
// can leave values of 1 or 254 where the mask must be exact, so the colours
// inside the ship are nudged until the decoded picture is exact outside the
// ship and its mask is exactly black under it.
std::vector<uint8_t> MakeShipJpeg() {
    std::vector<uint8_t> rgb(18 * 18 * 3, 0);
    for (int y = 0; y < 9; ++y) {
        for (int x = 0; x < 18; ++x) {
            uint8_t c[3];
            bool in = ShipPixel(x, y, c);
            for (int ch = 0; ch < 3; ++ch) {
                rgb[3 * (y * 18 + x) + ch] = in ? c[ch] : 0;
                rgb[3 * ((y + 9) * 18 + x) + ch] = in ? 0 : 255;
            }
        }
    }
    // Coordinate descent over nearby source values (only the decoded values
    // count). A block's decoded pixels follow only its own source bytes, so
    // first each block is mended on its own error; then, since the mask's
    // error under a pixel can lie in another block than the pixel, what is
    // left is mended on the error of the whole picture.
    std::vector<uint8_t> best = rgb;
    long err[9];
    ShipErrors(JpegBytes(best, 18, 18), err);
    auto total = [](const long* e) {
        long t = 0;
        for (int i = 0; i < 9; ++i) t += e[i];
        return t;
    };
    const int reach = 8;
    for (bool whole : {false, true}) {
        for (int pass = 0; pass < 10 && total(err) > 0; ++pass) {
            long before = total(err);
            for (size_t at = 0; at < best.size(); at += 3) {  // the three channels move together: grey
                int x = static_cast<int>(at / 3) % 18, y = static_cast<int>(at / 3) / 18;
                int block = (y / 8) * 3 + x / 8;
                if (!whole && err[block] == 0) continue;
                int lo = std::max(0, rgb[at] - reach), hi = std::min(255, rgb[at] + reach);
                for (int v = lo; v <= hi && total(err) > 0; ++v) {
                    if (v == best[at]) continue;
                    uint8_t old = best[at];
                    best[at] = best[at + 1] = best[at + 2] = static_cast<uint8_t>(v);
                    long e[9];
                    ShipErrors(JpegBytes(best, 18, 18), e);
                    if (whole ? total(e) < total(err) : e[block] < err[block]) {
                        std::copy(e, e + 9, err);
                    } else {
                        best[at] = best[at + 1] = best[at + 2] = old;
                    }
                }
            }
            if (total(err) == before) break;
        }
    }
    long bestErr = total(err);
    if (bestErr > 0) std::fprintf(stderr, "warning: ship picture not exact (%ld)\n", bestErr);
    std::vector<uint8_t> jpeg = JpegBytes(best, 18, 18);
    return jpeg;
}

// The icon: the ship at 32 x 16, centred on a transparent square.
// The ship drawing scaled to a square icon of `size` pixels, centred on a
// clear ground (32 is the window's icon; the others go to the desktop).
std::vector<uint8_t> MakeIcon(int size) {
    std::vector<uint8_t> rgba(static_cast<size_t>(size) * size * 4, 0);
    const int height = size * 9 / 16;  // the ship's 18 x 9 proportions
    const int top = (size - height) / 2;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < size; ++x) {
            uint8_t c[3];
            int sx = x * 18 / size, sy = y * 9 / height;
            if (!ShipPixel(sx, sy, c)) continue;
            uint8_t* p = rgba.data() + 4 * ((y + top) * size + x);
            p[0] = c[0];
            p[1] = c[1];
            p[2] = c[2];
            p[3] = 255;
        }
    }
    return PngBytes(rgba, size, size);
}

// ---------------------------------------------------------------- pictures

struct Picture {
    int w, h;
    std::vector<double> r, g, b;
    Picture(int width, int height) : w(width), h(height), r(width * height), g(width * height), b(width * height) {}
    void Blend(int x, int y, double cr, double cg, double cb, double a) {
        if (x < 0 || y < 0 || x >= w || y >= h || a <= 0) return;
        size_t i = static_cast<size_t>(y) * w + x;
        r[i] += (cr - r[i]) * a;
        g[i] += (cg - g[i]) * a;
        b[i] += (cb - b[i]) * a;
    }
    std::vector<uint8_t> Rgb() const {
        std::vector<uint8_t> out(static_cast<size_t>(w) * h * 3);
        for (size_t i = 0; i < r.size(); ++i) {
            out[3 * i] = Byte(r[i]);
            out[3 * i + 1] = Byte(g[i]);
            out[3 * i + 2] = Byte(b[i]);
        }
        return out;
    }
};

// A dim cave scene: rock above and below, a faint glow in the middle, kept
// dark so that light text stays readable on it.
void PaintCaveScene(Picture& p, uint32_t seed, double brightness) {
    for (int x = 0; x < p.w; ++x) {
        double ceil = 14 + 26 * Fbm(x / 60.0, 0.3, seed, 4);
        double floor = p.h - 12 - 30 * Fbm(x / 55.0, 4.1, seed + 9, 4);
        for (int y = 0; y < p.h; ++y) {
            size_t i = static_cast<size_t>(y) * p.w + x;
            double dy = (y - p.h * 0.5) / (p.h * 0.5);
            double glow = 1.0 - dy * dy;
            double tex = Fbm(x / 19.0, y / 15.0, seed + 3, 4);
            double r = 6 + 10 * glow, g = 8 + 12 * glow, b = 18 + 20 * glow;
            if (y < ceil || y > floor) {
                double edge = y < ceil ? ceil - y : y - floor;
                double l = (0.45 + 0.55 * tex) * (edge < 3 ? 1.3 : 1.0);
                r = 40 * l;
                g = 34 * l;
                b = 36 * l;
            } else {
                r += 6 * tex;
                g += 6 * tex;
                b += 10 * tex;
            }
            p.r[i] = r * brightness;
            p.g[i] = g * brightness;
            p.b[i] = b * brightness;
        }
    }
}

void PaintShip(Picture& p, int x0, int y0, int scale) {
    for (int y = 0; y < 9 * scale; ++y) {
        for (int x = 0; x < 18 * scale; ++x) {
            uint8_t c[3];
            if (ShipPixel(x / scale, y / scale, c)) p.Blend(x0 + x, y0 + y, c[0], c[1], c[2], 1.0);
        }
    }
}

struct Fonts {
    TTF_Font* regular = nullptr;
    TTF_Font* bold = nullptr;
    TTF_Font* title = nullptr;
};

std::string FindFontFile(const char* pattern) {
    std::string path;
    FcConfig* config = FcInitLoadConfigAndFonts();
    FcPattern* pat = FcNameParse(reinterpret_cast<const FcChar8*>(pattern));
    FcConfigSubstitute(config, pat, FcMatchPattern);
    FcDefaultSubstitute(pat);
    FcResult result;
    FcPattern* match = FcFontMatch(config, pat, &result);
    if (match != nullptr) {
        FcChar8* file = nullptr;
        if (FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch) path = reinterpret_cast<char*>(file);
        FcPatternDestroy(match);
    }
    FcPatternDestroy(pat);
    FcConfigDestroy(config);
    return path;
}

// Draws UTF-8 text with its top left corner at (x, y); returns its width.
int DrawText(Picture& p, TTF_Font* font, const char* text, int x, int y, double r, double g, double b) {
    if (font == nullptr || text[0] == '\0') return 0;
    SDL_Color white = {255, 255, 255, 255};
    SDL_Surface* s = TTF_RenderUTF8_Blended(font, text, white);
    if (s == nullptr) return 0;
    SDL_Surface* c = SDL_ConvertSurfaceFormat(s, SDL_PIXELFORMAT_ARGB8888, 0);
    SDL_FreeSurface(s);
    if (c == nullptr) return 0;
    for (int j = 0; j < c->h; ++j) {
        const uint32_t* row = reinterpret_cast<const uint32_t*>(static_cast<const uint8_t*>(c->pixels) + j * c->pitch);
        for (int i = 0; i < c->w; ++i) {
            double a = (row[i] >> 24) / 255.0;
            p.Blend(x + i, y + j, r, g, b, a);
        }
    }
    int w = c->w;
    SDL_FreeSurface(c);
    return w;
}

std::vector<uint8_t> MakeBackground() {
    Picture p(622, 216);
    PaintCaveScene(p, 31337u, 1.0);
    // The map list on the left sits on the darkest part.
    for (int y = 0; y < p.h; ++y)
        for (int x = 0; x < 320; ++x) {
            size_t i = static_cast<size_t>(y) * p.w + x;
            double f = 0.55 + 0.45 * x / 320.0;
            p.r[i] *= f;
            p.g[i] *= f;
            p.b[i] *= f;
        }
    // A ship with a dotted trail below the prompt, between the texts.
    for (int i = 0; i < 14; ++i) {
        int tx = 360 + i * 9, ty = 140 - i / 3;
        p.Blend(tx, ty, 200, 60, 40, 0.8);
        p.Blend(tx + 3, ty + 2, 220, 200, 60, 0.6);
    }
    PaintShip(p, 490, 128, 2);
    return JpegBytes(p.Rgb(), p.w, p.h);
}

std::vector<uint8_t> MakeHelp(const Fonts& f) {
    Picture p(600, 216);
    PaintCaveScene(p, 2718u, 0.8);
    const double hr = 255, hg = 230, hb = 120;   // headings
    const double kr = 150, kg = 200, kb = 255;   // keys
    const double tr = 235, tg = 235, tb = 245;   // text
    DrawText(p, f.title, "HOW TO PLAY", 12, 4, hr, hg, hb);
    PaintShip(p, 150, 8, 1);
    const char* keys[][2] = {
        {"UP / SPACE", "thrust up (gravity pulls down)"},
        {"DOWN", "thrust down"},
        {"LEFT / CTRL", "brake: half speed, burns fuel"},
        {"RIGHT / SHIFT", "turbo: double speed, burns fuel"},
        {"P", "pause the run"},
        {"ENTER", "start the selected cave"},
        {"UP, DOWN, 1-9", "choose a cave in the list"},
        {"R / W", "watch your / the world's best run"},
        {"B", "race your or the world's best run"},
        {"U", "upload the cave's best score"},
        {"H / F1", "show or hide this help"},
        {"D", "debug marks (gauge, frame rate)"},
        {"M", "sound on / off"},
        {"ESC", "leave the run / the replay / quit"},
        {"F11 / F12", "fullscreen on / off, screenshot"},
    };
    // Fifteen rows of 12 pixels fill the column down to the bottom edge.
    int y = 27;
    for (const auto& k : keys) {
        DrawText(p, f.bold, k[0], 12, y, kr, kg, kb);
        DrawText(p, f.regular, k[1], 104, y, tr, tg, tb);
        y += 12;
    }
    const char* right[] = {
        "#SHIELD AND FUEL",
        "Rock costs shield, more the harder you hit it; it",
        "grows back slowly. Below zero the run ends. Brake",
        "and turbo burn fuel; turbo needs a shield above 30.",
        "#POINTS",
        "Every moment scores, more with turbo, a full",
        "shield and a narrow cave (the bonus in brackets).",
        "#RECORDS AND REPLAYS",
        "Beat a cave's best score to sign the record and keep",
        "the run as its replay (R; RIGHT, LEFT seek, DOWN",
        "slow). In a run: \"Chance\" ahead, \"Losing\" behind.",
        "#GAMEPAD",
        "D-pad, stick: the arrows. Triggers: brake, turbo.",
        "A: ENTER  B: ESC  Start: P  Back: H  Y: R  X: U",
    };
    y = 8;
    for (const char* line : right) {
        if (line[0] == '#') {
            y += 4;
            DrawText(p, f.bold, line + 1, 318, y, hr, hg, hb);
        } else {
            DrawText(p, f.regular, line, 318, y, tr, tg, tb);
        }
        y += 13;
    }
    for (int yy = 8; yy < 208; ++yy) p.Blend(308, yy, 128, 128, 255, 0.6);
    return JpegBytes(p.Rgb(), p.w, p.h);
}

// The catalogue. Records and the [Online] settings of an earlier Maps.ini
// at `oldPath` are carried over, so that regenerating the content never
// throws away the player's best scores.
std::string IniText(const std::vector<int>& widths, const std::string& oldPath) {
    std::string ini;
    for (int k = 1; k <= 26; ++k) {
        char head[8];
        std::snprintf(head, sizeof head, "%02d", k);
        ini += "[" + std::string(head) + "]\r\n";
        ini += "File=" + std::string(kCaves[k - 1].file) + "\r\n";
        ini += "Width=" + std::to_string(widths[k - 1]) + "\r\n";
        ini += "Name=" + std::string(kCaves[k - 1].name) + "\r\n";
        for (const char* key : {"ScoreBest", "ScoreName"}) {
            std::string old = ReadIniValue(head, key, oldPath);
            if (!old.empty()) ini += std::string(key) + "=" + old + "\r\n";
        }
        ini += "\r\n";
    }
    std::string online;
    for (const char* key : {"Server", "Site"}) {
        std::string old = ReadIniValue("Online", key, oldPath);
        if (!old.empty()) online += std::string(key) + "=" + old + "\r\n";
    }
    if (!online.empty()) ini += "[Online]\r\n" + online;
    return ini;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--icons") {
        // Desktop icons: <folder>/<n>x<n>/apps/quillrun.png, the hicolor layout.
        for (int size : {16, 32, 48, 64, 128, 256}) {
            const std::string sized = std::string(argv[2]) + "/" + std::to_string(size) + "x" + std::to_string(size);
            const std::string folder = sized + "/apps";
            for (const std::string& f : {std::string(argv[2]), sized, folder}) mkdir(f.c_str(), 0755);
            const std::vector<uint8_t> png = MakeIcon(size);
            if (png.empty() ||
                !WriteWhole(folder + "/quillrun.png", png)) {
                std::fprintf(stderr, "cannot write %s/quillrun.png\n", folder.c_str());
                return 1;
            }
        }
        return 0;
    }
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <game folder> | --icons <folder>\n", argv[0]);
        return 2;
    }
    const std::string dir = argv[1];
    const std::string maps = dir + "/Maps/", pictures = dir + "/Pictures/", sounds = dir + "/Sounds/";
    mkdir(dir.c_str(), 0755);
    mkdir((dir + "/Maps").c_str(), 0755);
    mkdir((dir + "/Pictures").c_str(), 0755);
    mkdir((dir + "/Sounds").c_str(), 0755);
    bool ok = true;
    auto save = [&](const std::string& path, const std::vector<uint8_t>& bytes) {
        if (bytes.empty() || !WriteWhole(path, bytes)) {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            ok = false;
        }
    };

    std::vector<int> widths;
    for (int k = 1; k <= 26; ++k) {
        const CaveEntry& entry = kCaves[k - 1];
        BmpLayout layout = PlanBmp(CaveSize(k));
        Cave cave = MakeCave(k, layout.width);
        std::vector<uint8_t> bmp = RenderCaveBmp(cave, k, layout);
        if (static_cast<long>(bmp.size()) != CaveSize(k)) {
            std::fprintf(stderr, "%s: %zu bytes, want %ld\n", entry.file, bmp.size(), CaveSize(k));
            ok = false;
        }
        save(maps + entry.file, bmp);
        widths.push_back(cave.runLength);
    }
    std::string ini = IniText(widths, maps + "Maps.ini");
    save(maps + "Maps.ini", std::vector<uint8_t>(ini.begin(), ini.end()));

    save(pictures + "Ship.jpg", MakeShipJpeg());
    save(pictures + "icon.png", MakeIcon(32));
    for (int i = 0; i < kSoundCount; ++i) {
        const SoundId id = static_cast<SoundId>(i);
        save(sounds + SoundName(id) + ".wav", MakeSoundWav(id));
    }

    Fonts fonts;
    if (TTF_Init() != 0) {
        std::fprintf(stderr, "no font renderer: %s\n", TTF_GetError());
        return 1;
    }
    std::string regular = FindFontFile("Liberation Sans:style=Regular");
    std::string bold = FindFontFile("Liberation Sans:style=Bold");
    fonts.regular = TTF_OpenFont(regular.c_str(), 10);
    fonts.bold = TTF_OpenFont(bold.c_str(), 10);
    fonts.title = TTF_OpenFont(bold.c_str(), 15);
    if (fonts.regular == nullptr || fonts.bold == nullptr || fonts.title == nullptr) {
        std::fprintf(stderr, "no font: %s\n", TTF_GetError());
        return 1;
    }
    save(pictures + "background.jpg", MakeBackground());
    save(pictures + "Help.jpg", MakeHelp(fonts));
    TTF_CloseFont(fonts.regular);
    TTF_CloseFont(fonts.bold);
    TTF_CloseFont(fonts.title);
    TTF_Quit();
    return ok ? 0 : 1;
}
