// The shipped content as built into the program folder: the catalogue, the
// caves, the ship and the other pictures, and that the generator makes the
// same bytes every time.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "gfx/picture_store.h"
#include "gfx/surface.h"
#include "maps/map_catalogue.h"
#include "maps/settings_file.h"
#include "online/score_upload.h"
#include "platform/headless/headless.h"
#include "shell/game_state.h"
#include "test_support.h"

#ifndef QUILLRUN_CONTENT_TOOL
#define QUILLRUN_CONTENT_TOOL QUILLRUN_GAME_DIR "/../tools/quillrun-make-content"
#endif

namespace {

namespace fs = std::filesystem;
using testsupport::ReadFile;

const std::string kGame = QUILLRUN_GAME_DIR;
constexpr int kCaves = 26;

// The byte size of each shipped map file that the score upload accepts.
const char* const kKnownSizes[kCaves + 1] = {
    "",        "6000056", "6000056", "6000056", "6000056", "4800056", "1200056", "1200056", "1800056",
    "2400056", "2400056", "1274456", "4200054", "4200054", "3032054", "4200054", "700068",  "700076",
    "700080",  "2000312", "1320054", "3180054", "1000084", "1000076", "6000054", "2001080", "12000054"};

void LoadShippedCatalogue() {
    ResetGameState();
    HeadlessReset();
    SetProgramFolder(kGame);
    gs.mapsIniPath = kGame + "/Maps/Maps.ini";
    LoadMapCatalogue();
}

// The pixels of a BMP read straight from its bytes, as 0x00BBGGRR.
struct Raw {
    int width = 0, height = 0, bits = 0;
    std::vector<uint32_t> pixels;
};

uint32_t Le32(const std::string& b, size_t at) {
    return static_cast<uint8_t>(b[at]) | static_cast<uint8_t>(b[at + 1]) << 8 |
           static_cast<uint32_t>(static_cast<uint8_t>(b[at + 2])) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(b[at + 3])) << 24;
}

Raw ParseBmp(const std::string& b) {
    Raw r;
    r.width = static_cast<int>(Le32(b, 18));
    r.height = static_cast<int>(Le32(b, 22));
    r.bits = static_cast<uint8_t>(b[28]);
    const size_t offBits = Le32(b, 10);
    const size_t colours = Le32(b, 46);
    const size_t row = (static_cast<size_t>(r.width) * (r.bits / 8) + 3) / 4 * 4;
    r.pixels.resize(static_cast<size_t>(r.width) * r.height);
    for (int y = 0; y < r.height; ++y) {
        const size_t start = offBits + static_cast<size_t>(r.height - 1 - y) * row;
        for (int x = 0; x < r.width; ++x) {
            uint8_t rgb[3];
            if (r.bits == 8) {
                size_t index = static_cast<uint8_t>(b[start + x]);
                EXPECT_LT(index, colours);
                size_t at = 54 + 4 * index;
                rgb[0] = static_cast<uint8_t>(b[at + 2]);
                rgb[1] = static_cast<uint8_t>(b[at + 1]);
                rgb[2] = static_cast<uint8_t>(b[at]);
            } else {
                size_t at = start + 3 * static_cast<size_t>(x);
                rgb[0] = static_cast<uint8_t>(b[at + 2]);
                rgb[1] = static_cast<uint8_t>(b[at + 1]);
                rgb[2] = static_cast<uint8_t>(b[at]);
            }
            r.pixels[static_cast<size_t>(y) * r.width + x] = rgb[0] | rgb[1] << 8 | static_cast<uint32_t>(rgb[2]) << 16;
        }
    }
    return r;
}

std::string CavePath(int k) { return kGame + "/Maps/" + gs.maps[k].file; }

bool Open(const Raw& r, int x, int y) { return r.pixels[static_cast<size_t>(y) * r.width + x] == 0; }

