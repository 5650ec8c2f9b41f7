// The score server's upload query as arbitrary bytes: an accepted upload
// holds UTF-8 names within the limits and reads back the same when sent
// again, and the list page shows its names escaped, never as markup. (Each
// refusal's reason, the escaping itself and the bounds on the request head
// are pinned by the server's unit tests.)
// SPDX-License-Identifier: MIT
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/codepage.h"
#include "fuzz_support.h"
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

// Each place on the page that starts with `open` shows `name` escaped, then
// `close`.
void RequireShownEscaped(const std::string& page, const std::string& open, const std::string& name,
                         const std::string& close, const char* what) {
    const std::string shown = open + HtmlEscape(name) + close;
    size_t at = page.find(open);
    Require(at != std::string::npos, what);
    for (; at != std::string::npos; at = page.find(open, at + 1))
        Require(page.compare(at, shown.size(), shown) == 0, what);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const UploadParse parsed = ParseUpload(std::string(reinterpret_cast<const char*>(data), size), kToday);
    if (!parsed.ok) return 0;
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
    const std::string page = RenderScorePage(maps, {u}, {}, false);
    RequireShownEscaped(page, "<td class=\"holder\"><span title=\"", u.holder, "\">" + HtmlEscape(u.holder) + "<",
                        "the holder is shown escaped, in its title too");
    RequireShownEscaped(page, "<a href=\"#map-" + std::to_string(u.mapId) + "\">", u.mapName, "<",
                        "the sent map name is shown escaped");
    RequireShownEscaped(page, "<span class=\"number\">" + std::to_string(u.mapId) + "</span> ", u.mapName, "<",
                        "the map's heading is shown escaped");
    return 0;
}
