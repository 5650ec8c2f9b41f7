// Reading and checking an upload's query parameters.
// SPDX-License-Identifier: MIT
#include "server/upload_request.h"

#include <array>
#include <cstdio>
#include <map>

#include "base/codepage.h"

namespace {

constexpr size_t kMaxNameCharacters = 254;
constexpr int kMaxScore = 32767;

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Embeddings, overrides and isolates: they reorder the text around a name
// on the list, so a name could pose as another or as a different score.
bool IsBidiControl(uint32_t u) { return (u >= 0x202A && u <= 0x202E) || (u >= 0x2066 && u <= 0x2069); }

// Zero-width spaces and joiners, word joiner, byte order mark: two names
// that look the same would be different holders.
bool IsInvisible(uint32_t u) { return (u >= 0x200B && u <= 0x200D) || u == 0x2060 || u == 0xFEFF; }

// A holder's or map's name: 1..254 characters, no control characters, no
// bidirectional controls or invisible characters (Windows-1252 has none, so
// the game never sends them).
std::string NameProblem(const std::string& what, const std::string& utf8) {
    size_t count = 0;
    uint32_t u = 0;
    for (size_t i = 0; i < utf8.size(); ++count) {
        if (!NextUtf8(utf8, &i, &u)) return what + " is not UTF-8";  // not after TextAsUtf8
        if (u < 0x20 || (u >= 0x7F && u < 0xA0)) return what + " holds a control character";
        if (IsBidiControl(u)) return what + " holds a bidirectional control character";
        if (IsInvisible(u)) return what + " holds an invisible character";
    }
    if (count == 0) return what + " is empty";
    if (count > kMaxNameCharacters) return what + " is longer than 254 characters";
    return {};
}

// A whole number written with digits only, at most `maxDigits` of them.
bool ReadWhole(const std::string& text, size_t maxDigits, long* value) {
    if (text.empty() || text.size() > maxDigits) return false;
    long v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    *value = v;
    return true;
}

bool IsLeapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int y, int m) {
    static constexpr std::array<int, 12> days = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && IsLeapYear(y) ? 29 : days[m - 1];
}

}  // namespace

bool PercentDecode(const std::string& text, std::string* out) {
    out->clear();
    out->reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '+') {
            *out += ' ';
        } else if (c == '%') {
            const int hi = i + 1 < text.size() ? HexValue(text[i + 1]) : -1;
            const int lo = i + 2 < text.size() ? HexValue(text[i + 2]) : -1;
            if (hi < 0 || lo < 0) return false;
            *out += static_cast<char>(hi * 16 + lo);
            i += 2;
        } else {
            *out += c;
        }
    }
    return true;
}

bool QueryPairs(const std::string& query, std::vector<std::pair<std::string, std::string>>* out) {
    out->clear();
    for (size_t start = 0; start <= query.size();) {
        size_t end = query.find('&', start);
        if (end == std::string::npos) end = query.size();
        const std::string pair = query.substr(start, end - start);
        start = end + 1;
        if (pair.empty()) continue;
        const size_t eq = pair.find('=');
        std::string key, value;
        if (!PercentDecode(pair.substr(0, eq), &key) ||
            !PercentDecode(eq == std::string::npos ? "" : pair.substr(eq + 1), &value))
            return false;
        out->emplace_back(std::move(key), std::move(value));
    }
    return true;
}

std::string TextAsUtf8(const std::string& bytes) { return IsUtf8(bytes) ? bytes : Cp1252ToUtf8(bytes); }

bool IsCalendarDate(const std::string& text) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-') return false;
    long y, m, d;
    if (!ReadWhole(text.substr(0, 4), 4, &y) || !ReadWhole(text.substr(5, 2), 2, &m) ||
        !ReadWhole(text.substr(8, 2), 2, &d))
        return false;
    return y >= 1 && m >= 1 && m <= 12 && d >= 1 && d <= DaysInMonth(static_cast<int>(y), static_cast<int>(m));
}

std::string NextDay(const std::string& date) {
    int y = std::stoi(date.substr(0, 4)), m = std::stoi(date.substr(5, 2)), d = std::stoi(date.substr(8, 2));
    if (++d > DaysInMonth(y, m)) {
        d = 1;
        if (++m > 12) m = 1, ++y;
    }
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", y % 10000, m, d);
    return text;
}

namespace {

// The upload's checks on the parameters in `names`: nmn and nreplay only
// where they are named.
UploadParse ParseQuery(const std::string& query, const std::string& today, const std::vector<const char*>& names) {
    UploadParse result;
    std::vector<std::pair<std::string, std::string>> pairs;
    if (!QueryPairs(query, &pairs)) {
        result.reason = "bad percent-encoding";
        return result;
    }
    std::map<std::string, std::string> values;
    for (auto& [key, value] : pairs) {
        bool known = false;
        for (const char* name : names) known = known || key == name;
        if (!known) continue;
        if (!values.emplace(key, value).second) {
            result.reason = "repeated parameter " + key;
            return result;
        }
    }
    for (const char* name : names) {
        if (!values.count(name)) {
            result.reason = std::string("missing parameter ") + name;
            return result;
        }
    }

    long id = 0, score = 0, replay = 0;
    if (!ReadWhole(values["id"], 9, &id) || id < kFirstMap || id > kLastMap) {
        result.reason = "id must be a map number from 1 to 26";
        return result;
    }
    if (!ReadWhole(values["nsc"], 9, &score) || score > kMaxScore) {
        result.reason = "nsc must be a whole number from 0 to 32767";
        return result;
    }
    if (values.count("nreplay") && (!ReadWhole(values["nreplay"], 9, &replay) || replay != score)) {
        result.reason = "nreplay must equal nsc";
        return result;
    }
    const std::string& date = values["nsd"];
    if (!IsCalendarDate(date)) {
        result.reason = "nsd must be a date YYYY-MM-DD";
        return result;
    }
    if (IsCalendarDate(today) && date > NextDay(today)) {
        result.reason = "nsd lies in the future";
        return result;
    }
    const bool named = values.count("nmn") > 0;  // a run names no map
    const std::string mapName = named ? TextAsUtf8(values["nmn"]) : "", holder = TextAsUtf8(values["npn"]);
    for (const auto& [what, text] : {std::pair<std::string, const std::string*>{"nmn", &mapName},
                                     std::pair<std::string, const std::string*>{"npn", &holder}}) {
        const std::string problem = named || what == "npn" ? NameProblem(what, *text) : std::string();
        if (!problem.empty()) {
            result.reason = problem;
            return result;
        }
    }
    result.ok = true;
    result.upload.mapId = static_cast<int>(id);
    result.upload.mapName = mapName;
    result.upload.holder = holder;
    result.upload.score = static_cast<int>(score);
    result.upload.playedOn = date;
    return result;
}

}  // namespace

UploadParse ParseUpload(const std::string& query, const std::string& today) {
    return ParseQuery(query, today, {"id", "nmn", "nsc", "npn", "nsd", "nreplay"});
}

UploadParse ParseRunQuery(const std::string& query, const std::string& today) {
    return ParseQuery(query, today, {"id", "nsc", "npn", "nsd"});
}
