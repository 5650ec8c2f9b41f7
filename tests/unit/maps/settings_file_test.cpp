#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "maps/settings_file.h"
#include "shell/game_state.h"
#include "test_support.h"

using testsupport::FileExists;
using testsupport::MakeTempDir;
using testsupport::ReadFile;
using testsupport::RemoveTree;
using testsupport::WriteFile;

namespace {

class SettingsFile : public ::testing::Test {
protected:
    void SetUp() override {
        ResetGameState();
        dir = MakeTempDir("quillrun-ini");
        SetProgramFolder(dir);
        path = dir + "/Maps.ini";
    }
    void TearDown() override {
        ::chmod(dir.c_str(), 0700);
        RemoveTree(dir);
    }
    std::string Read(const std::string& section, const std::string& key) {
        return ReadIniValue(section, key, path);
    }
    size_t FilesInDir() const {
        size_t n = 0;
        for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(dir)) ++n;
        return n;
    }
    std::string dir, path;
};

TEST_F(SettingsFile, ReadsFilesAsOtherToolsWriteThem) {
    // LF-only lines, blanks and tabs around names and values, comments, odd
    // case, a line without '=', and no line end after the last line.
    WriteFile(path,
              "; written by hand\n"
              "top=outside any section\n"
              "  [ 01 ]  \n"
              "\tFile \t=  cave one.bmp\t \n"
              "WIDTH=700\n"
              "  ;Name=commented out\n"
              "just some words\n"
              "name=The First Cave\n"
              "Formula = a=b=c\n"
              "[02]\n"
              "File=last.bmp");
    EXPECT_EQ(Read("01", "File"), "cave one.bmp");
    EXPECT_EQ(Read("01", "Width"), "700");
    EXPECT_EQ(Read("01", "width"), "700");
    EXPECT_EQ(Read("01", "NAME"), "The First Cave");
    EXPECT_EQ(Read("01", "Formula"), "a=b=c");
    EXPECT_EQ(Read("01", "top"), "");
    EXPECT_EQ(Read("01", ";Name"), "");
    EXPECT_EQ(Read("01", "just some words"), "");
    EXPECT_EQ(Read("02", "File"), "last.bmp");
    EXPECT_EQ(Read("02", "Width"), "");  // does not leak from section 01
}

TEST_F(SettingsFile, CrLfLoneCrAndLfReadAlike) {
    WriteFile(path, "\xEF\xBB\xBF[A]\r\nx=1\r\ny=2\rz=3\n\r\n[B]\r\nx=4\r\n");
    EXPECT_EQ(Read("A", "x"), "1");
    EXPECT_EQ(Read("A", "y"), "2");
    EXPECT_EQ(Read("A", "z"), "3");
    EXPECT_EQ(Read("b", "X"), "4");
}

TEST_F(SettingsFile, FirstSectionAndFirstKeyWin) {
    WriteFile(path,
              "[01]\r\nFile=first.bmp\r\nFile=second.bmp\r\n"
              "[02]\r\nFile=two.bmp\r\n"
              "[01]\r\nFile=third.bmp\r\nName=only in the later copy\r\n");
    EXPECT_EQ(Read("01", "File"), "first.bmp");
    EXPECT_EQ(Read("01", "Name"), "");
    // Writing goes to the same places that reading looks at.
    WriteIniValue("01", "File", "new.bmp", path);
    WriteIniValue("01", "Name", "N", path);
    EXPECT_EQ(ReadFile(path),
              "[01]\r\nFile=new.bmp\r\nFile=second.bmp\r\nName=N\r\n"
              "[02]\r\nFile=two.bmp\r\n"
              "[01]\r\nFile=third.bmp\r\nName=only in the later copy\r\n");
}

TEST_F(SettingsFile, MissingThingsReadEmptyAndCreateNothing) {
    EXPECT_EQ(Read("01", "File"), "");
    EXPECT_FALSE(FileExists(path));
    EXPECT_EQ(ReadIniValue("01", "File", dir), "");  // a folder, not a file
    WriteFile(path, "[01]\r\nFile=\r\nWidth=   \r\n");
    EXPECT_EQ(Read("01", "File"), "");
    EXPECT_EQ(Read("01", "Width"), "");
    EXPECT_EQ(Read("01", "Name"), "");
    EXPECT_EQ(Read("02", "File"), "");
}