// Longest run of open rows in a column.
int LongestOpenRun(const Raw& r, int x) {
    int best = 0, run = 0;
    for (int y = 0; y < r.height; ++y) {
        run = Open(r, x, y) ? run + 1 : 0;
        best = std::max(best, run);
    }
    return best;
}

int OpenRows(const Raw& r, int x) {
    int n = 0;
    for (int y = 0; y < r.height; ++y) n += Open(r, x, y) ? 1 : 0;
    return n;
}

class ShippedContent : public testing::Test {
protected:
    void SetUp() override { LoadShippedCatalogue(); }
};

TEST_F(ShippedContent, CatalogueListsTwentySixCaves) {
    for (int k = 1; k <= kCaves; ++k) {
        SCOPED_TRACE(k);
        EXPECT_FALSE(gs.maps[k].file.empty());
        EXPECT_FALSE(gs.maps[k].name.empty());
        EXPECT_GT(gs.maps[k].width, 0);
        for (int j = 1; j < k; ++j) {
            EXPECT_NE(gs.maps[j].file, gs.maps[k].file);
            EXPECT_NE(gs.maps[j].name, gs.maps[k].name);
        }
    }
    EXPECT_TRUE(gs.maps[kCaves + 1].file.empty());
}

TEST_F(ShippedContent, CaveFilesHaveTheSizesTheUploadAccepts) {
    for (int k = 1; k <= kCaves; ++k) {
        EXPECT_EQ(FileSizeText(CavePath(k)), kKnownSizes[k]) << gs.maps[k].file;
    }
}

// Every reader sees the same picture: the game's decoder, ImageMagick and the
// file's own bytes; open space is exactly 0, rock never comes near it.
TEST_F(ShippedContent, EveryReaderSeesTheSameCave) {
    const std::string tmp = testsupport::MakeTempDir("quillrun-content");
    for (int k = 1; k <= kCaves; ++k) {
        SCOPED_TRACE(gs.maps[k].file);
        const std::string bytes = ReadFile(CavePath(k));
        Raw raw = ParseBmp(bytes);
        ASSERT_EQ(raw.height, 200);
        ASSERT_TRUE(raw.bits == 24 || raw.bits == 8);

        Surface* s = DecodePictureFile(CavePath(k));
        ASSERT_NE(s, nullptr);
        ASSERT_EQ(s->width, raw.width);
        ASSERT_EQ(s->height, 200);
        long differ = 0, nearBlack = 0;
        for (size_t i = 0; i < raw.pixels.size(); ++i) {
            if (s->pixels[i] != raw.pixels[i]) ++differ;
            uint32_t p = raw.pixels[i];
            int brightest = std::max({p & 0xFF, (p >> 8) & 0xFF, (p >> 16) & 0xFF});
            if (p != 0 && brightest < 8) ++nearBlack;
        }
        DestroySurface(s);
        EXPECT_EQ(differ, 0);
        EXPECT_EQ(nearBlack, 0);

        const std::string out = tmp + "/cave.rgb";
        ASSERT_EQ(testsupport::RunCommand("/usr/bin/convert '" + CavePath(k) + "' -depth 8 rgb:'" + out + "' 2>&1"), 0);
        const std::string rgb = ReadFile(out);
        ASSERT_EQ(rgb.size(), raw.pixels.size() * 3);
        differ = 0;
        for (size_t i = 0; i < raw.pixels.size(); ++i) {
            uint32_t p = static_cast<uint8_t>(rgb[3 * i]) | static_cast<uint8_t>(rgb[3 * i + 1]) << 8 |
                         static_cast<uint32_t>(static_cast<uint8_t>(rgb[3 * i + 2])) << 16;
            if (p != raw.pixels[i]) ++differ;
        }
        EXPECT_EQ(differ, 0);
    }
    testsupport::RemoveTree(tmp);
}

