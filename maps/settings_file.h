// Reading and writing values of an INI settings file, and the mask that
// best scores and their holders' names are stored in.
// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <string>
#include <unordered_map>

#include "base/regular_file.h"

constexpr unsigned char kScoreMask = 183;

// The most bytes of a value the reader gives back, as the profile call does.
constexpr size_t kMaxIniValueChars = 254;

// Far above any real catalogue; a larger file is refused.
constexpr size_t kMaxIniBytes = 1 << 20;

// A settings file read once for many lookups.
struct IniDocument {
    std::string text;
    // Trimmed, lower-cased "section\nkey" -> the value's place in `text`.
    std::unordered_map<std::string, std::pair<size_t, size_t>> values;
};

// Reads and indexes the file: a regular file of at most kMaxIniBytes. Any
// result but kOk leaves an empty document.
FileRead LoadIniDocument(const std::string& path, IniDocument& doc);

// Indexes the values of doc.text, as LoadIniDocument does after reading.
void IndexIniText(IniDocument& doc);

// A value of a loaded document, as ReadIniValue gives it.
std::string IniValue(const IniDocument& doc, const std::string& section, const std::string& key);

// The value of `key` in `section`, at most 254 characters; empty text when
// the file, section or key is missing.
std::string ReadIniValue(const std::string& section, const std::string& key, const std::string& path);

// Sets `key` in `section` of a file's text to `value`, adding key or
// section as needed; false (text unchanged) for a value holding CR, LF or
// NUL or a name that would not read back.
bool SetIniValue(std::string& text, const std::string& section, const std::string& key, const std::string& value);

// Sets one key in one replacement of the file, creating it as needed.
// Failures are silent; a file that could not be read is never replaced.
void WriteIniValue(const std::string& section, const std::string& key, const std::string& value,
                   const std::string& path);

// Each character's code exclusive-or `mask`; its own inverse.
std::string MaskText(const std::string& text, unsigned char mask);
