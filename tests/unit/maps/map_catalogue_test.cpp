#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cfloat>
#include <string>
#include <vector>

#include "gfx/codepage.h"
#include "maps/map_catalogue.h"
#include "maps/settings_file.h"
#include "platform/headless/headless.h"
#include "shell/game_state.h"
#include "test_support.h"

using testsupport::MakeTempDir;
using testsupport::ReadFile;
using testsupport::RemoveTree;
using testsupport::WriteFile;

namespace {

std::string Section(int k, const std::string& width = "700", const std::string& extra = "") {
    std::string s = TwoDigits(k);
    return "[" + s + "]\r\nFile=map" + s + ".bmp\r\nWidth=" + width + "\r\nName=Cave " + s + "\r\n" + extra;
}

std::string Masked(const std::string& text) { return MaskText(text, kScoreMask); }

class MapCatalogue : public ::testing::Test {
protected:
    void SetUp() override {
        ResetGameState();
        HeadlessReset();
        dir = MakeTempDir("quillrun-maps");
        SetProgramFolder(dir);
        gs.mapsIniPath = dir + "/Maps.ini";
    }
    void TearDown() override { RemoveTree(dir); }
    void Load(const std::string& ini) {
        WriteFile(gs.mapsIniPath, ini);
        LoadMapCatalogue();
    }
    int MapCount() const {
        int k = 1;
        while (k <= kMapCount && !gs.maps[k].file.empty()) ++k;
        return k - 1;
    }
    std::string dir;
};

TEST(MapCatalogueText, SectionNamesAndScoreTexts) {
    EXPECT_EQ(TwoDigits(1), "01");
    EXPECT_EQ(TwoDigits(7), "07");
    EXPECT_EQ(TwoDigits(50), "50");
    EXPECT_EQ(ScoreText(725), " 725");
    EXPECT_EQ(ScoreText(0), " 0");
    EXPECT_EQ(ScoreText(9999999), " 9999999");
    EXPECT_EQ(ScoreText(-12), "-12");
}

TEST_F(MapCatalogue, GapEndsTheCatalogue) {
    Load(Section(1) + Section(2) + Section(4));
    EXPECT_EQ(MapCount(), 2);
    EXPECT_EQ(gs.maps[1].file, "map01.bmp");
    EXPECT_EQ(gs.maps[2].name, "Cave 02");
    EXPECT_EQ(gs.maps[2].width, 700);
    EXPECT_TRUE(gs.maps[4].file.empty());  // never read
    EXPECT_TRUE(gs.maps[0].file.empty());
    EXPECT_TRUE(HeadlessMessages().empty());
}

TEST_F(MapCatalogue, FiftySectionsAllLoad) {
    std::string ini;
    for (int k = 51; k >= 1; --k) ini += Section(k, std::to_string(600 + k));
    Load(ini);
    EXPECT_EQ(MapCount(), 50);
    EXPECT_EQ(gs.maps[50].file, "map50.bmp");
    EXPECT_EQ(gs.maps[50].width, 650);
    EXPECT_EQ(gs.maps[7].name, "Cave 07");
}

TEST_F(MapCatalogue, SectionNamesNeedTwoDigits) {
    Load(Section(1) + "[2]\r\nFile=two.bmp\r\nWidth=700\r\n");
    EXPECT_EQ(MapCount(), 1);
}

TEST_F(MapCatalogue, EmptyFileValueEndsTheCatalogue) {
    Load(Section(1) + "[02]\r\nFile=\r\nWidth=700\r\nName=Hidden\r\n" + Section(3));
    EXPECT_EQ(MapCount(), 1);
    EXPECT_TRUE(gs.maps[2].name.empty());
    EXPECT_TRUE(gs.maps[3].file.empty());
}

TEST_F(MapCatalogue, NoFileOrNoFirstMapGivesAnEmptyCatalogue) {
    LoadMapCatalogue();
    EXPECT_EQ(MapCount(), 0);
    Load("[02]\r\nFile=two.bmp\r\nWidth=700\r\n");
    EXPECT_EQ(MapCount(), 0);
    EXPECT_TRUE(HeadlessMessages().empty());
}

TEST_F(MapCatalogue, MapWithoutRecord) {
    Load(Section(1));
    EXPECT_EQ(gs.maps[1].scoreBest, 0);
    EXPECT_EQ(gs.maps[1].scoreName, "");
}

TEST_F(MapCatalogue, WidthRoundsHalvesToEven) {
    Load(Section(1, "700.5") + Section(2, "701.5") + Section(3, " 0.6 ") + Section(4, "+32767") +
         Section(5, "32767.4") + Section(6, "12.") + Section(7, "00042"));
    ASSERT_EQ(MapCount(), 7);
    EXPECT_EQ(gs.maps[1].width, 700);
    EXPECT_EQ(gs.maps[2].width, 702);
    EXPECT_EQ(gs.maps[3].width, 1);
    EXPECT_EQ(gs.maps[4].width, 32767);
    EXPECT_EQ(gs.maps[5].width, 32767);
    EXPECT_EQ(gs.maps[6].width, 12);
    EXPECT_EQ(gs.maps[7].width, 42);
}

TEST_F(MapCatalogue, StoredRecordReadsBackAndIsMaskedInTheFile) {
    Load(Section(1) + Section(2) + Section(3) + Section(4));
    gs.maps[3].scoreBest = 725;
    gs.maps[3].scoreName = "Me";
    StoreMapRecord(3);
    std::string raw = ReadFile(gs.mapsIniPath);
    EXPECT_EQ(raw, Section(1) + Section(2) +
                       Section(3, "700", "ScoreBest=\x97\x80\x85\x82\r\nScoreName=\xFA\xD2\r\n") + Section(4));
    gs.maps[3].scoreBest = 0;
    gs.maps[3].scoreName = "someone else";
    LoadMapCatalogue();
    EXPECT_EQ(gs.maps[3].scoreBest, 725);
    EXPECT_EQ(gs.maps[3].scoreName, "Me");
    // A second record replaces the first in place.
    gs.maps[3].scoreBest = 1234;
    gs.maps[3].scoreName = "You";
    StoreMapRecord(3);
    EXPECT_EQ(ReadFile(gs.mapsIniPath),
              Section(1) + Section(2) +
                  Section(3, "700", "ScoreBest=" + Masked(" 1234") + "\r\nScoreName=" + Masked("You") + "\r\n") +
                  Section(4));
    // Indices outside 1..50 write nothing.
    StoreMapRecord(0);
    StoreMapRecord(51);
    EXPECT_EQ(ReadFile(gs.mapsIniPath).find("[00]"), std::string::npos);
}

TEST_F(MapCatalogue, HugeScoresReadBackAsTheSameNumber) {
    Load(Section(1) + Section(2) + Section(3));
    const float scores[] = {10000000.0f, 123456789.0f, 3.0e9f, FLT_MAX};
    for (int i = 0; i < 3; ++i) {
        gs.maps[i + 1].scoreBest = scores[i];
        StoreMapRecord(static_cast<int16_t>(i + 1));
    }
    gs.maps[3].scoreBest = scores[3];
    StoreMapRecord(3);
    for (int k = 1; k <= 3; ++k) gs.maps[k].scoreBest = 0;
    LoadMapCatalogue();
    EXPECT_EQ(gs.maps[1].scoreBest, scores[0]);
    EXPECT_EQ(gs.maps[2].scoreBest, scores[1]);
    EXPECT_EQ(gs.maps[3].scoreBest, scores[3]);
    // Other tools may store the exponent form.
    Load(Section(1, "700", "ScoreBest=" + Masked(" 1E+07") + "\r\n"));
    EXPECT_EQ(gs.maps[1].scoreBest, 1e7f);
    EXPECT_TRUE(HeadlessMessages().empty());
}

TEST_F(MapCatalogue, EntriesAreNotClearedBeforeLoading) {
    Load(Section(1, "700", "ScoreBest=" + Masked(" 500") + "\r\nScoreName=" + Masked("Ann") + "\r\n") +
         Section(2) + Section(3));
    gs.maps[2].scoreBest = 300;  // a record whose write did not reach the file
    gs.maps[2].scoreName = "Bob";
    // The file loses map 1's record and maps 3 and after.
    Load(Section(1) + Section(2));
    EXPECT_EQ(gs.maps[1].scoreBest, 500);  // no stored value: the old one stays
    EXPECT_EQ(gs.maps[1].scoreName, "");
    EXPECT_EQ(gs.maps[2].scoreBest, 300);
    EXPECT_EQ(gs.maps[2].scoreName, "");
    // The entry where loading stopped is no map any more, so the catalogue
    // really ends there; what it held besides stays.
    EXPECT_EQ(MapCount(), 2);
    EXPECT_TRUE(gs.maps[3].file.empty());
    EXPECT_EQ(gs.maps[3].name, "Cave 03");
}

TEST_F(MapCatalogue, FailedWriteBringsTheFilesRecordBack) {
    Load(Section(1, "700", "ScoreBest=" + Masked(" 500") + "\r\nScoreName=" + Masked("Ann") + "\r\n") +
         Section(2));
    const std::string before = ReadFile(gs.mapsIniPath);
    ::chmod(gs.mapsIniPath.c_str(), 0444);
    for (int k = 1; k <= 2; ++k) {
        gs.maps[k].scoreBest = 900;
        gs.maps[k].scoreName = "Cy";
        StoreMapRecord(static_cast<int16_t>(k));
    }
    EXPECT_EQ(ReadFile(gs.mapsIniPath), before);
    LoadMapCatalogue();
    EXPECT_EQ(gs.maps[1].scoreBest, 500);
    EXPECT_EQ(gs.maps[1].scoreName, "Ann");
    EXPECT_EQ(gs.maps[2].scoreBest, 900);
    EXPECT_EQ(gs.maps[2].scoreName, "");
}

struct BadMap {
    std::string lines;    // the keys after File of map 3
    std::string shown;    // text the message must hold
};

TEST_F(MapCatalogue, UnusableMapEndsTheCatalogueWithOneMessage) {
    const std::vector<BadMap> cases = {
        {"Name=No width\r\n", "no Width value"},
        {"Width=abc\r\n", "Width value \"abc\""},
        {"Width=0\r\n", "Width value \"0\""},
        {"Width=0.5\r\n", "Width value \"0.5\""},
        {"Width=-700\r\n", "Width value \"-700\""},
        {"Width=32768\r\n", "Width value \"32768\""},
        {"Width=32767.5\r\n", "Width value \"32767.5\""},
        {"Width=99999999999999999999\r\n", "Width value \"99999999999999999999\""},
        {"Width=7e2\r\n", "Width value \"7e2\""},
        {"Width=700,5\r\n", "Width value \"700,5\""},
        {"Width=700 px\r\n", "Width value \"700 px\""},
        {"Width=700\r\nScoreBest=" + Masked(" 12x") + "\r\n", "ScoreBest value \"" + Masked(" 12x") + "\""},
        {"Width=700\r\nScoreBest=725\r\n", "ScoreBest value \"725\""},  // not masked
        {"Width=700\r\nScoreBest=" + Masked(" 1e99") + "\r\n", "ScoreBest value"},
        {"Width=700\r\nScoreBest=" + Masked(" inf") + "\r\n", "ScoreBest value"},
    };
    for (const BadMap& bad : cases) {
        SCOPED_TRACE(bad.lines);
        ResetGameState();
        HeadlessReset();
        gs.mapsIniPath = dir + "/Maps.ini";
        gs.maps[3].file = "left.bmp";  // from an earlier load
        gs.maps[3].width = 321;
        gs.maps[4].file = "after.bmp";
        Load(Section(1) + Section(2) + "[03]\r\nFile=map03.bmp\r\n" + bad.lines + Section(4));
        EXPECT_EQ(MapCount(), 2);
        EXPECT_TRUE(gs.maps[3].file.empty());
        EXPECT_EQ(gs.maps[3].width, 321);
        EXPECT_EQ(gs.maps[4].file, "after.bmp");  // never read, kept
        ASSERT_EQ(HeadlessMessages().size(), 1u);
        const std::string& message = HeadlessMessages()[0];
        EXPECT_EQ(message.rfind("Quillrun: ", 0), 0u) << message;
        EXPECT_NE(message.find("03"), std::string::npos) << message;
        EXPECT_NE(message.find(Cp1252ToUtf8(bad.shown)), std::string::npos) << message;
        // Each load tells once more.
        LoadMapCatalogue();
        EXPECT_EQ(HeadlessMessages().size(), 2u);
    }
}

}  // namespace
