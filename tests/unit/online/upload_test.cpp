// The score upload in-process against a real HTTP server on 127.0.0.1.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "http_test_server.h"
#include "gfx/codepage.h"
#include "online/http_client.h"
#include "online/score_upload.h"
#include "platform/headless/headless.h"
#include "shell/game_state.h"
#include "test_support.h"

namespace {

using onlinetest::HttpTestServer;
using onlinetest::QueryPairs;
using testsupport::MakeTempDir;
using testsupport::ReadFile;
using testsupport::WriteFile;

void MakeSparseFile(const std::string& path, off_t size) {
    WriteFile(path, "");
    ASSERT_EQ(::truncate(path.c_str(), size), 0) << path;
}

// A program folder whose Maps.ini points the upload at `server` (host:port).
// The catalogue itself is set up in memory by each test.
std::string MakeUploadFolder(const std::string& server, const std::string& site) {
    ResetGameState();
    HeadlessReset();
    const std::string dir = MakeTempDir("quillrun-upload");
    SetProgramFolder(dir);
    gs.mapsIniPath = dir + "/Maps/Maps.ini";
    WriteFile(gs.mapsIniPath, "[01]\r\nFile=One.bmp\r\n[Online]\r\nServer=" + server + "\r\nSite=" + site + "\r\n");
    return dir;
}

void SetEntry(int k, const std::string& file, const std::string& name, float best, const std::string& holder) {
    gs.maps[k].file = file;
    gs.maps[k].width = 1000;
    gs.maps[k].name = name;
    gs.maps[k].scoreBest = best;
    gs.maps[k].scoreName = holder;
}

// Windows-1252 text as UTF-8; the five unused codes stand for the C1
// controls of the same number.
std::string AsUtf8(const std::string& text) {
    std::string out;
    for (char ch : text) {
        const unsigned char c = static_cast<unsigned char>(ch);
        uint32_t u = Cp1252ToUnicode(c);
        if (u == 0) u = c;
        if (u < 0x80) {
            out += static_cast<char>(u);
        } else if (u < 0x800) {
            out += static_cast<char>(0xC0 | (u >> 6));
            out += static_cast<char>(0x80 | (u & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | (u >> 12));
            out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (u & 0x3F));
        }
    }
    return out;
}

long dispatchesSeen = 0;
void CountDispatch(long) { ++dispatchesSeen; }

class UploadTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = MakeUploadFolder(server_.hostPort(), site_);
        HeadlessSetDispatchHook(CountDispatch);
        dispatchesSeen = 0;
    }
    void TearDown() override {
        HeadlessSetDispatchHook(nullptr);
        testsupport::RemoveTree(dir_);
    }
    HttpTestServer server_{30};
    std::string site_ = "127.0.0.1:9";
    std::string dir_;
};

TEST_F(UploadTest, SendsTheRecordOfTheSelectedMapAndAsks) {
    SetEntry(1, "One.bmp", "One", 10, "X");
    SetEntry(3, "Deep.bmp", "Deep", 725, "Pilot & Co");
    MakeSparseFile(dir_ + "/Maps/Deep.bmp", 6000056);
    gs.selectedMap = 3;
    UploadScore();

    const auto lines = server_.requestLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "GET /files/games/quillrun/score.php?id=3&nmn=Deep&nsc=725&npn=Pilot%20and%20Co&nsd=" +
                            onlinetest::LocalDateText() + "&nreplay=725 HTTP/1.1");
    // The answer comes 30 ms late: the wait kept dispatching window events.
    EXPECT_GT(dispatchesSeen, 0);
    ASSERT_EQ(HeadlessMessages().size(), 1u);
    EXPECT_EQ(HeadlessMessages()[0],
              "Uploading Score: Your score uploaded! Do you want to check if you got to the list?");
}

TEST_F(UploadTest, NoRecordYetIsSentAsZeroAndEveryAmpersandBecomesAnd) {
    SetEntry(1, "One.bmp", "A&&B&", 0, "&");
    MakeSparseFile(dir_ + "/Maps/One.bmp", 6000056);
    gs.selectedMap = 1;
    UploadScore();
    const auto lines = server_.requestLines();
    ASSERT_EQ(lines.size(), 1u);
    const auto q = QueryPairs(lines[0]);
    ASSERT_EQ(q.size(), 6u);
    EXPECT_EQ(q[1].second, "AandandBand");
    EXPECT_EQ(q[2].second, "0");
    EXPECT_EQ(q[3].second, "and");
    EXPECT_EQ(q[5].second, "0");
}

