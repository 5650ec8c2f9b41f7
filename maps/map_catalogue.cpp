// The catalogue of maps in Maps.ini: sections "01".."50" with the keys File,
// Width, Name, ScoreBest and ScoreName; the last two are masked.
//
// A listed map that the game cannot fly (a Width that is missing, not a
// plain decimal number, or that rounds to 0 or less or past 32767; a
// ScoreBest that does not unmask to a number) ends the catalogue before it,
// and the player is told once per load. The entry where loading stops gets
// an empty `file`, whatever the reason, so that a map left there by an
// earlier load cannot stay reachable; its other fields, and the entries after
// it, keep what they held. Maps.ini is read once per load, and only when it
// is a regular file of at most 1 MiB; anything else is refused with a message
// and lists no maps. Every replacement of Maps.ini keeps its last good copy,
// Maps.ini.good, beside it.
// SPDX-License-Identifier: MIT
#include "maps/map_catalogue.h"

#include <charconv>
#include <cstdio>
#include <string_view>
#include <system_error>
#include <utility>

#include "base/atomic_file.h"
#include "base/game_state.h"
#include "base/number_text.h"
#include "base/regular_file.h"
#include "maps/settings_file.h"
#include "platform/platform.h"

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Length of the decimal number at the start of s: digits with an optional
// fraction ("12", "12.", "12.5", ".5"), and with `exponent` an optional
// "e"/"E" part; 0 when s does not start with one.
size_t NumberLength(std::string_view s, bool exponent) {
    size_t i = 0, digits = 0;
    while (i < s.size() && IsDigit(s[i])) ++i, ++digits;
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && IsDigit(s[i])) ++i, ++digits;
    }
    if (digits == 0) return 0;
    if (exponent && i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        size_t j = i + 1;
        if (j < s.size() && (s[j] == '+' || s[j] == '-')) ++j;
        size_t expDigits = 0;
        while (j < s.size() && IsDigit(s[j])) ++j, ++expDigits;
        if (expDigits > 0) i = j;
    }
    return i;
}

// s is a whole text: blanks, an optional sign, the number, blanks.
template <typename T>
bool ParseNumber(std::string_view s, bool exponent, T& out) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    bool negative = false;
    if (!s.empty() && (s[0] == '+' || s[0] == '-')) {
        negative = s[0] == '-';
        s.remove_prefix(1);
    }
    size_t n = NumberLength(s, exponent);
    if (n == 0 || n != s.size()) return false;
    T v{};
    auto result = std::from_chars(s.data(), s.data() + n, v);
    if (result.ec != std::errc() || result.ptr != s.data() + n) return false;
    out = negative ? -v : v;
    return true;
}

// A map length: a decimal number that rounds (halves to even) into 1..32767.
bool ParseWidth(const std::string& text, int16_t& width) {
    double v = 0;
    if (!ParseNumber(text, false, v)) return false;
    int32_t n = Near(v);
    if (n < 1 || n > INT16_MAX) return false;
    width = static_cast<int16_t>(n);
    return true;
}

void TellRefused(const std::string& section, const MapRefusal& why) {
    std::string text = "Map " + section + " in Maps.ini has ";
    if (why.value.empty()) {
        text += "no " + why.key + " value";
    } else {
        text += "the " + why.key + " value \"" + why.value + "\", which is not " + why.expected;
    }
    text += "; the map list ends before this map.";
    PlatformMessageBox(text, "Quillrun");
}

// The masked value that reads back as `name`, or false when there is none.
// The reader trims blanks and tabs around a value and keeps its first 254
// bytes, so a name that masks to one at either end reads back only when it
// is a name of 254 bytes (one read cut short), written with one more byte
// that the reader drops: 0x99, a masked ".".
bool StoredName(const std::string& name, std::string& stored) {
    stored = MaskText(name, kScoreMask);
    if (stored.empty()) return true;
    if (stored.size() > kMaxIniValueChars || IsBlank(stored.front())) return false;
    if (!IsBlank(stored.back())) return true;
    if (stored.size() < kMaxIniValueChars) return false;
    stored.push_back(static_cast<char>('.' ^ kScoreMask));
    return true;
}

}  // namespace

std::string TwoDigits(int k) {
    char b[16];
    std::snprintf(b, sizeof b, "%02d", k);
    return b;
}

std::string ScoreText(float score) {
    // The blank stands where a minus sign would be.
    std::string digits = FloatText(score);
    return digits[0] == '-' ? digits : " " + digits;
}

