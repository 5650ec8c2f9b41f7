// The PostgreSQL score store: a pool of connections with prepared
// statements; each upload is its own committed transaction, so an answered
// upload is durable (synchronous_commit as the server is configured).
// SPDX-License-Identifier: MIT
#include "server/postgres_store.h"

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
    c.prepare("ping", "SELECT 1");
}

bool InsertIn(pqxx::work& w, const Upload& u) {
    const pqxx::result id =
        w.exec_prepared("insert_upload", u.mapId, u.mapName, u.holder, u.score, u.playedOn, u.receivedAt);
    if (id.empty()) return false;
    w.exec_prepared("upsert_best", u.mapId, u.holder, u.score, u.playedOn, id[0][0].as<long long>());
    return true;
}

class PostgresStore final : public ScoreStore {
public:
    explicit PostgresStore(const std::string& uri) : uri_(uri) {
        Lease lease(*this);
        pqxx::work w(*lease.connection);
        w.exec("SELECT pg_advisory_xact_lock(" + std::to_string(kSchemaLock) + ")");
        w.exec(kSchema);
        w.commit();
        lease.good = true;
    }

    bool Add(const Upload& upload) override {
        return Run([&](pqxx::connection& c) {
            pqxx::work w(c);
            const bool inserted = InsertIn(w, upload);
            w.commit();
            return inserted;
        });
    }

    void AddMany(const std::vector<Upload>& uploads) override {
        Run([&](pqxx::connection& c) {
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

    bool Healthy() override {
        try {
            return Run([](pqxx::connection& c) {
                pqxx::nontransaction t(c);
                return t.exec_prepared("ping").size() == 1;
            });
        } catch (const StoreError&) {
            return false;
        }
    }

private:
    // A connection borrowed from the pool; one that failed is dropped
    // rather than returned, so a restarted database is reconnected to.
    struct Lease {
        PostgresStore& store;
        std::unique_ptr<pqxx::connection> connection;
        bool good = false;
        explicit Lease(PostgresStore& s) : store(s) {
            {
                std::lock_guard<std::mutex> lock(store.mutex_);
                if (!store.pool_.empty()) {
                    connection = std::move(store.pool_.back());
                    store.pool_.pop_back();
                }
            }
            if (!connection) {
                connection = std::make_unique<pqxx::connection>(store.uri_);
                PrepareStatements(*connection);
            }
        }
        ~Lease() {
            if (!good) return;
            std::lock_guard<std::mutex> lock(store.mutex_);
            store.pool_.push_back(std::move(connection));
        }
    };

    template <class F>
    bool Run(F&& f) {
        try {
            Lease lease(*this);
            const bool result = f(*lease.connection);
            lease.good = true;
            return result;
        } catch (const pqxx::failure& e) {
            throw StoreError(std::string("postgresql: ") + e.what());
        }
    }

    const std::string uri_;
    std::mutex mutex_;
    std::vector<std::unique_ptr<pqxx::connection>> pool_;
};

}  // namespace

std::unique_ptr<ScoreStore> OpenPostgresStore(const std::string& uri) {
    try {
        return std::make_unique<PostgresStore>(uri);
    } catch (const pqxx::failure& e) {
        throw StoreError(std::string("postgresql: ") + e.what());
    }
}
