// The score store: what the server keeps of the uploads and their runs, and
// the one small interface that the SQLite and PostgreSQL stores implement.
// SPDX-License-Identifier: MIT
#pragma once

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

constexpr int kFirstMap = 1;
constexpr int kLastMap = 26;

// Where the proof of an upload's run stands. The numbers are stored.
enum class ProofState { kUnproven = 0, kPending = 1, kProven = 2, kRefused = 3 };

// "unproven", "pending", "proven" or "refused".
const char* ProofStateName(ProofState state);

// One accepted upload; texts are UTF-8.
struct Upload {
    long long id = 0;  // given by the store
    int mapId = 0;
    std::string mapName;   // the name the client sent
    std::string holder;
    int score = 0;
    std::string playedOn;    // YYYY-MM-DD, the client's date
    std::string receivedAt;  // the server's UTC time, ISO 8601 with milliseconds
    ProofState proof = ProofState::kUnproven;
};

// A holder's best upload on one map.
struct RankedScore {
    std::string holder;
    int score = 0;
    std::string playedOn;
    long long uploadId = 0;
    ProofState proof = ProofState::kUnproven;
};

// What became of a run sent for an upload.
enum class RunAttach { kAttached, kNoSuchUpload, kHasRun, kQueueFull };

// A run waiting for its proof.
struct PendingRun {
    long long uploadId = 0;
    int mapId = 0;
    int score = 0;
    std::string replay;
};

// The outcome of a proof, kept with the upload for the operator.
struct ProofRecord {
    ProofState state = ProofState::kUnproven;  // proven, refused or unproven
    std::string reason;
    int step = 0;
    int milliseconds = 0;
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
    // first; equal scores in the order they were reached. Refused uploads
    // never count; with `provenOnly` only proven ones do.
    virtual std::vector<RankedScore> Top(int mapId, int limit, bool provenOnly) = 0;
    // The latest `limit` uploads across all maps, newest first.
    virtual std::vector<Upload> Latest(int limit) = 0;
    // Stores `replay` as the run of the upload with `key`'s map, holder,
    // score and date, pending its proof, durably before returning; refused
    // (kQueueFull) when `maxPending` runs already wait.
    virtual RunAttach AttachRun(const Upload& key, const std::string& replay, int maxPending) = 0;
    // The run that has waited longest for its proof; false when none waits.
    virtual bool OldestPending(PendingRun* run) = 0;
    // Stores the proof of an upload's run.
    virtual void StoreProof(long long uploadId, const ProofRecord& proof) = 0;
    // The run of the map's best proven upload (highest score, the earliest on
    // ties); false when there is none.
    virtual bool BestRun(int mapId, std::string* replay) = 0;
    // The run of a proven upload and its map; false for any other upload.
    virtual bool ProvenRun(long long uploadId, int* mapId, std::string* replay) = 0;
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
