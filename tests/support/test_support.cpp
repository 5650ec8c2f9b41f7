// Helpers shared by the tests: folders, BMP fixtures, running quillrun-sim,
// reading PNG shots.
#include "test_support.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "gfx/png_codec.h"

#ifndef QUILLRUN_SIM
#define QUILLRUN_SIM "quillrun-sim"
#endif

namespace testsupport {

std::string MakeTempDir(const std::string& prefix) {
    std::string templ = "/tmp/" + prefix + "-XXXXXX";
    std::vector<char> buf(templ.begin(), templ.end());
    buf.push_back('\0');
    if (mkdtemp(buf.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    return buf.data();
}

void WriteFile(const std::string& path, const std::string& content) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream f(path, std::ios::binary);
    f << content;
    if (!f) throw std::runtime_error("cannot write " + path);
}

std::string ReadFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

bool FileExists(const std::string& path) { return std::filesystem::exists(path); }

void RemoveTree(const std::string& path) {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
}

namespace {
void Put16(std::string& s, uint16_t v) {
    s.push_back(static_cast<char>(v & 0xFF));
    s.push_back(static_cast<char>(v >> 8));
}
void Put32(std::string& s, uint32_t v) {
    for (int i = 0; i < 4; ++i) s.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}
}  // namespace

void WriteBmp24(const std::string& path, int width, int height,
                const std::function<uint32_t(int x, int y)>& pixel) {
    const int rowBytes = (width * 3 + 3) & ~3;
    std::string s;
    s += "BM";
    Put32(s, 54 + static_cast<uint32_t>(rowBytes) * height);
    Put32(s, 0);
    Put32(s, 54);
    Put32(s, 40);
    Put32(s, static_cast<uint32_t>(width));
    Put32(s, static_cast<uint32_t>(height));
    Put16(s, 1);
    Put16(s, 24);
    Put32(s, 0);
    Put32(s, static_cast<uint32_t>(rowBytes) * height);
    Put32(s, 2835);
    Put32(s, 2835);
    Put32(s, 0);
    Put32(s, 0);
    for (int y = height - 1; y >= 0; --y) {
        for (int x = 0; x < width; ++x) {
            uint32_t c = pixel(x, y);
            s.push_back(static_cast<char>((c >> 16) & 0xFF));  // blue
            s.push_back(static_cast<char>((c >> 8) & 0xFF));   // green
            s.push_back(static_cast<char>(c & 0xFF));          // red
        }
        for (int i = width * 3; i < rowBytes; ++i) s.push_back('\0');
    }
    WriteFile(path, s);
}

void WriteCorridorBmp(const std::string& path, int width, int top, int bottom) {
    WriteBmp24(path, width, 200, [&](int, int y) { return (y >= top && y <= bottom) ? 0u : 0x808080u; });
}

void WriteTestShip(const std::string& path) {
    WriteBmp24(path, 18, 18, [](int, int y) { return y < 9 ? 0xFFFFFFu : 0x000000u; });
}

std::string MakeGameDir(const std::string& mapsIni) {
    std::string dir = MakeTempDir("quillrun-game");
    std::filesystem::create_directories(dir + "/Maps");
    std::filesystem::create_directories(dir + "/Pictures");
    std::filesystem::create_directories(dir + "/Replays");
    WriteTestShip(dir + "/Pictures/Ship.jpg");
    WriteBmp24(dir + "/Pictures/background.jpg", 622, 216, [](int x, int y) { return ((x + y) & 1) ? 0x202020u : 0x101010u; });
    WriteBmp24(dir + "/Pictures/Help.jpg", 600, 216, [](int, int) { return 0x404040u; });
    std::string ini;
    for (char c : mapsIni) {
        if (c == '\n') ini += "\r\n";
        else ini += c;
    }
    WriteFile(dir + "/Maps/Maps.ini", ini);
    return dir;
}

Shot ReadShot(const std::string& path) {
    Shot s;
    const std::string file = ReadFile(path);
    DecodedPicture picture;
    if (!DecodePng(reinterpret_cast<const uint8_t*>(file.data()), file.size(), &picture)) return s;
    s.width = picture.width;
    s.height = picture.height;
    s.pixels.resize(picture.pixels.size());
    for (size_t i = 0; i < s.pixels.size(); ++i) s.pixels[i] = picture.pixels[i] & 0xFFFFFFu;
    return s;
}

int Shot::Count(uint32_t colour, int x0, int y0, int x1, int y1) const {
    int n = 0;
    for (int y = y0 < 0 ? 0 : y0; y < y1 && y < height; ++y)
        for (int x = x0 < 0 ? 0 : x0; x < x1 && x < width; ++x)
            if (At(x, y) == colour) ++n;
    return n;
}

int RunCommand(const std::string& command, std::string* output) {
    FILE* p = popen(command.c_str(), "r");
    if (p == nullptr) return -1;
    std::string out;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    int status = pclose(p);
    if (output) *output = out;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

SimResult RunSim(const std::string& gameDir, const std::string& script,
                 const std::vector<std::string>& extraArgs) {
    std::string work = MakeTempDir("quillrun-sim");
    WriteFile(work + "/script.txt", script);
    // The fuzzing seeds include every script the tests run.
    if (const char* keep = std::getenv("QUILLRUN_KEEP_SCRIPTS"); keep != nullptr && *keep != '\0') {
        ::mkdir(keep, 0755);
        WriteFile(std::string(keep) + "/" + std::to_string(std::hash<std::string>{}(script)) + ".txt", script);
    }
    std::string cmd = std::string("'") + QUILLRUN_SIM + "' --game-dir '" + gameDir + "' --script '" + work +
                      "/script.txt' --trace '" + work + "/trace.txt'";
    for (const auto& a : extraArgs) cmd += " '" + a + "'";
    cmd += " >'" + work + "/out.txt' 2>'" + work + "/err.txt'";
    SimResult r;
    int status = std::system(cmd.c_str());
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = ReadFile(work + "/out.txt");
    r.err = ReadFile(work + "/err.txt");
    std::istringstream t(ReadFile(work + "/trace.txt"));
    std::string line;
    while (std::getline(t, line)) {
        TraceLine l;
        std::istringstream ls(line);
#define COLUMN_COUNT(name, value) ls >> l.name;
#define COLUMN_INT(name, value) ls >> l.name;
#define COLUMN_FLAG(name, value) ls >> l.name;
#define COLUMN_FLOAT(name, value) ls >> l.name;
#include "headless/trace_columns.def"
#undef COLUMN_COUNT
#undef COLUMN_INT
#undef COLUMN_FLAG
#undef COLUMN_FLOAT
        if (ls) r.trace.push_back(l);
    }
    RemoveTree(work);
    return r;
}

}  // namespace testsupport
