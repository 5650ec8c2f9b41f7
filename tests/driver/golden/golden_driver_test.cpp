// Golden shots: every screen state from tests/golden/shots.txt, taken by
// quillrun-sim and compared pixel for pixel with tests/golden/<name>.png.
// With QUILLRUN_UPDATE_GOLDEN=1 in the environment the shots replace the
// goldens instead (scripts/test --update-golden).
// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "test_support.h"

namespace fs = std::filesystem;
using testsupport::Shot;

namespace {

const std::string kGoldenDir = std::string(QUILLRUN_SOURCE_DIR) + "/tests/golden";
const std::string kBuildDir = fs::path(QUILLRUN_GAME_DIR).parent_path().string();

// One row of the table: a prepared state or a shot. `dispatch` is the
// shot's, or where a preparation's run ends; `after` a preparation to start
// from, or "-"; `parts` the script parts joined with '+', or for a "world"
// preparation the map whose replay becomes the world's best run.
struct Row {
    bool shot = false, world = false;
    std::string name, after, parts;
    long dispatch = 0, seed = 1;
    int line = 0;
};

void PrintTo(const Row& r, std::ostream* os) { *os << r.name; }

std::vector<Row> ReadTable() {
    std::vector<Row> rows;
    std::ifstream in(kGoldenDir + "/shots.txt");
    std::string text, kind;
    for (int line = 1; std::getline(in, text); ++line) {
        std::istringstream words(text);
        if (!(words >> kind) || kind[0] == '#') continue;
        Row r{kind == "shot", kind == "world", "", "", "", 0, 1, line};
        words >> r.name >> r.dispatch >> r.seed >> r.after >> r.parts;
        if ((kind != "shot" && kind != "prepare" && !r.world) || r.parts.empty() || r.dispatch < 1)
            throw std::runtime_error("tests/golden/shots.txt line " + std::to_string(line) + " is malformed");
        rows.push_back(r);
    }
    return rows;
}

// A program folder with the build's caves and pictures (hard links: the
// game never writes them, and the build folder holds both) and its catalogue
// without records, so that a game played in the build's own folder changes
// nothing here.
void MakeBareFolder(const std::string& dir) {
    fs::create_directories(dir + "/Replays");
    for (const std::string sub : {"/Maps", "/Pictures"})
        fs::copy(QUILLRUN_GAME_DIR + sub, dir + sub, fs::copy_options::recursive | fs::copy_options::create_hard_links);
    fs::remove(dir + "/Maps/Maps.ini");  // may be a link to the build's own, which must stay as it is
    std::istringstream ini(testsupport::ReadFile(std::string(QUILLRUN_GAME_DIR) + "/Maps/Maps.ini"));
    std::string catalogue;
    for (std::string line; std::getline(ini, line);)
        if (line.rfind("ScoreBest", 0) != 0 && line.rfind("ScoreName", 0) != 0) catalogue += line + "\n";
    testsupport::WriteFile(dir + "/Maps/Maps.ini", catalogue);
}

void RunRow(const Row& r, const std::string& dir, const std::vector<std::string>& extra) {
    std::string script;
    std::istringstream parts(r.parts);
    for (std::string part; std::getline(parts, part, '+');) {
        const std::string path = kGoldenDir + "/scripts/" + part + ".script";
        if (!testsupport::FileExists(path)) throw std::runtime_error("no script part " + path);
        script += testsupport::ReadFile(path);
    }
    std::vector<std::string> args = {"--until", std::to_string(r.dispatch), "--seed", std::to_string(r.seed)};
    args.insert(args.end(), extra.begin(), extra.end());
    const testsupport::SimResult result = testsupport::RunSim(dir, script, args);
    if (result.status != 0) throw std::runtime_error("quillrun-sim failed for " + r.name + ": " + result.err);
}

// Brings `dir` (bare) to the state of preparation `name` and those before it.
void Prepare(const std::string& name, const std::string& dir, int depth = 0) {
    if (name == "-") return;
    for (const Row& r : ReadTable()) {
        if (r.shot || r.name != name || depth > 20) continue;
        Prepare(r.after, dir, depth + 1);
        if (!r.world) return RunRow(r, dir, {});
        // As 'W' keeps a fetched run, the player's own replay gone.
        fs::create_directories(dir + "/Replays/World");
        return fs::rename(dir + "/Replays/Map" + r.parts + ".replay", dir + "/Replays/World/Map" + r.parts + ".replay");
    }
    throw std::runtime_error("no preparation row '" + name + "'");
}

// Writes the golden dimmed to a third with every pixel that differs in red
// (ImageMagick's compare); returns how many differ, or -1 when the picture
// cannot be made.
int WriteDifference(const std::string& golden, const std::string& actual, const std::string& path) {
    std::string count;  // compare prints it and exits with 1 when the pictures differ
    const int status = testsupport::RunCommand("/usr/bin/compare -metric AE -highlight-color red -lowlight-color "
                                               "'rgba(0,0,0,0.67)' '" + golden + "' '" + actual + "' '" + path +
                                               "' 2>&1", &count);
    return status == 1 ? std::atoi(count.c_str()) : -1;
}

class Golden : public testing::TestWithParam<Row> {};

TEST_P(Golden, ShotMatches) {
    const Row& r = GetParam();
    const std::string work = kBuildDir + "/golden-work/" + r.name, actualPath = work + "/shot.png";
    testsupport::RemoveTree(work);
    MakeBareFolder(work + "/game");
    Prepare(r.after, work + "/game");
    RunRow(r, work + "/game", {"--shot", std::to_string(r.dispatch) + ":" + actualPath});
    const Shot actual = testsupport::ReadShot(actualPath);
    ASSERT_EQ(actual.width, 600) << "no shot at dispatch " << r.dispatch;

    const std::string goldenPath = kGoldenDir + "/" + r.name + ".png";
    const Shot golden = testsupport::ReadShot(goldenPath);
    const char* update = std::getenv("QUILLRUN_UPDATE_GOLDEN");
    const bool updating = update != nullptr && std::string(update) == "1";
    if (updating && !(golden == actual)) {
        fs::copy_file(actualPath, goldenPath, fs::copy_options::overwrite_existing);
        fs::permissions(goldenPath, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                                        fs::perms::others_read);
        std::printf("golden %s: %s\n", golden.width == 0 ? "new" : "changed", goldenPath.c_str());
    }
    const std::string kept = kBuildDir + "/golden-diff/" + r.name;  // ".actual.png", ".diff.png"
    if (updating || golden == actual) {
        testsupport::RemoveTree(work);
        testsupport::RemoveTree(kept + ".actual.png");  // from an earlier failure
        testsupport::RemoveTree(kept + ".diff.png");
        return;
    }
    ASSERT_GT(golden.width, 0) << "no golden " << goldenPath << " (make it with scripts/test --update-golden)";
    fs::create_directories(kBuildDir + "/golden-diff");
    fs::copy_file(actualPath, kept + ".actual.png", fs::copy_options::overwrite_existing);
    const int changed = WriteDifference(goldenPath, actualPath, kept + ".diff.png");
    ADD_FAILURE() << r.name << " (tests/golden/shots.txt line " << r.line << ") differs from " << goldenPath
                  << (changed < 0 ? "" : " in " + std::to_string(changed) + " pixels") << " (" << golden.width
                  << "x" << golden.height << " vs " << actual.width << "x" << actual.height
                  << ").\n  actual shot: " << kept << ".actual.png\n  difference:  "
                  << (changed < 0 ? "(could not be written)" : kept + ".diff.png");
}

std::vector<Row> Shots() {
    std::vector<Row> rows = ReadTable();
    std::erase_if(rows, [](const Row& r) { return !r.shot; });
    return rows;
}

// Test names take letters, digits and '_' only.
std::string ShotName(const testing::TestParamInfo<Row>& info) {
    std::string name = info.param.name;
    std::replace_if(name.begin(), name.end(), [](unsigned char c) { return !std::isalnum(c); }, '_');
    return name;
}

INSTANTIATE_TEST_SUITE_P(Screens, Golden, testing::ValuesIn(Shots()), ShotName);

}  // namespace