// The run fits the picture, the ship fits the cave everywhere, and the last
// stretch opens up to the end of the picture.
TEST_F(ShippedContent, CavesAreOpenWhereTheShipMustGo) {
    for (int k = 1; k <= kCaves; ++k) {
        SCOPED_TRACE(gs.maps[k].file);
        Raw raw = ParseBmp(ReadFile(CavePath(k)));
        const int width = gs.maps[k].width;
        EXPECT_LE(width, raw.width - 600);
        int narrowest = 200;
        for (int x = 0; x < raw.width; ++x) narrowest = std::min(narrowest, LongestOpenRun(raw, x));
        EXPECT_GE(narrowest, 22);
        for (int x = width - 150; x < raw.width; ++x) ASSERT_GE(LongestOpenRun(raw, x), 100) << "x " << x;
        // The start height found in column 30 puts both collision probes in
        // open space (top row, then the first rock below it).
        int top = 1;
        while (top <= 200 && !Open(raw, 30, top)) ++top;
        int bottom = top;
        while (bottom < 200 && Open(raw, 30, bottom)) ++bottom;
        int shipY = top + bottom / 2 - 4;
        EXPECT_TRUE(Open(raw, 36, shipY));
        EXPECT_TRUE(Open(raw, 36, shipY + 8));
    }
}

TEST_F(ShippedContent, CavesGetNarrowerAndTheLastIsLongest) {
    double meanOpen[kCaves + 1] = {};
    int narrowest[kCaves + 1] = {};
    for (int k = 1; k <= kCaves; ++k) {
        Raw raw = ParseBmp(ReadFile(CavePath(k)));
        long sum = 0;
        narrowest[k] = 200;
        for (int x = 300; x < gs.maps[k].width - 300; ++x) {
            sum += OpenRows(raw, x);
            narrowest[k] = std::min(narrowest[k], LongestOpenRun(raw, x));
        }
        meanOpen[k] = static_cast<double>(sum) / (gs.maps[k].width - 600);
        if (k < kCaves) {
            EXPECT_LT(gs.maps[k].width, gs.maps[kCaves].width);
        }
    }
    auto group = [&](int from, int to) {
        double s = 0;
        for (int k = from; k <= to; ++k) s += meanOpen[k];
        return s / (to - from + 1);
    };
    EXPECT_GT(group(1, 5), group(6, 12) + 15);
    EXPECT_GT(group(6, 12), group(13, 19) + 10);
    EXPECT_GT(group(13, 19), group(20, 26) + 5);
    for (int k = 1; k <= 3; ++k) EXPECT_GE(narrowest[k], 100) << k;
    for (int k = 20; k <= kCaves; ++k) EXPECT_LE(narrowest[k], 40) << k;
}

// Rock is textured and each cave has its own colour.
TEST_F(ShippedContent, RockIsShadedAndColouredPerCave) {
    double mean[kCaves + 1][3] = {};
    for (int k = 1; k <= kCaves; ++k) {
        SCOPED_TRACE(gs.maps[k].file);
        Raw raw = ParseBmp(ReadFile(CavePath(k)));
        std::set<uint32_t> colours;
        double sum[3] = {0, 0, 0};
        long n = 0;
        for (uint32_t p : raw.pixels) {
            if (p == 0) continue;
            colours.insert(p);
            for (int c = 0; c < 3; ++c) sum[c] += (p >> (8 * c)) & 0xFF;
            ++n;
        }
        ASSERT_GT(n, 0);
        EXPECT_GE(colours.size(), raw.bits == 8 ? 40u : 500u);
        for (int c = 0; c < 3; ++c) mean[k][c] = sum[c] / n;
        if (k > 1) {
            double d = 0;
            for (int c = 0; c < 3; ++c) d += (mean[k][c] - mean[k - 1][c]) * (mean[k][c] - mean[k - 1][c]);
            EXPECT_GT(d, 36.0) << "cave " << k << " looks like cave " << k - 1;
        }
    }
}

