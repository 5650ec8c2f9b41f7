// The INI layer on files as other tools write them: what reads back, and
// what a write changes.
// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "base/game_paths.h"
#include "base/game_state.h"
#include "maps/settings_file.h"
#include "shell/run_start.h"
#include "test_support.h"

using testsupport::ReadFile;
using testsupport::WriteFile;

namespace {

class SettingsFile : public ::testing::Test {
protected:
    void SetUp() override {
        ResetGameState();
        dir = testsupport::MakeTempDir("quillrun-ini");
        SetGameFolders({dir, dir});
        path = dir + "/Maps.ini";
    }
    void TearDown() override { testsupport::RemoveTree(dir); }
    std::string dir, path;
};

TEST_F(SettingsFile, ReadsFilesAsOtherToolsWriteThem) {
    std::string longValue;
    for (int i = 0; i < 300; ++i) longValue.push_back(static_cast<char>('a' + i % 26));
    // LF-only and lone-CR lines, blanks and tabs around '=', comments, odd case,
    // duplicate sections and keys, and no line end after the last line.
    WriteFile(path, "; written by hand\ntop=outside\n  [ 01 ]  \n\tFile \t=  cave one.bmp\t \nWIDTH=700\r\n"
                    "  ;Name=commented out\njust words\nFile=second.bmp\nFormula = a=b=c\rLong=" + longValue +
                    "\n[02]\nFile=two.bmp\n[01]\nName=in the later copy\n[03]\nFile=last.bmp");
    const struct { const char *section, *key; std::string value; } cases[] = {
        {"01", "File", "cave one.bmp"}, {"01", "width", "700"}, {"01", "Formula", "a=b=c"},
        {"01", "Long", longValue.substr(0, 254)}, {"01", "Name", ""}, {"01", "top", ""}, {"01", ";Name", ""},
        {"01", "just words", ""}, {"02", "FILE", "two.bmp"}, {"02", "Width", ""}, {"03", "File", "last.bmp"},
        {"04", "File", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(ReadIniValue(c.section, c.key, path), c.value) << c.section << " " << c.key;
    EXPECT_TRUE(ReadIniValue("01", "File", dir + "/none.ini").empty() && !testsupport::FileExists(dir + "/none.ini"));
}

TEST_F(SettingsFile, WritesChangeOnlyTheValueOrAddAfterTheLastKeyAndRefuseWhatWouldBreakTheFile) {
    const std::string old = "[01]\r\nName=old\r\n";
    const struct { std::string before, section, key, value, after; } cases[] = {
        {"; top\n[01]\r\n  scorebest =  \x91\x92  \r\nName=Cave\n", "01", "ScoreBest", "\x87", "; top\n[01]\r\n  scorebest =  \x87  \r\nName=Cave\n"},
        {"[01]\r\nFile=a\r\nFile=b\r\n[01]\r\nFile=c\r\n", "01", "File", "n", "[01]\r\nFile=n\r\nFile=b\r\n[01]\r\nFile=c\r\n"},
        {"[01]\r\nFile=a\r\n\r\n; two\r\n[02]\nFile=b", "01", "Name", "N", "[01]\r\nFile=a\r\nName=N\r\n\r\n; two\r\n[02]\nFile=b"},
        {"[01]\nFile=a", "01", "Name", "N", "[01]\nFile=a\r\nName=N\r\n"},
        {"[01]\nFile=a", " 07 ", " Name ", "Seven", "[01]\nFile=a\r\n[07]\r\nName=Seven\r\n"},
        {"", "01", "File", "", "[01]\r\nFile=\r\n"},
        {old, "01", "Name", "a\rb", old}, {old, "01", "Name", "a\nb", old}, {old, "01", "Other", std::string("a\0b", 3), old},
        {old, "01", "a=b", "v", old}, {old, "0\n1", "Name", "v", old},  // names that would not read back
    };
    for (const auto& c : cases) {
        WriteFile(path, c.before);
        WriteIniValue(c.section, c.key, c.value, path);
        EXPECT_EQ(ReadFile(path), c.after) << c.before << " + " << c.key << "=" << c.value;
    }
    WriteIniValue("01", "Name", "a\nb", dir + "/New.ini");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1);  // no refused nor temporary file
    const std::string longValue(300, 'v');  // written whole, only reading cuts it
    WriteIniValue("01", "Long", longValue, path);
    EXPECT_NE(ReadFile(path).find("Long=" + longValue + "\r\n"), std::string::npos);
}

}  // namespace