TEST_F(UploadTest, AnyNameKeepsTheQueryIntactAndArrivesAsTheSameText) {
    // Every printable ASCII character, control codes, and letters beyond
    // ASCII (Windows-1252 bytes), in both texts.
    std::string name;
    for (int c = 1; c < 256; ++c) name += static_cast<char>(c);
    SetEntry(1, "One.bmp", name, 31337, "Zo\xEB \xC5sa #1 = ?+%");
    MakeSparseFile(dir_ + "/Maps/One.bmp", 6000056);
    gs.selectedMap = 1;
    UploadScore();
    const auto lines = server_.requestLines();
    ASSERT_EQ(lines.size(), 1u);
    const auto q = QueryPairs(lines[0]);
    ASSERT_EQ(q.size(), 6u);
    EXPECT_EQ(q[1].first, "nmn");
    EXPECT_EQ(q[2].first, "nsc");
    EXPECT_EQ(q[3].first, "npn");
    EXPECT_EQ(q[4].first, "nsd");
    EXPECT_EQ(q[5].first, "nreplay");
    EXPECT_EQ(q[0].second, "1");
    std::string expectedName;
    for (char c : name) {
        if (c == '&') expectedName += "and";
        else expectedName += c;
    }
    EXPECT_EQ(q[1].second, AsUtf8(expectedName));
    EXPECT_EQ(q[3].second, "Zo\xC3\xAB \xC3\x85sa #1 = ?+%");
    EXPECT_EQ(q[2].second, "31337");
}

TEST_F(UploadTest, OnlyTheShippedMapSizesOfEntriesOneToTwentySixAreSent) {
    // One byte short of the table.
    SetEntry(1, "One.bmp", "One", 10, "X");
    MakeSparseFile(dir_ + "/Maps/One.bmp", 6000055);
    gs.selectedMap = 1;
    UploadScore();
    // Entries beyond the table, even with a file of a shipped size.
    MakeSparseFile(dir_ + "/Maps/Big.bmp", 6000056);
    for (int k = 27; k <= 50; ++k) {
        SetEntry(k, "Big.bmp", "Big", 99, "Y");
        gs.selectedMap = static_cast<int16_t>(k);
        UploadScore();
    }
    // No map selected, and an entry without a picture file.
    gs.selectedMap = 0;
    UploadScore();
    SetEntry(2, "", "", 0, "");
    gs.selectedMap = 2;
    UploadScore();

    EXPECT_TRUE(server_.requestLines().empty());
    EXPECT_TRUE(HeadlessMessages().empty());
}

TEST_F(UploadTest, TwentySixthEntryUsesItsOwnRow) {
    SetEntry(26, "Last.bmp", "Last", 5, "Z");
    MakeSparseFile(dir_ + "/Maps/Last.bmp", 12000054);
    gs.selectedMap = 26;
    UploadScore();
    ASSERT_EQ(server_.requestLines().size(), 1u);
    EXPECT_EQ(QueryPairs(server_.requestLines()[0])[0].second, "26");
}

TEST(UploadOffline, NoServerGivesTheMessageAndSendsNothing) {
    const std::string dir = MakeUploadFolder("127.0.0.1:" + std::to_string(onlinetest::ClosedPort()), "x");
    SetEntry(1, "One.bmp", "One", 10, "X");
    MakeSparseFile(dir + "/Maps/One.bmp", 6000056);
    gs.selectedMap = 1;
    UploadScore();
    ASSERT_EQ(HeadlessMessages().size(), 1u);
    EXPECT_EQ(HeadlessMessages()[0], "Quillrun: You must connect to the Internet first!");
    EXPECT_FALSE(IsOnline());
    testsupport::RemoveTree(dir);
}

