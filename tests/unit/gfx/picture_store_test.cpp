// Picture files made by ImageMagick and broken ones, the four picture slots,
// and PNG output.
#include <gtest/gtest.h>
#include <malloc.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "gfx/picture_store.h"
#include "gfx/surface.h"
#include "platform/headless/headless.h"
#include "shell/game_state.h"
#include "test_support.h"

using testsupport::FileExists;
using testsupport::ReadFile;
using testsupport::RunCommand;
using testsupport::WriteFile;

namespace {

const char kMissing[] = "Error: No Map/Picture File!!!";

// The test picture: black, a red and a blue block, a green corner pixel at
// the top right, and a row of 40 greys at the bottom (so that a palette
// needs 8 bits).
constexpr int kW = 40, kH = 30;
uint32_t Expected(int x, int y) {
    if (y == kH - 1) return 0x010101u * static_cast<uint32_t>(x * 6);
    if (x == kW - 1 && y == 0) return kGreen;
    if (x >= 5 && x <= 14 && y >= 5 && y <= 9) return kRed;
    if (x >= 20 && x <= 29 && y >= 10 && y <= 19) return kBlue;
    return 0;
}

uint32_t Le32(const std::string& s, size_t at) {
    return static_cast<unsigned char>(s[at]) | (static_cast<unsigned char>(s[at + 1]) << 8) |
           (static_cast<unsigned char>(s[at + 2]) << 16) | (static_cast<uint32_t>(static_cast<unsigned char>(s[at + 3])) << 24);
}
uint16_t Le16(const std::string& s, size_t at) {
    return static_cast<uint16_t>(static_cast<unsigned char>(s[at]) | (static_cast<unsigned char>(s[at + 1]) << 8));
}
void Put32(std::string& s, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) s[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

class PictureTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetGameState();
        HeadlessReset();
        dir = testsupport::MakeTempDir("quillrun-pictures");
        SetProgramFolder(dir);
        source = dir + "/source.bmp";
        testsupport::WriteBmp24(source, kW, kH, Expected);
    }
    void TearDown() override {
        ResetGameState();
        testsupport::RemoveTree(dir);
    }
    // ImageMagick turns the source picture into `format` with `options`.
    std::string ConvertTo(const std::string& options, const std::string& format, const std::string& name) {
        std::string output;
        const int status = RunCommand("/usr/bin/convert '" + source + "' " + options + " " + format + ":'" + dir + "/" +
                                          name + "' 2>&1",
                                      &output);
        EXPECT_EQ(status, 0) << output;
        return dir + "/" + name;
    }
    void ExpectExact(const std::string& path) {
        Surface* s = DecodePictureFile(path);
        ASSERT_NE(s, nullptr) << path;
        ASSERT_EQ(s->width, kW);
        ASSERT_EQ(s->height, kH);
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) ASSERT_EQ(GetPixel(s, x, y), Expected(x, y)) << x << "," << y;
        DestroySurface(s);
    }
    // A bottom-up bitmap turned into a top-down one: rows reversed, height negated.
    std::string MakeTopDown(const std::string& bottomUp, const std::string& name) {
        std::string s = ReadFile(bottomUp);
        const uint32_t offset = Le32(s, 10);
        const int width = static_cast<int>(Le32(s, 18));
        const int height = static_cast<int>(Le32(s, 22));
        const int bpp = Le16(s, 28);
        const size_t row = static_cast<size_t>((width * bpp + 31) / 32 * 4);
        EXPECT_GT(height, 0);
        std::string flipped = s;
        for (int r = 0; r < height; ++r)
            flipped.replace(offset + r * row, row, s, offset + (height - 1 - r) * row, row);
        Put32(flipped, 22, static_cast<uint32_t>(-height));
        WriteFile(dir + "/" + name, flipped);
        return dir + "/" + name;
    }
    std::string dir, source;
};

TEST_F(PictureTest, BitmapsOfEveryHeaderVersionAndDepth) {
    const std::string bmp3 = ConvertTo("-type TrueColor", "BMP3", "v3.bmp");
    const std::string bmp5 = ConvertTo("-type TrueColor", "BMP", "v5.bmp");
    const std::string os2 = ConvertTo("-type TrueColor", "BMP2", "os2.bmp");
    const std::string pal = ConvertTo("-type Palette -compress None", "BMP3", "pal8.bmp");
    // Make sure the tool wrote what each case is about.
    EXPECT_EQ(Le32(ReadFile(bmp3), 14), 40u);
    EXPECT_EQ(Le16(ReadFile(bmp3), 28), 24);
    EXPECT_GE(Le32(ReadFile(bmp5), 14), 108u);
    EXPECT_EQ(Le32(ReadFile(os2), 14), 12u);
    EXPECT_EQ(Le16(ReadFile(pal), 28), 8);
    EXPECT_EQ(Le32(ReadFile(pal), 30), 0u);
    for (const std::string& path : {bmp3, bmp5, os2, pal}) {
        SCOPED_TRACE(path);
        ExpectExact(path);
    }
    ExpectExact(source);  // the game's own writer
}