SectionRead ReadMapSection(const IniDocument& ini, int k, MapEntry& entry, MapRefusal& why) {
    const std::string section = TwoDigits(k);
    std::string file = IniValue(ini, section, "File");
    if (file.empty()) return SectionRead::kEnd;
    std::string widthText = IniValue(ini, section, "Width");
    std::string scoreText = IniValue(ini, section, "ScoreBest");
    int16_t width = 0;
    if (!ParseWidth(widthText, width)) {
        why = {"Width", widthText, "a length from 1 to 32767"};
        return SectionRead::kRefused;
    }
    float scoreBest = entry.scoreBest;  // kept when nothing is stored
    if (!scoreText.empty() && !ParseNumber(MaskText(scoreText, kScoreMask), true, scoreBest)) {
        why = {"ScoreBest", scoreText, "a stored score"};
        return SectionRead::kRefused;
    }
    entry.file = std::move(file);
    entry.width = width;
    entry.name = IniValue(ini, section, "Name");
    entry.scoreBest = scoreBest;
    entry.scoreName = MaskText(IniValue(ini, section, "ScoreName"), kScoreMask);
    return SectionRead::kMap;
}

CatalogueCheck CheckCatalogue(const IniDocument& ini) {
    CatalogueCheck check;
    MapEntry entry;
    for (int k = 1; k <= kMapCount; ++k) {
        const SectionRead read = ReadMapSection(ini, k, entry, check.why);
        if (read == SectionRead::kEnd) break;
        if (read == SectionRead::kRefused) {
            check.refused = true;
            break;
        }
        check.maps = k;
    }
    return check;
}

bool CatalogueWhole(const IniDocument& ini) {
    const CatalogueCheck check = CheckCatalogue(ini);
    return check.maps > 0 && !check.refused;
}

void LoadMapCatalogue() {
    IniDocument ini;
    const FileRead read = LoadIniDocument(gs.mapsIniPath, ini);
    if (read == FileRead::kRefused) {
        // A pipe, a device or a giant file is refused like a damaged one.
        gs.maps[1].file.clear();
        PlatformMessageBox("The map list " + gs.mapsIniPath +
                               " cannot be used: it is not a readable file of at most 1 MiB. No maps are listed.",
                           "Quillrun");
        return;
    }
    for (int k = 1; k <= kMapCount; ++k) {
        MapEntry& entry = gs.maps[k];
        MapRefusal why;
        // A refused or missing map leaves the other fields as they were.
        MapEntry loaded = entry;
        const SectionRead result = ReadMapSection(ini, k, loaded, why);
        if (result != SectionRead::kMap) {
            entry.file.clear();
            if (result == SectionRead::kRefused) TellRefused(TwoDigits(k), why);
            return;
        }
        entry = std::move(loaded);
    }
}

std::string DamagedCopyBase(const std::string& iniPath) { return iniPath + ".damaged"; }

std::string GoodCopyPath(const std::string& iniPath) { return iniPath + ".good"; }

void KeepGoodCopy(const std::string& iniPath, const std::string& text) {
    IniDocument doc;
    doc.text = text;
    IndexIniText(doc);
    const std::string good = GoodCopyPath(iniPath);
    if (CatalogueWhole(doc) && ReplaceFileAtomically(good, text)) return;
    // No copy rather than one older than the file: its records could belong
    // to other replays.
    if (!IsFolder(good)) RemoveFile(good);
}

bool ReplaceCatalogue(const std::string& iniPath, const std::string& text) {
    bool copied = false;
    const bool replaced = ReplaceFileAtomically(iniPath, text, [&] {
        KeepGoodCopy(iniPath, text);
        copied = true;
    });
    if (!replaced && copied) RemoveFile(GoodCopyPath(iniPath));
    return replaced;
}

bool SetMapRecordText(std::string& iniText, int16_t index) {
    if (index < 1 || index > kMapCount) return false;
    const MapEntry& entry = gs.maps[index];
    const std::string section = TwoDigits(index);
    std::string text = iniText;
    std::string name;
    if (!StoredName(entry.scoreName, name) ||
        !SetIniValue(text, section, "ScoreBest", MaskText(ScoreText(entry.scoreBest), kScoreMask)) ||
        !SetIniValue(text, section, "ScoreName", name)) {
        return false;
    }
    iniText = std::move(text);
    return true;
}
