// The score server's address, its reachability check and the messages that
// name it, shared by the score upload and the fetch of a world's best run.
// SPDX-License-Identifier: MIT
#include "online/score_server.h"

#include "base/game_state.h"
#include "maps/settings_file.h"
#include "online/http_client.h"
#include "platform/platform.h"

#ifndef QUILLRUN_SCORE_SERVER
#define QUILLRUN_SCORE_SERVER "localhost:8080"
#endif
#ifndef QUILLRUN_SCORE_SITE
#define QUILLRUN_SCORE_SITE "localhost:8080"
#endif

const char kUploadCaption[] = "Uploading Score";

namespace {

constexpr int kConnectLimitMs = 3000;

// The compiled-in host name unless Maps.ini has an [Online] override.
std::string ConfiguredHost(const char* key, const char* fallback) {
    std::string value = ReadIniValue("Online", key, gs.mapsIniPath);
    return value.empty() ? std::string(fallback) : value;
}

// The score server as the player can look it up: host:port.
std::string ServerName() {
    const std::string configured = ConfiguredHost("Server", QUILLRUN_SCORE_SERVER);
    std::string host;
    int port = 0;
    if (!SplitHostPort(configured, &host, &port)) return configured;
    if (host.find(':') != std::string::npos) host = "[" + host + "]";
    return host + ":" + std::to_string(port);
}

// Whether the machine is on any network, from its routing table.
bool MachineHasNetwork() {
    return HasNetworkRoute(gs.routeTablePath.empty() ? "/proc/net/route" : gs.routeTablePath);
}

}  // namespace

std::string ServerAddress() { return "http://" + ConfiguredHost("Server", QUILLRUN_SCORE_SERVER); }

std::string ScoreListPage() { return "http://" + ConfiguredHost("Site", QUILLRUN_SCORE_SITE) + "/index2.php?game=4"; }

void TellServer(const std::string& what) {
    PlatformMessageBox("The score server " + ServerName() + " " + what, kUploadCaption);
}

bool IsOnline() {
    std::string address = ServerAddress().substr(7);
    std::string host;
    int port = 0;
    if (!SplitHostPort(address, &host, &port)) return false;
    return TcpReachable(host, port, kConnectLimitMs);
}

bool ServerReachable(const std::string& notSent) {
    if (IsOnline()) return true;
    // Only a machine without a network needs to connect first; otherwise
    // the server itself is away.
    if (MachineHasNetwork()) TellServer("did not answer. " + notSent);
    else PlatformMessageBox("You must connect to the Internet first!", "Quillrun");
    return false;
}
