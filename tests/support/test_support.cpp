// Helpers shared by the tests: folders, BMP fixtures, running quillrun-sim,
// reading PNG shots.
// SPDX-License-Identifier: MIT
#include "test_support.h"

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

#include "gfx/png_codec.h"

namespace testsupport {

std::string MakeTempDir(const std::string& prefix) {
    std::string templ = "/tmp/" + prefix + "-XXXXXX";
    if (mkdtemp(templ.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    return templ;
}

void WriteFile(const std::string& path, const std::string& content) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream f(path, std::ios::binary);
    f << content;
    if (!f) throw std::runtime_error("cannot write " + path);
}

std::string ReadFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

bool FileExists(const std::string& path) { return std::filesystem::exists(path); }

void RemoveTree(const std::string& path) {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
}

void WriteBmp24(const std::string& path, int width, int height,
                const std::function<uint32_t(int x, int y)>& pixel) {
    const uint32_t rowBytes = (width * 3 + 3) & ~3, size = rowBytes * height;
    // The file header, then the 40-byte info header: one plane, 24 bits, no
    // compression, 72 dpi, no palette; each field little-endian.
    const std::pair<uint32_t, int> fields[] = {
        {0x4D42, 2}, {54 + size, 4}, {0, 4},  {54, 4},   {40, 4},   {width, 4}, {height, 4},
        {1, 2},      {24, 2},        {0, 4},  {size, 4}, {2835, 4}, {2835, 4},  {0, 4}, {0, 4}};
    std::string s;
    for (const auto& [value, bytes] : fields)
        for (int i = 0; i < bytes; ++i) s.push_back(static_cast<char>(value >> (8 * i)));
    for (int y = height - 1; y >= 0; --y) {
        for (int x = 0; x < width; ++x)
            for (int shift : {16, 8, 0}) s.push_back(static_cast<char>(pixel(x, y) >> shift));  // blue, green, red
        s.append(rowBytes - width * 3, '\0');
    }
    WriteFile(path, s);
}

void WriteCorridorBmp(const std::string& path, int width, int top, int bottom) {
    WriteBmp24(path, width, 200, [&](int, int y) { return (y >= top && y <= bottom) ? 0u : 0x808080u; });
}

std::string MakeGameDir(const std::string& mapsIni) {
    std::string dir = MakeTempDir("quillrun-game");
    std::filesystem::create_directories(dir + "/Replays");
    // The loader goes by content: BMPs under the names the game asks for.
    WriteBmp24(dir + "/Pictures/Ship.jpg", 18, 18, [](int, int y) { return y < 9 ? 0xFFFFFFu : 0u; });
    WriteBmp24(dir + "/Pictures/background.jpg", 622, 216,
               [](int x, int y) { return ((x + y) & 1) ? 0x202020u : 0x101010u; });
    WriteBmp24(dir + "/Pictures/Help.jpg", 600, 216, [](int, int) { return 0x404040u; });
    std::string ini;
    for (char c : mapsIni) ini += c == '\n' ? std::string("\r\n") : std::string(1, c);
    WriteFile(dir + "/Maps/Maps.ini", ini);
    return dir;
}

Shot ReadShot(const std::string& path) {
    const std::string file = ReadFile(path);
    DecodedPicture picture;
    if (!DecodePng(reinterpret_cast<const uint8_t*>(file.data()), file.size(), &picture)) return {};
    Shot s{picture.width, picture.height, {}};
    for (uint32_t p : picture.pixels) s.pixels.push_back(p & 0xFFFFFFu);
    return s;
}

int RunCommand(const std::string& command, std::string* output) {
    FILE* p = popen(command.c_str(), "r");
    if (p == nullptr) return -1;
    std::string out;
    char buf[4096];
    for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
    const int status = pclose(p);
    if (output) *output = out;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

SimResult RunSim(const std::string& gameDir, const std::string& script,
                 const std::vector<std::string>& extraArgs, long shotAt) {
    const std::string work = MakeTempDir("quillrun-sim");
    WriteFile(work + "/script.txt", script);
    // The fuzzing seeds include every script the tests run.
    if (const char* keep = std::getenv("QUILLRUN_KEEP_SCRIPTS"); keep != nullptr && *keep != '\0')
        WriteFile(std::string(keep) + "/" + std::to_string(std::hash<std::string>{}(script)) + ".txt", script);
    std::string cmd = std::string("'") + QUILLRUN_SIM + "' --game-dir '" + gameDir + "' --script '" + work +
                      "/script.txt' --trace '" + work + "/trace.txt'";
    if (shotAt > 0) cmd += " --shot '" + std::to_string(shotAt) + ":" + work + "/shot.png'";
    for (const auto& a : extraArgs) cmd += " '" + a + "'";
    SimResult r;
    r.status = RunCommand(cmd + " >'" + work + "/out.txt' 2>'" + work + "/err.txt'");
    r.out = ReadFile(work + "/out.txt");
    r.err = ReadFile(work + "/err.txt");
    if (const size_t at = r.out.find("virtual time: "); at != std::string::npos)
        r.virtualTime = std::stol(r.out.substr(at + 14));
    r.shot = ReadShot(work + "/shot.png");
    std::istringstream trace(ReadFile(work + "/trace.txt"));
    for (std::string line; std::getline(trace, line);) {
        TraceLine l;
        std::istringstream ls(line);
#define COLUMN_COUNT(name, value) ls >> l.name;
#define COLUMN_INT(name, value) ls >> l.name;
#define COLUMN_FLAG(name, value) ls >> l.name;
#define COLUMN_FLOAT(name, value) ls >> l.name;
#include "headless/trace_columns.def"
        if (ls) r.trace.push_back(l);
    }
    RemoveTree(work);
    return r;
}

}  // namespace testsupport
