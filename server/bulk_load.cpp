// quillrun-scores-bulk-load: fills a score database with made-up uploads,
// so that the server can be measured on a large database.
// SPDX-License-Identifier: MIT
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include "server/score_store.h"
#include "server/store_opener.h"

int main(int argc, char** argv) {
    std::string database;
    long count = 1000000;
    unsigned seed = 1;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string arg = argv[i];
        if (arg == "--database") database = argv[i + 1];
        else if (arg == "--count") count = std::atol(argv[i + 1]);
        else if (arg == "--seed") seed = static_cast<unsigned>(std::atol(argv[i + 1]));
    }
    if (database.empty() || count <= 0 || argc % 2 == 0) {
        std::fprintf(stderr, "usage: quillrun-scores-bulk-load --database LOCATION [--count N] [--seed N]\n");
        return 2;
    }
    try {
        auto store = OpenScoreStore(database);
        std::mt19937 gen(seed);
        const auto start = std::chrono::steady_clock::now();
        std::vector<Upload> chunk;
        for (long done = 0; done < count;) {
            chunk.clear();
            for (; done < count && chunk.size() < 20000; ++done) {
                Upload u;
                u.mapId = kFirstMap + static_cast<int>(gen() % kLastMap);
                u.mapName = "Cave " + std::to_string(u.mapId);
                u.holder = "Pilot " + std::to_string(gen() % 50000);
                u.score = static_cast<int>(gen() % 32768);
                char date[32], received[64];
                std::snprintf(date, sizeof date, "20%02u-%02u-%02u", static_cast<unsigned>(20 + gen() % 7),
                              static_cast<unsigned>(1 + gen() % 12), static_cast<unsigned>(1 + gen() % 28));
                std::snprintf(received, sizeof received, "%sT12:00:00.%03luZ", date, done % 1000);
                u.playedOn = date;
                u.receivedAt = received;
                chunk.push_back(std::move(u));
            }
            store->AddMany(chunk);
            std::fprintf(stderr, "\r%ld uploads", done);
        }
        const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::fprintf(stderr, "\n%ld uploads offered in %.1f s (repeats are stored once)\n", count, s);
    } catch (const StoreError& e) {
        std::fprintf(stderr, "quillrun-scores-bulk-load: %s\n", e.what());
        return 1;
    }
    return 0;
}
