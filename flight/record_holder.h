// The name of a new record holder, made safe for the masked INI value.
#pragma once

#include <string>

// Turns the dialog's UTF-8 answer into the Windows-1252 name that is stored
// and shown. Dropped are: characters outside Windows-1252; control codes
// (0x00..0x1F, 0x7F); codes whose masked form (code ^ 183) is a control code
// (0xA0..0xBF, 0xC8), among them the ones that mask to NUL, CR, LF and tab;
// bytes beyond the first 254; then, at either end, every 0x97 (it masks to
// a blank, which the INI reader trims). Nothing left gives "Me".
std::string SanitiseHolderName(const std::string& utf8);
