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
              "SELECT holder, score, played_on FROM best WHERE map_id = $1 ORDER BY score DESC, upload_id LIMIT $2");
    c.prepare("latest",
              "SELECT map_id, map_name, holder, score, played_on, received_at FROM uploads ORDER BY id DESC LIMIT $1");
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

    std::vector<RankedScore> Top(int mapId, int limit) override {
        std::vector<RankedScore> rows;
        Run([&](pqxx::connection& c) {
            pqxx::read_transaction t(c);
            rows.clear();
            for (const auto& r : t.exec_prepared("top", mapId, limit))
                rows.push_back({r[0].c_str(), r[1].as<int>(), r[2].c_str()});
            return true;
        });
        return rows;
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
