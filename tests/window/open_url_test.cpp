// The window's opener of web pages, with stand-in openers on its PATH: a
// page counts as opened when xdg-open ends well or still runs after a moment.
// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <utility>

#include "platform/platform.h"

TEST(OpenUrl, ReportsWhetherTheOpenerStarted) {
    char folder[] = "/tmp/quillrun-opener.XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    setenv("PATH", folder, 1);
    const std::string opener = std::string(folder) + "/xdg-open", page = "http://127.0.0.1:9/index2.php?game=4";
    EXPECT_FALSE(PlatformOpenUrl(page)) << "no opener at all";
    const std::pair<const char*, bool> rows[] = {  // the stand-in's command; whether the page counts as opened
        {"exit 0", true}, {"exit 3", false}, {"kill -9 $$", false}, {"exec /bin/sleep 4", true}};
    for (const auto& [command, opened] : rows) {
        std::ofstream(opener) << "#!/bin/sh\n" << command << "\n";
        chmod(opener.c_str(), 0755);
        EXPECT_EQ(PlatformOpenUrl(page), opened) << command;
    }
    std::remove(opener.c_str());
    rmdir(folder);
}
