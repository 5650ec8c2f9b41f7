// The embedded score store on SQLite: one file in WAL mode, written by one
// thread that commits waiting uploads together.
// SPDX-License-Identifier: MIT
#pragma once

#include <memory>
#include <string>

#include "server/score_store.h"

// Opens or creates the database file (and its folder) at `path`.
std::unique_ptr<ScoreStore> OpenSqliteStore(const std::string& path);
