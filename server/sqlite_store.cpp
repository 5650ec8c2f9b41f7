// The SQLite score store. Durability: WAL with synchronous=FULL, so every
// commit is on disk (WAL synced) before an upload is answered, which holds
// for a killed process and for a power loss alike. One writer thread commits
// all uploads waiting at that moment in one transaction, so many uploads
// share one sync. Health: the last write's result and room on the disk.
// SPDX-License-Identifier: MIT
#include "server/sqlite_store.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <unordered_map>

#include "base/atomic_file.h"
#include "base/regular_file.h"

namespace {

constexpr const char* kSchema = R"sql(
CREATE TABLE IF NOT EXISTS uploads (
  id INTEGER PRIMARY KEY,
  map_id INTEGER NOT NULL,
  map_name TEXT NOT NULL,
  holder TEXT NOT NULL,
  score INTEGER NOT NULL,
  played_on TEXT NOT NULL,
  received_at TEXT NOT NULL,
  UNIQUE (map_id, holder, score, played_on)
);
CREATE TABLE IF NOT EXISTS best (
  map_id INTEGER NOT NULL,
  holder TEXT NOT NULL,
  score INTEGER NOT NULL,
  played_on TEXT NOT NULL,
  upload_id INTEGER NOT NULL,
  PRIMARY KEY (map_id, holder)
);
CREATE INDEX IF NOT EXISTS best_rank ON best (map_id, score DESC, upload_id);
CREATE TABLE IF NOT EXISTS best_proven (
  map_id INTEGER NOT NULL,
  holder TEXT NOT NULL,
  score INTEGER NOT NULL,
  played_on TEXT NOT NULL,
  upload_id INTEGER NOT NULL,
  PRIMARY KEY (map_id, holder)
);
CREATE INDEX IF NOT EXISTS best_proven_rank ON best_proven (map_id, score DESC, upload_id);
-- An upload's run apart from its row: storing the proof rewrites the row,
-- which should not mean writing the run again.
CREATE TABLE IF NOT EXISTS runs (
  upload_id INTEGER PRIMARY KEY,
  replay BLOB NOT NULL
);
)sql";
// The proof, added to a database made before runs were kept; its uploads
// are unproven.
constexpr const char* kProofColumns[] = {
    "proof INTEGER NOT NULL DEFAULT 0", "proof_reason TEXT", "proof_step INTEGER", "proof_ms INTEGER"};
constexpr const char* kPendingIndex = "CREATE INDEX IF NOT EXISTS uploads_pending ON uploads (id) WHERE proof = 1";

constexpr const char* kInsertUpload =
    "INSERT OR IGNORE INTO uploads (map_id, map_name, holder, score, played_on, received_at) "
    "VALUES (?, ?, ?, ?, ?, ?)";
// A holder's row changes only for a higher score, so a replay of the same
// upload changes nothing.
constexpr const char* kUpsertBest =
    "INSERT INTO best (map_id, holder, score, played_on, upload_id) VALUES (?, ?, ?, ?, ?) "
    "ON CONFLICT (map_id, holder) DO UPDATE SET score = excluded.score, played_on = excluded.played_on, "
    "upload_id = excluded.upload_id WHERE excluded.score > best.score";
constexpr const char* kTop =
    "SELECT b.holder, b.score, b.played_on, b.upload_id, u.proof FROM best b JOIN uploads u ON u.id = b.upload_id "
    "WHERE b.map_id = ? ORDER BY b.score DESC, b.upload_id LIMIT ?";
constexpr const char* kTopProven =
    "SELECT holder, score, played_on, upload_id, 2 FROM best_proven WHERE map_id = ? "
    "ORDER BY score DESC, upload_id LIMIT ?";
constexpr const char* kLatest =
    "SELECT map_id, map_name, holder, score, played_on, received_at, id, proof FROM uploads ORDER BY id DESC LIMIT ?";
constexpr const char* kFindUpload =
    "SELECT id, EXISTS (SELECT 1 FROM runs WHERE upload_id = uploads.id) FROM uploads "
    "WHERE map_id = ? AND holder = ? AND score = ? AND played_on = ?";
