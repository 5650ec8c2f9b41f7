// The end of a run: the record check, the stored record and replay, and the
// holder's name read back through Maps.ini.
#include <gtest/gtest.h>

#include "base/game_paths.h"
#include "base/codepage.h"
#include "base/game_state.h"
#include "maps/map_catalogue.h"
#include "maps/record_holder.h"
#include "maps/settings_file.h"
#include "headless/headless.h"
#include "shell/run_end.h"
#include "shell/run_start.h"
#include "test_support.h"

namespace {

using testsupport::ReadFile;

std::string Masked(const std::string& text) { return MaskText(text, kScoreMask); }

// A game folder whose map 1 may hold a record, and a run of map 1 with the
// given score and a few recorded frames.
std::string SetUpEnd(float score, const std::string& recordLines = "") {
    ResetGameState();
    HeadlessReset();
    std::string dir = testsupport::MakeGameDir("[01]\nFile=cave.bmp\nWidth=700\nName=Cave\n" + recordLines);
    SetGameFolders({dir, dir});
    gs.mapsIniPath = dir + "/Maps/Maps.ini";
    gs.selectedMap = gs.runMap = 1;
    gs.playing = kTrue;
    gs.started = kTrue;
    gs.score = score;
    for (int i = 1; i <= 3; ++i) gs.recording[i] = ReplayFrame{2.0f * i, 30, 96, 0, 100, 200};
    return dir;
}

TEST(Record, MapsIniAndReplayAfterARun) {
    const std::string bob = "ScoreBest=" + Masked(" 100") + "\nScoreName=" + Masked("Bob") + "\n";
    const std::string tie = "ScoreBest=" + Masked(" 123") + "\nScoreName=" + Masked("Bob") + "\n";
    // answer nullptr: the dialog is cancelled; prompt nullptr: no record, nothing is stored.
    struct Row { const char* what; std::string old; float score; const char *answer, *prompt; std::string name, best; };
    const Row rows[] = {
        {"first record", "", 123.7f, "Ann", "(0)\\nNew record: 123\\n", "Ann", " 123"},
        {"beats 100", bob, 250.2f, "Cy", "(100)\\nNew record: 250\\n", "Cy", " 250"},
        {"a tie", tie, 123.9f, "Ann", nullptr, "Bob", ""},
        {"cancelled", "", 50, nullptr, "(0)\\nNew record: 50\\n", "Me", " 50"},
        {"empty", "", 50, "", "(0)\\nNew record: 50\\n", "Me", " 50"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        std::string dir = SetUpEnd(r.score, r.old);
        const std::string before = ReadFile(dir + "/Maps/Maps.ini");
        r.answer ? HeadlessQueueDialogAnswer(r.answer) : HeadlessQueueDialogCancel();
        EndRun();
        const std::string ini = ReadFile(dir + "/Maps/Maps.ini");
        EXPECT_EQ(gs.maps[1].scoreName, r.name);
        EXPECT_EQ(gs.playing, 0);
        EXPECT_EQ(testsupport::FileExists(dir + "/Replays/Map01.replay"), r.prompt != nullptr);
        ASSERT_EQ(HeadlessMessages().size(), r.prompt ? 1u : 0u);
        if (!r.prompt) {
            EXPECT_EQ(ini, before);
            continue;
        }
        EXPECT_EQ(HeadlessMessages()[0], std::string("Quillrun: Congratulations, you broke the old record ") +
                                             r.prompt + "Enter your name!");
        EXPECT_NE(ini.find("ScoreBest=" + Masked(r.best) + "\r\n"), std::string::npos) << ini;
        EXPECT_NE(ini.find("ScoreName=" + Masked(r.name) + "\r\n"), std::string::npos) << ini;
    }
}

// Names as typed (UTF-8) go through the record and are read back from
// Maps.ini exactly as documented in SanitiseHolderName.
TEST(HolderName, TroublesomeNamesRoundTripThroughMapsIni) {
    // Every Windows-1252 code, blanks at both ends; the carried ones are kept.
    std::string typed = " ", kept = " ";
    for (int c = 1; c < 256; ++c) {
        if (Cp1252ToUnicode(static_cast<unsigned char>(c)) == 0) continue;  // unused codes
        typed += Cp1252ToUtf8(std::string(1, static_cast<char>(c)));
        const int masked = c ^ 183;
        if (c >= 0x20 && c != 0x7F && masked >= 0x20 && masked != 0x7F) kept += static_cast<char>(c);
    }
    EXPECT_EQ(kept.size(), 1 + 255 - 5 - 31 - 1 - 32 - 1u);  // no C0, no DEL, not 0xA0..0xBF, not 0xC8
    const std::string dash = "\xE2\x80\x94";  // 0x97 masks to a blank, which the reader trims
    const std::string x253(253, 'x'), x254(254, 'x');
    const std::pair<std::string, std::string> rows[] = {
        {typed + " ", kept + " "},
        {"\xC2\xA1\xC2\xA2", "Me"},              // nothing left
        {"Zo\xC3\xAB \xE2\x98\x85", "Zo\xEB "},  // the star is not in the page
        {dash + dash + "A" + dash + "B" + dash, "A\x97" "B"},
        {dash, "Me"},
        {"  A  ", "  A  "},                      // blanks mask to 0x97 and are carried
        {std::string(300, 'x'), x254},
        {x253 + dash + "yy", x253},              // cut first, then the dash at the end
        {std::string(10, '\x01') + x254, x254},  // dropped codes do not count
    };
    for (const auto& [answer, name] : rows) {
        SCOPED_TRACE(name.substr(0, 20));
        EXPECT_EQ(SanitiseHolderName(answer), name);
        std::string dir = SetUpEnd(77);
        HeadlessQueueDialogAnswer(answer);
        EndRun();
        gs.maps[1].scoreName.assign(1, '?');
        LoadMapCatalogue();
        EXPECT_EQ(gs.maps[1].scoreName, name);
        EXPECT_EQ(gs.maps[1].scoreBest, 77);
        // The record still takes exactly one line per key.
        const std::string ini = ReadFile(dir + "/Maps/Maps.ini");
        EXPECT_NE(ini.find("ScoreName=" + Masked(name) + "\r\n"), std::string::npos);
    }
}

// The dialog's rules and the clean-up agree byte for byte: a byte the rules
// let through survives inside a name, at its ends only when allowed there.
TEST(HolderName, DialogRulesMatchWhatIsStored) {
    int carried = 0;
    for (int c = 1; c < 256; ++c) {
        const auto b = static_cast<unsigned char>(c);
        SCOPED_TRACE(c);
        const std::string one(1, static_cast<char>(c));
        const std::string inside = SanitiseHolderName(Cp1252ToUtf8("a" + one + "a"));
        EXPECT_EQ(HolderNameCarries(b), inside == "a" + one + "a");
        EXPECT_EQ(HolderNameCarriesAtEnd(b), SanitiseHolderName(Cp1252ToUtf8(one)) == one);
        carried += HolderNameCarries(b);
    }
    EXPECT_EQ(carried, 255 - 5 - 31 - 1 - 32 - 1);
    EXPECT_EQ(kHolderNameRules.maxBytes, 254u);
    EXPECT_FALSE(kHolderNameRules.carries(0xBA));       // masks to CR
    EXPECT_FALSE(kHolderNameRules.carriesAtEnd(0x97));  // masks to a blank
    EXPECT_TRUE(kHolderNameRules.carries(0x97));
}

}  // namespace
