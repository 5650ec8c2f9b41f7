// The name of a new record holder, made safe for the masked INI value, and
// the rules the name dialog applies while it is typed.
// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <string>

#include "platform/platform.h"

// The longest name the INI reader gives back whole, in bytes.
constexpr size_t kMaxHolderNameBytes = 254;

// True when a stored name can carry this Windows-1252 byte: a code of the
// page that is no control code (0x00..0x1F, 0x7F) and whose masked form
// (code ^ 183) is none either (so not 0xA0..0xBF, 0xC8).
bool HolderNameCarries(unsigned char c);

// True when the byte may also stand first or last: 0x97 masks to a blank,
// which the INI reader trims.
bool HolderNameCarriesAtEnd(unsigned char c);

// The rules above for the platform's text-input dialog.
extern const InputRules kHolderNameRules;

// Turns the dialog's UTF-8 answer into the Windows-1252 name that is stored
// and shown. Dropped are: characters outside Windows-1252; bytes a name
// cannot carry (HolderNameCarries), among them the ones that mask to NUL,
// CR, LF and tab; bytes beyond the first 254; then, at either end, every
// 0x97. Nothing left gives "Me".
std::string SanitiseHolderName(const std::string& utf8);
