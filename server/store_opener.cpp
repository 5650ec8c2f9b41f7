// Choosing the store from the database location.
// SPDX-License-Identifier: MIT
#include "server/store_opener.h"

#include "server/postgres_store.h"
#include "server/sqlite_store.h"

std::unique_ptr<ScoreStore> OpenScoreStore(const std::string& location) {
    if (location.rfind("sqlite:", 0) == 0) return OpenSqliteStore(location.substr(7));
    if (location.rfind("postgresql://", 0) == 0 || location.rfind("postgres://", 0) == 0)
        return OpenPostgresStore(location);
    throw StoreError("unknown database location (use sqlite:PATH or postgresql://...): " + location);
}