TEST_F(PictureTest, TopDownBitmaps) {
    ExpectExact(MakeTopDown(ConvertTo("-type TrueColor", "BMP3", "up24.bmp"), "down24.bmp"));
    ExpectExact(MakeTopDown(ConvertTo("-type Palette -compress None", "BMP3", "up8.bmp"), "down8.bmp"));
}

TEST_F(PictureTest, BaselineAndProgressiveJpeg) {
    const std::string baseline = ConvertTo("-quality 100 -interlace None", "JPEG", "baseline.jpg");
    const std::string progressive = ConvertTo("-quality 100 -interlace Plane", "JPEG", "progressive.jpg");
    EXPECT_NE(ReadFile(progressive).find("\xFF\xC2"), std::string::npos);  // progressive frame header
    EXPECT_EQ(ReadFile(baseline).find("\xFF\xC2"), std::string::npos);
    for (const std::string& path : {baseline, progressive}) {
        SCOPED_TRACE(path);
        Surface* s = DecodePictureFile(path);
        ASSERT_NE(s, nullptr);
        ASSERT_EQ(s->width, kW);
        ASSERT_EQ(s->height, kH);
        // Lossy, but the blocks keep their colours and solid black stays 0.
        for (int y = 0; y < kH - 1; ++y)
            for (int x = 0; x < kW - 1; ++x) {
                const uint32_t want = Expected(x, y), got = GetPixel(s, x, y);
                for (int shift : {0, 8, 16}) {
                    const int a = static_cast<int>((want >> shift) & 0xFF), b = static_cast<int>((got >> shift) & 0xFF);
                    ASSERT_LE(std::abs(a - b), 48) << x << "," << y;
                }
            }
        EXPECT_EQ(GetPixel(s, 2, 20), 0u);
        EXPECT_EQ(GetPixel(s, 35, 25), 0u);
        DestroySurface(s);
    }
    // Bytes after the end of the picture do not matter.
    WriteFile(dir + "/trailing.jpg", ReadFile(baseline) + "trailing bytes");
    Surface* trailing = DecodePictureFile(dir + "/trailing.jpg");
    EXPECT_NE(trailing, nullptr);
    DestroySurface(trailing);
}

