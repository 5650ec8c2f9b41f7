// The 'U' key through quillrun-sim: the whole game reads its catalogue and
// [Online] settings from Maps.ini and uploads to a real server on 127.0.0.1.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "../../unit/online/http_test_server.h"
#include "maps/settings_file.h"
#include "test_support.h"

namespace {

using onlinetest::HttpTestServer;
using onlinetest::QueryPairs;
using testsupport::RunSim;

std::string Masked(const std::string& text) { return MaskText(text, kScoreMask); }

// Maps 1 and 2 are small caves; map 3 is the map under test, its picture a
// sparse file of `deepSize` bytes.
std::string MakeUploadGame(const std::string& server, const std::string& site, off_t deepSize,
                           const std::string& deepName = "Deep", const std::string& holder = "Pilot & Co") {
    const std::string ini = "[01]\nFile=One.bmp\nWidth=700\nName=One\n"
                            "[02]\nFile=Two.bmp\nWidth=700\nName=Two\n"
                            "[03]\nFile=Deep.bmp\nWidth=9000\nName=" + deepName +
                            "\nScoreBest=" + Masked(" 725") + "\nScoreName=" + Masked(holder) +
                            "\n[Online]\nServer=" + server + "\nSite=" + site + "\n";
    const std::string dir = testsupport::MakeGameDir(ini);
    testsupport::WriteCorridorBmp(dir + "/Maps/One.bmp", 700, 40, 160);
    testsupport::WriteCorridorBmp(dir + "/Maps/Two.bmp", 700, 40, 160);
    testsupport::WriteFile(dir + "/Maps/Deep.bmp", "");
    EXPECT_EQ(::truncate((dir + "/Maps/Deep.bmp").c_str(), deepSize), 0);
    return dir;
}

// Select map 3, release 'U'; the upload's waiting dispatches come after it,
// and the window closes much later.
const char kUploadScript[] = "1 tap 3\n2 tap U\n1000 close\n";

int MessageCount(const std::string& out) {
    int n = 0;
    for (size_t at = out.find("message: "); at != std::string::npos; at = out.find("message: ", at + 1)) ++n;
    return n;
}

TEST(UploadThroughTheGame, SendsTheRecordOfTheSelectedMapAsOneRequest) {
    HttpTestServer server;
    const std::string dir = MakeUploadGame(server.hostPort(), "127.0.0.1:9", 6000056);
    const std::string before = onlinetest::LocalDateText();
    auto r = RunSim(dir, std::string(kUploadScript) + "confirm no\n");
    const std::string after = onlinetest::LocalDateText();
    ASSERT_EQ(r.status, 0) << r.err;
    const auto lines = server.requestLines();
    ASSERT_EQ(lines.size(), 1u);
    const std::string head = "GET /files/games/quillrun/score.php?id=3&nmn=Deep&nsc=725&npn=Pilot%20and%20Co&nsd=";
    const std::string tail = "&nreplay=725 HTTP/1.1";
    EXPECT_TRUE(lines[0] == head + before + tail || lines[0] == head + after + tail) << lines[0];
    EXPECT_EQ(r.out,
              "message: Uploading Score: Your score uploaded! Do you want to check if you got to the list?\n");
    testsupport::RemoveTree(dir);
}

TEST(UploadThroughTheGame, MapFileOfAnotherSizeSendsNothingAndShowsNothing) {
    HttpTestServer server;
    const std::string dir = MakeUploadGame(server.hostPort(), "127.0.0.1:9", 6000055);
    auto r = RunSim(dir, kUploadScript);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(server.requestLines().empty());
    EXPECT_EQ(MessageCount(r.out), 0) << r.out;
    testsupport::RemoveTree(dir);
}

TEST(UploadThroughTheGame, NoServerListeningGivesTheOfflineMessage) {
    const std::string dir =
        MakeUploadGame("127.0.0.1:" + std::to_string(onlinetest::ClosedPort()), "127.0.0.1:9", 6000056);
    auto r = RunSim(dir, kUploadScript);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "message: Quillrun: You must connect to the Internet first!\n");
    testsupport::RemoveTree(dir);
}

