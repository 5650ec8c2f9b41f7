// The record holder's name: which bytes a masked INI value carries, and the
// clean-up of the dialog's answer.
// SPDX-License-Identifier: MIT
#include "maps/record_holder.h"

#include "base/codepage.h"
#include "maps/settings_file.h"

namespace {
bool IsControl(unsigned char c) { return c < 0x20 || c == 0x7F; }
}  // namespace

bool HolderNameCarries(unsigned char c) {
    if (c >= 0x80 && Cp1252ToUnicode(c) == 0) return false;  // the five unused codes
    return !IsControl(c) && !IsControl(static_cast<unsigned char>(c ^ kScoreMask));
}

// The reader trims blanks and tabs around a value; tab is a control already.
bool HolderNameCarriesAtEnd(unsigned char c) {
    return HolderNameCarries(c) && static_cast<unsigned char>(c ^ kScoreMask) != ' ';
}

const InputRules kHolderNameRules{kMaxHolderNameBytes, HolderNameCarries, HolderNameCarriesAtEnd};

std::string SanitiseHolderName(const std::string& utf8) {
    const std::string text = Utf8ToCp1252(utf8);
    std::string name;
    name.reserve(text.size());
    for (char ch : text) {
        if (name.size() == kMaxHolderNameBytes) break;
        if (HolderNameCarries(static_cast<unsigned char>(ch))) name.push_back(ch);
    }
    size_t begin = 0;
    size_t end = name.size();
    while (begin < end && !HolderNameCarriesAtEnd(static_cast<unsigned char>(name[begin]))) ++begin;
    while (end > begin && !HolderNameCarriesAtEnd(static_cast<unsigned char>(name[end - 1]))) --end;
    name = name.substr(begin, end - begin);
    if (name.empty()) return "Me";
    return name;
}
