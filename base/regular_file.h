// Reading files that a player may have replaced by anything: only regular
// files (no pipes, devices or folders), and only up to a size limit.
// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

enum class FileRead {
    kOk,
    kMissing,  // no file at the path
    kRefused,  // not a regular file, larger than the limit, or unreadable
};

// What a path names, following links: a folder, or a regular file.
bool IsFolder(const std::string& path);
bool IsFile(const std::string& path);

// Creates the folder and the ones above it that are missing, new ones with
// `mode`; true when the folder exists afterwards.
bool MakeFolders(const std::string& path, unsigned mode);

// Reads the whole file into `out` (cleared first).
FileRead ReadRegularFile(const std::string& path, size_t maxBytes, std::string& out);
FileRead ReadRegularFile(const std::string& path, size_t maxBytes, std::vector<unsigned char>& out);

// Opens a regular file of at most `maxBytes` for reading; nullptr otherwise.
std::FILE* OpenRegularFile(const std::string& path, size_t maxBytes);
