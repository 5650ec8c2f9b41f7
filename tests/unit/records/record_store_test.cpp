// Storing a record: Maps.ini and the replay file both change or neither
// does, the player is told once when they cannot; the clean-up at start
// finishes or drops what a crash left; every reader refuses special files.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <set>
#include <string>

#include "base/game_paths.h"
#include "base/game_state.h"
#include "gfx/picture_store.h"
#include "maps/map_catalogue.h"
#include "maps/settings_file.h"
#include "headless/headless.h"
#include "replay/record_store.h"
#include "replay/replay_file.h"
#include "shell/run_start.h"
#include "test_support.h"

namespace {

using testsupport::FileExists;
using testsupport::ReadFile;
using testsupport::WriteFile;

const char kNotKept[] =
    "Quillrun: The new record could not be saved: Maps.ini or the replay file cannot be written. The old record "
    "stays.";
const char kOldIni[] = "[01]\r\nFile=cave.bmp\r\nWidth=700\r\nName=Cave\r\n[02]\r\nFile=b.bmp\r\nWidth=9\r\n";
const char kReplay[] = "mX2\r\npX30\r\npY96\r\nSh100\r\nFu200\r\nmX4\r\npX30\r\n--END--\r\nLastFrame=30\r\n";

std::string Masked(const std::string& s) { return MaskText(s, kScoreMask); }

std::set<std::string> Listing(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder)) names.insert(e.path().filename().string());
    return names;
}

class RecordStore : public ::testing::Test {
protected:
    void SetUp() override {
        ResetGameState();
        HeadlessReset();
        dir = testsupport::MakeTempDir("quillrun-records");
        std::filesystem::create_directories(dir + "/Maps");
        std::filesystem::create_directories(dir + "/Replays");
        SetGameFolders({dir, dir});
        ini = dir + "/Maps/Maps.ini";
        gs.mapsIniPath = ini;
        WriteFile(ini, kOldIni);
        gs.recording[1] = ReplayFrame{2, 30, 96, 0, 100, 200};
        gs.recording[2] = ReplayFrame{4, 30, 96, 0, 100, 200};
        gs.maps[1].scoreBest = 725;
        gs.maps[1].scoreName = "Me";
    }
    void TearDown() override {
        ::chmod((dir + "/Maps").c_str(), 0755);
        ::chmod((dir + "/Replays").c_str(), 0755);
        testsupport::RemoveTree(dir);
    }
    std::string dir, ini;
};

TEST_F(RecordStore, BothFilesChangeInOneStoreWithTheBytesOfTwoSingleWrites) {
    const struct { std::string before, after; } rows[] = {
        {kOldIni, "[01]\r\nFile=cave.bmp\r\nWidth=700\r\nName=Cave\r\nScoreBest=" + Masked(" 725") +
                      "\r\nScoreName=" + Masked("Me") + "\r\n[02]\r\nFile=b.bmp\r\nWidth=9\r\n"},
        {"[01]\nScoreName = x \nFile=c\nscorebest=1", "[01]\nScoreName = " + Masked("Me") + " \nFile=c\nscorebest=" +
                                                          Masked(" 725")},
        {"", "[01]\r\nScoreBest=" + Masked(" 725") + "\r\nScoreName=" + Masked("Me") + "\r\n"},
    };
    for (const auto& r : rows) {
        if (r.before.empty()) {
            std::filesystem::remove(ini);
        } else {
            WriteFile(ini, r.before);
        }
        StoreRecord(1);
        EXPECT_EQ(ReadFile(ini), r.after);
        EXPECT_EQ(ReadFile(dir + "/Replays/Map01.replay"), kReplay);
        EXPECT_TRUE(HeadlessMessages().empty());
        EXPECT_EQ(Listing(dir + "/Maps"), std::set<std::string>{"Maps.ini"});
        EXPECT_EQ(Listing(dir + "/Replays"), std::set<std::string>{"Map01.replay"});
    }
}