constexpr const char* kCountPending = "SELECT count(*) FROM uploads WHERE proof = 1";
constexpr const char* kInsertRun = "INSERT INTO runs (upload_id, replay) VALUES (?, ?)";
constexpr const char* kSetPending = "UPDATE uploads SET proof = 1 WHERE id = ?";
constexpr const char* kOldestPending =
    "SELECT u.id, u.map_id, u.score, r.replay FROM uploads u JOIN runs r ON r.upload_id = u.id WHERE u.proof = 1 "
    "ORDER BY u.id LIMIT 1";
// Only a pending proof is stored: a run proven twice (by two processes) counts once.
constexpr const char* kSetProof =
    "UPDATE uploads SET proof = ?, proof_reason = ?, proof_step = ?, proof_ms = ? WHERE id = ? AND proof = 1";
constexpr const char* kUpsertBestProven =
    "INSERT INTO best_proven (map_id, holder, score, played_on, upload_id) "
    "SELECT map_id, holder, score, played_on, id FROM uploads WHERE id = ? "
    "ON CONFLICT (map_id, holder) DO UPDATE SET score = excluded.score, played_on = excluded.played_on, "
    "upload_id = excluded.upload_id WHERE excluded.score > best_proven.score OR "
    "(excluded.score = best_proven.score AND excluded.upload_id < best_proven.upload_id)";
// A refused upload that was its holder's best gives way to the holder's next
// best that is not refused.
constexpr const char* kDropBest =
    "DELETE FROM best WHERE (map_id, holder) = (SELECT map_id, holder FROM uploads WHERE id = ?1) AND upload_id = ?1";
constexpr const char* kRefillBest =
    "INSERT INTO best (map_id, holder, score, played_on, upload_id) "
    "SELECT map_id, holder, score, played_on, id FROM uploads "
    "WHERE (map_id, holder) = (SELECT map_id, holder FROM uploads WHERE id = ?1) AND proof <> 3 "
    "ORDER BY score DESC, id LIMIT 1";
constexpr const char* kBestRun =
    "SELECT r.replay FROM best_proven b JOIN runs r ON r.upload_id = b.upload_id WHERE b.map_id = ? "
    "ORDER BY b.score DESC, b.upload_id LIMIT 1";
constexpr const char* kProvenRun =
    "SELECT r.replay, u.map_id FROM uploads u JOIN runs r ON r.upload_id = u.id WHERE u.id = ? AND u.proof = 2";

// Free room that a commit of a few uploads may need; less counts as a full disk.
constexpr off_t kWriteRoom = 64 * 1024;

std::string CannotWrite(const std::string& path, const std::string& reason) {
    return "cannot write the database " + path + ": " + reason;
}

[[noreturn]] void Fail(sqlite3* db, const std::string& what) {
    throw StoreError("sqlite: " + what + ": " + (db ? sqlite3_errmsg(db) : "out of memory"));
}

std::string ColumnText(sqlite3_stmt* s, int column) {
    const unsigned char* text = sqlite3_column_text(s, column);
    return text ? std::string(reinterpret_cast<const char*>(text), sqlite3_column_bytes(s, column)) : std::string();
}

void BindText(sqlite3* db, sqlite3_stmt* s, int index, const std::string& text) {
    if (sqlite3_bind_text(s, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT) != SQLITE_OK)
        Fail(db, "bind");
}

void BindInt(sqlite3* db, sqlite3_stmt* s, int index, sqlite3_int64 value) {
    if (sqlite3_bind_int64(s, index, value) != SQLITE_OK) Fail(db, "bind");
}

void BindBlob(sqlite3* db, sqlite3_stmt* s, int index, const std::string& bytes) {
    if (sqlite3_bind_blob64(s, index, bytes.data(), bytes.size(), SQLITE_TRANSIENT) != SQLITE_OK) Fail(db, "bind");
}

std::string ColumnBlob(sqlite3_stmt* s, int column) {
    const void* bytes = sqlite3_column_blob(s, column);
    return bytes ? std::string(static_cast<const char*>(bytes), sqlite3_column_bytes(s, column)) : std::string();
}

// Resets a statement however the reading ends.
struct StatementUse {
    sqlite3_stmt* s;
    ~StatementUse() {
        sqlite3_reset(s);
        sqlite3_clear_bindings(s);
    }
};

// One connection with its prepared statements; used by one thread at a time.
struct Connection {
    sqlite3* db = nullptr;
    std::unordered_map<const char*, sqlite3_stmt*> statements;  // by their text's address

