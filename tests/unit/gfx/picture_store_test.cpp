// Pictures made by ImageMagick, broken ones, and the picture slots.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "base/game_paths.h"
#include "base/game_state.h"
#include "gfx/picture_store.h"
#include "gfx/surface.h"
#include "headless/headless.h"
#include "shell/run_start.h"
#include "test_support.h"

using testsupport::ReadFile;
using testsupport::WriteFile;

namespace {

// Black, a red and a blue block, and a row of 40 greys (a palette needs 8 bits).
constexpr int kW = 40, kH = 30;
uint32_t Expected(int x, int y) {
    if (y == kH - 1) return 0x010101u * static_cast<uint32_t>(x * 6);
    if (x >= 5 && x <= 14 && y >= 5 && y <= 9) return kRed;
    return x >= 20 && x <= 29 && y >= 10 && y <= 19 ? kBlue : 0;
}

class PictureTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetGameState();
        HeadlessReset();
        dir = testsupport::MakeTempDir("quillrun-pictures");
        SetGameFolders({dir, dir});
        testsupport::WriteBmp24(dir + "/source.bmp", kW, kH, Expected);
    }
    void TearDown() override {
        ResetGameState();
        testsupport::RemoveTree(dir);
    }
    // ImageMagick turns the source picture into `format` with `options`.
    std::string Convert(const std::string& options, const std::string& format, const std::string& name) {
        std::string out;
        EXPECT_EQ(testsupport::RunCommand("/usr/bin/convert '" + dir + "/source.bmp' " + options + " " + format +
                                              ":'" + dir + "/" + name + "' 2>&1", &out), 0) << out;
        return dir + "/" + name;
    }
    // Every pixel within `tolerance` per channel of the source.
    void ExpectPicture(const std::string& path, int tolerance) {
        Surface* s = DecodePictureFile(path);
        ASSERT_NE(s, nullptr) << path;
        ASSERT_EQ(s->width * 1000 + s->height, kW * 1000 + kH);
        for (int y = 0; y < kH - (tolerance > 0); ++y)
            for (int x = 0; x < kW; ++x)
                for (int shift : {0, 8, 16})
                    ASSERT_LE(std::abs(static_cast<int>((GetPixel(s, x, y) >> shift) & 0xFF) -
                                       static_cast<int>((Expected(x, y) >> shift) & 0xFF)), tolerance) << x << "," << y;
        DestroySurface(s);
    }
    std::string dir;
};

TEST_F(PictureTest, BitmapsAndJpegsFromAnotherTool) {
    ExpectPicture(Convert("-type TrueColor", "BMP3", "v3.bmp"), 0);
    ExpectPicture(Convert("-type TrueColor", "BMP", "v5.bmp"), 0);
    const std::string pal = Convert("-type Palette -compress None", "BMP3", "pal8.bmp");
    ASSERT_EQ(ReadFile(pal)[28], 8);  // really 8 bits per pixel
    ExpectPicture(pal, 0);
    const std::string rle = Convert("-type Palette -compress RLE", "BMP3", "rle8.bmp");
    ASSERT_EQ(ReadFile(rle)[30], 1);  // really run-length encoded
    ExpectPicture(rle, 0);
    const std::string progressive = Convert("-quality 100 -interlace Plane", "JPEG", "progressive.jpg");
    ASSERT_NE(ReadFile(progressive).find("\xFF\xC2"), std::string::npos);  // progressive frame header
    ExpectPicture(progressive, 48);
    ExpectPicture(Convert("-quality 100 -interlace None", "JPEG", "baseline.jpg"), 48);
}

TEST_F(PictureTest, BrokenFilesAreRefused) {
    const std::string bmp = ReadFile(Convert("-type TrueColor", "BMP3", "good.bmp"));
    const std::string jpeg = ReadFile(Convert("-quality 90 -interlace Plane", "JPEG", "good.jpg"));
    auto patch = [](std::string s, size_t at, const std::string& bytes) { return s.replace(at, bytes.size(), bytes); };
    const std::pair<const char*, std::string> cases[] = {
        {"short.bmp", bmp.substr(0, bmp.size() - 1)}, {"header.bmp", bmp.substr(0, 30)},
        {"cut.jpg", jpeg.substr(0, jpeg.size() * 6 / 10)}, {"text.jpg", "This is not a picture.\r\n"}, {"empty.bmp", ""},
        {"huge.bmp", patch(bmp, 18, std::string("\x60\xEA\0\0\x60\xEA\0\0", 8))},  // 60000 x 60000
        {"tall.bmp", patch(bmp, 22, std::string("\0\0\0\x80", 4))},                // the most negative height
        {"wide.bmp", patch(bmp, 18, "\xFF\xFF\xFF\x7F")}, {"zero.bmp", patch(bmp, 18, std::string(4, '\0'))},
        {"noend.jpg", jpeg.substr(0, jpeg.size() - 2)},
        {"huge.jpg", patch(jpeg, jpeg.find("\xFF\xC2") + 5, "\xFD\xE8\xFD\xE8")},   // a frame of 65000 x 65000
    };
    for (const auto& [name, bytes] : cases) {
        WriteFile(dir + "/" + name, bytes);
        EXPECT_EQ(DecodePictureFile(dir + "/" + name), nullptr) << name;
    }
    EXPECT_EQ(DecodePictureFile(dir + "/missing.bmp"), nullptr);
    EXPECT_EQ(DecodePictureFile(dir), nullptr);  // a folder
}

TEST_F(PictureTest, MissingOrUnreadableFileTellsStopsThePlayAndKeepsTheSlot) {
    testsupport::WriteCorridorBmp(dir + "/Maps/first.bmp", 300, 50, 120);
    WriteFile(dir + "/Maps/text.bmp", "no picture here");
    const std::string rle = ReadFile(Convert("-type Palette -compress RLE", "BMP3", "rle.bmp"));
    WriteFile(dir + "/Maps/cut.bmp", rle.substr(0, rle.size() - 2));  // no end-of-picture code
    LoadPictureSurface(gs.mapSurface, dir + "/Maps", "first.bmp");
    ASSERT_NE(gs.mapSurface, nullptr);
    Surface* first = gs.mapSurface;
    for (const char* name : {"missing.bmp", "text.bmp", "cut.bmp"}) {
        SCOPED_TRACE(name);
        HeadlessReset();
        EXPECT_FALSE(LoadPictureSurface(gs.mapSurface, dir + "/Maps", name));
        EXPECT_EQ(HeadlessMessages(), std::vector<std::string>{"Error: No Map/Picture File!!!"});
        EXPECT_EQ(gs.mapSurface, first);
        EXPECT_EQ(GetPixel(gs.mapSurface, 10, 30), 0x808080u);
    }
    // A good load replaces (and under the sanitizer, frees) the old surface.
    testsupport::WriteCorridorBmp(dir + "/Maps/b.bmp", 1000, 60, 90);
    LoadPictureSurface(gs.mapSurface, dir + "/Maps", "b.bmp");
    EXPECT_EQ(gs.mapSurface->width, 1000);
    ReleasePictures();
    EXPECT_EQ(gs.mapSurface, nullptr);
}

}  // namespace
