// The PostgreSQL score store: a pool of connections with prepared
// statements; each upload is its own committed transaction, so an answered
// upload is durable (synchronous_commit as the server is configured). A
// connection the server dropped is replaced and the statement run again.
// SPDX-License-Identifier: MIT
#include "server/postgres_store.h"

#include <atomic>
#include <cctype>
#include <mutex>
#include <pqxx/pqxx>

namespace {

// Any number; serialises schema creation between server processes.
constexpr long long kSchemaLock = 7263514011;

constexpr const char* kSchema = R"sql(
CREATE TABLE IF NOT EXISTS uploads (
  id BIGSERIAL PRIMARY KEY,
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
  upload_id BIGINT NOT NULL,
  PRIMARY KEY (map_id, holder)
);
CREATE INDEX IF NOT EXISTS best_rank ON best (map_id, score DESC, upload_id);
CREATE TABLE IF NOT EXISTS best_proven (
  map_id INTEGER NOT NULL,
  holder TEXT NOT NULL,
  score INTEGER NOT NULL,
  played_on TEXT NOT NULL,
  upload_id BIGINT NOT NULL,
  PRIMARY KEY (map_id, holder)
);
CREATE INDEX IF NOT EXISTS best_proven_rank ON best_proven (map_id, score DESC, upload_id);
-- The run and its proof; the uploads of an older database are unproven.
ALTER TABLE uploads ADD COLUMN IF NOT EXISTS run BYTEA;
ALTER TABLE uploads ADD COLUMN IF NOT EXISTS proof INTEGER NOT NULL DEFAULT 0;
ALTER TABLE uploads ADD COLUMN IF NOT EXISTS proof_reason TEXT;
ALTER TABLE uploads ADD COLUMN IF NOT EXISTS proof_step INTEGER;
ALTER TABLE uploads ADD COLUMN IF NOT EXISTS proof_ms INTEGER;
CREATE INDEX IF NOT EXISTS uploads_pending ON uploads (id) WHERE proof = 1;
)sql";

void PrepareStatements(pqxx::connection& c) {
    c.prepare("insert_upload",
              "INSERT INTO uploads (map_id, map_name, holder, score, played_on, received_at) "
              "VALUES ($1, $2, $3, $4, $5, $6) ON CONFLICT DO NOTHING RETURNING id");
    c.prepare("upsert_best",
              "INSERT INTO best (map_id, holder, score, played_on, upload_id) VALUES ($1, $2, $3, $4, $5) "
              "ON CONFLICT (map_id, holder) DO UPDATE SET score = excluded.score, played_on = excluded.played_on, "
              "upload_id = excluded.upload_id WHERE excluded.score > best.score");
    c.prepare("top",
              "SELECT b.holder, b.score, b.played_on, b.upload_id, u.proof FROM best b JOIN uploads u ON u.id = "
              "b.upload_id WHERE b.map_id = $1 ORDER BY b.score DESC, b.upload_id LIMIT $2");
    c.prepare("top_proven",
              "SELECT holder, score, played_on, upload_id, 2 FROM best_proven WHERE map_id = $1 "
              "ORDER BY score DESC, upload_id LIMIT $2");
    c.prepare("latest",
              "SELECT map_id, map_name, holder, score, played_on, received_at, id, proof FROM uploads "
              "ORDER BY id DESC LIMIT $1");
    c.prepare("find_upload",
              "SELECT id, run IS NOT NULL FROM uploads WHERE map_id = $1 AND holder = $2 AND score = $3 "
              "AND played_on = $4 FOR UPDATE");
    c.prepare("count_pending", "SELECT count(*) FROM uploads WHERE proof = 1");
    c.prepare("set_run", "UPDATE uploads SET run = decode($1, 'hex'), proof = 1 WHERE id = $2 AND run IS NULL");
    c.prepare("oldest_pending", "SELECT id, map_id, score, run FROM uploads WHERE proof = 1 ORDER BY id LIMIT 1");
    // Only a pending proof is stored: a run proven twice (by two processes) counts once.
    c.prepare("set_proof",
              "UPDATE uploads SET proof = $1, proof_reason = $2, proof_step = $3, proof_ms = $4 "
              "WHERE id = $5 AND proof = 1");
    c.prepare("upsert_best_proven",
              "INSERT INTO best_proven (map_id, holder, score, played_on, upload_id) "
              "SELECT map_id, holder, score, played_on, id FROM uploads WHERE id = $1 "
              "ON CONFLICT (map_id, holder) DO UPDATE SET score = excluded.score, played_on = excluded.played_on, "
              "upload_id = excluded.upload_id WHERE excluded.score > best_proven.score OR "
              "(excluded.score = best_proven.score AND excluded.upload_id < best_proven.upload_id)");
    // A refused upload that was its holder's best gives way to the holder's
    // next best that is not refused.
    c.prepare("drop_best",
              "DELETE FROM best WHERE (map_id, holder) = (SELECT map_id, holder FROM uploads WHERE id = $1) "
              "AND upload_id = $1");
    c.prepare("refill_best",
              "INSERT INTO best (map_id, holder, score, played_on, upload_id) "
              "SELECT map_id, holder, score, played_on, id FROM uploads "
              "WHERE (map_id, holder) = (SELECT map_id, holder FROM uploads WHERE id = $1) AND proof <> 3 "
              "ORDER BY score DESC, id LIMIT 1");
    c.prepare("best_run",
              "SELECT u.run FROM best_proven b JOIN uploads u ON u.id = b.upload_id WHERE b.map_id = $1 "
              "ORDER BY b.score DESC, b.upload_id LIMIT 1");
    c.prepare("proven_run", "SELECT run, map_id FROM uploads WHERE id = $1 AND proof = 2");
    c.prepare("writable", "SELECT NOT pg_is_in_recovery() AND current_setting('transaction_read_only') = 'off'");
    c.prepare("probe_insert",
              "INSERT INTO uploads (map_id, map_name, holder, score, played_on, received_at) "
              "VALUES (0, '', '', 0, '', '') ON CONFLICT DO NOTHING");
}

