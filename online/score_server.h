// The game's score server as both of its requests see it: its address
// (compiled in, or Maps.ini's [Online] override), whether it can be
// reached, and the messages that name it.
// SPDX-License-Identifier: MIT
#pragma once

#include <string>

constexpr long kRequestLimitMs = 10000;
extern const char kUploadCaption[];

// "http://" + the server's host name (and port).
std::string ServerAddress();
// The score list page on the game's web site.
std::string ScoreListPage();
// A message box "The score server HOST:PORT " + `what`.
void TellServer(const std::string& what);
bool IsOnline();
// True when the server can be reached; otherwise the player is told why not.
bool ServerReachable(const std::string& notSent);
