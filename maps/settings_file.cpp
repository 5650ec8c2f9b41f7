// Placeholder until the settings file layer lands.
#include "maps/settings_file.h"
std::string ReadIniValue(const std::string&, const std::string&, const std::string&) { return {}; }
void WriteIniValue(const std::string&, const std::string&, const std::string&, const std::string&) {}
std::string MaskText(const std::string& text, unsigned char mask) {
    std::string r = text;
    for (char& c : r) c = static_cast<char>(static_cast<unsigned char>(c) ^ mask);
    return r;
}
