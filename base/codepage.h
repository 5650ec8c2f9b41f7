// The game's single-byte code page, Windows-1252, and its one conversion to
// and from UTF-8 (dialogs, message boxes, the driver's script, the upload).
// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The Unicode code point of a Windows-1252 byte; 0 for the five unused codes.
uint32_t Cp1252ToUnicode(unsigned char c);

// The Windows-1252 byte of a code point, or -1 when the page has none.
// U+0080..U+009F are C1 controls, not characters of the page.
int UnicodeToCp1252(uint32_t cp);

// Decodes the UTF-8 sequence at text[*pos] and moves *pos past it. False for
// a malformed sequence (a stray or invalid lead byte, a missing continuation
// byte, an overlong form, a surrogate, beyond U+10FFFF); *pos then stands at
// the first byte that does not belong to it.
bool NextUtf8(const std::string& text, size_t* pos, uint32_t* cp);

// True when the whole text is well-formed UTF-8.
bool IsUtf8(const std::string& text);

// Appends the UTF-8 form of a code point (at most U+10FFFF).
void AppendUtf8(std::string& out, uint32_t cp);

// UTF-8 text to Windows-1252; characters outside the code page, and
// malformed sequences, are dropped.
std::string Utf8ToCp1252(const std::string& utf8);

// Windows-1252 text to UTF-8; unused codes become U+FFFD.
std::string Cp1252ToUtf8(const std::string& text);
