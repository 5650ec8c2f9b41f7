// The SQLite score store. Durability: WAL with synchronous=FULL, so every
// commit is on disk (WAL synced) before an upload is answered, which holds
// for a killed process and for a power loss alike. One writer thread commits
// all uploads waiting at that moment in one transaction, so many uploads
// share one sync.
// SPDX-License-Identifier: MIT
#include "server/sqlite_store.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>

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
    sqlite3_stmt* ping = nullptr;

    explicit Connection(const std::string& path, bool createSchema) {
        if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                            nullptr) != SQLITE_OK) {
            const std::string message = db ? sqlite3_errmsg(db) : "out of memory";
            sqlite3_close(db);
            db = nullptr;
            throw StoreError("sqlite: cannot open " + path + ": " + message);
        }
        sqlite3_busy_timeout(db, 5000);
        Exec("PRAGMA journal_mode=WAL");
        Exec("PRAGMA synchronous=FULL");
        if (createSchema) Exec(kSchema);
        insertUpload = Prepare(kInsertUpload);
        upsertBest = Prepare(kUpsertBest);
        top = Prepare(kTop);
        latest = Prepare(kLatest);
        ping = Prepare("SELECT count(*) FROM best WHERE map_id = 0");
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    ~Connection() {
        for (sqlite3_stmt* s : {insertUpload, upsertBest, top, latest, ping}) sqlite3_finalize(s);
        sqlite3_close(db);
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

class SqliteStore final : public ScoreStore {
public:
    explicit SqliteStore(const std::string& path) : path_(path), writer_(path, true) {
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

    bool Healthy() override {
        try {
            Lease lease(*this);
            Connection& c = *lease.connection;
            StatementUse use{c.ping};
            return sqlite3_step(c.ping) == SQLITE_ROW;
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

    void Submit(std::vector<Pending>& items) {
        Batch batch{&items, false, nullptr};
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
                writer_.Exec("BEGIN IMMEDIATE");
                try {
                    for (Batch* b : batches)
                        for (Pending& p : *b->items) p.inserted = writer_.Insert(*p.upload);
                    writer_.Exec("COMMIT");
                } catch (...) {
                    sqlite3_exec(writer_.db, "ROLLBACK", nullptr, nullptr, nullptr);
                    throw;
                }
            } catch (...) {
                error = std::current_exception();
            }
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
    std::mutex poolMutex_;
    std::vector<std::unique_ptr<Connection>> pool_;
    std::mutex mutex_;
    std::condition_variable work_, done_;
    std::deque<Batch*> queue_;
    bool stopping_ = false;
    std::thread thread_;
};

// Creates the folders above `path` that are missing.
void MakeParentFolders(const std::string& path) {
    for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1))
        ::mkdir(path.substr(0, slash).c_str(), 0700);
}

}  // namespace

std::unique_ptr<ScoreStore> OpenSqliteStore(const std::string& path) {
    if (path.empty()) throw StoreError("sqlite: no file name given");
    MakeParentFolders(path);
    return std::make_unique<SqliteStore>(path);
}
