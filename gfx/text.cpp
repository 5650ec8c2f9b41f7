// The font layer: faces found with fontconfig, opened with SDL_ttf at 96 dpi.
// The first use of a face, size and weight renders all its glyphs once,
// without antialiasing (as GDI draws without font smoothing), into
// horizontal pixel runs; from then on drawing a text only fills runs into
// the destination and allocates nothing.
// SPDX-License-Identifier: MIT
#include "gfx/text.h"

#include <SDL2/SDL_ttf.h>
#include <fontconfig/fontconfig.h>
#include <strings.h>

#include <cstdint>
#include <vector>

#include "base/codepage.h"
#include "gfx/surface.h"

namespace {

constexpr int kSizes[] = {8, 10, 12, 14, 15, 24, 40};
constexpr int kSizeCount = sizeof kSizes / sizeof kSizes[0];
constexpr int kDpi = 96;

// One horizontal run of set pixels, relative to the top left of the text
// cell at the pen position.
struct GlyphRun {
    int16_t dy;
    int16_t dx;
    int16_t length;
};

struct Glyph {
    int32_t firstRun = 0;
    int32_t runCount = 0;
    int32_t advance = 0;
};

struct FontCache {
    TTF_Font* font = nullptr;
    bool rendered = false;
    Glyph glyphs[256];
    std::vector<GlyphRun> runs;
    int minDx = 0;  // the furthest any glyph reaches left of its pen position
};

struct FaceWanted {
    const char* family;          // asked of fontconfig
    const char* accepted[2];     // families with the same metrics
};

constexpr FaceWanted kFaces[2] = {
    {"Arial", {"Arial", "Liberation Sans"}},
    {"Courier New", {"Courier New", "Liberation Mono"}},
};

// [face][bold][size]
FontCache caches[2][2][kSizeCount];
bool fontsReady = false;

std::string FcText(FcPattern* p, const char* object) {
    FcChar8* value = nullptr;
    if (FcPatternGetString(p, object, 0, &value) != FcResultMatch || value == nullptr) return "?";
    return reinterpret_cast<const char*>(value);
}

// The file of the face fontconfig picks for the family and weight, after
// checking that it is a face with the expected metrics.
bool FindFaceFile(const FaceWanted& want, bool bold, std::string* file, std::string* error) {
    const std::string what = std::string("\"") + want.family + "\"" + (bold ? " bold" : "");
    FcPattern* pattern = FcPatternCreate();
    if (pattern == nullptr) {
        *error = "fontconfig is not usable";
        return false;
    }
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(want.family));
    FcPatternAddInteger(pattern, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    FcPatternAddInteger(pattern, FC_SLANT, FC_SLANT_ROMAN);
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(nullptr, pattern, &result);
    FcPatternDestroy(pattern);
    if (match == nullptr) {
        *error = "Font " + what + ": fontconfig found no face at all; install fonts-liberation2";
        return false;
    }
    bool familyOk = false;
    FcChar8* family = nullptr;
    for (int i = 0; FcPatternGetString(match, FC_FAMILY, i, &family) == FcResultMatch; ++i) {
        for (const char* accepted : want.accepted) {
            if (strcasecmp(reinterpret_cast<const char*>(family), accepted) == 0) familyOk = true;
        }
    }
    int weight = -1;
    FcPatternGetInteger(match, FC_WEIGHT, 0, &weight);
    const bool weightOk = bold ? weight >= FC_WEIGHT_DEMIBOLD : weight < FC_WEIGHT_DEMIBOLD;
    const std::string found = FcText(match, FC_FAMILY);
    const std::string style = FcText(match, FC_STYLE);
    const std::string path = FcText(match, FC_FILE);
    FcPatternDestroy(match);
    if (!familyOk || !weightOk) {
        *error = "Font " + what + ": fontconfig offers \"" + found + "\" " + style + " (" + path +
                 "), which is not " + want.accepted[0] + " or " + want.accepted[1] + (bold ? " bold" : " regular") +
                 "; install fonts-liberation2";
        return false;
    }
    *file = path;
    return true;
}

bool OpenFont(const std::string& file, int size, FontCache* cache, std::string* error) {
    cache->font = TTF_OpenFontDPI(file.c_str(), size, kDpi, kDpi);
    if (cache->font == nullptr) {
        *error = "Cannot open font " + file + ": " + TTF_GetError();
        return false;
    }
    // Full hinting for one-bit output, as GDI's unsmoothed text.
    TTF_SetFontHinting(cache->font, TTF_HINTING_MONO);
    TTF_SetFontKerning(cache->font, 0);
    return true;
}

// Renders the glyphs of all 256 bytes into run lists. Bytes without a
// character (controls, the unused codes) draw nothing and take no room.
void RenderGlyphs(FontCache* cache) {
    TTF_Font* font = cache->font;
    cache->rendered = true;
    const int ascent = TTF_FontAscent(font);
    cache->runs.clear();
    cache->minDx = 0;
    const SDL_Color white = {255, 255, 255, 255};
    for (int byte = 0; byte < 256; ++byte) {
        Glyph& g = cache->glyphs[byte];
        g = Glyph{};
        g.firstRun = static_cast<int32_t>(cache->runs.size());
        const uint32_t cp = Cp1252ToUnicode(static_cast<unsigned char>(byte));
        if (cp < 0x20 || (cp >= 0x7F && cp < 0xA0)) continue;
        int minX = 0, maxX = 0, minY = 0, maxY = 0, advance = 0;
        if (TTF_GlyphMetrics32(font, cp, &minX, &maxX, &minY, &maxY, &advance) != 0) continue;
        g.advance = advance;
        SDL_Surface* s = TTF_RenderGlyph32_Solid(font, cp, white);
        if (s == nullptr) continue;  // a blank glyph such as the space
        // The rendered cell grows to the left for a negative bearing and
        // upwards for a glyph that rises above the ascent.
        const int originX = minX < 0 ? -minX : 0;
        const int originY = maxY > ascent ? maxY - ascent : 0;
        if (SDL_LockSurface(s) == 0) {
            const auto* pixels = static_cast<const uint8_t*>(s->pixels);
            for (int row = 0; row < s->h; ++row) {
                const uint8_t* line = pixels + static_cast<size_t>(row) * s->pitch;
                int col = 0;
                while (col < s->w) {
                    if (line[col] == 0) { ++col; continue; }
                    const int start = col;
                    while (col < s->w && line[col] != 0) ++col;
                    const int dx = start - originX;
                    cache->runs.push_back({static_cast<int16_t>(row - originY), static_cast<int16_t>(dx),
                                           static_cast<int16_t>(col - start)});
                    if (dx < cache->minDx) cache->minDx = dx;
                }
            }
            SDL_UnlockSurface(s);
        }
        SDL_FreeSurface(s);
        g.runCount = static_cast<int32_t>(cache->runs.size()) - g.firstRun;
    }
    cache->runs.shrink_to_fit();
}

void CloseFonts() {
    for (auto& face : caches) {
        for (auto& weight : face) {
            for (FontCache& cache : weight) {
                if (cache.font != nullptr) TTF_CloseFont(cache.font);
                cache.font = nullptr;
            }
        }
    }
}

int SizeIndex(int points) {
    // Sizes the game never asks for take the nearest one that is cached.
    int best = 0;
    for (int i = 1; i < kSizeCount; ++i) {
        int d = kSizes[i] - points, bestD = kSizes[best] - points;
        if ((d < 0 ? -d : d) < (bestD < 0 ? -bestD : bestD)) best = i;
    }
    return best;
}

const FontCache* FontFor(const TextStyle& style) {
    if (!fontsReady) return nullptr;
    const int face = style.face == FONT_COURIER_NEW ? 1 : 0;
    FontCache* cache = &caches[face][style.bold ? 1 : 0][SizeIndex(style.size)];
    if (!cache->rendered) RenderGlyphs(cache);
    return cache;
}

}  // namespace

