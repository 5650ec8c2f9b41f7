// The score upload: the request for a map's record, then its best run for
// the server to prove, what the server answered, and the score list in the
// browser.
// SPDX-License-Identifier: MIT
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
#include "base/regular_file.h"
#include "maps/known_map_sizes.h"
#include "maps/settings_file.h"
#include "online/http_client.h"
#include "online/score_server.h"
#include "platform/platform.h"
#include "replay/replay_file.h"

namespace {

constexpr size_t kReasonBytes = 200;  // of a refusal's reason, shown in a box

// The first line of a refusal's plain-text body, as game text without
// control characters.
std::string RefusalReason(const std::string& body) {
    std::string reason;
    for (char c : Utf8ToCp1252(body.substr(0, body.find('\n')))) {
        if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7F && reason.size() < kReasonBytes) reason += c;
    }
    return reason;
}

// Says what became of the request, and on a stored score offers the list.
void ReportAnswer(const HttpAnswer& answer) {
    if (answer.status == 200) {
        if (!PlatformAskYesNo("Your score uploaded! Do you want to check if you got to the list?", kUploadCaption))
            return;
        const std::string page = ScoreListPage();
        if (!PlatformOpenUrl(page))
            PlatformMessageBox("The score list could not be opened in a web browser. Its address is:\r\n" + page,
                               kUploadCaption);
    } else if (answer.status == 0) {
        TellServer(std::string("did not answer") +
                   (answer.timedOut ? " within " + std::to_string(kRequestLimitMs / 1000) + " seconds" : "") +
                   ". Your score may not have been uploaded.");
    } else if (answer.status >= 400 && answer.status < 500 && !RefusalReason(answer.body).empty()) {
        TellServer("refused the score: " + RefusalReason(answer.body));
    } else {
        TellServer("did not take the score (status " + std::to_string(answer.status) + ").");
    }
}

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

// The query values of the upload, taken once: the run that goes after it
// carries the same map, score, holder and date.
struct UploadQuery {
    std::string id, nmn, nsc, npn, nsd;
};

UploadQuery QueryFor(int16_t map) {
    const MapEntry& entry = gs.maps[map];
    return {std::to_string(map), EscapeQueryValue(ReplaceAmpersands(entry.name)),
            EscapeQueryValue(FloatText(entry.scoreBest)), EscapeQueryValue(ReplaceAmpersands(entry.scoreName)),
            TodayText()};
}

std::string ScoreRequest(const UploadQuery& q) {
    return ServerAddress() + "/files/games/quillrun/score.php?id=" + q.id + "&nmn=" + q.nmn + "&nsc=" + q.nsc +
           "&npn=" + q.npn + "&nsd=" + q.nsd + "&nreplay=" + q.nsc;
}

// The map's best run goes after its stored score, for the server to prove.
// Whatever it answers (a server without the route says 404) changes nothing
// for the player.
void SendRun(int16_t map, const UploadQuery& q) {
    std::string replay;
    if (ReadRegularFile(ReplayPath(map), kMaxReplayBytes, replay) != FileRead::kOk) return;
    const std::string url =
        ServerAddress() + "/api/runs?id=" + q.id + "&nsc=" + q.nsc + "&npn=" + q.npn + "&nsd=" + q.nsd;
    HttpPostWhilePolling(url, replay, kRequestLimitMs, PlatformDispatchEvents);
}

}  // namespace

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
    if (!ServerReachable("Your score was not uploaded.")) return;
    const int16_t map = gs.selectedMap;
    if (map < 1 || map > kKnownMaps) return;
    if (FileSizeText(MapFolderFor(gs.maps[map].file) + "/" + gs.maps[map].file) != knownMapSizes[map]) return;

    const UploadQuery query = QueryFor(map);
    const HttpAnswer answer = HttpGetWhilePolling(ScoreRequest(query), kRequestLimitMs, PlatformDispatchEvents);
    if (answer.status != 0) PlatformPlaySound(SoundId::kUpload, 1);
    if (answer.status == 200) SendRun(map, query);
    ReportAnswer(answer);
}