// Whatever stands in the way, neither file changes and the player is told once.
TEST_F(RecordStore, WhenEitherFileCannotBeWrittenNeitherChanges) {
    const std::string replay = dir + "/Replays/Map01.replay";
    const std::string big = std::string(kOldIni) + ";" + std::string(2000, 'x') + "\r\n";
    struct Row {
        const char* what;
        std::function<void()> prepare;
        rlim_t fileSizeLimit;  // a full disk, as far as this process is concerned
    };
    const Row rows[] = {
        {"read-only Maps folder", [&] { ::chmod((dir + "/Maps").c_str(), 0555); }, RLIM_INFINITY},
        {"read-only Replays folder", [&] { ::chmod((dir + "/Replays").c_str(), 0555); }, RLIM_INFINITY},
        {"read-only Maps.ini", [&] { ::chmod(ini.c_str(), 0444); }, RLIM_INFINITY},
        {"read-only replay", [&] { ::chmod(replay.c_str(), 0444); }, RLIM_INFINITY},
        {"a folder at the replay's name", [&] { std::filesystem::remove(replay), ::mkdir(replay.c_str(), 0755); },
         RLIM_INFINITY},
        {"Maps.ini over 1 MiB", [&] { WriteFile(ini, kOldIni + std::string(1 << 20, ';')); }, RLIM_INFINITY},
        {"no room for the replay", [] {}, 60},
        {"no room for Maps.ini", [&] { WriteFile(ini, big); }, 1000},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        WriteFile(ini, kOldIni);
        WriteFile(replay, "old\r\n");
        r.prepare();
        const std::string iniBefore = ReadFile(ini);
        const auto mapsBefore = Listing(dir + "/Maps");
        const auto replaysBefore = Listing(dir + "/Replays");
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{r.fileSizeLimit, r.fileSizeLimit};
            ::setrlimit(RLIMIT_FSIZE, &limit);
            StoreRecord(1);
            ::_exit(HeadlessMessages().size() == 1 && HeadlessMessages()[0] == kNotKept ? 0 : 1);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "not told exactly once";
        EXPECT_EQ(ReadFile(ini), iniBefore);
        if (!std::filesystem::is_directory(replay)) {
            EXPECT_EQ(ReadFile(replay), "old\r\n");
        }
        EXPECT_EQ(Listing(dir + "/Maps"), mapsBefore);
        EXPECT_EQ(Listing(dir + "/Replays"), replaysBefore);
        ::chmod((dir + "/Maps").c_str(), 0755);
        ::chmod((dir + "/Replays").c_str(), 0755);
        ::chmod(ini.c_str(), 0644);
        std::filesystem::remove_all(replay);
    }
}

// Links planted at the temporary names that older versions used never
// redirect a write.
TEST_F(RecordStore, LinksAtTheOldFixedTemporaryNamesAreNotFollowed) {
    WriteFile(dir + "/victim", "victim\n");
    ::symlink((dir + "/victim").c_str(), (dir + "/Replays/Map01.replay.tmp").c_str());
    ::symlink((dir + "/victim").c_str(), (dir + "/Maps/.Maps.ini.tmp").c_str());
    StoreRecord(1);
    EXPECT_EQ(ReadFile(dir + "/victim"), "victim\n");
    EXPECT_EQ(ReadFile(dir + "/Replays/Map01.replay"), kReplay);
    EXPECT_TRUE(std::filesystem::is_symlink(dir + "/Replays/Map01.replay.tmp"));
    RecoverRecords();  // the game's own leftovers go, links included, their targets stay
    EXPECT_EQ(Listing(dir + "/Replays"), std::set<std::string>{"Map01.replay"});
    EXPECT_EQ(ReadFile(dir + "/victim"), "victim\n");
}

