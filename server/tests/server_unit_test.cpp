// The score server's pieces in-process: the bounds on a request's head,
// reading an upload's query, the character set of its texts, dates,
// escaping, and the rate limit.
#include <gtest/gtest.h>

#include <algorithm>

#include "base/codepage.h"
#include "server/json_text.h"
#include "server/rate_limiter.h"
#include "server/request_head.h"
#include "server/score_page.h"
#include "server/upload_request.h"

namespace {

const std::string kToday = "2026-12-07";
const std::string kGame = "id=3&nmn=Deep&nsc=725&npn=Pilot%20and%20Co&nsd=2026-12-06&nreplay=725";

TEST(UploadQuery, AcceptedRequestsAndTheirValues) {
    struct Case { std::string query, mapName, holder; int id, score; std::string date; } cases[] = {
        {kGame, "Deep", "Pilot and Co", 3, 725, "2026-12-06"},
        {"nreplay=0&nsd=2026-12-08&npn=A&nsc=0&nmn=B&id=26", "B", "A", 26, 0, "2026-12-08"},  // any order, tomorrow
        {"id=1&nmn=Caf%C3%A9+Bar&nsc=32767&npn=J%F6rg&nsd=2024-02-29&nreplay=32767&x=1", "Café Bar", "Jörg", 1, 32767,
         "2024-02-29"},
        {"id=01&nmn=%E2%82%AC&nsc=007&npn=%80%81&nsd=2000-01-01&nreplay=7&&", "€", "€\xEF\xBF\xBD", 1, 7,
         "2000-01-01"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.query);
        const UploadParse p = ParseUpload(c.query, kToday);
        ASSERT_TRUE(p.ok) << p.reason;
        EXPECT_EQ(p.upload.mapId, c.id);
        EXPECT_EQ(p.upload.mapName, c.mapName);
        EXPECT_EQ(p.upload.holder, c.holder);
        EXPECT_EQ(p.upload.score, c.score);
        EXPECT_EQ(p.upload.playedOn, c.date);
    }
}

TEST(UploadQuery, RefusedRequestsSayWhy) {
    auto with = [](const std::string& from, const std::string& to) {
        std::string q = kGame;
        q.replace(q.find(from), from.size(), to);
        return q;
    };
    const std::pair<std::string, std::string> cases[] = {
        {"", "missing parameter id"},
        {with("id=3&", ""), "missing parameter id"},
        {kGame + "&id=4", "repeated parameter id"},
        {kGame + "&i%64=4", "repeated parameter id"},
        {with("Deep", "De%2"), "bad percent-encoding"},
        {with("Deep", "De%zzp"), "bad percent-encoding"},
        {with("id=3", "id=27"), "id must be a map number from 1 to 26"},
        {with("id=3", "id=0"), "id must be a map number from 1 to 26"},
        {with("id=3", "id=+3"), "id must be a map number from 1 to 26"},
        {with("id=3", "id=9999999999"), "id must be a map number from 1 to 26"},
        {with("nsc=725", "nsc=32768"), "nsc must be a whole number from 0 to 32767"},
        {with("nsc=725", "nsc=7e2"), "nsc must be a whole number from 0 to 32767"},
        {with("nreplay=725", "nreplay=724"), "nreplay must equal nsc"},
        {with("2026-12-06", "2026-11-31"), "nsd must be a date YYYY-MM-DD"},
        {with("2026-12-06", "2100-02-29"), "nsd must be a date YYYY-MM-DD"},
        {with("2026-12-06", "0000-01-01"), "nsd must be a date YYYY-MM-DD"},
        {with("2026-12-06", "2026-12-09"), "nsd lies in the future"},
        {with("Pilot%20and%20Co", ""), "npn is empty"},
        {with("Pilot%20and%20Co", "a%09b"), "npn holds a control character"},
        {with("Pilot%20and%20Co", "a%C2%85b"), "npn holds a control character"},
        {with("Pilot%20and%20Co", std::string(255, 'x')), "npn is longer than 254 characters"},
        {with("Deep", std::string(255, 'x')), "nmn is longer than 254 characters"},
    };
    for (const auto& [query, reason] : cases) {
        SCOPED_TRACE(query);
        const UploadParse p = ParseUpload(query, kToday);
        EXPECT_FALSE(p.ok);
        EXPECT_EQ(p.reason, reason);
    }
}

TEST(UploadQuery, Utf8CheckAndDates) {
    const std::pair<std::string, bool> utf8[] = {
        {"plain", true}, {"J\xC3\xB6rg", true}, {"\xF0\x9F\x9A\x80", true}, {"J\xF6rg", false},
        {"\xC0\xAF", false}, {"\xED\xA0\x80", false}, {"\xF4\x90\x80\x80", false}, {"\xE2\x82", false}};
    for (const auto& [text, valid] : utf8) EXPECT_EQ(IsUtf8(text), valid) << text;
    EXPECT_EQ(NextDay("2026-12-31"), "2027-01-01");
    EXPECT_EQ(NextDay("2024-02-28"), "2024-02-29");
    EXPECT_EQ(NextDay("2023-02-28"), "2023-03-01");
    EXPECT_TRUE(IsCalendarDate("2000-02-29"));
    EXPECT_FALSE(IsCalendarDate("1900-02-29"));
}

// A name that is not well-formed UTF-8 is read byte by byte as Windows-1252
// (older clients send that); control characters are refused either way.
TEST(UploadQuery, MalformedUtf8IsReadAsTheCodePageAndControlsAreRefused) {
    const std::pair<std::string, std::string> read[] = {
        {"%C0%AF", "\xC3\x80\xC2\xAF"},                          // overlong "/": two letters, no slash
        {"%E0%80%AF", "\xC3\xA0\xE2\x82\xAC\xC2\xAF"},              // overlong in three bytes
        {"%ED%A0%80", "\xC3\xAD\xC2\xA0\xE2\x82\xAC"},              // a surrogate
        {"%F4%90%80%80", "\xC3\xB4\xEF\xBF\xBD\xE2\x82\xAC\xE2\x82\xAC"},  // beyond U+10FFFF
        {"ab%E2%82", "ab\xC3\xA2\xE2\x80\x9A"},                    // cut at the end
        {"%F0%9F%9A%80", "\xF0\x9F\x9A\x80"},                    // well-formed: kept
    };
    for (const auto& [name, utf8] : read) {
        SCOPED_TRACE(name);
        const UploadParse p = ParseUpload("id=3&nmn=Deep&nsc=1&npn=" + name + "&nsd=2026-12-06&nreplay=1", kToday);
        ASSERT_TRUE(p.ok) << p.reason;
        EXPECT_EQ(p.upload.holder, utf8);
    }
    for (const char* name : {"a%00b", "%7F", "%1F", "%C2%9F", "%00%C3%A9", "%00%E9"}) {
        SCOPED_TRACE(name);
        const UploadParse p = ParseUpload(std::string("id=3&nmn=Deep&nsc=1&npn=") + name + "&nsd=2026-12-06&nreplay=1",
                                          kToday);
        EXPECT_FALSE(p.ok);
        EXPECT_EQ(p.reason, "npn holds a control character");
    }
}

TEST(Escaping, HtmlAndJsonNeverCarryMarkup) {
    EXPECT_EQ(HtmlEscape("<script>alert(1)</script>"), "&lt;script&gt;alert(1)&lt;/script&gt;");
    EXPECT_EQ(HtmlEscape("\"><img src=x onerror='a'>&"), "&quot;&gt;&lt;img src=x onerror=&#39;a&#39;&gt;&amp;");
    EXPECT_EQ(JsonQuote("a\"b\\c\n</script>\x01\xE2\x80\xA8é"), "\"a\\\"b\\\\c\\n\\u003c/script\\u003e\\u0001\\u2028é\"");
    const std::string page = RenderScorePage({{1, "A <b>", {{"<i>x</i>", 5, "2026-12-06"}}}, {2, "B", {}}}, {}, {});
    EXPECT_EQ(page.find("<i>"), std::string::npos);
    EXPECT_NE(page.find("&lt;i&gt;x&lt;/i&gt;"), std::string::npos);
    EXPECT_NE(page.find("no score yet"), std::string::npos);
}

// The limits count every byte of a line, CRs too; a refusal comes with the
// first byte past a limit, however the bytes are split.
TEST(RequestHeadBounds, RefusedWithTheFirstBytePastALimit) {
    struct Case { const char* what; std::string head; int refusal; bool ended; std::string logged; } cases[] = {
        {"the line at its limit", "GET /abcd\r\n\r\n", 0, true, "GET /abcd"},
        {"one byte more", "GET /abcde\r\n\r\n", 414, false, "GET /abcde"},
        {"the line still arriving", "GET /a", 0, false, "GET /a"},
        {"headers at their limit", "GET /\r\nA: 12345\r\n\r\n", 0, true, "GET /"},
        {"one byte more", "GET /\r\nA: 123456\r\n\r\n", 431, false, "GET /"},
        {"bare LF, and a line of CRs ends the head", "GET /\nA: 1\n\r\r\nbody past the limits", 0, true, "GET /"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (size_t step : {c.head.size(), size_t{1}, size_t{3}}) {
            RequestHead head(10, 12);
            int refusal = 0;
            for (size_t at = 0; at < c.head.size(); at += step)
                refusal = head.Scan(&c.head[at], std::min(step, c.head.size() - at));
            EXPECT_EQ(refusal, c.refusal);
            EXPECT_EQ(head.Ended(), c.ended);
            EXPECT_EQ(head.RequestLine(), c.logged);
        }
    }
    RequestHead head(1000, 1000);
    const std::string longLine = "GET /" + std::string(300, 'x');
    head.Scan(longLine.data(), longLine.size());
    EXPECT_EQ(head.RequestLine().size(), RequestHead::kLoggedLine);
    head.Reset();
    EXPECT_EQ(head.RequestLine(), "");
}

TEST(RateLimit, ABucketPerAddressRefilledOverAMinute) {
    RateLimiter limiter(3);
    const auto t0 = RateLimiter::Clock::now();
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(limiter.Allow("a", t0));
    EXPECT_FALSE(limiter.Allow("a", t0));
    EXPECT_TRUE(limiter.Allow("b", t0));  // another address has its own
    EXPECT_FALSE(limiter.Allow("a", t0 + std::chrono::seconds(19)));
    EXPECT_TRUE(limiter.Allow("a", t0 + std::chrono::seconds(21)));  // one upload back every 20 s
    EXPECT_FALSE(limiter.Allow("a", t0 + std::chrono::seconds(22)));
    RateLimiter none(0);
    for (int i = 0; i < 1000; ++i) EXPECT_TRUE(none.Allow("a", t0));
}

}  // namespace