// The score list opener: a stand-in xdg-open first on PATH records its
// argument.
class OpenerTest : public UploadTest {
protected:
    OpenerTest() { site_ = "scores.localhost:8123"; }
    void SetUp() override {
        UploadTest::SetUp();
        const std::string bin = dir_ + "/bin";
        log_ = dir_ + "/opened.txt";
        WriteFile(bin + "/xdg-open", "#!/bin/sh\nprintf '%s\\n' \"$1\" >> '" + log_ + "'\n");
        ::chmod((bin + "/xdg-open").c_str(), 0755);
        oldPath_ = std::getenv("PATH") ? std::getenv("PATH") : "";
        ::setenv("PATH", (bin + ":" + oldPath_).c_str(), 1);
        SetEntry(1, "One.bmp", "One", 10, "X");
        MakeSparseFile(dir_ + "/Maps/One.bmp", 6000056);
        gs.selectedMap = 1;
    }
    void TearDown() override {
        ::setenv("PATH", oldPath_.c_str(), 1);
        UploadTest::TearDown();
    }
    // The opener runs detached; give it a moment to write.
    std::string WaitForLog() {
        for (int i = 0; i < 500 && !testsupport::FileExists(log_); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        return ReadFile(log_);
    }
    std::string log_;
    std::string oldPath_;
};

TEST_F(OpenerTest, YesOpensTheScoreListAndLeavesNoChildBehind) {
    HeadlessQueueConfirm(true);
    UploadScore();
    // Whatever was started has been reaped or handed to init.
    int status = 0;
    errno = 0;
    EXPECT_EQ(::waitpid(-1, &status, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
    EXPECT_EQ(WaitForLog(), "http://scores.localhost:8123/index2.php?game=4\n");
}

TEST_F(OpenerTest, NoOpensNothing) {
    HeadlessQueueConfirm(false);
    UploadScore();
    HeadlessQueueConfirm(true);
    UploadScore();
    EXPECT_EQ(server_.requestLines().size(), 2u);
    // Only the second upload's Yes started the opener.
    EXPECT_EQ(WaitForLog(), "http://scores.localhost:8123/index2.php?game=4\n");
}

TEST(FileSizeText, SizeFromTheFileSystemAsASigned32BitNumber) {
    const std::string dir = MakeTempDir("quillrun-size");
    MakeSparseFile(dir + "/a", 6000056);
    EXPECT_EQ(FileSizeText(dir + "/a"), "6000056");
    MakeSparseFile(dir + "/b", 0);
    EXPECT_EQ(FileSizeText(dir + "/b"), "0");
    MakeSparseFile(dir + "/c", (off_t{1} << 32) + 5);
    EXPECT_EQ(FileSizeText(dir + "/c"), "5");
    MakeSparseFile(dir + "/d", (off_t{1} << 31) + 1);
    EXPECT_EQ(FileSizeText(dir + "/d"), "-2147483647");
    // No read permission is needed for the size.
    MakeSparseFile(dir + "/e", 77);
    ::chmod((dir + "/e").c_str(), 0);
    EXPECT_EQ(FileSizeText(dir + "/e"), "77");
    EXPECT_EQ(FileSizeText(dir + "/missing"), "0");
    EXPECT_EQ(FileSizeText(dir), "0");
    EXPECT_EQ(FileSizeText(""), "0");
    testsupport::RemoveTree(dir);
}

TEST(HttpClient, HostAndPortOfAServerName) {
    std::string host;
    int port = 0;
    ASSERT_TRUE(SplitHostPort("localhost:8080", &host, &port));
    EXPECT_EQ(host, "localhost");
    EXPECT_EQ(port, 8080);
    ASSERT_TRUE(SplitHostPort("example.invalid", &host, &port));
    EXPECT_EQ(host, "example.invalid");
    EXPECT_EQ(port, 80);
    ASSERT_TRUE(SplitHostPort("127.0.0.1:81/scores", &host, &port));
    EXPECT_EQ(host, "127.0.0.1");
    EXPECT_EQ(port, 81);
    ASSERT_TRUE(SplitHostPort("[::1]:8080", &host, &port));
    EXPECT_EQ(host, "::1");
    EXPECT_EQ(port, 8080);
    EXPECT_FALSE(SplitHostPort("", &host, &port));
    EXPECT_FALSE(SplitHostPort(":80", &host, &port));
    EXPECT_FALSE(SplitHostPort("h:0", &host, &port));
    EXPECT_FALSE(SplitHostPort("h:65536", &host, &port));
    EXPECT_FALSE(SplitHostPort("h:8o", &host, &port));
    EXPECT_FALSE(SplitHostPort("[::1", &host, &port));
}

TEST(HttpClient, ReachableOnlyWhereSomethingListens) {
    HttpTestServer server;
    EXPECT_TRUE(TcpReachable("127.0.0.1", server.port(), 3000));
    EXPECT_FALSE(TcpReachable("127.0.0.1", onlinetest::ClosedPort(), 3000));
}

long polls = 0;
void CountPoll() { ++polls; }

TEST(HttpClient, WaitPollsUntilTheAnswerArrives) {
    HttpTestServer server(100);
    polls = 0;
    EXPECT_TRUE(HttpGetWhilePolling("http://" + server.hostPort() + "/x?a=1", 10000, CountPoll));
    EXPECT_GT(polls, 0);
    ASSERT_EQ(server.requestLines().size(), 1u);
    EXPECT_EQ(server.requestLines()[0], "GET /x?a=1 HTTP/1.1");
}

TEST(HttpClient, ServerThatNeverAnswersEndsAtTheLimit) {
    HttpTestServer server(0, true);
    polls = 0;
    EXPECT_FALSE(HttpGetWhilePolling("http://" + server.hostPort() + "/y", 300, CountPoll));
    EXPECT_GT(polls, 0);
    EXPECT_EQ(server.requestLines().size(), 1u);
}

}  // namespace
