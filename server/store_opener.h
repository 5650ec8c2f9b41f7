// Choosing and opening the score store from the database location.
// SPDX-License-Identifier: MIT
#pragma once

#include <memory>
#include <string>

#include "server/score_store.h"

// "sqlite:PATH" or "postgresql://..." (also "postgres://..."); throws
// StoreError when the database cannot be opened, prepared or written.
std::unique_ptr<ScoreStore> OpenScoreStore(const std::string& location);
