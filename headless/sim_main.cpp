// quillrun-sim: the game on the headless platform, driven by a script of
// key events, writing a state trace, PNG shots and timing figures.
// SPDX-License-Identifier: MIT
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "base/atomic_file.h"
#include "base/command_line.h"
#include "base/game_paths.h"
#include "base/game_state.h"
#include "base/regular_file.h"
#include "gfx/field_text.h"
#include "gfx/picture_store.h"
#include "gfx/play_field.h"
#include "headless/headless.h"
#include "headless/sim_script.h"
#include "platform/platform.h"
#include "shell/keyboard.h"
#include "shell/main_loop.h"
#include "shell/user_folder.h"

namespace {

struct Shot {
    long dispatch = 0;
    std::string path;
};

struct Options {
    std::string gameDir;
    std::string dataDir;
    std::string userDir;
    GameFolders folders;
    std::string scriptPath;
    std::string tracePath;
    long until = 0;  // 0: not given
    uint32_t seed = 1;
    bool bench = false;
    std::vector<Shot> shots;
    std::string routeTable;
    bool mute = false;
    bool sounds = false;
};

// A bad command line or script: one line on standard error, status 2.
[[noreturn]] void Fail(const std::string& what) {
    std::fprintf(stderr, "quillrun-sim: %s\n", what.c_str());
    std::exit(2);
}

Options ParseCommandLine(int argc, char** argv) {
    Options o;
    bool seenGameDir = false, seenScript = false, seenTrace = false, seenUntil = false, seenSeed = false;
    bool seenDataDir = false, seenUserDir = false, seenRouteTable = false;
    // A value option that may be given once.
    auto once = [](bool& seen, const char* name, std::string& target, const char* what) {
        return [&seen, name, &target, what](const std::string& v) -> std::string {
            if (seen) return std::string("--") + name + " given twice";
            seen = true;
            if (v.empty()) return std::string("--") + name + " needs " + what;
            target = v;
            return "";
        };
    };
    CommandLine line;
    line.program = "quillrun-sim";
    line.synopsis = "[--game-dir DIR | --data-dir DIR --user-dir DIR] --script FILE [--until N] [--seed N] "
                    "[--trace FILE] [--shot N:FILE.png]... [--bench] [--route-table FILE] [--mute] [--sounds]";
    line.options = {
        {"game-dir", "DIR", "the program folder: Maps/, Pictures/, Replays/ (default: beside the program)",
         once(seenGameDir, "game-dir", o.gameDir, "a folder")},
        {"data-dir", "DIR", "where Maps/ and Pictures/ are read (installed layout)",
         once(seenDataDir, "data-dir", o.dataDir, "a folder")},
        {"user-dir", "DIR", "where Maps.ini and Replays/ are kept (installed layout)",
         once(seenUserDir, "user-dir", o.userDir, "a folder")},
        {"script", "FILE", "scripted input, one event a line; - reads standard input",
         once(seenScript, "script", o.scriptPath, "a file")},
        {"trace", "FILE", "one state line per dispatch", once(seenTrace, "trace", o.tracePath, "a file")},
        {"until", "N", "end at dispatch N",
         [&](const std::string& v) -> std::string {
             if (seenUntil) return "--until given twice";
             seenUntil = true;
             if (!ParsePositive(v, &o.until)) return "--until needs a dispatch number of 1 or more, got '" + v + "'";
             return "";
         }},
        {"seed", "N", "seed of the random source (default 1)",
         [&](const std::string& v) -> std::string {
             if (seenSeed) return "--seed given twice";
             seenSeed = true;
             unsigned long long seed = 0;
             if (!ParseUnsigned(v, 0xFFFFFFFFULL, &seed))
                 return "--seed needs a number from 0 to 4294967295, got '" + v + "'";
             o.seed = static_cast<uint32_t>(seed);
             return "";
         }},
        {"shot", "N:FILE.png", "write the play field to a PNG file at dispatch N (repeatable)",
         [&](const std::string& v) -> std::string {
             size_t colon = v.find(':');
             Shot shot;
             if (colon == std::string::npos || !ParsePositive(v.substr(0, colon), &shot.dispatch) ||
                 colon + 1 >= v.size())
                 return "--shot needs N:FILE.png with a dispatch number of 1 or more, got '" + v + "'";
             shot.path = v.substr(colon + 1);
             o.shots.push_back(shot);
             return "";
         }},
        {"bench", nullptr, "print the work time per dispatch at exit",
         [&](const std::string&) -> std::string {
             if (o.bench) return "--bench given twice";
             o.bench = true;
             return "";
         }},
        {"route-table", "FILE", "the machine's routes for the upload, as in /proc/net/route (the default)",
         once(seenRouteTable, "route-table", o.routeTable, "a file")},
        {"mute", nullptr, "start with the sound off, as the 'M' key turns it off",
         [&](const std::string&) { o.mute = true; return std::string(); }},
        {"sounds", nullptr, "write the sounds the game plays to standard output, one line each",
         [&](const std::string&) { o.sounds = true; return std::string(); }},
    };
    ParseCommandLine(line, argc, argv);
    if (!seenScript) Fail("--script is required; see --help");
    for (const auto& [name, dir] : {std::pair<const char*, std::string>{"data-dir", o.dataDir}, {"user-dir", o.userDir}}) {
        if (!dir.empty()) {
            const std::string error = RequireFolder(name, dir);
            if (!error.empty()) Fail(error);
        }
    }
    if (!o.gameDir.empty() && !IsFolder(o.gameDir)) Fail("game folder '" + o.gameDir + "' not found");
    // --game-dir is the portable layout in one folder; the other two
    // replace its halves.
    if (o.gameDir.empty())
        o.folders = ChooseGameFolders(ExecutableFolder(), kRelativeDataDir, o.dataDir, o.userDir);
    else
        o.folders = {o.dataDir.empty() ? o.gameDir : o.dataDir, o.userDir.empty() ? o.gameDir : o.userDir};
    std::stable_sort(o.shots.begin(), o.shots.end(),
                     [](const Shot& a, const Shot& b) { return a.dispatch < b.dispatch; });
    return o;
}

using BenchClock = std::chrono::steady_clock;

constexpr int32_t kVirtualStart = 1000000;  // where HeadlessReset puts the clock

// Everything the dispatch hook works with, set up before the game starts so
// that a dispatch allocates nothing.
struct Driver {
    std::vector<ScriptEvent> events;
    size_t nextEvent = 0;
    std::vector<Shot> shots;
    size_t nextShot = 0;
    bool shotFailed = false;
    long until = 0;
    std::FILE* trace = nullptr;
    char line[512] = {};
    bool bench = false;
    std::vector<int64_t> workNs;  // game time between two dispatches
    BenchClock::time_point resumed{};
    bool haveResumed = false;
};

Driver driver;

// One column of the trace line, after a blank unless it is the first.
template <typename T>
void PutColumn(char*& pos, const char* format, T value) {
    char* const end = driver.line + sizeof driver.line;
    if (pos != driver.line && pos < end - 1) *pos++ = ' ';
    const int n = std::snprintf(pos, static_cast<size_t>(end - pos), format, value);
    if (n > 0) pos += n < end - pos ? n : end - pos - 1;
}

void WriteTraceLine(long dispatch) {
    char* pos = driver.line;
#define COLUMN_COUNT(name, value) PutColumn(pos, "%ld", static_cast<long>(value));
#define COLUMN_INT(name, value) PutColumn(pos, "%d", static_cast<int>(value));
#define COLUMN_FLAG(name, value) PutColumn(pos, "%d", static_cast<int>(value));
#define COLUMN_FLOAT(name, value) PutColumn(pos, "%.9g", static_cast<double>(value));
#include "headless/trace_columns.def"
#undef COLUMN_COUNT
#undef COLUMN_INT
#undef COLUMN_FLAG
#undef COLUMN_FLOAT
    *pos++ = '\n';
    std::fwrite(driver.line, 1, static_cast<size_t>(pos - driver.line), driver.trace);
}

void TakeShots(long n) {
    while (driver.nextShot < driver.shots.size() && driver.shots[driver.nextShot].dispatch <= n) {
        const Shot& s = driver.shots[driver.nextShot++];
        if (s.dispatch != n) continue;
        if (!WritePng(MainField.image, s.path)) {
            std::fprintf(stderr, "quillrun-sim: cannot write shot %s at dispatch %ld\n", s.path.c_str(), n);
            driver.shotFailed = true;
        }
    }
}

void OnDispatch(long n) {
    if (driver.bench) {
        BenchClock::time_point now = BenchClock::now();
        if (driver.haveResumed)
            driver.workNs.push_back(
                std::chrono::duration_cast<std::chrono::nanoseconds>(now - driver.resumed).count());
    }
    if (driver.trace != nullptr) WriteTraceLine(n);
    TakeShots(n);
    if (driver.bench) {
        driver.resumed = BenchClock::now();
        driver.haveResumed = true;
    }
    while (driver.nextEvent < driver.events.size() && driver.events[driver.nextEvent].dispatch <= n) {
        const ScriptEvent ev = driver.events[driver.nextEvent++];
        switch (ev.kind) {
            case ScriptEventKind::kDown: OnKeyDown(ev.key); break;
            case ScriptEventKind::kUp: OnKeyUp(ev.key); break;
            case ScriptEventKind::kTap:
                OnKeyDown(ev.key);
                OnKeyUp(ev.key);
                break;
            case ScriptEventKind::kClose: OnUnload();
        }
    }
    if (n >= driver.until) OnUnload();
}

// For the crash tests: QUILLRUN_SIM_KILL_AT_FILE_STEP=N kills the driver
// (SIGKILL) just before the Nth operation that changes a file.
long killAtFileStep = 0;
long fileSteps = 0;

void CountFileStep() {
    if (++fileSteps == killAtFileStep) ::raise(SIGKILL);
}

void ArmFileStepKill() {
    const char* n = std::getenv("QUILLRUN_SIM_KILL_AT_FILE_STEP");
    if (n == nullptr || !ParsePositive(n, &killAtFileStep)) return;
    SetFileStepHook(CountFileStep);
}

double Millis(int64_t ns) { return static_cast<double>(ns) / 1e6; }

// Nearest-rank percentile of sorted samples.
int64_t Percentile(const std::vector<int64_t>& sorted, double p) {
    if (sorted.empty()) return 0;
    size_t rank = static_cast<size_t>(std::ceil(p * static_cast<double>(sorted.size())));
    if (rank < 1) rank = 1;
    return sorted[rank - 1];
}

void PrintBench(BenchClock::time_point start) {
    int64_t wallNs = std::chrono::duration_cast<std::chrono::nanoseconds>(BenchClock::now() - start).count();
    std::sort(driver.workNs.begin(), driver.workNs.end());
    // The virtual clock only moves forward, so the wrap-around difference is
    // the virtual time that passed.
    uint32_t virtualMs = static_cast<uint32_t>(HeadlessClock()) - static_cast<uint32_t>(kVirtualStart);
    std::printf("dispatches: %ld\nwall: %.3f ms\nwork median: %.3f ms\nwork p99: %.3f ms\nvirtual time: %u ms\n",
                HeadlessDispatchCount(), Millis(wallNs), Millis(Percentile(driver.workNs, 0.5)),
                Millis(Percentile(driver.workNs, 0.99)), virtualMs);
}

}  // namespace