    // The writer creates the schema (upgrading an older one) and refuses a
    // database it cannot write.
    Connection(const std::string& path, bool writer) {
        if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                            nullptr) != SQLITE_OK) {
            const std::string message = db ? sqlite3_errmsg(db) : "out of memory";
            sqlite3_close(db);
            db = nullptr;
            throw StoreError("sqlite: cannot open " + path + ": " + message);
        }
        try {
            // SQLite opens a file it may not write read-only, without a word.
            if (writer && sqlite3_db_readonly(db, "main") == 1)
                throw StoreError(CannotWrite(path, ::access(path.c_str(), W_OK) != 0 ? std::strerror(errno)
                                                                                     : "opened read-only"));
            sqlite3_busy_timeout(db, 5000);
            Exec("PRAGMA schema_version");  // a file that is no database fails here, before any write
            try {
                Exec("PRAGMA journal_mode=WAL");
                if (writer) Transaction([&] { CreateSchema(); });
            } catch (const StoreError& e) {
                if (!writer) throw;
                throw StoreError(CannotWrite(path, e.what()));
            }
            Exec("PRAGMA synchronous=FULL");
            // The list page looks up the proof of each of its 260 ranked
            // uploads; SQLite's default 2 MB cache is too small to keep
            // those pages, and reads them again on every page.
            Exec("PRAGMA cache_size=-16384");
        } catch (...) {
            Close();
            throw;
        }
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    ~Connection() { Close(); }

    void Close() {
        for (auto& [sql, s] : statements) sqlite3_finalize(s);
        statements.clear();
        sqlite3_close(db);
        db = nullptr;
    }

    void CreateSchema() {
        Exec(kSchema);
        bool hasProofs = false;
        {
            sqlite3_stmt* columns = Statement("PRAGMA table_info(uploads)");
            StatementUse use{columns};
            while (sqlite3_step(columns) == SQLITE_ROW) hasProofs = hasProofs || ColumnText(columns, 1) == "proof";
        }
        if (!hasProofs)
            for (const char* column : kProofColumns)
                Exec((std::string("ALTER TABLE uploads ADD COLUMN ") + column).c_str());
        Exec(kPendingIndex);
    }

    void Exec(const char* sql) {
        char* error = nullptr;
        if (sqlite3_exec(db, sql, nullptr, nullptr, &error) != SQLITE_OK) {
            const std::string message = error ? error : sqlite3_errmsg(db);
            sqlite3_free(error);
            throw StoreError(std::string("sqlite: ") + message);
        }
    }
    // The statement of `sql`, a constant, prepared on first use.
    sqlite3_stmt* Statement(const char* sql) {
        sqlite3_stmt*& s = statements[sql];
        if (!s && sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &s, nullptr) != SQLITE_OK) {
            statements.erase(sql);
            Fail(db, "prepare");
        }
        return s;
    }
    // Runs a statement that returns no rows; the number of changed rows.
    int Run(sqlite3_stmt* s) {
        const int rc = sqlite3_step(s);
        sqlite3_reset(s);
        sqlite3_clear_bindings(s);
        if (rc != SQLITE_DONE) Fail(db, "step");
        return sqlite3_changes(db);
    }
    // Steps a statement to its first row; false when it has none.
    bool First(sqlite3_stmt* s) {
        const int rc = sqlite3_step(s);
        if (rc != SQLITE_ROW && rc != SQLITE_DONE) Fail(db, "step");
        return rc == SQLITE_ROW;
    }

    // Runs `body` in a write transaction and commits it.
    template <class F>
    void Transaction(F&& body) {
        Exec("BEGIN IMMEDIATE");
        try {
            body();
            Exec("COMMIT");
        } catch (...) {
            sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
            throw;
        }
    }

    // Writes the header's user version back unchanged: a page written and
    // committed, with nothing changed.
    void RewriteHeader() {
        std::string version = "0";
        const auto read = [](void* out, int, char** values, char**) {
            if (values[0]) *static_cast<std::string*>(out) = values[0];
            return 0;
        };
        if (sqlite3_exec(db, "PRAGMA user_version", read, &version, nullptr) != SQLITE_OK) Fail(db, "user version");
        Exec(("PRAGMA user_version = " + version).c_str());
    }

    bool Insert(const Upload& u) {
        sqlite3_stmt* insert = Statement(kInsertUpload);
        BindInt(db, insert, 1, u.mapId);
        BindText(db, insert, 2, u.mapName);
        BindText(db, insert, 3, u.holder);
        BindInt(db, insert, 4, u.score);
        BindText(db, insert, 5, u.playedOn);
        BindText(db, insert, 6, u.receivedAt);
        if (Run(insert) == 0) return false;
        sqlite3_stmt* best = Statement(kUpsertBest);
        BindInt(db, best, 1, u.mapId);
        BindText(db, best, 2, u.holder);
        BindInt(db, best, 3, u.score);
        BindText(db, best, 4, u.playedOn);
        BindInt(db, best, 5, sqlite3_last_insert_rowid(db));
        Run(best);
        return true;
    }

    RunAttach Attach(const Upload& key, const std::string& replay, int maxPending) {
        sqlite3_stmt* find = Statement(kFindUpload);
        long long id = 0;
        {
            StatementUse use{find};
            BindInt(db, find, 1, key.mapId);
            BindText(db, find, 2, key.holder);
            BindInt(db, find, 3, key.score);
            BindText(db, find, 4, key.playedOn);
            if (!First(find)) return RunAttach::kNoSuchUpload;
            if (sqlite3_column_int(find, 1) != 0) return RunAttach::kHasRun;
            id = sqlite3_column_int64(find, 0);
        }
        {
            sqlite3_stmt* count = Statement(kCountPending);
            StatementUse use{count};
            if (First(count) && sqlite3_column_int64(count, 0) >= maxPending) return RunAttach::kQueueFull;
        }
        sqlite3_stmt* insert = Statement(kInsertRun);
        BindInt(db, insert, 1, id);
        BindBlob(db, insert, 2, replay);
        Run(insert);
        sqlite3_stmt* pending = Statement(kSetPending);
        BindInt(db, pending, 1, id);
        Run(pending);
        return RunAttach::kAttached;
    }

    void SetProof(long long id, const ProofRecord& p) {
        sqlite3_stmt* set = Statement(kSetProof);
        BindInt(db, set, 1, static_cast<int>(p.state));
        BindText(db, set, 2, p.reason);
        BindInt(db, set, 3, p.step);
        BindInt(db, set, 4, p.milliseconds);
        BindInt(db, set, 5, id);
        if (Run(set) == 0) return;
        if (p.state == ProofState::kProven) {
            sqlite3_stmt* best = Statement(kUpsertBestProven);
            BindInt(db, best, 1, id);
            Run(best);
        } else if (p.state == ProofState::kRefused) {
            sqlite3_stmt* drop = Statement(kDropBest);
            BindInt(db, drop, 1, id);
            if (Run(drop) == 0) return;
            sqlite3_stmt* refill = Statement(kRefillBest);
            BindInt(db, refill, 1, id);
            Run(refill);
        }
    }
};

