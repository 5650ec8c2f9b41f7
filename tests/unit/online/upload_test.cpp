// The score upload in-process against a real HTTP server on 127.0.0.1, for
// the catalogue entries a script cannot select.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "base/game_paths.h"
#include "base/game_state.h"
#include "http_test_server.h"
#include "online/score_upload.h"
#include "headless/headless.h"
#include "shell/run_start.h"
#include "test_support.h"

namespace {

void SizedFile(const std::string& path, off_t size) {
    testsupport::WriteFile(path, "");
    ASSERT_EQ(::truncate(path.c_str(), size), 0) << path;
}

TEST(Upload, OnlyShippedMapSizesOfEntriesOneToTwentySixAreSent) {
    onlinetest::HttpTestServer server(30);
    ResetGameState();
    HeadlessReset();
    long dispatches = 0;
    HeadlessSetDispatchHook([&](long) { ++dispatches; });
    const std::string dir = testsupport::MakeGameDir("[Online]\nServer=" + server.hostPort() + "\nSite=127.0.0.1:9\n");
    SetGameFolders({dir, dir});
    gs.mapsIniPath = dir + "/Maps/Maps.ini";
    SizedFile(dir + "/Maps/Big.bmp", 6000056);
    SizedFile(dir + "/Maps/Last.bmp", 12000054);
    // Entries 27 to 50 with a shipped size, no map selected, an entry
    // without a picture file: nothing is sent, nothing shown.
    for (int k = 0; k <= 50; ++k) gs.maps[k] = MapEntry{k == 2 ? "" : k == 26 ? "Last.bmp" : "Big.bmp", 1000, "Big", 99, "Y"};
    for (int k = 27; k <= 52; ++k) {
        gs.selectedMap = static_cast<int16_t>(k == 51 ? 0 : k == 52 ? 2 : k);
        UploadScore();
    }
    EXPECT_TRUE(server.requestLines().empty());
    EXPECT_TRUE(HeadlessMessages().empty());
    // Entry 26 has a row of its own; the late answer is awaited dispatching.
    gs.selectedMap = 26;
    UploadScore();
    ASSERT_EQ(server.requestLines().size(), 1u);
    EXPECT_EQ(onlinetest::QueryPairs(server.requestLines()[0]).at(0).second, "26");
    EXPECT_GT(dispatches, 0);
    HeadlessSetDispatchHook(nullptr);
    testsupport::RemoveTree(dir);
}

TEST(FileSizeText, SizeFromTheFileSystemAsASigned32BitNumber) {
    const std::string dir = testsupport::MakeTempDir("quillrun-size");
    const std::pair<off_t, const char*> cases[] = {
        {6000056, "6000056"}, {0, "0"}, {(off_t{1} << 32) + 5, "5"}, {(off_t{1} << 31) + 1, "-2147483647"}};
    for (const auto& [size, text] : cases) {
        SizedFile(dir + "/f", size);
        EXPECT_EQ(FileSizeText(dir + "/f"), text);
    }
    ::chmod((dir + "/f").c_str(), 0);  // no read permission is needed
    EXPECT_EQ(FileSizeText(dir + "/f"), "-2147483647");
    for (const std::string& none : {dir + "/missing", dir, std::string()}) EXPECT_EQ(FileSizeText(none), "0");
    testsupport::RemoveTree(dir);
}

}  // namespace
