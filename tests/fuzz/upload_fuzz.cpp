// The score server's upload request as arbitrary bytes. As the query text:
// an accepted upload holds UTF-8 names within the limits and reads back the
// same when sent again, and the list page and the JSON built from it carry
// its names escaped, never as markup. As the raw request head: the server's
// bounds refuse exactly the request lines and header blocks past their
// limits, however the bytes arrive.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/codepage.h"
#include "fuzz_support.h"
#include "server/json_text.h"
#include "server/request_head.h"
#include "server/score_page.h"
#include "server/upload_request.h"

namespace {

using fuzzsupport::Require;

const std::string kToday = "2026-12-07";

// Code points of well-formed UTF-8; -1 when it holds a control character.
long NameLength(const std::string& utf8) {
    long count = 0;
    uint32_t u = 0;
    for (size_t i = 0; i < utf8.size(); ++count) {
        Require(NextUtf8(utf8, &i, &u), "an accepted name is well-formed UTF-8");
        if (u < 0x20 || (u >= 0x7F && u < 0xA0)) return -1;
    }
    return count;
}

// Every byte percent-encoded: how any client may send the stored text.
std::string Encoded(const std::string& text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) out += {'%', kHex[c >> 4], kHex[c & 15]};
    return out;
}

// Page text back to plain text; false on a markup character or an '&' that
// starts none of the references HtmlEscape writes.
bool Unescape(const std::string& cell, std::string* plain) {
    static const std::pair<std::string, char> kReferences[] = {
        {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&#39;", '\''}};
    plain->clear();
    for (size_t i = 0; i < cell.size();) {
        const char c = cell[i];
        if (c == '<' || c == '>' || c == '"' || c == '\'') return false;
        if (c != '&') {
            *plain += c;
            ++i;
            continue;
        }
        bool known = false;
        for (const auto& [reference, character] : kReferences) {
            if (cell.compare(i, reference.size(), reference) == 0) {
                *plain += character;
                i += reference.size();
                known = true;
                break;
            }
        }
        if (!known) return false;
    }
    return true;
}

// Each place on the page that starts with `open` shows `name`, escaped, up to
// the next tag.
void RequireShownEscaped(const std::string& page, const std::string& open, const std::string& name,
                         const char* what) {
    size_t at = page.find(open);
    Require(at != std::string::npos, what);
    for (; at != std::string::npos; at = page.find(open, at + 1)) {
        const size_t from = at + open.size();
        const size_t to = page.find('<', from);
        std::string plain;
        Require(to != std::string::npos && Unescape(page.substr(from, to - from), &plain) && plain == name, what);
    }
}

// JSON for a page's script or a browser: UTF-8, no markup characters, no raw
// control characters.
void RequireSafeJson(const std::string& json) {
    Require(IsUtf8(json), "the JSON is UTF-8");
    for (size_t i = 0; i < json.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(json[i]);
        Require(c != '<' && c != '>' && c != '&', "the JSON carries no markup character");
        Require(c >= 0x20 || (c == '\n' && i + 1 == json.size()), "the JSON carries no raw control character");
    }
}

// The bytes as a request head, against limits small enough for the fuzzer
// to pass them often (the server's are 8192 bytes each).
void CheckHead(const std::string& bytes) {
    constexpr size_t kLine = 256, kBlock = 512;
    RequestHead whole(kLine, kBlock), pieces(kLine, kBlock);
    const int verdict = whole.Scan(bytes.data(), bytes.size());
    const size_t step = bytes.empty() ? 1 : 1 + static_cast<unsigned char>(bytes[0]) % 7;
    int last = 0;
    for (size_t at = 0; at < bytes.size(); at += step) last = pieces.Scan(&bytes[at], std::min(step, bytes.size() - at));
    Require(last == verdict && pieces.Ended() == whole.Ended() && pieces.RequestLine() == whole.RequestLine(),
            "a head read in pieces is read as in one");

    // The request line ends at the first LF, the header block at the first
    // line that holds nothing but CRs.
    const size_t lineEnd = std::min(bytes.find('\n'), bytes.size());
    size_t blockEnd = std::string::npos;
    for (size_t i = lineEnd + 1, lineStart = i; i < bytes.size() && blockEnd == std::string::npos; ++i) {
        if (bytes[i] != '\n') continue;
        if (bytes.find_first_not_of('\r', lineStart) == i) blockEnd = i;
        lineStart = i + 1;
    }
    int expected = 0;
    bool ended = false;
    if (lineEnd > kLine) {
        expected = 414;
    } else if (lineEnd < bytes.size()) {
        ended = blockEnd != std::string::npos && blockEnd - lineEnd <= kBlock;
        if (!ended && bytes.size() - lineEnd - 1 > kBlock) expected = 431;
    }
    Require(verdict == expected, "a head is refused exactly when its request line or header block is past its limit");
    Require(whole.Ended() == ended, "a head ends at its first blank line within the limits");
    std::string logged;
    for (size_t i = 0; i < std::min(lineEnd, kLine) && logged.size() < RequestHead::kLoggedLine; ++i) {
        if (bytes[i] != '\r') logged += bytes[i];
    }
    Require(whole.RequestLine() == logged, "the log keeps the request line's start without CRs");

    // What follows an ended or refused head changes nothing; a reset starts over.
    if (whole.Ended() || verdict != 0) {
        const bool ended = whole.Ended();
        const std::string more(kBlock + 2, 'x');
        Require(whole.Scan(more.data(), more.size()) == verdict && whole.Ended() == ended,
                "an ended or refused head stays so");
    }
    pieces.Reset();
    Require(pieces.Scan(bytes.data(), bytes.size()) == verdict && pieces.RequestLine() == logged,
            "a reset head reads the next request afresh");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string query(reinterpret_cast<const char*>(data), size);
    CheckHead(query);
    const UploadParse parsed = ParseUpload(query, kToday);
    if (!parsed.ok) {
        Require(!parsed.reason.empty() && parsed.reason.find('\n') == std::string::npos,
                "a refusal says why in one line");
        return 0;
    }
    const Upload& u = parsed.upload;
    Require(u.mapId >= kFirstMap && u.mapId <= kLastMap, "the map number is 1..26");
    Require(u.score >= 0 && u.score <= 32767, "the score is 0..32767");
    Require(IsCalendarDate(u.playedOn) && u.playedOn <= NextDay(kToday), "the date is a day, at most tomorrow");
    for (const std::string* name : {&u.mapName, &u.holder}) {
        const long length = NameLength(*name);
        Require(length >= 1 && length <= 254, "an accepted name has 1..254 characters, no control character");
    }

    // Sent again as plainly as can be, the stored upload reads back the same.
    const UploadParse again = ParseUpload("nreplay=" + std::to_string(u.score) + "&npn=" + Encoded(u.holder) +
                                              "&nsd=" + u.playedOn + "&nmn=" + Encoded(u.mapName) +
                                              "&nsc=" + std::to_string(u.score) + "&id=" + std::to_string(u.mapId),
                                          kToday);
    Require(again.ok && again.upload.mapName == u.mapName && again.upload.holder == u.holder &&
                again.upload.mapId == u.mapId && again.upload.score == u.score && again.upload.playedOn == u.playedOn,
            "a stored upload sent again reads back the same");

    // The page: no official names given, so the latest uploads show the name
    // the client sent, as do the map's heading and its ranking.
    const std::vector<MapScores> maps = {{u.mapId, u.mapName, {{u.holder, u.score, u.playedOn}}}};
    const std::string page = RenderScorePage(maps, {u}, {});
    Require(IsUtf8(page), "the page is UTF-8");
    RequireShownEscaped(page, "<td class=\"holder\">", u.holder, "the holder is shown escaped");
    RequireShownEscaped(page, "<a href=\"#map-" + std::to_string(u.mapId) + "\">", u.mapName,
                        "the sent map name is shown escaped");
    RequireShownEscaped(page, "<span class=\"number\">" + std::to_string(u.mapId) + "</span> ", u.mapName,
                        "the map's heading is shown escaped");

    RequireSafeJson(UploadsJson({u}));
    RequireSafeJson(MapScoresJson(maps[0]));
    RequireSafeJson(MapsJson(maps));
    return 0;
}