TEST_F(RecordStore, TheCleanUpAtStartFinishesOrDropsWhatACrashLeft) {
    WriteFile(ini, std::string(kOldIni) + "[03]\r\nScoreBest=" + Masked(" 725") + "\r\n");
    const std::string r = dir + "/Replays/";
    const struct { std::string name, content; const char* becomes; } rows[] = {
        {".Map03.replay.a1B2c3.725.pending", kReplay, "Map03.replay"},  // its record is stored
        {".Map02.replay.a1B2c3.725.pending", kReplay, nullptr},         // map 2 holds no record
        {".Map03.replay.d4E5f6.724.pending", kReplay, nullptr},         // another score
        {".Map01.replay.a1B2c3.pending", kReplay, ".Map01.replay.a1B2c3.pending"},  // no score: not ours
        {".Map01.replay.a1B2c3.tmp", "mX2\r\n", nullptr},
        {"Map04.replay.tmp", kReplay, nullptr},                         // older fixed name
        {"Map04.replay", "kept\r\n", "Map04.replay"},
        {"Map99.replay.tmp", "not ours", "Map99.replay.tmp"},
        {".Map05.replay.a1B2c3.tmp.bak", "not ours", ".Map05.replay.a1B2c3.tmp.bak"},
    };
    std::set<std::string> expected{"Map03.replay"};
    for (const auto& row : rows) {
        WriteFile(r + row.name, row.content);
        if (row.becomes) expected.insert(row.becomes);
    }
    WriteFile(r + ".Map06.replay.z9Z9z9.1.pending", "mX2\r\n--END--\r\n");  // no LastFrame: cut short
    WriteFile(dir + "/Maps/.Maps.ini.q1W2e3.tmp", "x");
    WriteFile(dir + "/Maps/.Maps.ini.tmp77-3", "x");
    WriteFile(dir + "/Maps/cave.bmp", "x");
    RecoverRecords();
    EXPECT_EQ(Listing(r), expected);
    EXPECT_EQ(ReadFile(r + "Map03.replay"), kReplay);
    EXPECT_EQ(Listing(dir + "/Maps"), (std::set<std::string>{"Maps.ini", "cave.bmp"}));
}

// Maps.ini, replay files and pictures: a pipe, a device, a folder or a giant
// file is refused at once, never read until memory runs out or forever.
TEST_F(RecordStore, EveryReaderRefusesSpecialAndGiantFiles) {
    const std::string replay = dir + "/Replays/Map01.replay";
    const std::string picture = dir + "/Maps/cave.bmp";
    const struct { const char* what; std::function<void(const std::string&)> make; } kinds[] = {
        {"pipe", [](const std::string& p) { ::mkfifo(p.c_str(), 0666); }},
        {"device", [](const std::string& p) { ::symlink("/dev/zero", p.c_str()); }},
        {"folder", [](const std::string& p) { ::mkdir(p.c_str(), 0755); }},
        {"giant", [&](const std::string& p) {
             const size_t limit = p == ini ? kMaxIniBytes : p == replay ? kMaxReplayBytes : 64 << 20;
             WriteFile(p, std::string(limit + 1, '1'));
         }},
    };
    for (const auto& k : kinds) {
        SCOPED_TRACE(k.what);
        for (const std::string& p : {ini, replay, picture}) std::filesystem::remove_all(p);
        for (const std::string& p : {ini, replay, picture}) k.make(p);
        HeadlessReset();
        gs.maps[1].file = "stale.bmp";
        LoadMapCatalogue();
        EXPECT_TRUE(gs.maps[1].file.empty());
        ASSERT_EQ(HeadlessMessages().size(), 1u);
        EXPECT_EQ(HeadlessMessages()[0], "Quillrun: The map list " + ini +
                                             " cannot be used: it is not a readable file of at most 1 MiB. No maps "
                                             "are listed.");
        gs.selectedMap = 1;
        gs.bestRun[30] = 5;
        LoadBestRun();
        EXPECT_EQ(gs.bestRun[30], std::string(k.what) == "giant" ? 0 : 5);  // read like no file or an empty one
        gs.recording[3].score = 9;
        EXPECT_EQ(LoadReplayEntries(1), 0);
        EXPECT_EQ(gs.recording[3].score, 0);
        EXPECT_EQ(DecodePictureFile(picture), nullptr);
    }
    // A link to a regular Maps.ini is fine.
    std::filesystem::remove_all(ini);
    WriteFile(dir + "/real.ini", kOldIni);
    ::symlink((dir + "/real.ini").c_str(), ini.c_str());
    HeadlessReset();
    LoadMapCatalogue();
    EXPECT_EQ(gs.maps[2].file, "b.bmp");
    EXPECT_TRUE(HeadlessMessages().empty());
}

}  // namespace
