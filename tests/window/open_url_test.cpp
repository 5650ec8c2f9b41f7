// The window's opener of web pages, with stand-in openers on its PATH: a
// page counts as opened when xdg-open ends well or still runs after a moment.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>

#include "platform/platform.h"

TEST(OpenUrl, ReportsWhetherTheOpenerStarted) {
    const struct {
        const char* opener;  // the stand-in's shell command; nullptr: none
        bool opened;
    } rows[] = {
        {"exit 0", true}, {"exit 3", false}, {"kill -9 $$", false}, {"exec /bin/sleep 4", true}, {nullptr, false},
    };
    for (const auto& row : rows) {
        char folder[] = "/tmp/quillrun-opener.XXXXXX";
        ASSERT_NE(mkdtemp(folder), nullptr);
        const std::string opener = std::string(folder) + "/xdg-open";
        if (row.opener != nullptr) std::ofstream(opener) << "#!/bin/sh\n" << row.opener << "\n";
        chmod(opener.c_str(), 0755);
        setenv("PATH", folder, 1);
        EXPECT_EQ(PlatformOpenUrl("http://127.0.0.1:9/index2.php?game=4"), row.opened)
            << (row.opener != nullptr ? row.opener : "no opener");
        std::remove(opener.c_str());
        rmdir(folder);
    }
}
