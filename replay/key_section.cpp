// The key section after a replay's "LastFrame=" line: "Keys=" and the step
// count, one base-64 digit per step in lines of 64, then "--END KEYS--".
// Readers of the frame lines stop at "--END--" and never see it.
// SPDX-License-Identifier: MIT
#include "replay/key_section.h"

#include <algorithm>
#include <cstdint>

namespace {

constexpr std::string_view kDigits = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz-_";
constexpr std::string_view kCountLine = "Keys=";
constexpr std::string_view kWaitedLine = "Waited=";
constexpr std::string_view kEndLine = "--END KEYS--\r\n";
constexpr std::string_view kTerminator = "--END--";
constexpr std::string_view kLastFrame = "LastFrame=";
constexpr std::string_view kLineEnd = "\r\n";

// Where the first line reading "--END--" starts, as the frame readers find
// it (a line ends at LF, a CR before it is dropped); npos when none does.
size_t TerminatorLine(std::string_view t) {
    for (size_t p = t.find(kTerminator); p != std::string_view::npos; p = t.find(kTerminator, p + 1)) {
        if (p != 0 && t[p - 1] != '\n') continue;
        size_t e = p + kTerminator.size();
        if (e < t.size() && t[e] == '\r') ++e;
        if (e == t.size() || t[e] == '\n') return p;
    }
    return std::string_view::npos;
}

// Takes `prefix` off the front of `t`.
bool Take(std::string_view& t, std::string_view prefix) {
    if (!t.starts_with(prefix)) return false;
    t.remove_prefix(prefix.size());
    return true;
}

// A whole number of at most `limit` after `prefix`, written without leading
// zeros, and its line end; -1 when malformed.
int64_t TakeNumberLine(std::string_view& t, std::string_view prefix, int64_t limit) {
    if (!Take(t, prefix)) return -1;
    int64_t value = 0;
    size_t n = 0;
    while (n < t.size() && t[n] >= '0' && t[n] <= '9' && value <= limit) value = value * 10 + (t[n++] - '0');
    if (n == 0 || (t[0] == '0' && n > 1) || value > limit) return -1;
    t.remove_prefix(n);
    return Take(t, kLineEnd) ? value : -1;
}

}  // namespace

void AppendKeySection(std::string& out, const uint8_t* steps, int count, int32_t waited) {
    out += kCountLine;
    out += std::to_string(count);
    out += kLineEnd;
    if (waited >= 0) {
        out += kWaitedLine;
        out += std::to_string(waited);
        out += kLineEnd;
    }
    for (int i = 0; i < count; ++i) {
        out += kDigits[steps[i] & 63];
        if ((i + 1) % kKeysPerLine == 0 || i + 1 == count) out += kLineEnd;
    }
    out += kEndLine;
}

KeySection ReadKeySection(std::string_view replay, std::vector<uint8_t>& steps, int32_t* waited) {
    steps.clear();
    if (waited != nullptr) *waited = -1;
    const size_t end = TerminatorLine(replay);
    if (end == std::string_view::npos) return KeySection::kMalformed;
    std::string_view t = replay.substr(end);
    if (!Take(t, kTerminator) || !Take(t, kLineEnd) || !t.starts_with(kLastFrame)) return KeySection::kMalformed;
    const size_t lf = t.find('\n');
    if (lf == std::string_view::npos || t[lf - 1] != '\r') return KeySection::kMalformed;
    t.remove_prefix(lf + 1);
    if (t.empty()) return KeySection::kAbsent;

    const int count = static_cast<int>(TakeNumberLine(t, kCountLine, kMaxKeySteps));
    // Sections written before the waiting frames were counted have no such line.
    const int64_t waitedFrames = t.starts_with(kWaitedLine) ? TakeNumberLine(t, kWaitedLine, INT32_MAX) : -2;
    bool whole = count > 0 && waitedFrames != -1;
    if (whole) steps.reserve(static_cast<size_t>(count));
    while (whole && static_cast<int>(steps.size()) < count) {
        const size_t n = std::min<size_t>(kKeysPerLine, static_cast<size_t>(count) - steps.size());
        for (size_t i = 0; whole && i < n; ++i) {
            const size_t digit = i < t.size() ? kDigits.find(t[i]) : std::string_view::npos;
            whole = digit != std::string_view::npos;
            steps.push_back(static_cast<uint8_t>(digit));
        }
        if (whole) t.remove_prefix(n);
        whole = whole && Take(t, kLineEnd);
    }
    if (!whole || t != kEndLine) {
        steps.clear();
        return KeySection::kMalformed;
    }
    if (waited != nullptr) *waited = static_cast<int32_t>(waitedFrames < 0 ? -1 : waitedFrames);
    return KeySection::kWhole;
}

bool IsCompleteReplay(std::string_view replay) {
    std::vector<uint8_t> steps;
    return ReadKeySection(replay, steps) != KeySection::kMalformed;
}