// Drawn as the flight draws it (mask with AND, then the image with OR), the
// ship changes nothing outside its outline, over black and over rock, and
// shows exactly its own pixels inside it.
TEST(ShipPicture, DrawsWithoutFringe) {
    Surface* ship = DecodePictureFile(kGame + "/Pictures/Ship.jpg");
    ASSERT_NE(ship, nullptr);
    ASSERT_EQ(ship->width, 18);
    ASSERT_EQ(ship->height, 18);
    LoadShippedCatalogue();
    Surface* rockMap = DecodePictureFile(CavePath(13));
    ASSERT_NE(rockMap, nullptr);

    int inside = 0;
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 18; ++x)
            if ((GetPixel(ship, x, y + 9) & 0x808080u) == 0) ++inside;
    EXPECT_GT(inside, 60);
    EXPECT_LT(inside, 140);
    // The collision probes sit on the ship's top and bottom rows.
    EXPECT_EQ(GetPixel(ship, 6, 9) & 0x808080u, 0u);
    EXPECT_EQ(GetPixel(ship, 6, 17) & 0x808080u, 0u);

    for (bool overRock : {false, true}) {
        Surface* field = CreateSurface(18, 9);
        ASSERT_NE(field, nullptr);
        // The rock ground is the top left corner of a cave: rock there.
        if (overRock) BitBlt(field, 0, 0, 18, 9, rockMap, 0, 0, SRCCOPY);
        Surface* ground = CreateSurface(18, 9);
        BitBlt(ground, 0, 0, 18, 9, field, 0, 0, SRCCOPY);
        BitBlt(field, 0, 0, 18, 9, ship, 0, 9, SRCAND);
        BitBlt(field, 0, 0, 18, 9, ship, 0, 0, SRCPAINT);
        for (int y = 0; y < 9; ++y) {
            for (int x = 0; x < 18; ++x) {
                bool shipHere = (GetPixel(ship, x, y + 9) & 0x808080u) == 0;
                uint32_t want = shipHere ? GetPixel(ship, x, y) : GetPixel(ground, x, y);
                EXPECT_EQ(GetPixel(field, x, y), want) << "x " << x << " y " << y << (overRock ? " over rock" : " over black");
            }
        }
        DestroySurface(ground);
        DestroySurface(field);
    }
    DestroySurface(rockMap);
    DestroySurface(ship);
}

// Mean brightness (0..255) of a rectangle.
double Brightness(const Surface* s, int x0, int y0, int w, int h) {
    double sum = 0;
    for (int y = y0; y < y0 + h; ++y)
        for (int x = x0; x < x0 + w; ++x) {
            uint32_t p = GetPixel(s, x, y);
            sum += 0.299 * (p & 0xFF) + 0.587 * ((p >> 8) & 0xFF) + 0.114 * ((p >> 16) & 0xFF);
        }
    return sum / (w * h);
}

TEST(Pictures, BackgroundHelpAndIcon) {
    Surface* bg = DecodePictureFile(kGame + "/Pictures/background.jpg");
    ASSERT_NE(bg, nullptr);
    EXPECT_GE(bg->width, 622);
    EXPECT_GE(bg->height, 216);
    // The light blue map list and the texts on the right stay readable:
    // the ground under them is dark.
    EXPECT_LT(Brightness(bg, 0, 0, 320, 216), 45.0);
    EXPECT_LT(Brightness(bg, 322, 0, 300, 40), 45.0);
    EXPECT_LT(Brightness(bg, 322, 60, 300, 70), 45.0);
    EXPECT_LT(Brightness(bg, 322, 150, 300, 66), 45.0);
    DestroySurface(bg);

    Surface* help = DecodePictureFile(kGame + "/Pictures/Help.jpg");
    ASSERT_NE(help, nullptr);
    EXPECT_EQ(help->width, 600);
    EXPECT_EQ(help->height, 216);
    // Text on it: many bright pixels on a dark ground.
    long bright = 0;
    for (int y = 0; y < 216; ++y)
        for (int x = 0; x < 600; ++x)
            if (Brightness(help, x, y, 1, 1) > 150) ++bright;
    EXPECT_GT(bright, 3000);
    EXPECT_LT(Brightness(help, 0, 0, 600, 216), 60.0);
    DestroySurface(help);

    std::string info;
    ASSERT_EQ(testsupport::RunCommand("/usr/bin/identify -format '%m %w %h %[channels]' '" + kGame +
                                          "/Pictures/icon.png'",
                                      &info),
              0);
    EXPECT_EQ(info.substr(0, 10), "PNG 32 32 ") << info;
    EXPECT_EQ(info.back(), 'a') << "no transparency: " << info;
}

