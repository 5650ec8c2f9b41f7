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
#include <mutex>
#include <thread>

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
)sql";

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
    "SELECT holder, score, played_on FROM best WHERE map_id = ? ORDER BY score DESC, upload_id LIMIT ?";
constexpr const char* kLatest =
    "SELECT map_id, map_name, holder, score, played_on, received_at FROM uploads ORDER BY id DESC LIMIT ?";

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

// One connection with its prepared statements; used by one thread at a time.
struct Connection {
    sqlite3* db = nullptr;
    sqlite3_stmt* insertUpload = nullptr;
    sqlite3_stmt* upsertBest = nullptr;
    sqlite3_stmt* top = nullptr;
    sqlite3_stmt* latest = nullptr;

    // The writer creates the schema and refuses a database it cannot write.
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
                if (writer) Exec(kSchema);
            } catch (const StoreError& e) {
                if (!writer) throw;
                throw StoreError(CannotWrite(path, e.what()));
            }
            Exec("PRAGMA synchronous=FULL");
            insertUpload = Prepare(kInsertUpload);
            upsertBest = Prepare(kUpsertBest);
            top = Prepare(kTop);
            latest = Prepare(kLatest);
        } catch (...) {
            Close();
            throw;
        }
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    ~Connection() { Close(); }

    void Close() {
        for (sqlite3_stmt* s : {insertUpload, upsertBest, top, latest}) sqlite3_finalize(s);
        sqlite3_close(db);
        db = nullptr;
    }

    void Exec(const char* sql) {
        char* error = nullptr;
        if (sqlite3_exec(db, sql, nullptr, nullptr, &error) != SQLITE_OK) {
            const std::string message = error ? error : sqlite3_errmsg(db);
            sqlite3_free(error);
            throw StoreError(std::string("sqlite: ") + message);
        }
    }
    sqlite3_stmt* Prepare(const char* sql) {
        sqlite3_stmt* s = nullptr;
        if (sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &s, nullptr) != SQLITE_OK) Fail(db, "prepare");
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
        BindInt(db, insertUpload, 1, u.mapId);
        BindText(db, insertUpload, 2, u.mapName);
        BindText(db, insertUpload, 3, u.holder);
        BindInt(db, insertUpload, 4, u.score);
        BindText(db, insertUpload, 5, u.playedOn);
        BindText(db, insertUpload, 6, u.receivedAt);
        if (Run(insertUpload) == 0) return false;
        BindInt(db, upsertBest, 1, u.mapId);
        BindText(db, upsertBest, 2, u.holder);
        BindInt(db, upsertBest, 3, u.score);
        BindText(db, upsertBest, 4, u.playedOn);
        BindInt(db, upsertBest, 5, sqlite3_last_insert_rowid(db));
        Run(upsertBest);
        return true;
    }
};

// Resets a statement however the reading ends.
struct StatementUse {
    sqlite3_stmt* s;
    ~StatementUse() {
        sqlite3_reset(s);
        sqlite3_clear_bindings(s);
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

    std::vector<RankedScore> Top(int mapId, int limit) override {
        Lease lease(*this);
        Connection& c = *lease.connection;
        StatementUse use{c.top};
        BindInt(c.db, c.top, 1, mapId);
        BindInt(c.db, c.top, 2, limit);
        std::vector<RankedScore> rows;
        int rc;
        while ((rc = sqlite3_step(c.top)) == SQLITE_ROW)
            rows.push_back({ColumnText(c.top, 0), sqlite3_column_int(c.top, 1), ColumnText(c.top, 2)});
        if (rc != SQLITE_DONE) Fail(c.db, "top scores");
        return rows;
    }

    std::vector<Upload> Latest(int limit) override {
        Lease lease(*this);
        Connection& c = *lease.connection;
        StatementUse use{c.latest};
        BindInt(c.db, c.latest, 1, limit);
        std::vector<Upload> rows;
        int rc;
        while ((rc = sqlite3_step(c.latest)) == SQLITE_ROW) {
            Upload u;
            u.mapId = sqlite3_column_int(c.latest, 0);
            u.mapName = ColumnText(c.latest, 1);
            u.holder = ColumnText(c.latest, 2);
            u.score = sqlite3_column_int(c.latest, 3);
            u.playedOn = ColumnText(c.latest, 4);
            u.receivedAt = ColumnText(c.latest, 5);
            rows.push_back(std::move(u));
        }
        if (rc != SQLITE_DONE) Fail(c.db, "latest uploads");
        return rows;
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

    void Submit(std::vector<Pending>& items, bool rewriteHeader = false) {
        Batch batch{&items, rewriteHeader, false, nullptr};
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

// Creates the folders above `path` that are missing.
}  // namespace

std::unique_ptr<ScoreStore> OpenSqliteStore(const std::string& path) {
    if (path.empty()) throw StoreError("sqlite: no file name given");
    MakeFolders(FolderOf(path), 0700);
    // Room first: SQLite's own complaint on a full disk may be a vague I/O error.
    auto scratch = std::make_unique<const ScratchFile>(FolderOf(path));
    if (const std::string reason = scratch->Room(); !reason.empty()) throw StoreError(CannotWrite(path, reason));
    return std::make_unique<SqliteStore>(path, std::move(scratch));
}
