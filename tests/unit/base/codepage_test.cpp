// The one Windows-1252 <-> UTF-8 codec: every byte both ways, and a table of
// UTF-8 inputs with their verdict and their code page bytes.
// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <string>

#include "base/codepage.h"

TEST(CodePage, EveryByteSurvivesTheRoundTripUnlessThePageLeavesItUnused) {
    const std::string unused = "\x81\x8D\x8F\x90\x9D";
    for (int b = 0; b < 256; ++b) {
        const std::string one(1, static_cast<char>(b));
        const bool isUnused = unused.find(one) != std::string::npos;
        const std::string utf8 = Cp1252ToUtf8(one);
        size_t pos = 0;
        uint32_t cp = 0;
        ASSERT_TRUE(NextUtf8(utf8, &pos, &cp)) << b;
        EXPECT_EQ(pos, utf8.size()) << b;
        EXPECT_EQ(cp, isUnused ? 0xFFFDu : Cp1252ToUnicode(static_cast<unsigned char>(b))) << b;
        EXPECT_EQ(Utf8ToCp1252(Cp1252ToUtf8(one)), isUnused ? "" : one) << b;
    }
    EXPECT_EQ(Cp1252ToUtf8("\x80\x9F\xE9\xA0" "A"), "\xE2\x82\xAC\xC5\xB8\xC3\xA9\xC2\xA0" "A");
}

TEST(CodePage, Utf8IsReadStrictly) {
    struct Row { const char* what; std::string utf8; bool valid; std::string cp1252; };
    const Row rows[] = {
        {"ASCII", "abc", true, "abc"},
        {"Latin-1 and the 0x80 row", "Ren\xC3\xA9" "e \xE2\x80\x94 \xE2\x82\xAC", true, "Ren\xE9" "e \x97 \x80"},
        {"not in the page", "a\xE4\xB8\xAD" "b", true, "ab"},
        {"beyond the plane", "a\xF0\x9F\x98\x80" "b", true, "ab"},
        {"a C1 control", "a\xC2\x81" "b", true, "ab"},
        {"NUL inside", std::string("a\0b", 3), true, std::string("a\0b", 3)},
        {"stray continuation", "a\x80" "b", false, "ab"},
        {"lead without continuation", "a\xC3" "b", false, "ab"},
        {"cut at the end", "ab\xE2\x82", false, "ab"},
        {"overlong slash", "\xC0\xAF" "x", false, "x"},
        {"overlong three bytes", "\xE0\x80\xAF" "x", false, "x"},
        {"overlong four bytes", "\xF0\x80\x80\xAF" "x", false, "x"},
        {"surrogate", "\xED\xA0\x80" "x", false, "x"},
        {"beyond U+10FFFF", "\xF4\x90\x80\x80" "x", false, "x"},
        {"invalid leads", "\xF8\x88\x80\x80\x80\xFF\xFE" "x", false, "x"},
        {"a broken sequence resumes at the byte that broke it", "\xC3\xC3\xA9", false, "\xE9"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        EXPECT_EQ(IsUtf8(r.utf8), r.valid);
        EXPECT_EQ(Utf8ToCp1252(r.utf8), r.cp1252);
    }
}
