// Storing a record: when Maps.ini or the replay file cannot be written,
// neither changes and the player is told once.
// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
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

// A row for each step of the store that can fail: Maps.ini cannot be
// replaced, the replay cannot be written, Maps.ini cannot be read. Why the
// file layer refuses a file (read-only, a folder in the way) is its own
// test's.
TEST(RecordStore, WhenEitherFileCannotBeWrittenNeitherChanges) {
    ResetGameState();
    HeadlessReset();
    const std::string dir = testsupport::MakeTempDir("quillrun-records");
    std::filesystem::create_directories(dir + "/Maps");
    std::filesystem::create_directories(dir + "/Replays");
    SetGameFolders({dir, dir});
    const std::string ini = dir + "/Maps/Maps.ini", replay = dir + "/Replays/Map01.replay";
    gs.mapsIniPath = ini;
    gs.recording[1] = ReplayFrame{2, 30, 96, 0, 100, 200};
    gs.recording[2] = ReplayFrame{4, 30, 96, 0, 100, 200};
    gs.maps[1].scoreBest = 725;
    gs.maps[1].scoreName = "Me";
    struct Row {
        const char* what;
        std::string ini;
        mode_t mapsMode;
        rlim_t fileSizeLimit;  // a full disk, as far as this process is concerned
    };
    const Row rows[] = {
        {"read-only Maps folder", kOldIni, 0555, RLIM_INFINITY},
        {"no room for the replay", kOldIni, 0755, 60},
        {"Maps.ini over 1 MiB", kOldIni + std::string(1 << 20, ';'), 0755, RLIM_INFINITY},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        WriteFile(ini, r.ini);
        WriteFile(replay, "old\r\n");
        ::chmod((dir + "/Maps").c_str(), r.mapsMode);
        const auto mapsBefore = Listing(dir + "/Maps"), replaysBefore = Listing(dir + "/Replays");
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
        ::chmod((dir + "/Maps").c_str(), 0755);
        EXPECT_EQ(ReadFile(ini), r.ini);
        EXPECT_EQ(ReadFile(replay), "old\r\n");
        EXPECT_EQ(Listing(dir + "/Maps"), mapsBefore);
        EXPECT_EQ(Listing(dir + "/Replays"), replaysBefore);
    }
    testsupport::RemoveTree(dir);
}

}  // namespace
