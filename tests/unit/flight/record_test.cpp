#include <gtest/gtest.h>

#include "flight/collision.h"
#include "flight/record_holder.h"
#include "gfx/codepage.h"
#include "maps/map_catalogue.h"
#include "maps/settings_file.h"
#include "platform/headless/headless.h"
#include "replay/replay_file.h"
#include "shell/game_state.h"
#include "test_support.h"

namespace {

using testsupport::FileExists;
using testsupport::ReadFile;

std::string Masked(const std::string& text) { return MaskText(text, kScoreMask); }

// A game folder whose map 1 may hold a record, and a run of map 1 with the
// given score and a few recorded frames.
std::string SetUpEnd(float score, const std::string& recordLines = "") {
    ResetGameState();
    HeadlessReset();
    std::string dir = testsupport::MakeGameDir("[01]\nFile=cave.bmp\nWidth=700\nName=Cave\n" + recordLines);
    SetProgramFolder(dir);
    gs.mapsIniPath = dir + "/Maps/Maps.ini";
    gs.selectedMap = gs.runMap = 1;
    gs.playing = kTrue;
    gs.started = kTrue;
    gs.score = score;
    for (int i = 1; i <= 3; ++i) gs.recording[i] = ReplayFrame{2.0f * i, 30, 96, 0, 100, 200};
    return dir;
}

TEST(Record, NewRecordStoresMaskedScoreAndNameAndTheReplay) {
    std::string dir = SetUpEnd(123.7f);
    HeadlessQueueDialogAnswer("Ann");
    EndRun();
    const std::string ini = ReadFile(dir + "/Maps/Maps.ini");
    EXPECT_NE(ini.find("ScoreBest=" + Masked(" 123") + "\r\n"), std::string::npos) << ini;
    EXPECT_NE(ini.find("ScoreName=" + Masked("Ann") + "\r\n"), std::string::npos) << ini;
    ASSERT_FALSE(HeadlessMessages().empty());
    EXPECT_EQ(HeadlessMessages().back(),
              "Quillrun: Congratulations, you broke the old record (0)\\nNew record: 123\\nEnter your name!");
    EXPECT_TRUE(FileExists(dir + "/Replays/Map01.replay"));
    EXPECT_EQ(gs.maps[1].scoreBest, 123);
    EXPECT_EQ(gs.maps[1].scoreName, "Ann");
    EXPECT_EQ(gs.lastScore, 123);
    EXPECT_EQ(gs.playing, 0);
}

TEST(Record, ThePromptNamesTheOldRecord) {
    SetUpEnd(250.2f, "ScoreBest=" + Masked(" 100") + "\nScoreName=" + Masked("Bob") + "\n");
    HeadlessQueueDialogAnswer("Cy");
    EndRun();
    ASSERT_FALSE(HeadlessMessages().empty());
    EXPECT_EQ(HeadlessMessages().back(),
              "Quillrun: Congratulations, you broke the old record (100)\\nNew record: 250\\nEnter your name!");
    EXPECT_EQ(gs.maps[1].scoreName, "Cy");
}

TEST(Record, ATieIsNoRecord) {
    std::string dir = SetUpEnd(123.9f, "ScoreBest=" + Masked(" 123") + "\nScoreName=" + Masked("Bob") + "\n");
    const std::string before = ReadFile(dir + "/Maps/Maps.ini");
    HeadlessQueueDialogAnswer("Ann");
    EndRun();
    EXPECT_TRUE(HeadlessMessages().empty());
    EXPECT_EQ(ReadFile(dir + "/Maps/Maps.ini"), before);
    EXPECT_FALSE(FileExists(dir + "/Replays/Map01.replay"));
    EXPECT_EQ(gs.maps[1].scoreName, "Bob");
    EXPECT_EQ(gs.lastScore, 123);
}

TEST(Record, CancelledOrEmptyDialogStoresMe) {
    for (int cancel = 0; cancel < 2; ++cancel) {
        std::string dir = SetUpEnd(50);
        if (cancel) {
            HeadlessQueueDialogCancel();
        } else {
            HeadlessQueueDialogAnswer("");
        }
        EndRun();
        EXPECT_EQ(gs.maps[1].scoreName, "Me");
        EXPECT_NE(ReadFile(dir + "/Maps/Maps.ini").find("ScoreName=" + Masked("Me") + "\r\n"), std::string::npos);
    }
}

// ---- the holder's name ----

TEST(HolderName, DropsWhatTheMaskedFileCannotCarry) {
    // Windows-1252 codes, each given as typed (UTF-8), between two letters.
    int kept = 0;
    for (int c = 1; c < 256; ++c) {
        if (Cp1252ToUnicode(static_cast<unsigned char>(c)) == 0) continue;  // unused codes
        const std::string typed = "a" + Cp1252ToUtf8(std::string(1, static_cast<char>(c))) + "b";
        const std::string name = SanitiseHolderName(typed);
        const unsigned char masked = static_cast<unsigned char>(c ^ 183);
        const bool control = c < 0x20 || c == 0x7F || masked < 0x20 || masked == 0x7F;
        if (control) {
            EXPECT_EQ(name, "ab") << c;
        } else {
            EXPECT_EQ(name, "a" + std::string(1, static_cast<char>(c)) + "b") << c;
            ++kept;
        }
    }
    EXPECT_EQ(kept, 255 - 5 - 31 - 1 - 32 - 1);  // no unused, no C0, no DEL, not 0xA0..0xBF, not 0xC8
    EXPECT_EQ(SanitiseHolderName("\xC2\xA1\xC2\xA2"), "Me");  // nothing left
    EXPECT_EQ(SanitiseHolderName("Zo\xC3\xAB \xE2\x98\x85"), "Zo\xEB ");  // the star is not in the page
}

TEST(HolderName, EmDashesAtEitherEndAreDropped) {
    const std::string dash = "\xE2\x80\x94";  // 0x97, masks to a blank
    EXPECT_EQ(SanitiseHolderName(dash + dash + "A" + dash + "B" + dash), "A\x97" "B");
    EXPECT_EQ(SanitiseHolderName(dash), "Me");
    // Blanks themselves mask to 0x97 and are carried, also at the ends.
    EXPECT_EQ(SanitiseHolderName("  A  "), "  A  ");
}

TEST(HolderName, KeepsAtMost254Bytes) {
    EXPECT_EQ(SanitiseHolderName(std::string(300, 'x')), std::string(254, 'x'));
    // The cut comes first; a dash it leaves at the end is then dropped.
    EXPECT_EQ(SanitiseHolderName(std::string(253, 'x') + "\xE2\x80\x94" + "yy"), std::string(253, 'x'));
    // Dropped codes do not count.
    EXPECT_EQ(SanitiseHolderName(std::string(10, '\x01') + std::string(254, 'x')), std::string(254, 'x'));
}

TEST(HolderName, TroublesomeNamesReadBackFromMapsIniExactly) {
    // Every carried code once, the dash inside, blanks at both ends.
    std::string all = " ";
    for (int c = 0x20; c < 256; ++c) {
        if (Cp1252ToUnicode(static_cast<unsigned char>(c)) == 0) continue;
        all += static_cast<char>(c);
    }
    all += " ";
    const std::string typed = Cp1252ToUtf8(all) + "\r\n\t\xC2\xB7\xC2\xBA\xC2\xBD\xC2\xBE";  // all dropped
    const std::string names[] = {typed, "\xE2\x80\x94x\xE2\x80\x94", std::string(400, 'q'), "\xC3\x88ve"};
    for (const std::string& answer : names) {
        std::string dir = SetUpEnd(77);
        HeadlessQueueDialogAnswer(answer);
        EndRun();
        const std::string stored = gs.maps[1].scoreName;
        EXPECT_EQ(stored, SanitiseHolderName(answer));
        ASSERT_LE(stored.size(), 254u);
        gs.maps[1].scoreName = "?";
        LoadMapCatalogue();
        EXPECT_EQ(gs.maps[1].scoreName, stored);
        EXPECT_EQ(gs.maps[1].scoreBest, 77);
        // The record still takes exactly one line per key.
        const std::string ini = ReadFile(dir + "/Maps/Maps.ini");
        const size_t at = ini.find("ScoreName=");
        ASSERT_NE(at, std::string::npos);
        EXPECT_EQ(ini.find_first_of("\r\n", at), at + 10 + stored.size());
    }
}

}  // namespace
