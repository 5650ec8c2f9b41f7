// The score server's pieces in-process: reading an upload's query and every
// refusal of one, escaping, the bounds on a request's head, and the rate limit.
// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <regex>
#include <thread>
#include <tuple>

#include "base/codepage.h"
#include "server/json_text.h"
#include "server/log_queue.h"
#include "server/rate_limiter.h"
#include "server/request_head.h"
#include "server/score_page.h"
#include "server/upload_request.h"

namespace {

const std::string kToday = "2026-12-07";
const std::string kGame = "id=3&nmn=Deep&nsc=725&npn=Pilot%20and%20Co&nsd=2026-12-06&nreplay=725";

// Names in UTF-8 are kept, others read as Windows-1252 (older clients send
// that); '+' is a blank; a name's limit counts characters, not bytes.
TEST(UploadQuery, AcceptedRequestsAndTheirValues) {
    struct Case { std::string query, mapName, holder; int id, score; std::string date; } cases[] = {
        {kGame, "Deep", "Pilot and Co", 3, 725, "2026-12-06"},
        {"nreplay=0&nsd=2026-12-08&npn=A&nsc=0&nmn=B&id=26", "B", "A", 26, 0, "2026-12-08"},  // any order, tomorrow
        {"id=1&nmn=Caf%c3%a9+Bar&nsc=32767&npn=J%F6rg&nsd=2024-02-29&nreplay=32767&x=1&x=2", "Café Bar", "Jörg", 1,
         32767, "2024-02-29"},  // other parameters ignored, even repeated
        {"id=01&nmn=%E2%82%AC&nsc=007&npn=%80%81&nsd=2000-01-01&nreplay=7&&", "€", "€\xEF\xBF\xBD", 1, 7, "2000-01-01"},
        {"id=9&nmn=" + std::string(254, '\xE9') + "&nsc=1&npn=%C2%A0x&nsd=2000-02-29&nreplay=1",
         Cp1252ToUtf8(std::string(254, '\xE9')), "\xC2\xA0x", 9, 1, "2000-02-29"},
        {"id=2&nmn=Zo%C3%AB%E2%80%8A%E2%80%AFx&nsc=5&npn=%DCnal+%84%9B%AD&nsd=2026-12-07&nreplay=5",
         "Zoë\u200A\u202Fx", "Ünal „›\u00AD", 2, 5, "2026-12-07"},  // beside the refused ranges; soft hyphen
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.query);
        const UploadParse p = ParseUpload(c.query, kToday);
        EXPECT_TRUE(p.ok) << p.reason;
        EXPECT_EQ(std::tie(p.upload.mapId, p.upload.mapName, p.upload.holder, p.upload.score, p.upload.playedOn),
                  std::tie(c.id, c.mapName, c.holder, c.score, c.date));
    }
    EXPECT_EQ(NextDay("2026-12-31"), "2027-01-01");
    EXPECT_EQ(NextDay("2023-02-28"), "2023-03-01");
}

TEST(UploadQuery, RefusedRequestsSayWhy) {
    auto with = [](const std::string& key, const std::string& value) {  // kGame with one value changed
        std::string q = kGame;
        const size_t at = q.find(key + "=") + key.size() + 1;
        return q.replace(at, q.find('&', at) - at, value);
    };
    const std::string id = "id must be a map number from 1 to 26", nsc = "nsc must be a whole number from 0 to 32767",
                      date = "nsd must be a date YYYY-MM-DD", control = "npn holds a control character";
    const std::pair<std::string, std::string> cases[] = {
        {"", "missing parameter id"}, {kGame.substr(5), "missing parameter id"},
        {kGame + "&id=4", "repeated parameter id"}, {kGame + "&i%64=4", "repeated parameter id"},
        {with("nmn", "De%2"), "bad percent-encoding"}, {with("nmn", "De%zzp"), "bad percent-encoding"},
        {with("id", "27"), id}, {with("id", "0"), id}, {with("id", "+3"), id}, {with("id", "9999999999"), id},
        {with("nsc", "32768"), nsc}, {with("nsc", "7e2"), nsc}, {with("nreplay", "724"), "nreplay must equal nsc"},
        {with("nsd", "2026-11-31"), date}, {with("nsd", "2100-02-29"), date}, {with("nsd", "0000-01-01"), date},
        {with("nsd", "2026-13-01"), date}, {with("nsd", "2026-12-6"), date}, {with("nsd", "2026-12-0x"), date},
        {with("nsd", "2026-12-09"), "nsd lies in the future"}, {with("npn", ""), "npn is empty"},
        {with("npn", "a%1Fb"), control}, {with("npn", "%7F"), control}, {with("npn", "a%C2%9Fb"), control},
        {with("npn", "%00%E9"), control}, {with("npn", std::string(255, 'x')), "npn is longer than 254 characters"},
        {with("nmn", std::string(255, '\xE9')), "nmn is longer than 254 characters"},
        {with("npn", "a%E2%80%AEb"), "npn holds a bidirectional control character"},
        {with("nmn", "x%EF%BB%BF"), "nmn holds an invisible character"},
    };
    for (const auto& [query, reason] : cases) {
        SCOPED_TRACE(query);
        const UploadParse p = ParseUpload(query, kToday);
        EXPECT_FALSE(p.ok);
        EXPECT_EQ(p.reason, reason);
    }
}