TEST_F(PictureTest, BrokenFilesAreRefused) {
    const std::string bmp = ReadFile(ConvertTo("-type TrueColor", "BMP3", "good.bmp"));
    const std::string pal = ReadFile(ConvertTo("-type Palette -compress None", "BMP3", "good8.bmp"));
    const std::string rle = ConvertTo("-type Palette -compress RLE", "BMP3", "rle.bmp");
    EXPECT_EQ(Le32(ReadFile(rle), 30), 1u);  // really run-length encoded
    const std::string jpeg = ReadFile(ConvertTo("-quality 90 -interlace Plane", "JPEG", "good.jpg"));
    WriteFile(dir + "/half.bmp", bmp.substr(0, bmp.size() / 2));
    WriteFile(dir + "/short.bmp", bmp.substr(0, bmp.size() - 1));
    WriteFile(dir + "/short8.bmp", pal.substr(0, pal.size() - 40));
    WriteFile(dir + "/header.bmp", bmp.substr(0, 30));
    WriteFile(dir + "/cut.jpg", jpeg.substr(0, jpeg.size() * 6 / 10));
    const std::string baseline = ReadFile(ConvertTo("-quality 90 -interlace None", "JPEG", "base.jpg"));
    WriteFile(dir + "/cutbase.jpg", baseline.substr(0, baseline.size() * 8 / 10));
    WriteFile(dir + "/noend.jpg", jpeg.substr(0, jpeg.size() - 2));
    WriteFile(dir + "/text.jpg", "This is not a picture.\r\n");
    WriteFile(dir + "/empty.bmp", "");
    WriteFile(dir + "/bm.jpg", "BM");
    // Headers asking for enormous pictures, with hardly any data behind them.
    std::string huge = bmp;
    Put32(huge, 18, 60000);
    Put32(huge, 22, 60000);
    WriteFile(dir + "/huge.bmp", huge);
    std::string wide = bmp;
    Put32(wide, 18, 0x7FFFFFFF);
    WriteFile(dir + "/wide.bmp", wide);
    std::string tall = bmp;
    Put32(tall, 22, 0x80000000u);  // the most negative height
    WriteFile(dir + "/tall.bmp", tall);
    std::string zero = bmp;
    Put32(zero, 18, 0);
    WriteFile(dir + "/zero.bmp", zero);
    // A complete JPEG whose frame header claims 65000 x 65000 pixels.
    std::string bigJpeg = jpeg;
    const size_t sof = bigJpeg.find("\xFF\xC2");
    ASSERT_NE(sof, std::string::npos);
    for (size_t at : {sof + 5, sof + 7}) {
        bigJpeg[at] = static_cast<char>(0xFD);
        bigJpeg[at + 1] = static_cast<char>(0xE8);
    }
    WriteFile(dir + "/huge.jpg", bigJpeg);
    for (const char* name : {"half.bmp", "short.bmp", "short8.bmp", "header.bmp", "rle.bmp", "cut.jpg", "cutbase.jpg", "noend.jpg",
                             "text.jpg", "empty.bmp", "bm.jpg", "huge.bmp", "wide.bmp", "tall.bmp", "zero.bmp",
                             "huge.jpg", "no-such-file.bmp"}) {
        EXPECT_EQ(DecodePictureFile(dir + "/" + name), nullptr) << name;
    }
    EXPECT_EQ(DecodePictureFile(dir), nullptr);  // a folder
}

TEST_F(PictureTest, MissingOrUnreadableFileKeepsTheSlot) {
    testsupport::WriteCorridorBmp(dir + "/Maps/first.bmp", 300, 50, 120);
    WriteFile(dir + "/Maps/text.bmp", "no picture here");
    WriteFile(dir + "/Maps/rle.bmp", ReadFile(ConvertTo("-type Palette -compress RLE", "BMP3", "rle.bmp")));
    LoadPictureSurface(gs.mapSurface, dir + "/Maps", "first.bmp");
    ASSERT_NE(gs.mapSurface, nullptr);
    Surface* first = gs.mapSurface;
    EXPECT_TRUE(HeadlessMessages().empty());
    size_t messages = 0;
    for (const char* name : {"missing.bmp", "text.bmp", "rle.bmp"}) {
        SCOPED_TRACE(name);
        gs.playing = kTrue;
        LoadPictureSurface(gs.mapSurface, dir + "/Maps", name);
        ++messages;
        ASSERT_EQ(HeadlessMessages().size(), messages);
        EXPECT_EQ(HeadlessMessages().back(), kMissing);
        EXPECT_EQ(gs.playing, kFalse);
        EXPECT_EQ(gs.mapSurface, first);
    }
    // The kept surface is still the whole map.
    EXPECT_EQ(gs.mapSurface->width, 300);
    EXPECT_EQ(GetPixel(gs.mapSurface, 10, 80), 0u);
    EXPECT_EQ(GetPixel(gs.mapSurface, 10, 30), 0x808080u);
    // An empty slot stays empty.
    gs.playing = kTrue;
    LoadPictureSurface(gs.helpSurface, dir, "Pictures/Help.jpg");
    EXPECT_EQ(gs.helpSurface, nullptr);
    EXPECT_EQ(gs.playing, kFalse);
}

TEST_F(PictureTest, ANewLoadReleasesThePreviousSurface) {
    testsupport::WriteCorridorBmp(dir + "/Maps/a.bmp", 2000, 50, 120);
    testsupport::WriteCorridorBmp(dir + "/Maps/b.bmp", 1000, 60, 90);
    gs.playing = kTrue;
    LoadPictureSurface(gs.mapSurface, dir + "/Maps", "a.bmp");
    LoadPictureSurface(gs.mapSurface, dir + "/Maps", "b.bmp");
    ASSERT_NE(gs.mapSurface, nullptr);
    EXPECT_EQ(gs.mapSurface->width, 1000);
    EXPECT_EQ(GetPixel(gs.mapSurface, 0, 55), 0x808080u);
    EXPECT_EQ(gs.playing, kTrue);
    EXPECT_TRUE(HeadlessMessages().empty());
    // Many loads in a row keep one map alive: memory in use does not grow
    // by the 1.6 MB of each map.
    const struct mallinfo2 before = mallinfo2();
    for (int i = 0; i < 30; ++i) LoadPictureSurface(gs.mapSurface, dir + "/Maps", "a.bmp");
    const struct mallinfo2 after = mallinfo2();
    const long long grown = static_cast<long long>(after.uordblks + after.hblkhd) -
                            static_cast<long long>(before.uordblks + before.hblkhd);
    EXPECT_LT(grown, 2 * 2000 * 200 * 4);
    EXPECT_EQ(gs.mapSurface->width, 2000);
}

