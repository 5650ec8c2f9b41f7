// The game's single-byte code page, Windows-1252.
#pragma once

#include <cstdint>
#include <string>

// The Unicode code point of a Windows-1252 byte; 0 for the five unused codes.
uint32_t Cp1252ToUnicode(unsigned char c);

// UTF-8 text to Windows-1252; characters outside the code page, and
// malformed sequences, are dropped.
std::string Utf8ToCp1252(const std::string& utf8);

// Windows-1252 text to UTF-8; unused codes become U+FFFD.
std::string Cp1252ToUtf8(const std::string& text);