TEST(UploadThroughTheGame, NamesWithBlanksSignsAndLettersBeyondAsciiArriveAsTheSameText) {
    HttpTestServer server;
    // Windows-1252 in Maps.ini: "Café & Bar", "Jörg #1 = Åke  Ø".
    const std::string dir =
        MakeUploadGame(server.hostPort(), "127.0.0.1:9", 6000056, "Caf\xE9 & Bar", "J\xF6rg #1 = \xC5ke  \xD8");
    auto r = RunSim(dir, kUploadScript);
    ASSERT_EQ(r.status, 0) << r.err;
    const auto lines = server.requestLines();
    ASSERT_EQ(lines.size(), 1u);
    const auto q = QueryPairs(lines[0]);
    ASSERT_EQ(q.size(), 6u) << lines[0];
    EXPECT_EQ(q[0].first, "id");
    EXPECT_EQ(q[0].second, "3");
    EXPECT_EQ(q[1].first, "nmn");
    EXPECT_EQ(q[1].second, "Caf\xC3\xA9 and Bar");
    EXPECT_EQ(q[2].first, "nsc");
    EXPECT_EQ(q[2].second, "725");
    EXPECT_EQ(q[3].first, "npn");
    EXPECT_EQ(q[3].second, "J\xC3\xB6rg #1 = \xC3\x85ke  \xC3\x98");
    EXPECT_EQ(q[4].first, "nsd");
    EXPECT_EQ(q[5].first, "nreplay");
    EXPECT_EQ(q[5].second, "725");
    testsupport::RemoveTree(dir);
}

TEST(UploadThroughTheGame, KeysActWhileTheUploadWaitsForTheAnswer) {
    // The answer comes late; ESC on the selection screen during the wait
    // ends the program there, before the confirmation.
    HttpTestServer server(400);
    const std::string dir = MakeUploadGame(server.hostPort(), "127.0.0.1:9", 6000056);
    auto r = RunSim(dir, "1 tap 3\n2 tap U\n3 tap ESC\n1000 close\n");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(MessageCount(r.out), 0) << r.out;
    ASSERT_FALSE(r.trace.empty());
    EXPECT_EQ(r.trace.back().dispatch, 3);
    testsupport::RemoveTree(dir);
}

// A stand-in xdg-open first on PATH that records its argument.
class ScoreListOpener : public ::testing::Test {
protected:
    void SetUp() override {
        bin_ = testsupport::MakeTempDir("quillrun-opener");
        log_ = bin_ + "/opened.txt";
        testsupport::WriteFile(bin_ + "/xdg-open", "#!/bin/sh\nprintf '%s\\n' \"$1\" >> '" + log_ + "'\n");
        ::chmod((bin_ + "/xdg-open").c_str(), 0755);
        oldPath_ = std::getenv("PATH") ? std::getenv("PATH") : "";
        ::setenv("PATH", (bin_ + ":" + oldPath_).c_str(), 1);
        dir_ = MakeUploadGame(server_.hostPort(), "scores.localhost:8123", 6000056);
    }
    void TearDown() override {
        ::setenv("PATH", oldPath_.c_str(), 1);
        testsupport::RemoveTree(dir_);
        testsupport::RemoveTree(bin_);
    }
    // The opener runs detached and may still be starting when the game ends.
    std::string WaitForLog(int tenthsOfSeconds) {
        for (int i = 0; i < tenthsOfSeconds * 10 && !testsupport::FileExists(log_); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        return testsupport::ReadFile(log_);
    }
    HttpTestServer server_;
    std::string bin_, log_, oldPath_, dir_;
};

TEST_F(ScoreListOpener, YesOpensTheScoreListPage) {
    auto r = RunSim(dir_, std::string(kUploadScript) + "confirm yes\n");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(WaitForLog(50), "http://scores.localhost:8123/index2.php?game=4\n");
}

TEST_F(ScoreListOpener, NoOpensNothing) {
    auto r = RunSim(dir_, std::string(kUploadScript) + "confirm no\n");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(server_.requestLines().size(), 1u);
    EXPECT_EQ(WaitForLog(3), "");
}

}  // namespace
