// Fetching a map's best proven run from the score server into the player's
// folder, apart from the player's own replays.
// SPDX-License-Identifier: MIT
#include "online/world_best.h"

#include <string>

#include "base/atomic_file.h"
#include "base/regular_file.h"
#include "online/http_client.h"
#include "online/score_server.h"
#include "platform/platform.h"
#include "replay/key_section.h"
#include "replay/replay_file.h"

bool FetchWorldBestRun(int16_t map) {
    const char notFetched[] = "The world's best run was not fetched.";
    if (!ServerReachable(notFetched)) return false;
    const std::string url = ServerAddress() + "/api/maps/" + std::to_string(map) + "/best-run";
    const HttpAnswer answer = HttpGetWhilePolling(url, kRequestLimitMs, PlatformDispatchEvents, kMaxReplayBytes);
    if (answer.status == 404) {
        TellServer("has no proven run of this map yet.");
        return false;
    }
    if (answer.status == 0) {
        TellServer(std::string("did not answer") +
                   (answer.timedOut ? " within " + std::to_string(kRequestLimitMs / 1000) + " seconds" : "") + ". " +
                   notFetched);
        return false;
    }
    if (answer.status != 200) {
        TellServer("did not send the run (status " + std::to_string(answer.status) + "). " + notFetched);
        return false;
    }
    if (answer.bodyCut || !IsCompleteReplay(answer.body)) {
        TellServer("sent a run that is not a whole replay. It was not taken.");
        return false;
    }
    const std::string path = WorldReplayPath(map);
    if (!MakeFolders(WorldReplayFolder(), 0755) || !ReplaceFileAtomically(path, answer.body)) {
        PlatformMessageBox("The world's best run could not be saved as " + path + ".", kUploadCaption);
        return false;
    }
    return true;
}
