// Placeholder until the code page tables land.
#include "gfx/codepage.h"
uint32_t Cp1252ToUnicode(unsigned char c) { return c; }
std::string Utf8ToCp1252(const std::string& s) { return s; }
std::string Cp1252ToUtf8(const std::string& s) { return s; }
