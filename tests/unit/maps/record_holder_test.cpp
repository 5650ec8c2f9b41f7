// The record holder's name: what the dialog lets through is what the
// clean-up of a typed name keeps.
// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include "base/codepage.h"
#include "headless/headless.h"
#include "maps/record_holder.h"

namespace {

// The dialog's rules and the clean-up agree byte for byte: a byte the rules
// let through survives inside a name, at its ends only when allowed there.
TEST(HolderName, DialogRulesMatchWhatIsStored) {
    int carried = 0;
    for (int c = 1; c < 256; ++c) {
        const auto b = static_cast<unsigned char>(c);
        SCOPED_TRACE(c);
        const std::string one(1, static_cast<char>(c));
        const std::string inside = SanitiseHolderName(Cp1252ToUtf8("a" + one + "a"));
        EXPECT_EQ(HolderNameCarries(b), inside == "a" + one + "a");
        EXPECT_EQ(HolderNameCarriesAtEnd(b), SanitiseHolderName(Cp1252ToUtf8(one)) == one);
        carried += HolderNameCarries(b);
    }
    EXPECT_EQ(carried, 255 - 5 - 31 - 1 - 32 - 1);
    EXPECT_EQ(kHolderNameRules.maxBytes, 254u);
    EXPECT_FALSE(kHolderNameRules.carries(0xBA));       // masks to CR
    EXPECT_FALSE(kHolderNameRules.carriesAtEnd(0x97));  // masks to a blank
    EXPECT_TRUE(kHolderNameRules.carries(0x97));
    // The headless dialog, like the window's, does not take "Ana—": the next
    // answer is the next try.
    HeadlessQueueDialogAnswer("Ana\u2014");
    HeadlessQueueDialogAnswer("Ana\u2014s");
    EXPECT_EQ(PlatformInputBox("", "", "", kHolderNameRules), "Ana\u2014s");
}

}  // namespace
