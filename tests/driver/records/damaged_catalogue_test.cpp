// A damaged Maps.ini in the player's folder, met at start by quillrun-sim:
// the damaged file is kept beside it under a dated name, the player is told
// once, and the map list comes back whole, each record with its replay.
// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "maps/settings_file.h"
#include "test_support.h"

namespace {

using testsupport::ReadFile;
using testsupport::WriteFile;

std::vector<std::string> Named(const std::string& folder, const std::string& prefix) {
    std::vector<std::string> found;
    for (const auto& e : std::filesystem::directory_iterator(folder))
        if (e.path().filename().string().rfind(prefix, 0) == 0) found.push_back(e.path());
    return found;
}

TEST(DamagedCatalogue, IsKeptAndTheMapListComesBackWithItsRecords) {
    const std::string data = testsupport::MakeGameDir("[01]\nFile=cave.bmp\nWidth=150\nName=One\n"
                                                      "[02]\nFile=cave.bmp\nWidth=180\nName=Two\n"
                                                      "[03]\nFile=cave.bmp\nWidth=210\nName=Three\n");
    testsupport::WriteCorridorBmp(data + "/Maps/cave.bmp", 300, 60, 140);
    const std::string shipped = ReadFile(data + "/Maps/Maps.ini");
    // The player's list: the shipped one with a record on map 2.
    std::string player = shipped;
    player.insert(player.find("[03]"),
                  "ScoreBest=" + MaskText(" 725", kScoreMask) + "\r\nScoreName=" + MaskText("Ann", kScoreMask) + "\r\n");
    const size_t from = player.find("[02]"), to = player.find("[03]");
    struct Row {
        std::string what, damaged;  // the damaged Maps.ini, or a folder
        bool folder, goodCopy;
        std::string expected;  // Maps.ini after the start
    };
    std::vector<Row> rows = {
        {"junk", std::string("\x01\xff[\0\x97=\r", 7) + std::string(3000, '\xb7'), false, false, shipped},
        {"junk, good copy", "\x01\xff\xb7\r\n\x97=", false, true, player},
        {"empty, good copy", "", false, true, player},
        {"a folder, good copy", "(folder)", true, true, player},
        {"the Width of the record's map", std::string(player).replace(player.find("180", from), 3, "1?0"), false,
         false, player},
    };
    for (size_t cut = from; cut < to; ++cut)
        rows.push_back({"cut after byte " + std::to_string(cut), player.substr(0, cut), false, true, player});

    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        const std::string user = testsupport::MakeTempDir("quillrun-user");
        const std::string ini = user + "/Maps.ini", replay = user + "/Replays/Map02.replay";
        std::filesystem::create_directory(user + "/Replays");
        WriteFile(replay, "mX2\r\npX30\r\n--END--\r\nLastFrame=30\r\n");
        if (r.goodCopy) WriteFile(ini + ".good", player);
        if (r.folder) std::filesystem::create_directory(ini);
        else WriteFile(ini, r.damaged);

        const testsupport::SimResult sim = testsupport::RunSim(data, "", {"--user-dir", user, "--until", "2"});
        ASSERT_EQ(sim.status, 0) << sim.err;
        const std::vector<std::string> kept = Named(user, "Maps.ini.damaged-");
        ASSERT_EQ(kept.size(), 1u);
        EXPECT_EQ(std::filesystem::is_directory(kept[0]) ? "(folder)" : ReadFile(kept[0]), r.damaged);
        const std::string told = "The map list " + ini + " could not be read whole. The damaged file is kept as ";
        EXPECT_EQ(sim.out.find("message: Quillrun: " + told + kept[0]), 0u) << sim.out;
        EXPECT_EQ(sim.out.find("\n"), sim.out.size() - 1) << "told more than once: " << sim.out;
        EXPECT_EQ(ReadFile(ini), r.expected);
        EXPECT_EQ(ReadFile(ini + ".good"), r.expected);
        // The record and its replay stay together: both, or neither.
        const bool record = r.expected.find("ScoreBest") != std::string::npos;
        EXPECT_EQ(testsupport::FileExists(replay), record);
        EXPECT_EQ(Named(user + "/Replays", "Map02.replay.damaged-").size(), record ? 0u : 1u);
        testsupport::RemoveTree(user);
        if (HasFailure()) break;
    }
    testsupport::RemoveTree(data);
}

}  // namespace
