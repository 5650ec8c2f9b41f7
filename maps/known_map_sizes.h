// Byte sizes of the shipped map pictures of catalogue entries 1..26, as
// decimal text. The upload sends a record only for a map file of exactly this
// size, and the content generator makes each cave this size.
// SPDX-License-Identifier: MIT
#pragma once

constexpr int kKnownMaps = 26;
constexpr const char* knownMapSizes[kKnownMaps + 1] = {
    "",        "6000056", "6000056", "6000056", "6000056", "4800056", "1200056", "1200056", "1800056",
    "2400056", "2400056", "1274456", "4200054", "4200054", "3032054", "4200054", "700068",  "700076",
    "700080",  "2000312", "1320054", "3180054", "1000084", "1000076", "6000054", "2001080", "12000054",
};
