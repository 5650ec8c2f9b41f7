// A record is stored whole or not at all: quillrun-sim is killed (SIGKILL)
// before each file operation of a record store and of the clean-up at the
// next start, and the next start must show the old record with the old
// replay or the new record with the new replay, with every map entry intact,
// the last good copy of Maps.ini beside it and no temporary file left. QUILLRUN_RECORD_KILLS sets the number of kills
// (at least 200 by default; e.g. 1000 for a longer search).
// SPDX-License-Identifier: MIT
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "base/game_paths.h"
#include "gfx/field_text.h"
#include "gfx/play_field.h"
#include "headless/headless.h"
#include "maps/settings_file.h"
#include "platform/platform.h"
#include "shell/main_loop.h"
#include "shell/run_start.h"
#include "test_support.h"

namespace {

using testsupport::FileExists;
using testsupport::ReadFile;
using testsupport::WriteFile;
using Names = std::set<std::string>;

#if defined(__SANITIZE_ADDRESS__)
constexpr int kDefaultKills = 40;  // the same sweep, shorter: every step is still covered
#else
constexpr int kDefaultKills = 200;
#endif

std::string Masked(const std::string& s) { return MaskText(s, kScoreMask); }

const char kOldReplay[] = "mX2\r\npX30\r\npY96\r\nSh100\r\nFu200\r\n--END--\r\nLastFrame=30\r\n";
constexpr long kUntil = 150;  // past the end of every run below
// Flies map `map` to its end and names the holder.
std::string RecordScript(int map, const std::string& name) {
    return "2 tap " + std::to_string(map) + "\n3 tap ENTER\n5 tap UP\ndialog " + name + "\n";
}
std::string ReplayOf(const std::string& d, int map) { return d + "/Replays/Map0" + std::to_string(map) + ".replay"; }

struct Scenario {
    int map = 1;
    bool oldRecord = false;  // map `map` holds 1 by "Old" with kOldReplay
    bool leftovers = false;  // files of earlier crashes are planted
};

// Pictures and the cave, made once and linked into every game folder.
const std::string& Template() {
    static const std::string dir = [] {
        std::string d = testsupport::MakeGameDir("");
        testsupport::WriteCorridorBmp(d + "/Maps/cave.bmp", 260, 60, 140);
        return d;
    }();
    return dir;
}

// Game folders live in memory when the system has a RAM file system: the
// kills test the order of the file operations, not the disk, and the many
// flushes would only slow the test down.
std::string MakeFolder() {
    std::string templ = (::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") + std::string("/quillrun-kill-XXXXXX");
    if (::mkdtemp(templ.data()) == nullptr) return testsupport::MakeTempDir("quillrun-kill");
    return templ;
}

// A game folder in the scenario's starting state: three maps on one cave.
std::string Prepare(const Scenario& s) {
    const char* const names[] = {"", "One", "Two", "Three"};
    std::string ini;
    for (int k = 1; k <= 3; ++k) {
        ini += "[0" + std::to_string(k) + "]\r\nFile=cave.bmp\r\nWidth=" + std::to_string(120 + 30 * k) +
               "\r\nName=" + names[k] + "\r\n";
        if (s.oldRecord && k == s.map) ini += "ScoreBest=" + Masked(" 1") + "\r\nScoreName=" + Masked("Old") + "\r\n";
    }
    const std::string dir = MakeFolder();
    WriteFile(dir + "/Maps/Maps.ini", ini);
    ::symlink((Template() + "/Maps/cave.bmp").c_str(), (dir + "/Maps/cave.bmp").c_str());
    ::symlink((Template() + "/Pictures").c_str(), (dir + "/Pictures").c_str());
    std::filesystem::create_directory(dir + "/Replays");
    const std::string replays = dir + "/Replays/";
    if (s.oldRecord) WriteFile(ReplayOf(dir, s.map), kOldReplay);
    if (s.leftovers) {
        WriteFile(dir + "/Maps/.Maps.ini.tmp4242-7", "[01]\r\n");            // older temporary names
        WriteFile(dir + "/Maps/.Maps.ini.q1W2e3.tmp", "[01]\r\nFile=x\r\n");
        WriteFile(dir + "/Maps/Maps.ini.merge4242", "[01]\r\n");
        WriteFile(dir + "/Maps/.Maps.ini.good.a1B2c3.tmp", "[01]\r\n");     // copies cut short
        WriteFile(dir + "/Maps/.Maps.ini.damaged.a1B2c3.tmp", "[01]\r\n");
        WriteFile(dir + "/victim.txt", "untouched\n");
        ::symlink((dir + "/victim.txt").c_str(), (replays + "Map01.replay.tmp").c_str());
        WriteFile(replays + ".Map02.replay.Zz9Zz9.tmp", "mX2\r\n");
        WriteFile(replays + ".Map01.replay.AAAAAA.999.pending", kOldReplay);  // no such record
        WriteFile(replays + ".Map02.replay.BBBBBB.1.pending", "mX2\r\n");     // cut short
        WriteFile(replays + "notes.txt", "mine\n");                            // not the game's
    }
    return dir;
}

// The script of a driver process lies beside the folder, named after the process.
std::string ScriptPath(const std::string& dir, pid_t driver) { return dir + "." + std::to_string(driver) + ".script"; }

// Starts quillrun-sim on the folder; killAt 0 runs it without a kill.
pid_t StartDriver(const std::string& dir, const std::string& script, long killAt, long until = kUntil) {
    const pid_t child = ::fork();
    if (child != 0) return child;
    const std::string scriptPath = ScriptPath(dir, ::getpid()), untilText = std::to_string(until);
    WriteFile(scriptPath, script);
    if (killAt > 0) ::setenv("QUILLRUN_SIM_KILL_AT_FILE_STEP", std::to_string(killAt).c_str(), 1);
    ::dup2(::open("/dev/null", O_WRONLY), 1);
    ::execl(QUILLRUN_SIM, QUILLRUN_SIM, "--game-dir", dir.c_str(), "--script", scriptPath.c_str(), "--until",
            untilText.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
}

enum class End { Done, Killed, Failed };

End WaitDriver(const std::string& dir, pid_t driver) {
    int status = 0;
    const bool waited = driver > 0 && ::waitpid(driver, &status, 0) == driver;
    ::unlink(ScriptPath(dir, driver).c_str());
    if (waited && WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) return End::Killed;
    return waited && WIFEXITED(status) && WEXITSTATUS(status) == 0 ? End::Done : End::Failed;
}

End RunDriver(const std::string& dir, const std::string& script, long killAt, long until = kUntil) {
    return WaitDriver(dir, StartDriver(dir, script, killAt, until));
}

// Starts the game once more in this process (start-up, one frame) and
// returns the messages it showed.
std::vector<std::string> StartGame(const std::string& dir) {
    ResetGameState();
    HeadlessReset();
    static std::string fieldError;
    static const bool fieldReady = InitPlayField(&fieldError);
    EXPECT_TRUE(fieldReady) << fieldError;
    SetGameFolders({dir, dir});
    HeadlessSetDispatchHook([](long) { PlatformEndProgram(0); });
    try {
        OnLoad();
    } catch (const ProgramEnded&) {
    }
    return HeadlessMessages();
}

Names Listing(const std::string& folder) {
    Names names;
    for (const auto& e : std::filesystem::directory_iterator(folder)) names.insert(e.path().filename().string());
    return names;
}

struct Files {
    std::string ini;
    std::optional<std::string> replay;
    bool operator==(const Files& o) const = default;
};

Files Snapshot(const std::string& dir, int map) {
    Files f{ReadFile(dir + "/Maps/Maps.ini"), {}};
    if (FileExists(ReplayOf(dir, map))) f.replay = ReadFile(ReplayOf(dir, map));
    return f;
}

// The state after a start: exactly the old or the new files, only the
// game's own files in its folders, the planted link's target untouched.
void CheckAfterStart(const std::string& dir, const Scenario& s, const Files& oldFiles, const Files& newFiles,
                     const std::string& what) {
    SCOPED_TRACE(what);
    const std::vector<std::string> messages = StartGame(dir);
    EXPECT_TRUE(messages.empty()) << messages.front();
    const Files now = Snapshot(dir, s.map);
    // Byte for byte, so every entry is intact; that a store keeps the other
    // maps is the catalogue fuzz target's check.
    EXPECT_TRUE(now == oldFiles || now == newFiles)
        << "Maps.ini:\n" << now.ini << "\nreplay:\n" << now.replay.value_or("(none)");
    // The last good copy follows Maps.ini at every start.
    EXPECT_EQ(ReadFile(dir + "/Maps/Maps.ini.good"), now.ini);
    EXPECT_EQ(Listing(dir + "/Maps"), (Names{"Maps.ini", "Maps.ini.good", "cave.bmp"}));
    Names replays;
    if (now.replay) replays.insert("Map0" + std::to_string(s.map) + ".replay");
    if (s.leftovers) {
        replays.insert("notes.txt");
        EXPECT_EQ(ReadFile(dir + "/victim.txt"), "untouched\n");
    }
    EXPECT_EQ(Listing(dir + "/Replays"), replays);
}

TEST(RecordKill, EveryKillLeavesTheOldOrTheNewRecordWithItsReplay) {
    const Scenario scenarios[] = {
        {1, false, false}, {2, true, false}, {1, true, true}, {2, false, true},
        {2, true, true},   {1, false, true}, {2, false, false}, {1, true, false},
    };
    const char* n = std::getenv("QUILLRUN_RECORD_KILLS");
    const int target = n != nullptr && std::atoi(n) > 0 ? std::atoi(n) : kDefaultKills;
    int kills = 0;
    for (int sweep = 0; kills < target; ++sweep) {
        for (const Scenario& s : scenarios) {
            if (kills >= target) break;
            const std::string name = sweep % 2 == 0 ? "Ann" : "Bo Z";
            const std::string script = RecordScript(s.map, name);
            // The files before and after a store that is not interrupted.
            const std::string ref = Prepare(s);
            StartGame(ref);  // the clean-up a start does, for the "old" state
            const Files oldFiles = Snapshot(ref, s.map);
            ASSERT_EQ(RunDriver(ref, script, 0), End::Done);
            const Files newFiles = Snapshot(ref, s.map);
            ASSERT_TRUE(newFiles.replay && newFiles.replay != oldFiles.replay);
            ASSERT_NE(newFiles.ini.find("ScoreName=" + Masked(name) + "\r\n"), std::string::npos);
            testsupport::RemoveTree(ref);

            for (long step = 1; kills < target; ++step) {
                const std::string dir = Prepare(s);
                const End end = RunDriver(dir, script, step);
                const std::string what = "map " + std::to_string(s.map) + (s.oldRecord ? ", old record" : "") +
                                         (s.leftovers ? ", leftovers" : "") + ", killed at step " +
                                         std::to_string(step) + ", sweep " + std::to_string(sweep);
                if (end != End::Killed) {
                    // Past the last step: the store ran to its end.
                    ASSERT_EQ(end, End::Done) << what;
                    EXPECT_TRUE(Snapshot(dir, s.map) == newFiles) << what;
                    testsupport::RemoveTree(dir);
                    break;
                }
                ++kills;
                // From the second sweep on, the next start is killed too
                // while it cleans up, at a step that moves with the sweep.
                if (sweep > 0 && RunDriver(dir, "", sweep + step % 3, 3) == End::Killed) ++kills;
                CheckAfterStart(dir, s, oldFiles, newFiles, what);
                testsupport::RemoveTree(dir);
                if (HasFailure()) return;
            }
        }
    }
    std::printf("record stores killed: %d\n", kills);
}

// Two copies of the game storing records on two maps of one folder at the
// same moment: both records and both replays are kept, nothing is shared.
TEST(RecordKill, TwoCopiesStoringAtOnceKeepBothRecords) {
    // The folder as two copies leave it one after the other.
    const std::string ref = Prepare({});
    ASSERT_EQ(RunDriver(ref, RecordScript(1, "Ann"), 0), End::Done);
    ASSERT_EQ(RunDriver(ref, RecordScript(2, "Bo"), 0), End::Done);
    for (int round = 0; round < 4; ++round) {
        SCOPED_TRACE(round);
        const std::string dir = Prepare({});
        const pid_t one = StartDriver(dir, RecordScript(1, "Ann"), 0);
        const pid_t two = StartDriver(dir, RecordScript(2, "Bo"), 0);
        EXPECT_EQ(WaitDriver(dir, one), End::Done);
        EXPECT_EQ(WaitDriver(dir, two), End::Done);
        for (const char* file : {"/Maps/Maps.ini", "/Replays/Map01.replay", "/Replays/Map02.replay"})
            EXPECT_EQ(ReadFile(dir + file), ReadFile(ref + file)) << file;
        EXPECT_EQ(Listing(dir + "/Replays"), (Names{"Map01.replay", "Map02.replay"}));
        EXPECT_EQ(Listing(dir + "/Maps"), (Names{"Maps.ini", "Maps.ini.good", "cave.bmp"}));
        EXPECT_TRUE(StartGame(dir).empty());
        testsupport::RemoveTree(dir);
    }
    testsupport::RemoveTree(ref);
}

}  // namespace