// An unnamed file in the database's folder, gone when closed. Allocating
// room in it tells whether that file system takes writes now (neither full
// nor read-only) without a sync and without touching the database.
class ScratchFile {
public:
    explicit ScratchFile(const std::string& folder) : folder_(folder) {
        fd_ = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
        if (fd_ < 0 && errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) error_ = errno;
    }
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;
    ~ScratchFile() {
        if (fd_ >= 0) ::close(fd_);
    }

    // "" when a commit has room now, else why not.
    std::string Room() const {
        int error = error_;
        if (fd_ >= 0) {
            error = ::posix_fallocate(fd_, 0, kWriteRoom);
            if (::ftruncate(fd_, 0) != 0) {
                // the room stays taken until the next probe; nothing to do
            }
        } else if (error == 0) {
            // A file system without unnamed files: ask it instead.
            struct statvfs fs {};
            if (::statvfs(folder_.c_str(), &fs) != 0) error = errno;
            else if (fs.f_flag & ST_RDONLY) error = EROFS;
            else if (static_cast<unsigned long long>(fs.f_bavail) * fs.f_frsize < kWriteRoom) error = ENOSPC;
        }
        return error == 0 ? "" : std::strerror(error);
    }

private:
    const std::string folder_;
    int fd_ = -1;
    int error_ = 0;  // why the file could not be made, when that says the folder is not writable
};

