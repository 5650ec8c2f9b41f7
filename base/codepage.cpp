// Windows-1252 and UTF-8: the code page table and the conversions both ways.
// SPDX-License-Identifier: MIT
#include "base/codepage.h"

namespace {

// Bytes 0x80..0x9F; every other byte is its own code point. Zero marks the
// five codes the page leaves unused.
constexpr uint16_t kHighControls[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80..87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,       // 88..8F
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90..97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,  // 98..9F
};

}  // namespace

int UnicodeToCp1252(uint32_t cp) {
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<int>(cp);
    for (int i = 0; i < 32; ++i) {
        if (kHighControls[i] != 0 && kHighControls[i] == cp) return 0x80 + i;
    }
    return -1;
}

void AppendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

uint32_t Cp1252ToUnicode(unsigned char c) {
    if (c >= 0x80 && c <= 0x9F) return kHighControls[c - 0x80];
    return c;
}

bool NextUtf8(const std::string& text, size_t* pos, uint32_t* cp) {
    const size_t n = text.size();
    size_t i = *pos;
    const auto lead = static_cast<unsigned char>(text[i]);
    int extra;
    uint32_t value;
    uint32_t minimum;
    if (lead < 0x80) { extra = 0; value = lead; minimum = 0; }
    else if ((lead & 0xE0) == 0xC0) { extra = 1; value = lead & 0x1F; minimum = 0x80; }
    else if ((lead & 0xF0) == 0xE0) { extra = 2; value = lead & 0x0F; minimum = 0x800; }
    else if ((lead & 0xF8) == 0xF0) { extra = 3; value = lead & 0x07; minimum = 0x10000; }
    else {  // stray continuation byte or invalid lead
        *pos = i + 1;
        return false;
    }
    ++i;
    for (int k = 0; k < extra; ++k, ++i) {
        if (i >= n || (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
            *pos = i;  // resume at the byte that broke the sequence
            return false;
        }
        value = (value << 6) | (static_cast<unsigned char>(text[i]) & 0x3F);
    }
    *pos = i;
    // Overlong forms and surrogates are malformed, not characters.
    if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return false;
    *cp = value;
    return true;
}

bool IsUtf8(const std::string& text) {
    size_t i = 0;
    uint32_t cp = 0;
    while (i < text.size()) {
        if (!NextUtf8(text, &i, &cp)) return false;
    }
    return true;
}

std::string Utf8ToCp1252(const std::string& utf8) {
    std::string out;
    out.reserve(utf8.size());
    size_t i = 0;
    uint32_t cp = 0;
    while (i < utf8.size()) {
        if (!NextUtf8(utf8, &i, &cp)) continue;
        const int byte = UnicodeToCp1252(cp);
        if (byte >= 0) out.push_back(static_cast<char>(byte));
    }
    return out;
}

std::string Cp1252ToUtf8(const std::string& text) {
    std::string out;
    out.reserve(text.size() * 2);
    for (char ch : text) {
        const uint32_t cp = Cp1252ToUnicode(static_cast<unsigned char>(ch));
        // Byte 0 is NUL, a code point of its own; only unused codes map to 0.
        if (cp == 0 && ch != '\0') AppendUtf8(out, 0xFFFD);
        else AppendUtf8(out, cp);
    }
    return out;
}