bool InsertIn(pqxx::work& w, const Upload& u) {
    const pqxx::result id =
        w.exec_prepared("insert_upload", u.mapId, u.mapName, u.holder, u.score, u.playedOn, u.receivedAt);
    if (id.empty()) return false;
    w.exec_prepared("upsert_best", u.mapId, u.holder, u.score, u.playedOn, id[0][0].as<long long>());
    return true;
}

// Bytes as hexadecimal text, for decode(..., 'hex'): a text parameter
// carries any bytes.
std::string Hex(const std::string& bytes) {
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (unsigned char b : bytes) {
        out += kDigits[b >> 4];
        out += kDigits[b & 15];
    }
    return out;
}

// The server's messages end in a newline and may run over several lines.
std::string OneLine(const std::string& text) {
    std::string line;
    for (char ch : text)
        if (!std::isspace(static_cast<unsigned char>(ch))) line += ch;
        else if (!line.empty() && line.back() != ' ') line += ' ';
    if (!line.empty() && line.back() == ' ') line.pop_back();
    return line;
}

StoreError Failure(const pqxx::failure& e) { return StoreError("postgresql: " + OneLine(e.what())); }

// The connection is gone (the server restarted or dropped it), not just the
// statement refused.
bool ConnectionLost(const pqxx::failure& e, const pqxx::connection& c) {
    if (dynamic_cast<const pqxx::broken_connection*>(&e) || dynamic_cast<const pqxx::in_doubt_error*>(&e)) return true;
    const auto* sql = dynamic_cast<const pqxx::sql_error*>(&e);
    if (sql && (sql->sqlstate().rfind("08", 0) == 0 || sql->sqlstate().rfind("57P", 0) == 0)) return true;
    return !c.is_open();
}

// "" when an upload could be written now, else why not: the server takes
// writes (neither in recovery nor read-only) and, with `insert`, an upload
// row is inserted and rolled back.
std::string WhyNotWritable(pqxx::connection& c, bool insert) {
    {
        pqxx::nontransaction t(c);
        if (!t.exec_prepared("writable")[0][0].as<bool>()) return "the server is read-only or in recovery";
    }
    if (insert) {
        pqxx::work w(c);
        w.exec_prepared("probe_insert");
        w.abort();
    }
    return "";
}