// A run names its upload by the upload's id, nsc, npn and nsd, read by the
// upload's parser (whose checks its tables pin); nmn and nreplay are not
// needed, and not read when sent.
TEST(UploadQuery, ARunsQueryNamesItsUpload) {
    const std::pair<std::string, std::string> cases[] = {
        {"id=3&nsc=725&npn=J%F6rg&nsd=2026-12-06&nmn=%01&nreplay=1", ""},
        {"id=3&nsc=725&nsd=2026-12-06", "missing parameter npn"},
    };
    for (const auto& [query, reason] : cases) {
        const UploadParse p = ParseRunQuery(query, kToday);
        EXPECT_EQ(p.reason, reason) << query;
        if (p.ok) {
            EXPECT_EQ(std::tie(p.upload.mapId, p.upload.holder, p.upload.score), std::make_tuple(3, "Jörg", 725));
        }
    }
}

TEST(Escaping, HtmlAndJsonNeverCarryMarkup) {
    EXPECT_EQ(HtmlEscape("\"><img src=x onerror='a'>&"), "&quot;&gt;&lt;img src=x onerror=&#39;a&#39;&gt;&amp;");
    EXPECT_EQ(JsonQuote("\"\\\n</b>&\x01\xE2\x80\xA8\xE2\x80\xA9é€—"),
              "\"\\\"\\\\\\n\\u003c/b\\u003e\\u0026\\u0001\\u2028\\u2029é€—\"");
    EXPECT_EQ(JsonQuote(""), "\"\"");
}

// The limits count every byte of a line, CRs too; a refusal comes with the
// first byte past a limit, however the bytes are split. (A lone CR or LF and
// a folded line are rows of the HTTP test's table of raw requests.)
TEST(RequestHeadBounds, RefusedWithTheFirstBytePastALimit) {
    struct Case { const char* what; std::string head; int refusal; bool ended; std::string logged; } cases[] = {
        {"the line at its limit", "GET /abcd\r\n\r\n", 0, true, "GET /abcd"},
        {"one byte more", "GET /abcde\r\n\r\n", 414, false, "GET /abcde"},
        {"the line still arriving", "GET /a", 0, false, "GET /a"},
        {"headers at their limit", "GET /\r\nA: 12345\r\n\r\n", 0, true, "GET /"},
        {"one byte more", "GET /\r\nA: 123456\r\n\r\n", 431, false, "GET /"},
        {"what follows the head is not its", "GET /\r\n\r\nbody past the limits\n", 0, true, "GET /"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (size_t step : {c.head.size(), size_t{1}, size_t{3}}) {
            RequestHead head(10, 12);
            int refusal = 0;
            size_t used = 0, inHead = 0;
            for (size_t at = 0; at < c.head.size(); at += step) {
                refusal = head.Scan(&c.head[at], std::min(step, c.head.size() - at), &used);
                inHead += used;
            }
            EXPECT_EQ(refusal, c.refusal);
            if (c.ended) {
                EXPECT_EQ(c.head.substr(inHead), c.head.substr(c.head.find("\r\n\r\n") + 4));
            }
            EXPECT_EQ(head.Ended(), c.ended);
            EXPECT_EQ(head.RequestLine(), c.logged);
        }
    }
    RequestHead wide(300, 300);  // the log keeps the first 200 bytes of a longer request line
    wide.Scan(std::string(250, 'a').c_str(), 250);
    EXPECT_EQ(wide.RequestLine(), std::string(200, 'a'));
}

// A log nobody reads holds up nobody: lines past the queue's room are
// dropped and counted, and the count is written once the reader catches up.
TEST(Log, LinesPastTheQueuesRoomAreCountedNotWaitedFor) {
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    std::string full(fcntl(ends[1], F_SETPIPE_SZ, 4096), 'x');  // a pipe already full
    full.back() = '\n';
    ASSERT_EQ(write(ends[1], full.data(), full.size()), static_cast<ssize_t>(full.size()));
    std::string text;
    std::thread reader;
    {
        LogQueue log(ends[1], 4);
        for (int i = 0; i < 20; ++i) log.Line("line " + std::to_string(i));  // none waits
        reader = std::thread([&] {
            char buffer[4096];
            for (ssize_t n; (n = read(ends[0], buffer, sizeof buffer)) > 0;) text.append(buffer, n);
        });
    }
    close(ends[1]);
    reader.join();
    close(ends[0]);
    std::smatch dropped;
    ASSERT_TRUE(std::regex_search(text, dropped, std::regex(" (\\d+) log lines were dropped")));
    const std::regex line("\nline \\d+");
    const auto written = std::distance(std::sregex_iterator(text.begin(), text.end(), line), std::sregex_iterator());
    EXPECT_EQ(written + std::stoi(dropped[1]), 20);
}

TEST(RateLimit, ABucketPerAddressRefilledOverAMinute) {
    RateLimiter limiter(3);  // the HTTP tests run with 0, no limit
    const auto t0 = RateLimiter::Clock::now();
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(limiter.Allow("a", t0));
    EXPECT_FALSE(limiter.Allow("a", t0));
    EXPECT_TRUE(limiter.Allow("b", t0));  // another address has its own
    EXPECT_FALSE(limiter.Allow("a", t0 + std::chrono::seconds(19)));
    EXPECT_TRUE(limiter.Allow("a", t0 + std::chrono::seconds(21)));  // one upload back every 20 s
    EXPECT_FALSE(limiter.Allow("a", t0 + std::chrono::seconds(22)));
}

}  // namespace