class SqliteStore final : public ScoreStore {
public:
    // Refuses a database that takes no write now.
    SqliteStore(const std::string& path, std::unique_ptr<const ScratchFile> scratch)
        : path_(path), writer_(path, true), scratch_(std::move(scratch)) {
        try {
            writer_.Transaction([&] { writer_.RewriteHeader(); });
        } catch (const StoreError& e) {
            throw StoreError(CannotWrite(path, e.what()));
        }
        thread_ = std::thread([this] { WriteLoop(); });
    }
    ~SqliteStore() override {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stopping_ = true;
        }
        work_.notify_one();
        thread_.join();
    }

    bool Add(const Upload& upload) override {
        std::vector<Pending> one(1);
        one[0].upload = &upload;
        Submit(one);
        return one[0].inserted;
    }

    void AddMany(const std::vector<Upload>& uploads) override {
        std::vector<Pending> all(uploads.size());
        for (size_t i = 0; i < uploads.size(); ++i) all[i].upload = &uploads[i];
        Submit(all);
    }

    std::vector<RankedScore> Top(int mapId, int limit, bool provenOnly) override {
        Lease lease(*this);
        Connection& c = *lease.connection;
        sqlite3_stmt* top = c.Statement(provenOnly ? kTopProven : kTop);
        StatementUse use{top};
        BindInt(c.db, top, 1, mapId);
        BindInt(c.db, top, 2, limit);
        std::vector<RankedScore> rows;
        int rc;
        while ((rc = sqlite3_step(top)) == SQLITE_ROW)
            rows.push_back({ColumnText(top, 0), sqlite3_column_int(top, 1), ColumnText(top, 2),
                            sqlite3_column_int64(top, 3), static_cast<ProofState>(sqlite3_column_int(top, 4))});
        if (rc != SQLITE_DONE) Fail(c.db, "top scores");
        return rows;
    }

    std::vector<Upload> Latest(int limit) override {
        Lease lease(*this);
        Connection& c = *lease.connection;
        sqlite3_stmt* latest = c.Statement(kLatest);
        StatementUse use{latest};
        BindInt(c.db, latest, 1, limit);
        std::vector<Upload> rows;
        int rc;
        while ((rc = sqlite3_step(latest)) == SQLITE_ROW) {
            Upload u;
            u.mapId = sqlite3_column_int(latest, 0);
            u.mapName = ColumnText(latest, 1);
            u.holder = ColumnText(latest, 2);
            u.score = sqlite3_column_int(latest, 3);
            u.playedOn = ColumnText(latest, 4);
            u.receivedAt = ColumnText(latest, 5);
            u.id = sqlite3_column_int64(latest, 6);
            u.proof = static_cast<ProofState>(sqlite3_column_int(latest, 7));
            rows.push_back(std::move(u));
        }
        if (rc != SQLITE_DONE) Fail(c.db, "latest uploads");
        return rows;
    }

    RunAttach AttachRun(const Upload& key, const std::string& replay, int maxPending) override {
        RunAttach result = RunAttach::kNoSuchUpload;
        Write([&] { result = writer_.Attach(key, replay, maxPending); });
        return result;
    }

    bool OldestPending(PendingRun* run) override {
        Lease lease(*this);
        Connection& c = *lease.connection;
        sqlite3_stmt* oldest = c.Statement(kOldestPending);
        StatementUse use{oldest};
        if (!c.First(oldest)) return false;
        run->uploadId = sqlite3_column_int64(oldest, 0);
        run->mapId = sqlite3_column_int(oldest, 1);
        run->score = sqlite3_column_int(oldest, 2);
        run->replay = ColumnBlob(oldest, 3);
        return true;
    }

    void StoreProof(long long uploadId, const ProofRecord& proof) override {
        Write([&] { writer_.SetProof(uploadId, proof); });
    }

    bool BestRun(int mapId, std::string* replay) override { return ReadRun(kBestRun, mapId, replay, nullptr); }
    bool ProvenRun(long long uploadId, int* mapId, std::string* replay) override {
        return ReadRun(kProvenRun, uploadId, replay, mapId);
    }

    // Room on the disk, and the last write succeeded. After a failed write
    // only a write tells that writing works again: a header rewrite,
    // committed and synced, at most once a second.
    bool Healthy() override {
        if (!scratch_->Room().empty()) return false;
        if (lastWriteOk_) return true;
        const long long now = std::chrono::steady_clock::now().time_since_epoch() / std::chrono::milliseconds(1);
        long long last = lastProbe_;
        if (now - last < 1000 || !lastProbe_.compare_exchange_strong(last, now)) return false;
        std::vector<Pending> none;
        try {
            Submit(none, true);
            return true;
        } catch (const StoreError&) {
            return false;
        }
    }

