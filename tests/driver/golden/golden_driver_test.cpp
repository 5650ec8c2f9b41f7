// Golden shots: every screen state from tests/golden/shots.txt, taken by
// quillrun-sim and compared pixel for pixel with tests/golden/<name>.png.
// With QUILLRUN_UPDATE_GOLDEN=1 in the environment the shots replace the
// goldens instead (scripts/test --update-golden).
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "gfx/picture_store.h"
#include "gfx/surface.h"
#include "test_support.h"

namespace fs = std::filesystem;
using testsupport::Shot;

namespace {

const std::string kGoldenDir = std::string(QUILLRUN_SOURCE_DIR) + "/tests/golden";
const std::string kBuildDir = fs::path(QUILLRUN_GAME_DIR).parent_path().string();

// One row of the table: a prepared state or a shot.
struct Row {
    bool shot = false;
    std::string name;
    long dispatch = 0;  // the shot's dispatch; for a preparation, where its run ends
    long seed = 1;
    std::string after;  // a preparation to start from, or "-"
    std::vector<std::string> parts;
    int line = 0;
};

std::vector<Row> ReadTable() {
    std::vector<Row> rows;
    std::ifstream in(kGoldenDir + "/shots.txt");
    std::string text;
    for (int line = 1; std::getline(in, text); ++line) {
        std::istringstream words(text);
        std::string kind, parts;
        if (!(words >> kind) || kind[0] == '#') continue;
        Row r;
        r.line = line;
        r.shot = kind == "shot";
        words >> r.name >> r.dispatch >> r.seed >> r.after >> parts;
        if ((kind != "shot" && kind != "prepare") || parts.empty() || r.dispatch < 1)
            throw std::runtime_error("tests/golden/shots.txt line " + std::to_string(line) + " is malformed");
        for (size_t at = 0; at <= parts.size();) {
            size_t plus = parts.find('+', at);
            if (plus == std::string::npos) plus = parts.size();
            r.parts.push_back(parts.substr(at, plus - at));
            at = plus + 1;
        }
        rows.push_back(r);
    }
    return rows;
}

void PrintTo(const Row& r, std::ostream* os) { *os << r.name; }

const std::vector<Row>& Table() {
    static const std::vector<Row> rows = ReadTable();
    return rows;
}

const Row* Find(const std::string& name) {
    for (const Row& r : Table())
        if (!r.shot && r.name == name) return &r;
    return nullptr;
}

std::string ScriptOf(const Row& r) {
    std::string script;
    for (const std::string& part : r.parts) {
        const std::string path = kGoldenDir + "/scripts/" + part + ".script";
        if (!testsupport::FileExists(path)) throw std::runtime_error("no script part " + path);
        script += testsupport::ReadFile(path);
    }
    return script;
}

// A program folder with the build's caves and pictures (hard links where
// possible; the game never writes them) and its catalogue without records,
// so that a game played in the build's own folder changes nothing here.
void MakeBareFolder(const std::string& dir) {
    for (const char* sub : {"Maps", "Pictures", "Replays"}) fs::create_directories(dir + "/" + sub);
    for (const char* sub : {"Maps", "Pictures"}) {
        for (const fs::directory_entry& e : fs::directory_iterator(std::string(QUILLRUN_GAME_DIR) + "/" + sub)) {
            const std::string name = e.path().filename().string();
            if (name == "Maps.ini" || !e.is_regular_file()) continue;
            const std::string target = dir + "/" + sub + "/" + name;
            std::error_code ec;
            fs::create_hard_link(e.path(), target, ec);
            if (ec) fs::copy_file(e.path(), target);
        }
    }
    std::istringstream ini(testsupport::ReadFile(std::string(QUILLRUN_GAME_DIR) + "/Maps/Maps.ini"));
    std::string catalogue, line;
    while (std::getline(ini, line))
        if (line.rfind("ScoreBest", 0) != 0 && line.rfind("ScoreName", 0) != 0) catalogue += line + "\n";
    testsupport::WriteFile(dir + "/Maps/Maps.ini", catalogue);
}

void RunRow(const Row& r, const std::string& dir, const std::vector<std::string>& extra) {
    std::vector<std::string> args = {"--until", std::to_string(r.dispatch), "--seed", std::to_string(r.seed)};
    args.insert(args.end(), extra.begin(), extra.end());
    const testsupport::SimResult result = testsupport::RunSim(dir, ScriptOf(r), args);
    if (result.status != 0)
        throw std::runtime_error("quillrun-sim failed for " + r.name + ": " + result.err);
}

// Brings `dir` (bare) to the state of preparation `name` and those before it.
void Prepare(const std::string& name, const std::string& dir, int depth = 0) {
    if (name == "-") return;
    const Row* r = Find(name);
    if (r == nullptr || depth > 20) throw std::runtime_error("no preparation row '" + name + "'");
    Prepare(r->after, dir, depth + 1);
    RunRow(*r, dir, {});
}

bool SamePixels(const Shot& a, const Shot& b) {
    return a.width == b.width && a.height == b.height && a.pixels == b.pixels;
}

// The golden dimmed to a third, with every pixel that differs in red.
bool WriteDifference(const Shot& golden, const Shot& actual, const std::string& path) {
    const int w = std::max(golden.width, actual.width);
    const int h = std::max(golden.height, actual.height);
    std::unique_ptr<Surface, void (*)(Surface*)> s(CreateSurface(w, h), DestroySurface);
    if (!s) return false;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const bool inGolden = x < golden.width && y < golden.height;
            const bool inActual = x < actual.width && y < actual.height;
            const uint32_t g = inGolden ? golden.At(x, y) : 0;
            uint32_t c = ((g >> 2) & 0x3F3F3F) + ((g >> 4) & 0x0F0F0F);  // about a third
            if (!inGolden || !inActual || actual.At(x, y) != g) c = 0x0000FF;
            SetPixel(s.get(), x, y, c);
        }
    return WritePng(s.get(), path);
}

