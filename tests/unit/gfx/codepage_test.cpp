// The game's code page, Windows-1252, against UTF-8.
#include <gtest/gtest.h>

#include <string>

#include "gfx/codepage.h"

namespace {

constexpr unsigned char kUnused[] = {0x81, 0x8D, 0x8F, 0x90, 0x9D};

bool IsUnused(int byte) {
    for (unsigned char u : kUnused)
        if (u == byte) return true;
    return false;
}

TEST(CodePage, EveryUsedByteSurvivesTheRoundTrip) {
    for (int b = 0; b < 256; ++b) {
        const std::string one(1, static_cast<char>(b));
        const std::string utf8 = Cp1252ToUtf8(one);
        if (IsUnused(b)) {
            EXPECT_EQ(Cp1252ToUnicode(static_cast<unsigned char>(b)), 0u) << b;
            EXPECT_EQ(utf8, "\xEF\xBF\xBD") << b;
            EXPECT_EQ(Utf8ToCp1252(utf8), "") << b;
        } else {
            EXPECT_EQ(Utf8ToCp1252(utf8), one) << b;
        }
    }
}

TEST(CodePage, KnownCharacters) {
    EXPECT_EQ(Cp1252ToUnicode(0x80), 0x20ACu);  // euro sign
    EXPECT_EQ(Cp1252ToUnicode(0x9F), 0x0178u);  // Y with diaeresis
    EXPECT_EQ(Cp1252ToUnicode(0xE9), 0x00E9u);
    EXPECT_EQ(Cp1252ToUnicode('|'), static_cast<uint32_t>('|'));
    EXPECT_EQ(Cp1252ToUtf8("J\xF6rg \x80"), "J\xC3\xB6rg \xE2\x82\xAC");
    EXPECT_EQ(Utf8ToCp1252("Ren\xC3\xA9" "e \xE2\x80\x94 \xE2\x84\xA2"), "Ren\xE9""e \x97 \x99");
    EXPECT_EQ(Cp1252ToUtf8(std::string("a\0b", 3)), std::string("a\0b", 3));
}

TEST(CodePage, CharactersOutsideThePageAreDropped) {
    EXPECT_EQ(Utf8ToCp1252("a\xE2\x82\xACz"), "a\x80z");
    EXPECT_EQ(Utf8ToCp1252("a\xE4\xB8\xAD" "b"), "ab");          // CJK
    EXPECT_EQ(Utf8ToCp1252("a\xF0\x9F\x98\x80" "b"), "ab");      // emoji, four bytes
    EXPECT_EQ(Utf8ToCp1252("a\xC2\x81" "b"), "ab");              // C1 control, not a character
    EXPECT_EQ(Utf8ToCp1252("\xC5\x8D"), "");                     // o with macron
}

TEST(CodePage, MalformedSequencesAreDroppedAndTheRestKept) {
    EXPECT_EQ(Utf8ToCp1252("a\x80" "b"), "ab");                  // lone continuation byte
    EXPECT_EQ(Utf8ToCp1252("a\xC3" "b"), "ab");                  // lead byte without continuation
    EXPECT_EQ(Utf8ToCp1252("ab\xE2\x82"), "ab");                 // cut off at the end
    EXPECT_EQ(Utf8ToCp1252("\xC0\xAF" "x"), "x");                // overlong '/'
    EXPECT_EQ(Utf8ToCp1252("\xE0\x80\xAF" "x"), "x");            // overlong, three bytes
    EXPECT_EQ(Utf8ToCp1252("\xED\xA0\x80" "x"), "x");            // surrogate
    EXPECT_EQ(Utf8ToCp1252("\xF4\x90\x80\x80" "x"), "x");        // above U+10FFFF
    EXPECT_EQ(Utf8ToCp1252("\xFF\xFE" "x"), "x");
    EXPECT_EQ(Utf8ToCp1252("\xC3\xC3\xA9"), "\xE9");             // the broken lead does not eat the next one
    EXPECT_EQ(Utf8ToCp1252(""), "");
}

}  // namespace
