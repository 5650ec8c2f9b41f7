// The score store on PostgreSQL, for several server processes sharing one
// database.
// SPDX-License-Identifier: MIT
#pragma once

#include <memory>
#include <string>

#include "server/score_store.h"

// Connects with a libpq connection URI and creates the tables if needed.
std::unique_ptr<ScoreStore> OpenPostgresStore(const std::string& uri);
