// Whole-file replacement and bounded reading on the files a player's folder
// may hold: links, read-only files and folders, pipes, devices, giant files.
// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <string>

#include "base/atomic_file.h"
#include "base/regular_file.h"
#include "test_support.h"

namespace {

using testsupport::ReadFile;
using testsupport::WriteFile;

class Files : public ::testing::Test {
protected:
    void SetUp() override { dir = testsupport::MakeTempDir("quillrun-files"); }
    void TearDown() override {
        ::chmod(dir.c_str(), 0700);
        testsupport::RemoveTree(dir);
    }
    std::set<std::string> Listing() const {
        std::set<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(dir)) names.insert(e.path().filename().string());
        return names;
    }
    mode_t Mode(const std::string& path) const {
        struct stat st {};
        return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
    }
    std::string dir;
};

TEST_F(Files, ReplacementKeepsTheModeWritesThroughALinkAndLeavesNothingBehind) {
    const std::string path = dir + "/f.ini";
    WriteFile(path, "old");
    ::chmod(path.c_str(), 0640);
    EXPECT_TRUE(ReplaceFileAtomically(path, "new"));
    EXPECT_EQ(ReadFile(path), "new");
    EXPECT_EQ(Mode(path), 0640u);

    const mode_t mask = ::umask(022);
    EXPECT_TRUE(ReplaceFileAtomically(dir + "/fresh", std::string("a\0b", 3)));
    ::umask(mask);
    EXPECT_EQ(ReadFile(dir + "/fresh"), std::string("a\0b", 3));
    EXPECT_EQ(Mode(dir + "/fresh"), 0644u);

    // A link is kept; the file it points to gets the content.
    ::symlink("f.ini", (dir + "/link").c_str());
    EXPECT_TRUE(ReplaceFileAtomically(dir + "/link", "through"));
    EXPECT_TRUE(std::filesystem::is_symlink(dir + "/link"));
    EXPECT_EQ(ReadFile(path), "through");
    EXPECT_EQ(Listing(), (std::set<std::string>{"f.ini", "fresh", "link"}));
}

TEST_F(Files, WhatMustNotBeReplacedStaysAsItIs) {
    const std::string path = dir + "/f";
    struct Row { const char* what; void (*prepare)(const std::string& dir, const std::string& path); };
    const Row rows[] = {
        {"read-only file", [](const std::string&, const std::string& p) { ::chmod(p.c_str(), 0444); }},
        {"read-only folder", [](const std::string& d, const std::string&) { ::chmod(d.c_str(), 0555); }},
        {"dangling link", [](const std::string&, const std::string& p) { ::unlink(p.c_str()), ::symlink("gone", p.c_str()); }},
        {"folder", [](const std::string&, const std::string& p) { ::unlink(p.c_str()), ::mkdir(p.c_str(), 0755); }},
        {"pipe", [](const std::string&, const std::string& p) { ::unlink(p.c_str()), ::mkfifo(p.c_str(), 0666); }},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        WriteFile(path, "old");
        r.prepare(dir, path);
        const auto before = Listing();
        EXPECT_FALSE(ReplaceFileAtomically(path, "new"));
        EXPECT_TRUE(StageFileBeside(path, "new").empty());
        EXPECT_EQ(Listing(), before);  // no temporary file left
        ::chmod(dir.c_str(), 0700);
        ::chmod(path.c_str(), 0644);
        if (std::filesystem::is_regular_file(path)) {
            EXPECT_EQ(ReadFile(path), "old");
        }
        std::filesystem::remove(path);
    }
}

TEST_F(Files, OnlyRegularFilesUpToTheLimitAreRead) {
    WriteFile(dir + "/ten", "0123456789");
    ::symlink("ten", (dir + "/link").c_str());
    ::mkfifo((dir + "/pipe").c_str(), 0666);  // no writer: opening must not wait
    ::mkdir((dir + "/folder").c_str(), 0755);
    const struct { std::string path; size_t limit; FileRead result; } rows[] = {
        {dir + "/ten", 10, FileRead::kOk},          {dir + "/ten", 9, FileRead::kRefused},
        {dir + "/link", 10, FileRead::kOk},         {dir + "/none", 10, FileRead::kMissing},
        {dir + "/none/x", 10, FileRead::kMissing},  {dir + "/pipe", 10, FileRead::kRefused},
        {dir + "/folder", 10, FileRead::kRefused},  {"/dev/zero", 1 << 20, FileRead::kRefused},
        {"/dev/null", 10, FileRead::kRefused},
    };
    for (const auto& r : rows) {
        std::string text = "stale";
        EXPECT_EQ(ReadRegularFile(r.path, r.limit, text), r.result) << r.path << " " << r.limit;
        EXPECT_EQ(text, r.result == FileRead::kOk ? "0123456789" : "") << r.path;
        std::FILE* f = OpenRegularFile(r.path, r.limit);
        EXPECT_EQ(f != nullptr, r.result == FileRead::kOk) << r.path;
        if (f != nullptr) std::fclose(f);
    }
}

}  // namespace
