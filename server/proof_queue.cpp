// The proving queue's thread.
// SPDX-License-Identifier: MIT
#include "server/proof_queue.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <string>

#include "proof/run_proof.h"

namespace {

// Runs stored by another process on the same database are found this often.
constexpr auto kRound = std::chrono::seconds(5);
// After a database failure, the next try.
constexpr auto kRetry = std::chrono::seconds(1);
// Added to the thread's nice value: answers come first.
constexpr int kNicer = 10;

ProofState StateOf(ProofVerdict verdict) {
    switch (verdict) {
        case ProofVerdict::kProven: return ProofState::kProven;
        case ProofVerdict::kRefused: return ProofState::kRefused;
        default: return ProofState::kUnproven;
    }
}

}  // namespace

ProofQueue::ProofQueue(ScoreStore& store) : store_(store) {}

ProofQueue::~ProofQueue() { Stop(); }

void ProofQueue::Start() { thread_ = std::thread([this] { Loop(); }); }

void ProofQueue::Wake() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        woken_ = true;
    }
    wake_.notify_one();
}

void ProofQueue::Stop() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    if (thread_.joinable()) thread_.join();
}

bool ProofQueue::ProveOldest() {
    PendingRun run;
    if (!store_.OldestPending(&run)) return false;
    const auto start = std::chrono::steady_clock::now();
    ProofRecord record;
    try {
        const Proof proof = ProveRun(run.mapId, run.replay, run.score);
        record.state = StateOf(proof.verdict);
        record.reason = proof.reason;
        record.step = proof.step;
    } catch (const std::exception& e) {  // out of memory: kept, and not tried again
        record.reason = std::string("the proof failed: ") + e.what();
    }
    record.milliseconds = static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count());
    store_.StoreProof(run.uploadId, record);
    return true;
}

void ProofQueue::Loop() {
    // Linux gives each thread its own nice value.
    const id_t self = static_cast<id_t>(::syscall(SYS_gettid));
    errno = 0;
    const int nice = ::getpriority(PRIO_PROCESS, self);
    if (errno == 0) ::setpriority(PRIO_PROCESS, self, std::min(19, nice + kNicer));

    std::unique_lock<std::mutex> lock(mutex_);
    while (!stopping_) {
        woken_ = false;
        lock.unlock();
        bool proved = false, failed = false;
        try {
            proved = ProveOldest();
        } catch (const StoreError& e) {
            std::fprintf(stderr, "quillrun-scores: proving: %s\n", e.what());
            failed = true;
        }
        lock.lock();
        if (!proved) wake_.wait_for(lock, failed ? kRetry : kRound, [&] { return stopping_ || (woken_ && !failed); });
    }
}