// FNV-1a of a file's bytes.
uint64_t Checksum(const std::string& path) {
    uint64_t h = 1469598103934665603ull;
    for (char c : ReadFile(path)) {
        h ^= static_cast<uint8_t>(c);
        h *= 1099511628211ull;
    }
    return h;
}

TEST(Generator, MakesTheSameBytesEveryTimeWithoutRecords) {
    const std::string a = testsupport::MakeTempDir("quillrun-gen-a");
    const std::string b = testsupport::MakeTempDir("quillrun-gen-b");
    ASSERT_EQ(testsupport::RunCommand(std::string("'") + QUILLRUN_CONTENT_TOOL + "' '" + a + "' 2>&1"), 0);
    ASSERT_EQ(testsupport::RunCommand(std::string("'") + QUILLRUN_CONTENT_TOOL + "' '" + b + "' 2>&1"), 0);
    int files = 0;
    for (const auto& entry : fs::recursive_directory_iterator(a)) {
        if (!entry.is_regular_file()) continue;
        const std::string rel = fs::relative(entry.path(), a).string();
        SCOPED_TRACE(rel);
        ++files;
        const uint64_t sum = Checksum(entry.path().string());
        EXPECT_EQ(sum, Checksum(b + "/" + rel));
        // The build's own copy too (its Maps.ini may have gained records).
        if (rel != "Maps/Maps.ini") {
            EXPECT_EQ(sum, Checksum(kGame + "/" + rel));
        }
    }
    EXPECT_EQ(files, 26 + 1 + 4);
    // A fresh catalogue holds no records and has CR LF lines.
    const std::string ini = ReadFile(a + "/Maps/Maps.ini");
    EXPECT_EQ(ini.find("ScoreBest"), std::string::npos);
    EXPECT_EQ(ini.find("ScoreName"), std::string::npos);
    for (size_t i = 0; i < ini.size(); ++i) {
        if (ini[i] == '\n') {
            ASSERT_TRUE(i > 0 && ini[i - 1] == '\r') << "bare LF at byte " << i;
        }
    }
    testsupport::RemoveTree(a);
    testsupport::RemoveTree(b);
}

TEST(Generator, RegeneratingKeepsTheRecordsAndOnlineSettings) {
    const std::string dir = testsupport::MakeTempDir("quillrun-gen-keep");
    const std::string tool = std::string("'") + QUILLRUN_CONTENT_TOOL + "' '" + dir + "' 2>&1";
    ASSERT_EQ(testsupport::RunCommand(tool), 0);
    const std::string ini = dir + "/Maps/Maps.ini";
    WriteIniValue("03", "ScoreBest", MaskText(" 725", kScoreMask), ini);
    WriteIniValue("03", "ScoreName", MaskText("Pilot", kScoreMask), ini);
    WriteIniValue("Online", "Server", "127.0.0.1:9999", ini);
    ASSERT_EQ(testsupport::RunCommand(tool), 0);
    EXPECT_EQ(MaskText(ReadIniValue("03", "ScoreBest", ini), kScoreMask), " 725");
    EXPECT_EQ(MaskText(ReadIniValue("03", "ScoreName", ini), kScoreMask), "Pilot");
    EXPECT_EQ(ReadIniValue("Online", "Server", ini), "127.0.0.1:9999");
    EXPECT_EQ(ReadIniValue("04", "ScoreBest", ini), "");
    EXPECT_EQ(ReadIniValue("03", "File", ini), "Cave03.bmp");
    testsupport::RemoveTree(dir);
}

}  // namespace