bool Updating() {
    const char* v = std::getenv("QUILLRUN_UPDATE_GOLDEN");
    return v != nullptr && std::string(v) == "1";
}

class Golden : public testing::TestWithParam<Row> {};

TEST_P(Golden, ShotMatches) {
    const Row& r = GetParam();
    const std::string work = kBuildDir + "/golden-work/" + r.name;
    testsupport::RemoveTree(work);
    MakeBareFolder(work + "/game");
    Prepare(r.after, work + "/game");
    const std::string actualPath = work + "/shot.png";
    RunRow(r, work + "/game", {"--shot", std::to_string(r.dispatch) + ":" + actualPath});
    const Shot actual = testsupport::ReadShot(actualPath);
    ASSERT_EQ(actual.width, 600) << "no shot at dispatch " << r.dispatch;

    const std::string goldenPath = kGoldenDir + "/" + r.name + ".png";
    const Shot golden = testsupport::ReadShot(goldenPath);
    if (Updating()) {
        if (!SamePixels(golden, actual)) {
            fs::copy_file(actualPath, goldenPath, fs::copy_options::overwrite_existing);
            fs::permissions(goldenPath, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                                            fs::perms::others_read);
            std::printf("golden %s: %s\n", golden.width == 0 ? "new" : "changed", goldenPath.c_str());
        }
        testsupport::RemoveTree(work);
        return;
    }
    ASSERT_GT(golden.width, 0) << "no golden " << goldenPath << " (make it with scripts/test --update-golden)";
    const std::string diffDir = kBuildDir + "/golden-diff";
    const std::string keptActual = diffDir + "/" + r.name + ".actual.png";
    const std::string diffPath = diffDir + "/" + r.name + ".diff.png";
    if (SamePixels(golden, actual)) {
        testsupport::RemoveTree(work);
        testsupport::RemoveTree(keptActual);  // from an earlier failure
        testsupport::RemoveTree(diffPath);
        return;
    }
    fs::create_directories(diffDir);
    fs::copy_file(actualPath, keptActual, fs::copy_options::overwrite_existing);
    const bool diffWritten = WriteDifference(golden, actual, diffPath);
    int changed = 0;
    if (golden.width == actual.width && golden.height == actual.height)
        for (size_t i = 0; i < actual.pixels.size(); ++i) changed += actual.pixels[i] != golden.pixels[i];
    ADD_FAILURE() << r.name << " (tests/golden/shots.txt line " << r.line << ") differs from " << goldenPath
                  << " in " << changed << " pixels (" << golden.width << "x" << golden.height << " vs "
                  << actual.width << "x" << actual.height << ").\n  actual shot: " << keptActual
                  << "\n  difference:  " << (diffWritten ? diffPath : "(could not be written)");
}

std::vector<Row> Shots() {
    std::vector<Row> shots;
    for (const Row& r : Table())
        if (r.shot) shots.push_back(r);
    return shots;
}

std::string ShotName(const testing::TestParamInfo<Row>& info) {
    std::string name;
    for (char c : info.param.name) name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(Screens, Golden, testing::ValuesIn(Shots()), ShotName);

}  // namespace