class PostgresStore final : public ScoreStore {
public:
    // Creates the tables and refuses a database that takes no write.
    explicit PostgresStore(const std::string& uri) : uri_(uri) {
        std::unique_ptr<pqxx::connection> c = Connect();
        std::string reason;
        try {
            pqxx::work w(*c);
            w.exec("SELECT pg_advisory_xact_lock(" + std::to_string(kSchemaLock) + ")");
            w.exec(kSchema);
            w.commit();
            reason = WhyNotWritable(*c, true);
        } catch (const pqxx::failure& e) {
            reason = OneLine(e.what());
        }
        if (!reason.empty()) {
            const auto text = [](const char* part) { return std::string(part ? part : ""); };
            throw StoreError("cannot write the database postgresql://" + text(c->username()) + "@" +
                             text(c->hostname()) + ":" + text(c->port()) + "/" + text(c->dbname()) + ": " + reason);
        }
        Return(std::move(c));
    }

    bool Add(const Upload& upload) override {
        return Write([&](pqxx::connection& c) {
            pqxx::work w(c);
            const bool inserted = InsertIn(w, upload);
            w.commit();
            return inserted;
        });
    }

    void AddMany(const std::vector<Upload>& uploads) override {
        Write([&](pqxx::connection& c) {
            pqxx::work w(c);
            for (const Upload& u : uploads) InsertIn(w, u);
            w.commit();
            return true;
        });
    }

    std::vector<RankedScore> Top(int mapId, int limit, bool provenOnly) override {
        std::vector<RankedScore> rows;
        Run([&](pqxx::connection& c) {
            pqxx::read_transaction t(c);
            rows.clear();
            for (const auto& r : t.exec_prepared(provenOnly ? "top_proven" : "top", mapId, limit))
                rows.push_back({r[0].c_str(), r[1].as<int>(), r[2].c_str(), r[3].as<long long>(),
                                static_cast<ProofState>(r[4].as<int>())});
            return true;
        });
        return rows;
    }

    RunAttach AttachRun(const Upload& key, const std::string& replay, int maxPending) override {
        RunAttach result = RunAttach::kNoSuchUpload;
        const std::string hex = Hex(replay);
        Write([&](pqxx::connection& c) {
            pqxx::work w(c);
            const pqxx::result found = w.exec_prepared("find_upload", key.mapId, key.holder, key.score, key.playedOn);
            if (found.empty()) result = RunAttach::kNoSuchUpload;
            else if (found[0][1].as<bool>()) result = RunAttach::kHasRun;
            else if (w.exec_prepared("count_pending")[0][0].as<long long>() >= maxPending)
                result = RunAttach::kQueueFull;
            else {
                w.exec_prepared("set_run", hex, found[0][0].as<long long>());
                w.commit();
                result = RunAttach::kAttached;
            }
            return true;
        });
        return result;
    }

    bool OldestPending(PendingRun* run) override {
        return Run([&](pqxx::connection& c) {
            pqxx::read_transaction t(c);
            const pqxx::result r = t.exec_prepared("oldest_pending");
            if (r.empty()) return false;
            run->uploadId = r[0][0].as<long long>();
            run->mapId = r[0][1].as<int>();
            run->score = r[0][2].as<int>();
            run->replay = pqxx::binarystring(r[0][3]).str();
            return true;
        });
    }

    void StoreProof(long long uploadId, const ProofRecord& p) override {
        Write([&](pqxx::connection& c) {
            pqxx::work w(c);
            if (w.exec_prepared("set_proof", static_cast<int>(p.state), p.reason, p.step, p.milliseconds, uploadId)
                    .affected_rows() == 1) {
                if (p.state == ProofState::kProven) w.exec_prepared("upsert_best_proven", uploadId);
                if (p.state == ProofState::kRefused && w.exec_prepared("drop_best", uploadId).affected_rows() == 1)
                    w.exec_prepared("refill_best", uploadId);
            }
            w.commit();
            return true;
        });
    }

