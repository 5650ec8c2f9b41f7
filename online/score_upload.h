// Uploading a map's best score to the game's web server.
// SPDX-License-Identifier: MIT
#pragma once

#include <string>

void UploadScore();
std::string FileSizeText(const std::string& path);
