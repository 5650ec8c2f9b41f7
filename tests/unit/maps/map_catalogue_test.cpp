// The map catalogue in Maps.ini: which sections become maps, their widths,
// and the stored records.
// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <string>

#include "base/game_paths.h"
#include "base/codepage.h"
#include "base/game_state.h"
#include "maps/map_catalogue.h"
#include "maps/settings_file.h"
#include "headless/headless.h"
#include "shell/run_start.h"
#include "test_support.h"

namespace {

std::string Section(int k, const std::string& width = "700", const std::string& extra = "") {
    const std::string s = TwoDigits(k);
    return "[" + s + "]\r\nFile=map" + s + ".bmp\r\nWidth=" + width + "\r\nName=Cave " + s + "\r\n" + extra;
}

class MapCatalogue : public ::testing::Test {
protected:
    void SetUp() override {
        ResetGameState();
        HeadlessReset();
        dir = testsupport::MakeTempDir("quillrun-maps");
        SetGameFolders({dir, dir});
        gs.mapsIniPath = dir + "/Maps.ini";
    }
    void TearDown() override { testsupport::RemoveTree(dir); }
    int Load(const std::string& ini) {  // the number of maps
        testsupport::WriteFile(gs.mapsIniPath, ini);
        LoadMapCatalogue();
        int k = 1;
        while (k <= kMapCount && !gs.maps[k].file.empty()) ++k;
        return k - 1;
    }
    std::string dir;
};

TEST_F(MapCatalogue, SectionsUpToTheFirstGapOrEmptyFileBecomeMaps) {
    std::string fifty;
    for (int k = 51; k >= 1; --k) fifty += Section(k);
    const struct { const char* name; std::string ini; int maps; const char* last; } cases[] = {
        {"01, 02, 04", Section(1) + Section(2) + Section(4), 2, "map02.bmp"},
        {"fifty-one sections", fifty, 50, "map50.bmp"},
        {"empty File", Section(1) + "[02]\r\nFile=\r\nWidth=700\r\n" + Section(3), 1, "map01.bmp"},
        {"one-digit name", Section(1) + "[2]\r\nFile=two.bmp\r\nWidth=700\r\n", 1, "map01.bmp"},
        {"no map 1", Section(2), 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ResetGameState();
        gs.mapsIniPath = dir + "/Maps.ini";
        EXPECT_EQ(Load(c.ini), c.maps);
        EXPECT_EQ(gs.maps[c.maps].file, c.last);  // entry 0 is never a map
        EXPECT_TRUE(c.maps == kMapCount || (gs.maps[c.maps + 1].file.empty() && gs.maps[c.maps + 1].name.empty()));
    }
    EXPECT_TRUE(HeadlessMessages().empty());
}

TEST_F(MapCatalogue, UnusableWidthOrScoreBestEndsTheCatalogueWithOneMessage) {
    const std::string masked = MaskText(" 12x", kScoreMask);
    const std::pair<std::string, std::string> cases[] = {  // keys after File of map 3, text the message shows
        {"Name=x\r\n", "no Width value"}, {"Width=abc\r\n", "Width value \"abc\""}, {"Width=0\r\n", "Width value \"0\""},
        {"Width=-700\r\n", "Width value \"-700\""}, {"Width=32768\r\n", "Width value \"32768\""},
        {"Width=7e2\r\n", "Width value \"7e2\""}, {"Width=700,5\r\n", "Width value \"700,5\""},
        {"Width=0.5\r\n", "Width value \"0.5\""}, {"Width=32767.5\r\n", "Width value \"32767.5\""},
        {"Width=700 px\r\n", "Width value \"700 px\""}, {"Width=99999999999999999999\r\n", "Width value \"9999"},
        {"Width=700\r\nScoreBest=" + MaskText(" 1e99", kScoreMask) + "\r\n", "ScoreBest value"},
        {"Width=700\r\nScoreBest=" + MaskText(" inf", kScoreMask) + "\r\n", "ScoreBest value"},
        {"Width=700\r\nScoreBest=" + masked + "\r\n", "ScoreBest value \"" + masked + "\""},
        {"Width=700\r\nScoreBest=725\r\n", "ScoreBest value \"725\""},  // not masked
    };
    for (const auto& [lines, shown] : cases) {
        SCOPED_TRACE(lines);
        HeadlessReset();
        EXPECT_EQ(Load(Section(1) + Section(2) + "[03]\r\nFile=map03.bmp\r\n" + lines + Section(4)), 2);
        ASSERT_EQ(HeadlessMessages().size(), 1u);
        const std::string& message = HeadlessMessages()[0];
        EXPECT_EQ(message.rfind("Quillrun: ", 0), 0u) << message;
        EXPECT_NE(message.find("03"), std::string::npos) << message;
        EXPECT_NE(message.find(Cp1252ToUtf8(shown)), std::string::npos) << message;
    }
}

}  // namespace