    bool BestRun(int mapId, std::string* replay) override { return ReadRun("best_run", mapId, replay, nullptr); }
    bool ProvenRun(long long uploadId, int* mapId, std::string* replay) override {
        return ReadRun("proven_run", uploadId, replay, mapId);
    }

    std::vector<Upload> Latest(int limit) override {
        std::vector<Upload> rows;
        Run([&](pqxx::connection& c) {
            pqxx::read_transaction t(c);
            rows.clear();
            for (const auto& r : t.exec_prepared("latest", limit)) {
                Upload u;
                u.mapId = r[0].as<int>();
                u.mapName = r[1].c_str();
                u.holder = r[2].c_str();
                u.score = r[3].as<int>();
                u.playedOn = r[4].c_str();
                u.receivedAt = r[5].c_str();
                u.id = r[6].as<long long>();
                u.proof = static_cast<ProofState>(r[7].as<int>());
                rows.push_back(std::move(u));
            }
            return true;
        });
        return rows;
    }

    // The server takes writes and the last write succeeded; after a failed
    // write, an insert rolled back must succeed first.
    bool Healthy() override {
        try {
            return Run([&](pqxx::connection& c) {
                const bool insert = !lastWriteOk_;
                if (!WhyNotWritable(c, insert).empty()) return false;
                if (insert) lastWriteOk_ = true;
                return true;
            });
        } catch (const StoreError&) {
            return false;
        }
    }

private:
    // The run of the one row statement `name` selects by `key`, and its map
    // when asked.
    bool ReadRun(const char* name, long long key, std::string* replay, int* mapId) {
        return Run([&](pqxx::connection& c) {
            pqxx::read_transaction t(c);
            const pqxx::result r = t.exec_prepared(name, key);
            if (r.empty()) return false;
            *replay = pqxx::binarystring(r[0][0]).str();
            if (mapId) *mapId = r[0][1].as<int>();
            return true;
        });
    }

    std::unique_ptr<pqxx::connection> Connect() {
        try {
            auto c = std::make_unique<pqxx::connection>(uri_);
            PrepareStatements(*c);
            return c;
        } catch (const pqxx::failure& e) {
            throw Failure(e);
        }
    }

    // An idle pooled connection, or a new one.
    std::unique_ptr<pqxx::connection> Borrow() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (!pool_.empty()) {
                auto c = std::move(pool_.back());
                pool_.pop_back();
                return c;
            }
        }
        return Connect();
    }

    void Return(std::unique_ptr<pqxx::connection> c) {
        std::lock_guard<std::mutex> lock(mutex_);
        pool_.push_back(std::move(c));
    }

    // Runs `f` on a pooled connection. When the server has dropped that
    // connection (a restart), `f` runs once more on a new one: safe for an
    // upload too, which is stored once however often it is sent. A failed
    // connection never goes back to the pool.
    template <class F>
    bool Run(F&& f) {
        for (int attempt = 0;; ++attempt) {
            std::unique_ptr<pqxx::connection> c = attempt == 0 ? Borrow() : Connect();
            try {
                const bool result = f(*c);
                Return(std::move(c));
                return result;
            } catch (const pqxx::failure& e) {
                if (attempt > 0 || !ConnectionLost(e, *c)) throw Failure(e);
            }
        }
    }

    template <class F>
    bool Write(F&& f) {
        try {
            const bool result = Run(f);
            lastWriteOk_ = true;
            return result;
        } catch (const StoreError&) {
            lastWriteOk_ = false;
            throw;
        }
    }

    const std::string uri_;
    std::mutex mutex_;
    std::vector<std::unique_ptr<pqxx::connection>> pool_;
    std::atomic<bool> lastWriteOk_{true};
};

}  // namespace

std::unique_ptr<ScoreStore> OpenPostgresStore(const std::string& uri) {
    try {
        return std::make_unique<PostgresStore>(uri);
    } catch (const pqxx::failure& e) {
        throw Failure(e);
    }
}
