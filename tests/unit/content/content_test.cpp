// The shipped caves as built into the program folder: each has the byte size
// the score upload checks, and the catalogue lists exactly them.
// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <string>

#include "base/game_paths.h"
#include "base/game_state.h"
#include "headless/headless.h"
#include "maps/map_catalogue.h"
#include "maps/known_map_sizes.h"
#include "online/score_upload.h"
#include "shell/run_start.h"

namespace {

TEST(ShippedContent, CaveFilesHaveTheSizesTheUploadAccepts) {
    ResetGameState();
    HeadlessReset();
    SetGameFolders({QUILLRUN_GAME_DIR, QUILLRUN_GAME_DIR});
    gs.mapsIniPath = QUILLRUN_GAME_DIR "/Maps/Maps.ini";
    LoadMapCatalogue();
    for (int k = 1; k <= kKnownMaps; ++k)
        EXPECT_EQ(FileSizeText(QUILLRUN_GAME_DIR "/Maps/" + gs.maps[k].file), knownMapSizes[k]) << gs.maps[k].file;
    EXPECT_TRUE(gs.maps[kKnownMaps + 1].file.empty());
}

}  // namespace
