// The score upload: the request for a map's record, the reachability check,
// and the score list in the browser.
#include "online/score_upload.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>

#include "base/codepage.h"
#include "base/game_paths.h"
#include "base/game_state.h"
#include "base/number_text.h"
#include "maps/settings_file.h"
#include "online/http_client.h"
#include "online/known_map_sizes.h"
#include "platform/platform.h"

#ifndef QUILLRUN_SCORE_SERVER
#define QUILLRUN_SCORE_SERVER "localhost:8080"
#endif
#ifndef QUILLRUN_SCORE_SITE
#define QUILLRUN_SCORE_SITE "localhost:8080"
#endif

namespace {

constexpr long kRequestLimitMs = 10000;
constexpr int kConnectLimitMs = 3000;

// The compiled-in host name unless Maps.ini has an [Online] override.
std::string ConfiguredHost(const char* key, const char* fallback) {
    std::string value = ReadIniValue("Online", key, gs.mapsIniPath);
    return value.empty() ? std::string(fallback) : value;
}

std::string ServerAddress() { return "http://" + ConfiguredHost("Server", QUILLRUN_SCORE_SERVER); }

std::string ScoreListPage() { return "http://" + ConfiguredHost("Site", QUILLRUN_SCORE_SITE) + "/index2.php?game=4"; }

std::string ReplaceAmpersands(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (c == '&') out += "and";
        else out += c;
    }
    return out;
}

void AppendEscapedByte(std::string& out, unsigned char b) {
    static const char hex[] = "0123456789ABCDEF";
    out += '%';
    out += hex[b >> 4];
    out += hex[b & 15];
}

// The five codes that Windows-1252 leaves unused stand for the C1 controls
// of the same number, as Windows itself converts them.
uint32_t CodePoint(unsigned char c) {
    const uint32_t u = Cp1252ToUnicode(c);
    return u == 0 && c != 0 ? c : u;
}

// A query value as it goes on the wire: bytes that would change the query's
// structure or cannot stand in a URL are percent-encoded, text beyond ASCII
// as the UTF-8 of its Windows-1252 character; everything else stays as it is.
std::string EscapeQueryValue(const std::string& text) {
    std::string out;
    out.reserve(text.size() * 3);
    for (char ch : text) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (c >= 0x80) {
            std::string one;
            AppendUtf8(one, CodePoint(c));
            for (char u : one) AppendEscapedByte(out, static_cast<unsigned char>(u));
        } else if (c <= 0x20 || c == 0x7F || c == '#' || c == '%' || c == '+' || c == '?' || c == '=' ||
                   c == '&') {
            AppendEscapedByte(out, c);
        } else {
            out += ch;
        }
    }
    return out;
}

std::string TodayText() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
    return text;
}

std::string ScoreRequest(int16_t map) {
    const MapEntry& entry = gs.maps[map];
    const std::string score = FloatText(entry.scoreBest);
    return ServerAddress() + "/files/games/quillrun/score.php?id=" + std::to_string(map) +
           "&nmn=" + EscapeQueryValue(ReplaceAmpersands(entry.name)) + "&nsc=" + EscapeQueryValue(score) +
           "&npn=" + EscapeQueryValue(ReplaceAmpersands(entry.scoreName)) + "&nsd=" + TodayText() +
           "&nreplay=" + EscapeQueryValue(score);
}

}  // namespace

bool IsOnline() {
    std::string address = ServerAddress().substr(7);
    std::string host;
    int port = 0;
    if (!SplitHostPort(address, &host, &port)) return false;
    return TcpReachable(host, port, kConnectLimitMs);
}

std::string FileSizeText(const std::string& path) {
    // Opening without any access right, as the size needs none; a folder
    // counts as a file that cannot be opened.
    const int fd = open(path.c_str(), O_PATH | O_CLOEXEC);
    if (fd < 0) return "0";
    struct stat st {};
    int32_t low = 0;
    if (fstat(fd, &st) == 0 && !S_ISDIR(st.st_mode)) {
        low = static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(st.st_size) & 0xFFFFFFFFu));
    }
    close(fd);
    return std::to_string(low);
}

void UploadScore() {
    if (!IsOnline()) {
        PlatformMessageBox("You must connect to the Internet first!", "Quillrun");
        return;
    }
    const int16_t map = gs.selectedMap;
    if (map < 1 || map > kKnownMaps) return;
    if (FileSizeText(MapFolderFor(gs.maps[map].file) + "/" + gs.maps[map].file) != knownMapSizes[map]) return;

    if (HttpGetWhilePolling(ScoreRequest(map), kRequestLimitMs, PlatformDispatchEvents)) {
        PlatformPlaySound(SoundId::kUpload, 1);
    }

    if (PlatformAskYesNo("Your score uploaded! Do you want to check if you got to the list?", "Uploading Score")) {
        PlatformOpenUrl(ScoreListPage());
    }
}