bool InitFonts(std::string* error) {
    if (fontsReady) return true;
    std::string scratch;
    std::string& message = error != nullptr ? *error : scratch;
    if (TTF_WasInit() == 0 && TTF_Init() != 0) {
        message = std::string("Cannot start the font engine: ") + TTF_GetError();
        return false;
    }
    std::string files[2][2];
    for (int face = 0; face < 2; ++face) {
        for (int bold = 0; bold < 2; ++bold) {
            if (!FindFaceFile(kFaces[face], bold != 0, &files[face][bold], &message)) return false;
        }
    }
    for (int face = 0; face < 2; ++face) {
        for (int bold = 0; bold < 2; ++bold) {
            for (int size = 0; size < kSizeCount; ++size) {
                if (!OpenFont(files[face][bold], kSizes[size], &caches[face][bold][size], &message)) {
                    CloseFonts();
                    return false;
                }
            }
        }
    }
    fontsReady = true;
    return true;
}

void DrawGlyphs(Surface* dest, int x, int y, const TextStyle& style, const char* text, int length) {
    if (dest == nullptr || text == nullptr || length <= 0) return;
    const FontCache* font = FontFor(style);
    if (font == nullptr) return;
    const uint32_t colour = style.colour & 0xFFFFFFu;
    const int width = dest->width;
    const int height = dest->height;
    const GlyphRun* runs = font->runs.data();
    // 64-bit pen: a long text far to the right must not wrap around.
    long long pen = x;
    for (int i = 0; i < length; ++i) {
        if (pen + font->minDx >= width) break;  // this and every later glyph is past the right edge
        const Glyph& g = font->glyphs[static_cast<unsigned char>(text[i])];
        const GlyphRun* r = runs + g.firstRun;
        const GlyphRun* end = r + g.runCount;
        for (; r != end; ++r) {
            const long long row = static_cast<long long>(y) + r->dy;
            if (row < 0 || row >= height) continue;
            long long x0 = pen + r->dx;
            long long x1 = x0 + r->length;
            if (x0 < 0) x0 = 0;
            if (x1 > width) x1 = width;
            uint32_t* d = dest->pixels + static_cast<size_t>(row) * static_cast<size_t>(width);
            for (long long px = x0; px < x1; ++px) d[px] = colour;
        }
        pen += g.advance;
    }
}

int GlyphsWidth(const TextStyle& style, const char* text, int length) {
    const FontCache* font = FontFor(style);
    if (font == nullptr || text == nullptr) return 0;
    long long width = 0;
    for (int i = 0; i < length; ++i) width += font->glyphs[static_cast<unsigned char>(text[i])].advance;
    return width > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(width);
}
