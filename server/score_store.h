// The score store: what the server keeps of the uploads and the one small
// interface that the SQLite and PostgreSQL stores implement.
// SPDX-License-Identifier: MIT
#pragma once

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

constexpr int kFirstMap = 1;
constexpr int kLastMap = 26;

// One accepted upload; texts are UTF-8.
struct Upload {
    int mapId = 0;
    std::string mapName;   // the name the client sent
    std::string holder;
    int score = 0;
    std::string playedOn;    // YYYY-MM-DD, the client's date
    std::string receivedAt;  // the server's UTC time, ISO 8601 with milliseconds
};

// A holder's best upload on one map.
struct RankedScore {
    std::string holder;
    int score = 0;
    std::string playedOn;
};

// Thrown when the database cannot be reached or refuses a statement.
struct StoreError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// All operations may be called from many threads at once; they throw
// StoreError on a database failure. Opening a store throws StoreError too
// when the database cannot be written.
class ScoreStore {
public:
    virtual ~ScoreStore() = default;
    // Stores the upload durably before returning. The same map, holder,
    // score and date a second time is stored once; false then.
    virtual bool Add(const Upload& upload) = 0;
    // Many uploads in one transaction (bulk loading); duplicates are skipped.
    virtual void AddMany(const std::vector<Upload>& uploads) = 0;
    // The best `limit` holders of a map, each with their best upload, best
    // first; equal scores in the order they were reached.
    virtual std::vector<RankedScore> Top(int mapId, int limit) = 0;
    // The latest `limit` uploads across all maps, newest first.
    virtual std::vector<Upload> Latest(int limit) = 0;
    // True when an upload could be stored now: the last write succeeded and
    // the database takes writes (room on the disk, not read-only). Cheap
    // enough to be polled every second.
    virtual bool Healthy() = 0;
};

// One map's official name with its best holders, as the list shows them.
struct MapScores {
    int id = 0;
    std::string name;
    std::vector<RankedScore> top;
};
