// quillrun-sim as a process: scripts of key events against its trace, its
// message lines, its exit status and its command line.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "test_support.h"

using testsupport::MakeGameDir;
using testsupport::MakeTempDir;
using testsupport::ReadFile;
using testsupport::RemoveTree;
using testsupport::RunCommand;
using testsupport::RunSim;
using testsupport::SimResult;
using testsupport::TraceLine;
using testsupport::WriteCorridorBmp;
using testsupport::WriteFile;

namespace {

// Maps.ini text for maps whose picture files are given (an empty name
// leaves the section without a File value).
std::string Catalogue(const std::vector<std::string>& files) {
    std::string ini;
    for (size_t i = 0; i < files.size(); ++i) {
        char section[24];
        std::snprintf(section, sizeof section, "%02zu", i + 1);
        ini += std::string("[") + section + "]\nFile=" + files[i] + "\nWidth=1500\nName=Cave " + section + "\n";
    }
    return ini;
}

// A game folder whose maps 1..count all have a picture.
std::string GameWithMaps(int count) {
    std::vector<std::string> files;
    for (int k = 1; k <= count; ++k) files.push_back("cave" + std::to_string(k) + ".bmp");
    std::string dir = MakeGameDir(Catalogue(files));
    for (const auto& f : files) WriteCorridorBmp(dir + "/Maps/" + f, 2000, 40, 160);
    return dir;
}

const TraceLine* At(const SimResult& r, long dispatch) {
    for (const auto& l : r.trace)
        if (l.dispatch == dispatch) return &l;
    return nullptr;
}

long LastDispatch(const SimResult& r) { return r.trace.empty() ? 0 : r.trace.back().dispatch; }

int CountLines(const std::string& s) {
    int n = 0;
    for (char c : s) n += c == '\n';
    return n;
}

std::string Quote(const std::string& s) { return "'" + s + "'"; }

struct RawRun {
    int status = -1;
    std::string output;  // standard output and standard error together
};

RawRun RunRaw(const std::string& arguments) {
    RawRun r;
    r.status = RunCommand(Quote(QUILLRUN_SIM) + " " + arguments + " 2>&1", &r.output);
    return r;
}

class SimDriver : public ::testing::Test {
protected:
    void TearDown() override {
        for (const auto& d : dirs_) RemoveTree(d);
    }
    std::string Keep(const std::string& dir) {
        dirs_.push_back(dir);
        return dir;
    }
    std::vector<std::string> dirs_;
};

TEST_F(SimDriver, TraceHasOneLinePerDispatchWithTheStartState) {
    std::string game = Keep(GameWithMaps(1));
    SimResult r = RunSim(game, "", {"--until", "4"});
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_EQ(r.trace.size(), 4u);
    for (size_t i = 0; i < r.trace.size(); ++i) EXPECT_EQ(r.trace[i].dispatch, static_cast<long>(i + 1));
    const TraceLine& first = r.trace[0];
    EXPECT_EQ(first.playing, 0);
    EXPECT_EQ(first.selectedMap, 1);  // StartRun turns map 0 into 1
    EXPECT_EQ(first.shipX, 30.0f);
    EXPECT_EQ(first.shield, 100.0f);
    EXPECT_EQ(first.fuel, 200.0f);

    // The raw text: sixteen fields, single spaces, flags as -1/0.
    std::string work = Keep(MakeTempDir());
    WriteFile(work + "/s.txt", "2 tap ENTER\n");
    RawRun raw = RunRaw("--game-dir " + Quote(game) + " --script " + Quote(work + "/s.txt") + " --until 3 --trace " +
                        Quote(work + "/t.txt"));
    ASSERT_EQ(raw.status, 0) << raw.output;
    std::istringstream lines(ReadFile(work + "/t.txt"));
    std::string line;
    int count = 0;
    while (std::getline(lines, line)) {
        ++count;
        EXPECT_EQ(line.find("  "), std::string::npos) << line;
        std::istringstream words(line);
        std::vector<std::string> w;
        std::string word;
        while (words >> word) w.push_back(word);
        ASSERT_EQ(w.size(), 16u) << line;
        EXPECT_EQ(w[0], std::to_string(count));
        EXPECT_EQ(w[1], count == 3 ? "-1" : "0") << line;
    }
    EXPECT_EQ(count, 3);
}

TEST_F(SimDriver, EnterStartsARunOnAMapAndReportsAMissingPicture) {
    std::string game = Keep(GameWithMaps(1));
    SimResult run = RunSim(game, "3 tap ENTER\n", {"--until", "6"});
    ASSERT_EQ(run.status, 0) << run.err;
    ASSERT_EQ(LastDispatch(run), 6);
    // Events of dispatch 3 come after its trace line.
    EXPECT_EQ(At(run, 3)->playing, 0);
    for (long n = 4; n <= 6; ++n) EXPECT_EQ(At(run, n)->playing, -1) << n;
    EXPECT_EQ(run.out.find("message:"), std::string::npos) << run.out;

    std::string missing = Keep(MakeGameDir(Catalogue({"gone.bmp"})));
    SimResult none = RunSim(missing, "2 tap ENTER\n", {"--until", "5"});
    ASSERT_EQ(none.status, 0) << none.err;
    EXPECT_NE(none.out.find("message: Error: No Map/Picture File!!!\n"), std::string::npos) << none.out;
    ASSERT_EQ(LastDispatch(none), 5);
    for (const auto& l : none.trace) EXPECT_EQ(l.playing, 0) << l.dispatch;
}

TEST_F(SimDriver, EscEndsTheProgramOutsideARunAndAbandonsARun) {
    std::string game = Keep(GameWithMaps(1));
    // Outside a run: the program ends in that dispatch, so the trace stops.
    SimResult out = RunSim(game, "4 tap ESC\n", {"--until", "20"});
    EXPECT_EQ(out.status, 0) << out.err;
    EXPECT_EQ(LastDispatch(out), 4);

    // The key acts on release: a held ESC does not end the program.
    SimResult held = RunSim(game, "4 down ESC\n", {"--until", "8"});
    EXPECT_EQ(held.status, 0) << held.err;
    EXPECT_EQ(LastDispatch(held), 8);

    // In a run (paused too): back to the selection, the program goes on.
    SimResult in = RunSim(game, "2 tap ENTER\n4 tap P\n6 tap ESC\n", {"--until", "10"});
    EXPECT_EQ(in.status, 0) << in.err;
    ASSERT_EQ(LastDispatch(in), 10);
    EXPECT_EQ(At(in, 6)->playing, -1);
    EXPECT_EQ(At(in, 6)->paused, -1);
    for (long n = 7; n <= 10; ++n) {
        EXPECT_EQ(At(in, n)->playing, 0) << n;
        EXPECT_EQ(At(in, n)->paused, 0) << n;
    }

    // A second ESC, now on the selection screen, ends it.
    SimResult twice = RunSim(game, "2 tap ENTER\n4 tap ESC\n7 tap ESC\n", {"--until", "20"});
    EXPECT_EQ(twice.status, 0) << twice.err;
    EXPECT_EQ(LastDispatch(twice), 7);
}

TEST_F(SimDriver, DigitKeysSelectOnlyMapsBeforeTheFirstGap) {
    std::string game = Keep(MakeGameDir(Catalogue({"a.bmp", "b.bmp", "", "d.bmp"})));
    for (const char* f : {"a.bmp", "b.bmp", "d.bmp"}) WriteCorridorBmp(game + "/Maps/" + f, 2000, 40, 160);
    SimResult r = RunSim(game, "2 tap 2\n4 tap 4\n6 tap 3\n8 tap 1\n10 tap 2\n12 tap 9\n13 tap 48\n", {"--until", "14"});
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_EQ(LastDispatch(r), 14);
    EXPECT_EQ(At(r, 2)->selectedMap, 1);
    EXPECT_EQ(At(r, 3)->selectedMap, 2);
    EXPECT_EQ(At(r, 5)->selectedMap, 2);  // map 4 lies after the gap
    EXPECT_EQ(At(r, 7)->selectedMap, 2);  // map 3 has no file
    EXPECT_EQ(At(r, 9)->selectedMap, 1);
    EXPECT_EQ(At(r, 11)->selectedMap, 2);
    EXPECT_EQ(At(r, 14)->selectedMap, 2);  // '9' and '0' select nothing

    // During a run the digits do nothing.
    SimResult run = RunSim(game, "2 tap ENTER\n4 tap 2\n", {"--until", "6"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(At(run, 6)->playing, -1);
    EXPECT_EQ(At(run, 6)->selectedMap, 1);
}

TEST_F(SimDriver, PTogglesThePauseOnlyDuringARun) {
    std::string game = Keep(GameWithMaps(1));
    SimResult r = RunSim(game, "2 tap P\n4 tap ENTER\n6 tap P\n8 tap P\n10 tap P\n12 tap ENTER\n", {"--until", "13"});
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_EQ(LastDispatch(r), 13);
    EXPECT_EQ(At(r, 3)->paused, 0);  // no run yet
    EXPECT_EQ(At(r, 5)->paused, 0);
    EXPECT_EQ(At(r, 7)->paused, -1);
    EXPECT_EQ(At(r, 9)->paused, 0);
    EXPECT_EQ(At(r, 11)->paused, -1);
    EXPECT_EQ(At(r, 13)->paused, 0);  // ENTER restarts the run unpaused
    EXPECT_EQ(At(r, 13)->playing, -1);
}

TEST_F(SimDriver, RQueuedDuringARunWaitsForTheRunToEnd) {
    std::string game = Keep(GameWithMaps(1));
    SimResult r = RunSim(game, "2 tap ENTER\n4 tap R\n7 tap ESC\n", {"--until", "10"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(At(r, 4)->replayMode, 0);
    for (long n = 5; n <= 7; ++n) {
        EXPECT_EQ(At(r, n)->replayMode, -1) << n;
        EXPECT_EQ(At(r, n)->playing, -1) << n;
    }
    // Only once the run is abandoned is the replay looked for; there is none.
    EXPECT_NE(r.out.find("message: Quillrun: No replay file.\\nSet a record first!\n"), std::string::npos) << r.out;
    EXPECT_EQ(At(r, 10)->replayMode, 0);
    EXPECT_EQ(At(r, 10)->playing, 0);
}

// What the play field shows at a dispatch, as the colour of one pixel.
std::string ShotPixel(const std::string& png, int x, int y) {
    std::string out;
    RunCommand("/usr/bin/convert " + Quote(png) + " -crop 1x1+" + std::to_string(x) + "+" + std::to_string(y) +
                   " -depth 8 txt:- 2>&1",
               &out);
    size_t hash = out.find('#', out.find('\n'));
    return hash == std::string::npos ? out : out.substr(hash, 7);
}

TEST_F(SimDriver, HAndF1ToggleTheHelpPictureOutsideARun) {
    std::string game = Keep(GameWithMaps(1));
    std::string work = Keep(MakeTempDir());
    // The test help picture is grey 0x404040 all over.
    auto shot = [&](long n) { return std::to_string(n) + ":" + work + "/s" + std::to_string(n) + ".png"; };
    SimResult r = RunSim(game, "2 tap H\n4 tap H\n6 tap F1\n8 tap F1\n10 tap ENTER\n12 tap H\n14 tap ESC\n",
                         {"--until", "16", "--shot", shot(2), "--shot", shot(3), "--shot", shot(5), "--shot",
                          shot(7), "--shot", shot(9), "--shot", shot(16)});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(ShotPixel(work + "/s2.png", 300, 100), "#404040");
    EXPECT_EQ(ShotPixel(work + "/s3.png", 300, 100), "#404040");
    EXPECT_NE(ShotPixel(work + "/s5.png", 300, 100), "#404040");
    EXPECT_EQ(ShotPixel(work + "/s7.png", 300, 100), "#404040");
    EXPECT_NE(ShotPixel(work + "/s9.png", 300, 100), "#404040");
    // 'H' during the run was ignored: after ESC the selection screen is back.
    EXPECT_EQ(LastDispatch(r), 16);
    EXPECT_NE(ShotPixel(work + "/s16.png", 300, 100), "#404040");
}

TEST_F(SimDriver, ShotsAreWrittenAtTheirDispatchOrReported) {
    std::string game = Keep(GameWithMaps(1));
    std::string work = Keep(MakeTempDir());
    SimResult r = RunSim(game, "", {"--until", "3", "--shot", "2:" + work + "/a.png", "--shot", "2:" + work + "/b.png"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadFile(work + "/a.png").substr(1, 3), "PNG");
    EXPECT_EQ(ReadFile(work + "/a.png"), ReadFile(work + "/b.png"));

    // One that cannot be written fails the run; one never reached is named.
    r = RunSim(game, "", {"--until", "3", "--shot", "2:" + work + "/no/such/x.png", "--shot", "9:" + work + "/c.png"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("no/such/x.png"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("c.png"), std::string::npos) << r.err;
    EXPECT_EQ(r.trace.size(), 3u);
}

// Virtual time that passed by the end, from the --bench figures.
long VirtualTime(const std::string& out) {
    size_t p = out.find("virtual time: ");
    return p == std::string::npos ? -1 : std::stol(out.substr(p + 14));
}

TEST_F(SimDriver, TheVirtualClockPacesFramesAtFifteenAndSixteenMilliseconds) {
    std::string game = Keep(GameWithMaps(1));
    // The first frame starts on an even reading (+14, so the next reading is
    // 15 later); from then on every deadline is odd + 15 and the clock jumps
    // past it: 16 ms a dispatch.
    for (long n : {1L, 2L, 3L, 10L, 64L, 500L}) {
        SimResult r = RunSim(game, "", {"--until", std::to_string(n), "--bench"});
        ASSERT_EQ(r.status, 0) << r.err;
        long expected = n == 1 ? 0 : 15 + 16 * (n - 2);
        EXPECT_EQ(VirtualTime(r.out), expected) << "until " << n << "\n" << r.out;
        EXPECT_NE(r.out.find("dispatches: " + std::to_string(n) + "\n"), std::string::npos) << r.out;
    }
    // A run is paced the same way.
    SimResult run = RunSim(game, "2 tap ENTER\n3 down UP\n", {"--until", "100", "--bench"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(VirtualTime(run.out), 15 + 16 * 98) << run.out;
}

TEST_F(SimDriver, BenchPrintsItsFiguresInAStableForm) {
    std::string game = Keep(GameWithMaps(1));
    SimResult r = RunSim(game, "", {"--until", "30", "--bench"});
    ASSERT_EQ(r.status, 0) << r.err;
    std::istringstream lines(r.out);
    std::string line;
    std::vector<std::string> keys;
    while (std::getline(lines, line)) {
        if (line.rfind("message:", 0) == 0) continue;
        keys.push_back(line.substr(0, line.find(':')));
        if (keys.back() != "dispatches") {
            EXPECT_EQ(line.substr(line.size() - 3), " ms") << line;
        }
    }
    EXPECT_EQ(keys, (std::vector<std::string>{"dispatches", "wall", "work median", "work p99", "virtual time"}));
}

TEST_F(SimDriver, UntilDefaultsToTheDispatchAfterTheLastScriptedEvent) {
    std::string game = Keep(GameWithMaps(1));
    // Events need not be in order; dialog lines carry no dispatch.
    SimResult r = RunSim(game, "# comment\n3 tap P\n\n9 up UP\n5 down UP\ndialog Ann\nconfirm yes\n");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(LastDispatch(r), 10);

    SimResult empty = RunSim(game, "# nothing\n");
    EXPECT_EQ(empty.status, 0) << empty.err;
    EXPECT_EQ(LastDispatch(empty), 1);

    // --until before the last event cuts the script short.
    SimResult cut = RunSim(game, "2 tap ENTER\n40 tap P\n", {"--until", "5"});
    EXPECT_EQ(cut.status, 0) << cut.err;
    EXPECT_EQ(LastDispatch(cut), 5);
}

TEST_F(SimDriver, CloseEndsTheProgramAtItsDispatch) {
    std::string game = Keep(GameWithMaps(1));
    SimResult r = RunSim(game, "2 tap ENTER\n6 close\n", {"--until", "50"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(LastDispatch(r), 6);
    EXPECT_EQ(At(r, 6)->playing, -1);
}

TEST_F(SimDriver, KeyNamesLettersDigitsAndCodesAllReachTheGame) {
    std::string game = Keep(GameWithMaps(2));
    // 13 is ENTER, "p" is the letter P, "80" is P by its code.
    SimResult r = RunSim(game, "2 tap 2\n4 tap 13\n6 tap p\n8 tap 80\n10 down SPACE\n", {"--until", "11"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(At(r, 3)->selectedMap, 2);
    EXPECT_EQ(At(r, 5)->playing, -1);
    EXPECT_EQ(At(r, 7)->paused, -1);
    EXPECT_EQ(At(r, 9)->paused, 0);
    EXPECT_EQ(At(r, 11)->started, -1);
}

TEST_F(SimDriver, ABadScriptLineStopsWithItsLineNumber) {
    std::string game = Keep(GameWithMaps(1));
    struct Case {
        const char* script;
        int line;
    } cases[] = {
        {"1 tap ENTER\n\n# fine so far\n4 jump UP\n", 4},
        {"2 tap WHEEL\n", 1},
        {"2 tap\n", 1},
        {"2 tap UP DOWN\n", 1},
        {"0 tap UP\n", 1},
        {"x tap UP\n", 1},
        {"-3 tap UP\n", 1},
        {"2\n", 1},
        {"2 tap 255\n", 1},
        {"2 tap 00\n", 1},
        {"3 close now\n", 1},
        {"confirm maybe\n", 1},
        {"confirm\n", 1},
        {"dialog-cancel please\n", 1},
        {"dialog fine\n2 tap UP\nhello\n", 3},
        {"2 tap UP\n2 tap \xE9\n", 2},
    };
    for (const auto& c : cases) {
        SimResult r = RunSim(game, c.script);
        EXPECT_EQ(r.status, 2) << c.script;
        EXPECT_EQ(CountLines(r.err), 1) << c.script << r.err;
        EXPECT_NE(r.err.find("line " + std::to_string(c.line) + ":"), std::string::npos) << c.script << r.err;
        EXPECT_TRUE(r.trace.empty()) << c.script;
    }
}

TEST_F(SimDriver, ABadCommandLineStopsWithOneLine) {
    std::string game = Keep(GameWithMaps(1));
    std::string work = Keep(MakeTempDir());
    std::string script = work + "/s.txt";
    WriteFile(script, "2 tap P\n");
    std::string base = "--game-dir " + Quote(game) + " --script " + Quote(script);
    const std::vector<std::string> bad = {
        "--game-dir " + Quote(game),                       // no script
        base + " --until 0",
        base + " --until ten",
        base + " --until",
        base + " --seed -1",
        base + " --seed 4294967296",
        base + " --shot 3",
        base + " --shot 0:a.png",
        base + " --shot 3:",
        base + " --speed 2",
        base + " extra",
        base + " --until 3 --until 4",
        "--game-dir " + Quote(work + "/nowhere") + " --script " + Quote(script),
        "--game-dir " + Quote(game) + " --script " + Quote(work + "/missing.txt"),
        base + " --trace " + Quote(work + "/no/such/folder/t.txt"),
    };
    for (const auto& args : bad) {
        RawRun r = RunRaw(args);
        EXPECT_EQ(r.status, 2) << args << "\n" << r.output;
        EXPECT_EQ(CountLines(r.output), 1) << args << "\n" << r.output;
    }
    RawRun good = RunRaw(base + " --seed 4294967295 --until 3");
    EXPECT_EQ(good.status, 0) << good.output;
}

// The name the record holder's dialog stored, masked as Maps.ini keeps it.
std::string StoredName(const std::string& game) {
    std::string ini = ReadFile(game + "/Maps/Maps.ini");
    size_t p = ini.find("ScoreName=");
    if (p == std::string::npos) return "(none)";
    std::string name = ini.substr(p + 10, ini.find('\r', p) - (p + 10));
    for (char& c : name) c = static_cast<char>(static_cast<unsigned char>(c) ^ 183);
    return name;
}

TEST_F(SimDriver, ScriptedDialogAnswersReachTheGameAsUtf8) {
    // A run on a 100-pixel map ends within a few dozen frames with a record.
    auto shortMap = [&] {
        std::string game = Keep(MakeGameDir("[01]\nFile=c.bmp\nWidth=100\nName=Short\n"));
        WriteCorridorBmp(game + "/Maps/c.bmp", 300, 40, 160);
        return game;
    };
    std::string named = shortMap();
    SimResult r = RunSim(named, "dialog Zo\xC3\xAB\n2 tap ENTER\n3 tap SPACE\n", {"--until", "120"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("message: Quillrun: Congratulations, you broke the old record (0)\\nNew record: "),
              std::string::npos)
        << r.out;
    EXPECT_EQ(At(r, 120)->playing, 0);
    EXPECT_EQ(StoredName(named), "Zo\xEB");  // Windows-1252

    std::string cancelled = shortMap();
    r = RunSim(cancelled, "dialog-cancel\n2 tap ENTER\n3 tap SPACE\n", {"--until", "120"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(StoredName(cancelled), "Me");
}

TEST_F(SimDriver, TheGameFolderDefaultsToTheFolderOfTheProgram) {
    std::string missing = Keep(MakeGameDir(Catalogue({"gone.bmp"})));
    std::string copy = missing + "/quillrun-sim";
    ASSERT_EQ(RunCommand("cp " + Quote(QUILLRUN_SIM) + " " + Quote(copy)), 0);
    std::string work = Keep(MakeTempDir());
    WriteFile(work + "/s.txt", "2 tap ENTER\n");
    // Started from another folder, it still finds its own Maps/.
    std::string out;
    int status = RunCommand("cd " + Quote(work) + " && " + Quote(copy) + " --script s.txt 2>&1", &out);
    EXPECT_EQ(status, 0) << out;
    EXPECT_NE(out.find("message: Error: No Map/Picture File!!!"), std::string::npos) << out;
}

TEST_F(SimDriver, ReadsTheScriptFromStandardInput) {
    std::string game = Keep(GameWithMaps(1));
    std::string work = Keep(MakeTempDir());
    std::string out;
    // With a byte-order mark and CR LF line ends, as some editors save it.
    int status = RunCommand("printf '\\357\\273\\2772 tap ENTER\\r\\n4 tap ESC\\r\\n' | " + Quote(QUILLRUN_SIM) + " --game-dir " +
                                Quote(game) + " --script - --trace " + Quote(work + "/t.txt") + " 2>&1",
                            &out);
    EXPECT_EQ(status, 0) << out;
    std::string trace = ReadFile(work + "/t.txt");
    EXPECT_EQ(CountLines(trace), 5) << trace;  // ESC in the run does not end it; --until defaults to 5
    EXPECT_NE(trace.find("\n5 0 "), std::string::npos) << trace;
}

}  // namespace