TEST_F(PictureTest, FixedPicturesLoadInOrderAndEachMissingOneIsReported) {
    testsupport::WriteTestShip(dir + "/Pictures/Ship.jpg");
    WriteFile(dir + "/Pictures/background.jpg",
              ReadFile(ConvertTo("-resize 622x216! -quality 90 -interlace Plane", "JPEG", "bg.jpg")));
    LoadPictures();
    EXPECT_EQ(HeadlessMessages(), std::vector<std::string>{kMissing});  // Help.jpg only
    ASSERT_NE(gs.shipSurface, nullptr);
    EXPECT_EQ(gs.shipSurface->width, 18);
    EXPECT_EQ(GetPixel(gs.shipSurface, 3, 3), kWhite);
    EXPECT_EQ(GetPixel(gs.shipSurface, 3, 12), 0u);
    ASSERT_NE(gs.backgroundSurface, nullptr);
    EXPECT_EQ(gs.backgroundSurface->width, 622);
    EXPECT_EQ(gs.helpSurface, nullptr);

    // With none of the three there are three messages.
    ReleasePictures();
    HeadlessReset();
    SetProgramFolder(dir + "/nowhere");
    LoadPictures();
    EXPECT_EQ(HeadlessMessages(), (std::vector<std::string>{kMissing, kMissing, kMissing}));
    EXPECT_EQ(gs.shipSurface, nullptr);
    EXPECT_EQ(gs.backgroundSurface, nullptr);
}

TEST_F(PictureTest, ReleaseEmptiesEverySlotAndSkipsEmptyOnes) {
    testsupport::WriteTestShip(dir + "/Pictures/Ship.jpg");
    testsupport::WriteTestShip(dir + "/Pictures/background.jpg");
    testsupport::WriteTestShip(dir + "/Pictures/Help.jpg");
    LoadPictures();
    ASSERT_NE(gs.helpSurface, nullptr);
    ASSERT_EQ(gs.mapSurface, nullptr);
    ReleasePictures();
    EXPECT_EQ(gs.mapSurface, nullptr);
    EXPECT_EQ(gs.shipSurface, nullptr);
    EXPECT_EQ(gs.backgroundSurface, nullptr);
    EXPECT_EQ(gs.helpSurface, nullptr);
    ReleasePictures();  // twice is harmless
    // Empty slots read as rock and draw nothing.
    EXPECT_NE(GetPixel(gs.mapSurface, 0, 0), 0u);
}

TEST_F(PictureTest, PngIsRgbAndReadsBackExactly) {
    Surface* s = CreateSurface(kW, kH);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) SetPixel(s, x, y, Expected(x, y));
    const std::string png = dir + "/shot.png";
    WriteFile(png, "an older file");
    ASSERT_TRUE(WritePng(s, png));
    const std::string bytes = ReadFile(png);
    ASSERT_GT(bytes.size(), 33u);
    EXPECT_EQ(bytes.substr(0, 8), "\x89PNG\r\n\x1A\n");
    EXPECT_EQ(bytes.substr(12, 4), "IHDR");
    EXPECT_EQ(bytes[24], 8);  // bits per channel
    EXPECT_EQ(bytes[25], 2);  // RGB, no alpha
    // ImageMagick reads it back; as a bitmap it decodes to the same pixels.
    source = png;
    ExpectExact(ConvertTo("-type TrueColor", "BMP3", "back.bmp"));
    // Nothing but the files written here is left in the folder.
    size_t files = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir)) ++files;
    EXPECT_EQ(files, 3u);  // source.bmp, shot.png, back.bmp

    EXPECT_FALSE(WritePng(s, dir + "/no/such/folder/shot.png"));
    EXPECT_FALSE(WritePng(nullptr, dir + "/null.png"));
    EXPECT_FALSE(FileExists(dir + "/null.png"));
    DestroySurface(s);
}

}  // namespace
