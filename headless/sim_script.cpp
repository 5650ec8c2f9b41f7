// Parser of the driver's script: one event or dialog answer a line.
// SPDX-License-Identifier: MIT
#include "headless/sim_script.h"

#include <algorithm>
#include <cctype>

#include "base/codepage.h"
#include "shell/keyboard.h"

namespace {

// A key: a name, a letter, a digit, or a decimal virtual-key code (two or
// more digits, 1..254). Names and letters may be written in either case.
bool ParseKey(const std::string& word, int16_t* key) {
    std::string up = word;
    for (char& c : up) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    static const struct { const char* name; int16_t code; } kNames[] = {
        {"UP", VK_UP},       {"DOWN", VK_DOWN},   {"LEFT", VK_LEFT},     {"RIGHT", VK_RIGHT},
        {"SPACE", VK_SPACE}, {"SHIFT", VK_SHIFT}, {"CTRL", VK_CONTROL},  {"ENTER", VK_RETURN},
        {"ESC", VK_ESCAPE},  {"F1", VK_F1},
    };
    for (const auto& n : kNames) {
        if (up == n.name) {
            *key = n.code;
            return true;
        }
    }
    if (up.size() == 1 && ((up[0] >= 'A' && up[0] <= 'Z') || (up[0] >= '0' && up[0] <= '9'))) {
        *key = static_cast<int16_t>(up[0]);
        return true;
    }
    unsigned long long code = 0;
    if (ParseUnsigned(word, 254, &code) && code >= 1) {
        *key = static_cast<int16_t>(code);
        return true;
    }
    return false;
}

std::vector<std::string> SplitWords(const std::string& line) {
    std::vector<std::string> words;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
        size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
        if (i > start) words.push_back(line.substr(start, i - start));
    }
    return words;
}

// What is wrong with one line, or empty text when it is fine.
std::string ParseLine(std::string line, long lineNo, SimScript* script) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (lineNo == 1 && line.compare(0, 3, "\xEF\xBB\xBF") == 0) line.erase(0, 3);  // editors' byte-order mark
    if (!IsUtf8(line)) return "not UTF-8 text";
    size_t first = line.find_first_not_of(" \t");
    if (first == std::string::npos || line[first] == '#') return {};
    std::string body = line.substr(first);
    if (body == "dialog") {
        script->answers.push_back({ScriptAnswer::kDialogText, "", false});
        return {};
    }
    if (body.compare(0, 7, "dialog ") == 0) {
        script->answers.push_back({ScriptAnswer::kDialogText, body.substr(7), false});
        return {};
    }
    std::vector<std::string> w = SplitWords(body);
    if (w[0] == "dialog-cancel") {
        if (w.size() != 1) return "dialog-cancel takes nothing after it";
        script->answers.push_back({ScriptAnswer::kDialogCancel, "", false});
        return {};
    }
    if (w[0] == "confirm") {
        if (w.size() != 2 || (w[1] != "yes" && w[1] != "no")) return "confirm needs 'yes' or 'no'";
        script->answers.push_back({ScriptAnswer::kConfirm, "", w[1] == "yes"});
        return {};
    }
    if (w[0] == "open") {
        if (w.size() != 2 || (w[1] != "ok" && w[1] != "fail")) return "open needs 'ok' or 'fail'";
        script->answers.push_back({ScriptAnswer::kOpen, "", w[1] == "ok"});
        return {};
    }
    ScriptEvent ev;
    if (!ParsePositive(w[0], &ev.dispatch))
        return "expected a dispatch number, 'dialog', 'dialog-cancel', 'confirm' or 'open', got '" + w[0] + "'";
    if (w.size() < 2) return "missing command after the dispatch number";
    if (w[1] == "close") {
        if (w.size() != 2) return "close takes nothing after it";
        ev.kind = ScriptEventKind::kClose;
    } else {
        if (w[1] == "down") ev.kind = ScriptEventKind::kDown;
        else if (w[1] == "up") ev.kind = ScriptEventKind::kUp;
        else if (w[1] == "tap") ev.kind = ScriptEventKind::kTap;
        else return "unknown command '" + w[1] + "' (down, up, tap or close)";
        if (w.size() < 3) return "missing key after '" + w[1] + "'";
        if (w.size() > 3) return "unexpected text after the key";
        if (!ParseKey(w[2], &ev.key)) return "unknown key '" + w[2] + "'";
    }
    script->events.push_back(ev);
    return {};
}

}  // namespace

bool ParseUnsigned(const std::string& text, unsigned long long max, unsigned long long* value) {
    if (text.empty() || text.size() > 20) return false;
    unsigned long long v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        unsigned d = static_cast<unsigned>(c - '0');
        if (v > (max - d) / 10) return false;
        v = v * 10 + d;
    }
    *value = v;
    return true;
}

bool ParsePositive(const std::string& text, long* value) {
    unsigned long long v = 0;
    if (!ParseUnsigned(text, 1000000000000ULL, &v) || v == 0) return false;
    *value = static_cast<long>(v);
    return true;
}

bool ParseSimScript(std::istream& in, SimScript* script, std::string* error) {
    *script = SimScript{};
    std::string line;
    long lineNo = 0;
    while (std::getline(in, line)) {
        ++lineNo;
        std::string what = ParseLine(line, lineNo, script);
        if (!what.empty()) {
            *error = "script line " + std::to_string(lineNo) + ": " + what;
            return false;
        }
    }
    if (in.bad()) {
        *error = "cannot read the script";
        return false;
    }
    std::stable_sort(script->events.begin(), script->events.end(),
                     [](const ScriptEvent& a, const ScriptEvent& b) { return a.dispatch < b.dispatch; });
    return true;
}
