#include "flight/record_holder.h"

#include "base/codepage.h"
#include "maps/settings_file.h"

namespace {
constexpr size_t kMaxNameBytes = 254;  // what the INI reader returns whole

bool IsControl(unsigned char c) { return c < 0x20 || c == 0x7F; }

bool CarriedInside(unsigned char c) {
    return !IsControl(c) && !IsControl(static_cast<unsigned char>(c ^ kScoreMask));
}

// The reader trims blanks and tabs around a value; tab is a control already.
bool TrimmedAtEnds(unsigned char c) { return static_cast<unsigned char>(c ^ kScoreMask) == ' '; }
}  // namespace

std::string SanitiseHolderName(const std::string& utf8) {
    const std::string text = Utf8ToCp1252(utf8);
    std::string name;
    name.reserve(text.size());
    for (char ch : text) {
        if (name.size() == kMaxNameBytes) break;
        if (CarriedInside(static_cast<unsigned char>(ch))) name.push_back(ch);
    }
    size_t begin = 0;
    size_t end = name.size();
    while (begin < end && TrimmedAtEnds(static_cast<unsigned char>(name[begin]))) ++begin;
    while (end > begin && TrimmedAtEnds(static_cast<unsigned char>(name[end - 1]))) --end;
    name = name.substr(begin, end - begin);
    if (name.empty()) return "Me";
    return name;
}
