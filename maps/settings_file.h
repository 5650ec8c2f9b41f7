// Reading and writing values of an INI settings file, and the mask that
// best scores and their holders' names are stored in.
#pragma once

#include <string>

constexpr unsigned char kScoreMask = 183;

// The value of `key` in `section`, at most 254 characters; empty text when
// the file, section or key is missing.
std::string ReadIniValue(const std::string& section, const std::string& key, const std::string& path);

// Sets `key` in `section` to `value`, creating key, section and file as
// needed. The file is replaced atomically. Failures are silent; a value
// holding CR, LF or NUL is refused.
void WriteIniValue(const std::string& section, const std::string& key, const std::string& value,
                   const std::string& path);

// Each character's code exclusive-or `mask`; its own inverse.
std::string MaskText(const std::string& text, unsigned char mask);
