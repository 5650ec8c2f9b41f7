// Pictures in every BMP and JPEG kind ImageMagick writes, decoded as
// ImageMagick decodes the same file; a PNG cut short; a file that is no
// picture keeps the slot and says so; text cut at the left edge.
// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "base/game_state.h"
#include "gfx/picture_store.h"
#include "gfx/png_codec.h"
#include "gfx/surface.h"
#include "gfx/text.h"
#include "headless/headless.h"
#include "shell/run_start.h"
#include "test_support.h"

namespace {

using testsupport::ReadFile;

// ImageMagick's pixels of a file, as 0x00BBGGRR.
std::vector<uint32_t> MagickPixels(const std::string& path) {
    std::string rgb;
    testsupport::RunCommand("/usr/bin/convert '" + path + "' -depth 8 rgb:- 2>/dev/null", &rgb);
    std::vector<uint32_t> pixels;
    for (size_t i = 0; i + 2 < rgb.size(); i += 3)
        pixels.push_back(static_cast<uint8_t>(rgb[i]) | static_cast<uint8_t>(rgb[i + 1]) << 8 |
                         static_cast<uint32_t>(static_cast<uint8_t>(rgb[i + 2])) << 16);
    return pixels;
}

TEST(Pictures, EveryKindDecodesAsImageMagickDecodesIt) {
    const std::string dir = testsupport::MakeTempDir("quillrun-pictures");
    // Colour blocks over a grey ramp, 40 x 30.
    testsupport::WriteBmp24(dir + "/source.bmp", 40, 30, [](int x, int y) {
        return y > 20 ? 0x010101u * static_cast<uint32_t>(x * 6) : (x / 10 + y / 10) % 3 == 0 ? kRed : x > 20 ? kBlue : 0u;
    });
    // format, ImageMagick options, byte and value that prove the kind, channel tolerance
    const struct { const char* format; const char* options; int at; int value; int tolerance; } kinds[] = {
        {"bmp3", "-type truecolor", 28, 24, 0},        {"bmp3", "-type palette", 28, 8, 0},
        {"bmp3", "-type palette -compress rle", 30, 1, 0}, {"bmp3", "-colors 16", 28, 4, 0},
        {"bmp3", "-monochrome", 28, 1, 0},
        {"bmp2", "-type palette", 14, 12, 0},           {"bmp", "-type truecolor", 14, 124, 0},
        {"bmp", "-type truecolormatte", 28, 32, 0},     {"bmp", "-define bmp:subtype=RGB565", 28, 16, 0},
        {"bmp", "-type truecolormatte -define bmp:subtype=ARGB1555", 28, 16, 0},
        {"jpg", "-quality 90", 0, 0xFF, 1},             {"jpg", "-quality 75 -interlace JPEG", 0, 0xFF, 1},
        {"jpg", "-colorspace Gray", 0, 0xFF, 1},        {"jpg", "-sampling-factor 2x2 -quality 50", 0, 0xFF, 1},
    };
    for (const auto& k : kinds) {
        SCOPED_TRACE(std::string(k.format) + " " + k.options);
        const std::string path = dir + "/picture." + k.format;
        ASSERT_EQ(testsupport::RunCommand("/usr/bin/convert '" + dir + "/source.bmp' " + k.options + " " + k.format +
                                          ":'" + path + "' 2>&1"), 0);
        ASSERT_EQ(static_cast<uint8_t>(ReadFile(path)[k.at]), k.value) << "not the kind named";
        Surface* s = DecodePictureFile(path);
        ASSERT_NE(s, nullptr);
        const std::vector<uint32_t> want = MagickPixels(path);
        ASSERT_EQ(want.size(), static_cast<size_t>(s->width * s->height));
        for (size_t i = 0; i < want.size(); ++i)
            for (int c = 0; c < 24; c += 8)
                ASSERT_NEAR(s->pixels[i] >> c & 0xFF, want[i] >> c & 0xFF, k.tolerance) << i;
        DestroySurface(s);
    }
    // CMYK as print tools write it (YCCK with Adobe's marker, inverted) and plain.
    for (const auto& [name, rgb] : {std::pair{"cmyk-adobe.jpg", 0x3D7AB7u}, std::pair{"cmyk-plain.jpg", 0x438F46u}}) {
        Surface* s = DecodePictureFile(QUILLRUN_SOURCE_DIR "/tests/unit/gfx/" + std::string(name));
        ASSERT_NE(s, nullptr) << name;
        for (int c = 0; c < 24; c += 8) EXPECT_NEAR(GetPixel(s, 7, 7) >> c & 0xFF, rgb >> c & 0xFF, 1) << name;
        DestroySurface(s);
    }
    // RLE8, 4 x 1, palette {black, red}: an absolute run of 3 and its pad
    // byte (ImageMagick writes no odd run), a run of 1, end of picture.
    const uint8_t oddRun[] = {'B', 'M', 72, 0, 0, 0, 0, 0, 0, 0, 62, 0, 0, 0, 40, 0, 0, 0, 4, 0, 0, 0, 1, 0, 0, 0,
                              1, 0, 8, 0, 1, 0, 0, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0,
                              0, 0, 0, 0, 0, 0, 255, 0, 0, 3, 1, 0, 1, 0, 1, 1, 0, 1};
    Surface* s = DecodePicture(oddRun, sizeof oddRun);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(std::vector<uint32_t>(s->pixels, s->pixels + 4), (std::vector<uint32_t>{kRed, 0, kRed, kRed}));
    DestroySurface(s);
    // A PNG (the window's icon) cut short is refused, not shown blank.
    std::vector<uint8_t> png;
    DecodedPicture picture;
    ASSERT_TRUE(EncodePng(oddRun, 4, 1, 3, &png));
    EXPECT_FALSE(DecodePng(png.data(), png.size() - 20, &picture));
    testsupport::RemoveTree(dir);
}

// Underscores, whose strokes run across the edge: drawn 5 columns left of
// it, the columns that remain are those of the whole text.
TEST(Text, CutAtTheLeftEdgeKeepsTheColumnsThatRemain) {
    ASSERT_TRUE(InitFonts(nullptr) && InitFonts(nullptr));  // a second start changes nothing
    Surface *whole = CreateSurface(40, 24), *cut = CreateSurface(35, 24);
    for (Surface* s : {whole, cut}) DrawGlyphs(s, s->width - 40, 0, TextStyle{FONT_ARIAL, 12, true, kWhite}, "___", 3);
    for (int i = 0; i < 35 * 24; ++i) ASSERT_EQ(cut->pixels[i], whole->pixels[i / 35 * 40 + i % 35 + 5]) << i;
    DestroySurface(whole), DestroySurface(cut);
}

TEST(Pictures, AFileThatIsNoPictureKeepsTheSlotAndSaysSo) {
    ResetGameState();
    HeadlessReset();
    const std::string dir = testsupport::MakeTempDir("quillrun-pictures");
    testsupport::WriteCorridorBmp(dir + "/first.bmp", 300, 50, 120);
    testsupport::WriteFile(dir + "/text.bmp", "no picture here");
    ASSERT_TRUE(LoadPictureSurface(gs.mapSurface, dir, "first.bmp"));
    Surface* first = gs.mapSurface;
    for (const char* name : {"missing.bmp", "text.bmp", ""}) {
        EXPECT_FALSE(LoadPictureSurface(gs.mapSurface, dir, name)) << name;
        EXPECT_EQ(gs.mapSurface, first);
    }
    EXPECT_EQ(HeadlessMessages(), std::vector<std::string>(3, "Error: No Map/Picture File!!!"));
    ReleasePictures();
    testsupport::RemoveTree(dir);
}

}  // namespace