TEST_F(SettingsFile, ValuesAreCutTo254Characters) {
    std::string exact(254, 'x');
    std::string longer;
    for (int i = 0; i < 300; ++i) longer.push_back(static_cast<char>('a' + i % 26));
    WriteFile(path, "[01]\r\nExact=" + exact + "\r\nLong=" + longer + "\r\n");
    EXPECT_EQ(Read("01", "Exact"), exact);
    EXPECT_EQ(Read("01", "Long"), longer.substr(0, 254));
    // Writing keeps the whole value; only reading cuts it.
    WriteIniValue("01", "Long", longer + "!", path);
    EXPECT_NE(ReadFile(path).find(longer + "!\r\n"), std::string::npos);
    EXPECT_EQ(Read("01", "Long"), longer.substr(0, 254));
}

TEST_F(SettingsFile, ReplacingAValueKeepsEveryOtherByte) {
    const std::string before =
        "; Maps for Quillrun\n"
        "[01]\r\n"
        "File=a.bmp\r\n"
        "  scorebest =  \x91\x92\x93  \r\n"
        "Name=Cave\n"
        "\r\n"
        "[02]\r\n"
        "ScoreBest=old";
    WriteFile(path, before);
    WriteIniValue("01", "ScoreBest", "\x87\x88", path);
    WriteIniValue("02", "ScoreBest", "new value", path);
    EXPECT_EQ(ReadFile(path),
              "; Maps for Quillrun\n"
              "[01]\r\n"
              "File=a.bmp\r\n"
              "  scorebest =  \x87\x88  \r\n"
              "Name=Cave\n"
              "\r\n"
              "[02]\r\n"
              "ScoreBest=new value");
    EXPECT_EQ(Read("01", "ScoreBest"), "\x87\x88");
    // An empty value replaces too, and the key stays.
    WriteIniValue("01", "File", "", path);
    EXPECT_NE(ReadFile(path).find("\r\nFile=\r\n"), std::string::npos);
}

TEST_F(SettingsFile, MissingKeyGoesAfterTheLastKeyOfItsSection) {
    WriteFile(path,
              "[01]\r\nFile=a.bmp\r\nWidth=700\r\n\r\n; map two\r\n"
              "[02]\n"
              "\n"
              "[03]\r\nFile=c.bmp");
    WriteIniValue("01", "ScoreBest", "s1", path);
    WriteIniValue("02", "File", "b.bmp", path);
    WriteIniValue("03", "Name", "C", path);
    EXPECT_EQ(ReadFile(path),
              "[01]\r\nFile=a.bmp\r\nWidth=700\r\nScoreBest=s1\r\n\r\n; map two\r\n"
              "[02]\nFile=b.bmp\r\n"
              "\n"
              "[03]\r\nFile=c.bmp\r\nName=C\r\n");
    EXPECT_EQ(Read("01", "ScoreBest"), "s1");
    EXPECT_EQ(Read("02", "File"), "b.bmp");
    EXPECT_EQ(Read("03", "Name"), "C");
}

TEST_F(SettingsFile, MissingSectionGoesAtTheEndAndMissingFileIsCreated) {
    WriteIniValue("01", "File", "a.bmp", path);
    EXPECT_EQ(ReadFile(path), "[01]\r\nFile=a.bmp\r\n");
    WriteIniValue("02", "File", "b.bmp", path);
    EXPECT_EQ(ReadFile(path), "[01]\r\nFile=a.bmp\r\n[02]\r\nFile=b.bmp\r\n");
    // A file without a final line end gets one before the new section.
    WriteFile(path, "[01]\nFile=a.bmp");
    WriteIniValue(" 07 ", " Name ", "Seven", path);
    EXPECT_EQ(ReadFile(path), "[01]\nFile=a.bmp\r\n[07]\r\nName=Seven\r\n");
    WriteFile(path, "");
    WriteIniValue("01", "File", "a.bmp", path);
    EXPECT_EQ(ReadFile(path), "[01]\r\nFile=a.bmp\r\n");
    // A missing folder is not created, and nothing fails loudly.
    WriteIniValue("01", "File", "a.bmp", dir + "/no/such/Maps.ini");
    EXPECT_FALSE(FileExists(dir + "/no"));
}

