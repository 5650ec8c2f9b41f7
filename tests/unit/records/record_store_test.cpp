// Storing a record: when Maps.ini or the replay file cannot be written,
// neither changes and the player is told once.
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
#include "headless/headless.h"
#include "replay/record_store.h"
#include "shell/run_start.h"
#include "test_support.h"

namespace {

using testsupport::ReadFile;
using testsupport::WriteFile;

const char kNotKept[] =
    "Quillrun: The new record could not be saved: Maps.ini or the replay file cannot be written. The old record "
    "stays.";
const char kOldIni[] = "[01]\r\nFile=cave.bmp\r\nWidth=700\r\nName=Cave\r\n[02]\r\nFile=b.bmp\r\nWidth=9\r\n";

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

}  // namespace