int main(int argc, char** argv) {
    BenchClock::time_point start = BenchClock::now();
    Options opt = ParseCommandLine(argc, argv);

    HeadlessReset();
    SimScript script;
    std::string scriptError;
    bool parsed;
    if (opt.scriptPath == "-") {
        parsed = ParseSimScript(std::cin, &script, &scriptError);
    } else {
        std::ifstream in(opt.scriptPath, std::ios::binary);
        if (!in) Fail("cannot read the script '" + opt.scriptPath + "'");
        parsed = ParseSimScript(in, &script, &scriptError);
    }
    if (!parsed) Fail(scriptError);
    for (const ScriptAnswer& a : script.answers) {
        switch (a.kind) {
            case ScriptAnswer::kDialogText: HeadlessQueueDialogAnswer(a.text); break;
            case ScriptAnswer::kDialogCancel: HeadlessQueueDialogCancel(); break;
            case ScriptAnswer::kConfirm: HeadlessQueueConfirm(a.yes); break;
            case ScriptAnswer::kOpen: HeadlessQueueOpenResult(a.yes);
        }
    }
    driver.events = std::move(script.events);
    driver.until = opt.until != 0 ? opt.until : (driver.events.empty() ? 0 : driver.events.back().dispatch) + 1;
    driver.shots = std::move(opt.shots);
    driver.bench = opt.bench;
    if (driver.bench) driver.workNs.reserve(static_cast<size_t>(std::min<long>(driver.until, 1L << 20)));

    static char traceBuffer[1 << 16];
    if (!opt.tracePath.empty()) {
        driver.trace = std::fopen(opt.tracePath.c_str(), "wb");
        if (driver.trace == nullptr) Fail("cannot write the trace '" + opt.tracePath + "'");
        std::setvbuf(driver.trace, traceBuffer, _IOFBF, sizeof traceBuffer);
    }

    ArmFileStepKill();
    PlatformSeedRandom(opt.seed);
    HeadlessSetMessageEcho(stdout);
    if (opt.sounds) HeadlessSetSoundEcho(stdout);
    if (opt.mute) gs.muted = kTrue;
    HeadlessSetDispatchHook(OnDispatch);
    SetGameFolders(opt.folders);
    gs.routeTablePath = opt.routeTable;

    std::string error;
    if (!InitPlayField(&error)) {
        std::fprintf(stderr, "quillrun-sim: %s\n", error.c_str());
        return 1;
    }

    int status = 1;
    try {
        PrepareUserFolder();
        OnLoad();
    } catch (const ProgramEnded& e) {
        status = e.status;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "quillrun-sim: stopped by an error at dispatch %ld: %s\n", HeadlessDispatchCount(),
                     e.what());
    }
    if (driver.trace != nullptr && std::fclose(driver.trace) != 0) {
        std::fprintf(stderr, "quillrun-sim: cannot write the trace '%s'\n", opt.tracePath.c_str());
        if (status == 0) status = 1;
    }
    if (driver.shotFailed && status == 0) status = 1;
    for (size_t i = driver.nextShot; i < driver.shots.size(); ++i)
        std::fprintf(stderr, "quillrun-sim: shot %s not taken: the program ended before dispatch %ld\n",
                     driver.shots[i].path.c_str(), driver.shots[i].dispatch);
    if (driver.bench) PrintBench(start);
    std::fflush(stdout);
    return status;
}
