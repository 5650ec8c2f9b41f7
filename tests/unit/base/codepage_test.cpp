// The game's code page, Windows-1252, against UTF-8.
#include <gtest/gtest.h>

#include <string>

#include "base/codepage.h"

TEST(CodePage, UsedBytesSurviveTheRoundTripAndForeignOrMalformedUtf8IsDropped) {
    const std::string unused = "\x81\x8D\x8F\x90\x9D";
    for (int b = 0; b < 256; ++b) {
        const std::string one(1, static_cast<char>(b));
        EXPECT_EQ(Utf8ToCp1252(Cp1252ToUtf8(one)), unused.find(one) != std::string::npos ? "" : one) << b;
    }
    const std::pair<const char*, const char*> cases[] = {
        {"Ren\xC3\xA9" "e \xE2\x80\x94 \xE2\x82\xAC", "Ren\xE9" "e \x97 \x80"}, {"a\xE4\xB8\xAD" "b", "ab"},
        {"a\xF0\x9F\x98\x80" "b", "ab"}, {"a\xC2\x81" "b", "ab"}, {"a\x80" "b", "ab"}, {"a\xC3" "b", "ab"},
        {"ab\xE2\x82", "ab"}, {"\xC0\xAF" "x", "x"}, {"\xED\xA0\x80" "x", "x"}, {"\xF4\x90\x80\x80" "x", "x"},
        {"\xFF\xFE" "x", "x"}, {"\xC3\xC3\xA9", "\xE9"},
    };
    for (const auto& [utf8, cp] : cases) EXPECT_EQ(Utf8ToCp1252(utf8), cp) << utf8;
}
