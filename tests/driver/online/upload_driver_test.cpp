// The 'U' key through quillrun-sim: the whole game reads its catalogue and
// [Online] settings from Maps.ini and uploads to a real server on 127.0.0.1.
#include <gtest/gtest.h>

#include <string>

#include "http_test_server.h"
#include "maps/settings_file.h"
#include "test_support.h"

namespace {

// Maps 1 and 2 are small caves; map 3 is the map under test, its picture a
// sparse file of `deepSize` bytes.
std::string MakeUploadGame(const std::string& server, const std::string& site, off_t deepSize,
                           const std::string& deepName = "Deep", const std::string& holder = "Pilot & Co") {
    const std::string dir = testsupport::MakeGameDir(
        "[01]\nFile=One.bmp\nWidth=700\n[02]\nFile=Two.bmp\nWidth=700\n[03]\nFile=Deep.bmp\nWidth=9000\nName=" +
        deepName + "\nScoreBest=" + MaskText(" 725", kScoreMask) + "\nScoreName=" + MaskText(holder, kScoreMask) +
        "\n[Online]\nServer=" + server + "\nSite=" + site + "\n");
    for (const char* f : {"One.bmp", "Two.bmp"}) testsupport::WriteCorridorBmp(dir + "/Maps/" + f, 700, 40, 160);
    EXPECT_EQ(testsupport::RunCommand("truncate -s " + std::to_string(deepSize) + " '" + dir + "/Maps/Deep.bmp'"), 0);
    return dir;
}

// Select map 3 and release 'U'; the upload's waiting dispatches come after
// it, and the window closes much later.
const char kUpload[] = "1 tap 3\n2 tap U\n1000 close\n";
const char kUploaded[] = "message: Uploading Score: Your score uploaded! Do you want to check if you got to the list?\n";

TEST(UploadThroughTheGame, OutcomesOfTheUploadKey) {
    onlinetest::HttpTestServer server;
    const std::string before = onlinetest::LocalDateText(), closed = std::to_string(onlinetest::ClosedPort());
    struct { const char* what; std::string game; const char* messages; size_t requestsSoFar; } cases[] = {
        {"the example", MakeUploadGame(server.hostPort(), "127.0.0.1:9", 6000056), kUploaded, 1},
        {"a map file one byte short", MakeUploadGame(server.hostPort(), "127.0.0.1:9", 6000055), "", 1},
        {"no server listening", MakeUploadGame("127.0.0.1:" + closed, "127.0.0.1:9", 6000056),
         "message: Quillrun: You must connect to the Internet first!\n", 1},
        // Windows-1252 in Maps.ini: "Café & Bar", "Jörg #1 = Åke  Ø".
        {"names beyond ASCII",
         MakeUploadGame(server.hostPort(), "127.0.0.1:9", 6000056, "Caf\xE9 & Bar", "J\xF6rg #1 = \xC5ke  \xD8"),
         kUploaded, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto r = testsupport::RunSim(c.game, kUpload);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, c.messages);
        EXPECT_EQ(server.requestLines().size(), c.requestsSoFar);
        testsupport::RemoveTree(c.game);
    }
    const auto lines = server.requestLines();
    ASSERT_EQ(lines.size(), 2u);
    const std::string after = onlinetest::LocalDateText();
    const std::string head = "GET /files/games/quillrun/score.php?id=3&nmn=Deep&nsc=725&npn=Pilot%20and%20Co&nsd=";
    EXPECT_TRUE(lines[0] == head + before + "&nreplay=725 HTTP/1.1" || lines[0] == head + after + "&nreplay=725 HTTP/1.1")
        << lines[0];
    const std::vector<std::pair<std::string, std::string>> decoded = {
        {"id", "3"}, {"nmn", "Caf\xC3\xA9 and Bar"}, {"nsc", "725"}, {"npn", "J\xC3\xB6rg #1 = \xC3\x85ke  \xC3\x98"},
        {"nsd", after}, {"nreplay", "725"}};
    EXPECT_EQ(onlinetest::QueryPairs(lines[1]), decoded) << lines[1];
}

TEST(UploadThroughTheGame, YesOpensTheScoreListNoDoesNot) {
    onlinetest::HttpTestServer server;
    const std::string dir = MakeUploadGame(server.hostPort(), "scores.localhost:8123", 6000056);
    for (const char* answer : {"no", "yes"}) {
        const auto r = testsupport::RunSim(dir, std::string(kUpload) + "confirm " + answer + "\n");
        EXPECT_EQ(r.status, 0) << r.err;
        const bool opened = r.out.find("\nopen: http://scores.localhost:8123/index2.php?game=4\n") != std::string::npos;
        EXPECT_EQ(opened, answer[0] == 'y') << r.out;
        EXPECT_EQ(r.out.find("open: ") == std::string::npos, answer[0] == 'n') << r.out;
    }
    EXPECT_EQ(server.requestLines().size(), 2u);
    testsupport::RemoveTree(dir);
}

TEST(UploadThroughTheGame, AUploadKeyDuringTheWaitStartsANestedUpload) {
    // The upload's wait dispatches key events: a second 'U' released at the
    // first waiting dispatch sends its own request and shows its own
    // confirmation inside the first; the first finishes after it.
    onlinetest::HttpTestServer server(200);
    const std::string dir = MakeUploadGame(server.hostPort(), "127.0.0.1:9", 6000056);
    const auto r = testsupport::RunSim(dir, "1 tap 3\n2 tap U\n3 tap U\n1000 close\n");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, std::string(kUploaded) + kUploaded);
    const auto lines = server.requestLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], lines[1]);
    testsupport::RemoveTree(dir);
}

}  // namespace