TEST_F(SettingsFile, ValuesThatWouldBreakTheFileAreRefused) {
    WriteFile(path, "[01]\r\nName=old\r\n");
    for (const std::string& bad : {std::string("a\rb"), std::string("a\nb"), std::string("a\0b", 3),
                                   std::string("\r\n"), std::string(1, '\0')}) {
        WriteIniValue("01", "Name", bad, path);
        WriteIniValue("01", "Other", bad, path);
        WriteIniValue("09", "Name", bad, dir + "/New.ini");
    }
    // Names that would not read back as themselves are refused as well.
    WriteIniValue("01", "a=b", "v", path);
    WriteIniValue("0\n1", "Name", "v", path);
    EXPECT_EQ(ReadFile(path), "[01]\r\nName=old\r\n");
    EXPECT_FALSE(FileExists(dir + "/New.ini"));
}

TEST_F(SettingsFile, EveryOtherByteValueReadsBackAsWritten) {
    std::string value;
    for (int c = 1; c < 256; ++c) {
        if (c != '\r' && c != '\n') value.push_back(static_cast<char>(c));
    }
    value = "[" + value + "]";  // blanks inside, none at the ends
    ASSERT_LE(value.size(), 258u);
    std::string head = value.substr(0, 254);
    WriteIniValue("01", "All", head, path);
    WriteIniValue("01", "Other", "x", path);
    EXPECT_EQ(Read("01", "All"), head);
    EXPECT_EQ(Read("01", "Other"), "x");
    std::string tail = "=" + value.substr(200);
    WriteIniValue("01", "All", tail, path);
    EXPECT_EQ(Read("01", "All"), tail);
}

TEST_F(SettingsFile, WritesLeaveNoTemporaryFilesAndKeepPermissions) {
    WriteFile(path, "[01]\r\nFile=a.bmp\r\n");
    ::chmod(path.c_str(), 0640);
    for (int i = 0; i < 5; ++i) WriteIniValue("01", "ScoreBest", std::to_string(i), path);
    EXPECT_EQ(FilesInDir(), 1u);
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(Read("01", "ScoreBest"), "4");
}

TEST_F(SettingsFile, WritingThroughALinkReplacesTheFileItPointsTo) {
    std::filesystem::create_directories(dir + "/real");
    WriteFile(dir + "/real/Maps.ini", "[01]\r\nFile=a.bmp\r\n");
    std::filesystem::create_symlink(dir + "/real/Maps.ini", path);
    WriteIniValue("01", "Name", "A", path);
    EXPECT_TRUE(std::filesystem::is_symlink(path));
    EXPECT_EQ(ReadFile(dir + "/real/Maps.ini"), "[01]\r\nFile=a.bmp\r\nName=A\r\n");
}

TEST_F(SettingsFile, ReadOnlyFileIsLeftIntact) {
    const std::string before = "[01]\r\nFile=a.bmp\r\n";
    WriteFile(path, before);
    ::chmod(path.c_str(), 0444);
    WriteIniValue("01", "File", "b.bmp", path);
    WriteIniValue("01", "ScoreBest", "x", path);
    EXPECT_EQ(ReadFile(path), before);
    EXPECT_EQ(FilesInDir(), 1u);
}

TEST_F(SettingsFile, ReadOnlyFolderLeavesTheFileIntact) {
    const std::string before = "[01]\r\nFile=a.bmp\r\n";
    WriteFile(path, before);
    ::chmod(path.c_str(), 0666);
    ::chmod(dir.c_str(), 0555);
    // The write runs in a child without the rights of root, which would be
    // allowed to write into any folder.
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(3);
        WriteIniValue("01", "File", "b.bmp", path);
        WriteIniValue("01", "ScoreBest", "x", path);
        WriteIniValue("02", "File", "c.bmp", path);
        ::_exit(ReadIniValue("01", "File", path) == "a.bmp" ? 0 : 4);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(ReadFile(path), before);
    EXPECT_EQ(FilesInDir(), 1u);
}

TEST(MaskText, EveryCodeMasksAndUnmasks) {
    std::string all;
    for (int c = 0; c < 256; ++c) all.push_back(static_cast<char>(c));
    std::string masked = MaskText(all, kScoreMask);
    ASSERT_EQ(masked.size(), 256u);
    for (int c = 0; c < 256; ++c) {
        EXPECT_EQ(static_cast<unsigned char>(masked[c]), c ^ 183) << "code " << c;
    }
    EXPECT_EQ(MaskText(masked, kScoreMask), all);
    EXPECT_EQ(MaskText("", kScoreMask), "");
    EXPECT_EQ(MaskText(" 725", 183), "\x97\x80\x85\x82");
}

}  // namespace