private:
    struct Pending {
        const Upload* upload = nullptr;
        bool inserted = false;
    };
    struct Batch {
        std::vector<Pending>* items;
        bool rewriteHeader = false;  // a probe: commit a write even without uploads
        const std::function<void()>* work = nullptr;  // another write, on the writer's connection
        bool done = false;
        std::exception_ptr error;
    };

    // A reading connection borrowed from the pool (opened when none is free).
    struct Lease {
        SqliteStore& store;
        std::unique_ptr<Connection> connection;
        explicit Lease(SqliteStore& s) : store(s) {
            {
                std::lock_guard<std::mutex> lock(store.poolMutex_);
                if (!store.pool_.empty()) {
                    connection = std::move(store.pool_.back());
                    store.pool_.pop_back();
                }
            }
            if (!connection) connection = std::make_unique<Connection>(store.path_, false);
        }
        ~Lease() {
            std::lock_guard<std::mutex> lock(store.poolMutex_);
            store.pool_.push_back(std::move(connection));
        }
    };

    // The run of the one row `sql` selects by `key`, and its map when asked.
    bool ReadRun(const char* sql, long long key, std::string* replay, int* mapId) {
        Lease lease(*this);
        Connection& c = *lease.connection;
        sqlite3_stmt* s = c.Statement(sql);
        StatementUse use{s};
        BindInt(c.db, s, 1, key);
        if (!c.First(s)) return false;
        *replay = ColumnBlob(s, 0);
        if (mapId) *mapId = sqlite3_column_int(s, 1);
        return true;
    }

    // Runs `work` on the writer's connection in its next transaction.
    void Write(const std::function<void()>& work) {
        std::vector<Pending> none;
        Submit(none, false, &work);
    }

    void Submit(std::vector<Pending>& items, bool rewriteHeader = false, const std::function<void()>* work = nullptr) {
        Batch batch{&items, rewriteHeader, work, false, nullptr};
        std::unique_lock<std::mutex> lock(mutex_);
        queue_.push_back(&batch);
        work_.notify_one();
        done_.wait(lock, [&] { return batch.done; });
        if (batch.error) std::rethrow_exception(batch.error);
    }

    void WriteLoop() {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            work_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
            if (queue_.empty()) return;  // stopping and nothing left
            std::deque<Batch*> batches;
            batches.swap(queue_);
            lock.unlock();
            std::exception_ptr error;
            try {
                writer_.Transaction([&] {
                    bool rewriteHeader = false;
                    for (Batch* b : batches) {
                        rewriteHeader = rewriteHeader || b->rewriteHeader;
                        for (Pending& p : *b->items) p.inserted = writer_.Insert(*p.upload);
                        if (b->work) (*b->work)();
                    }
                    if (rewriteHeader) writer_.RewriteHeader();
                });
            } catch (...) {
                error = std::current_exception();
            }
            lastWriteOk_ = !error;
            lock.lock();
            for (Batch* b : batches) {
                b->error = error;
                b->done = true;
            }
            done_.notify_all();
        }
    }

    const std::string path_;
    Connection writer_;
    const std::unique_ptr<const ScratchFile> scratch_;
    std::atomic<bool> lastWriteOk_{true};
    std::atomic<long long> lastProbe_{0};  // steady clock, milliseconds
    std::mutex poolMutex_;
    std::vector<std::unique_ptr<Connection>> pool_;
    std::mutex mutex_;
    std::condition_variable work_, done_;
    std::deque<Batch*> queue_;
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace

std::unique_ptr<ScoreStore> OpenSqliteStore(const std::string& path) {
    if (path.empty()) throw StoreError("sqlite: no file name given");
    MakeFolders(FolderOf(path), 0700);
    // Room first: SQLite's own complaint on a full disk may be a vague I/O error.
    auto scratch = std::make_unique<const ScratchFile>(FolderOf(path));
    if (const std::string reason = scratch->Room(); !reason.empty()) throw StoreError(CannotWrite(path, reason));
    return std::make_unique<SqliteStore>(path, std::move(scratch));
}
