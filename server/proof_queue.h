// The proving queue: one thread, at a lower priority than the answers, takes
// the runs waiting in the store oldest first, flies each again with the
// game's own flight (ProveRun, one at a time) and stores the result with the
// time it took. The waiting runs live in the store, so a restart picks them
// up again; an upload's answer never waits for a proof.
// SPDX-License-Identifier: MIT
#pragma once

#include <condition_variable>
#include <mutex>
#include <thread>

#include "server/score_store.h"

class ProofQueue {
public:
    // `store` must outlive the queue. The caves are set with SetProofCaves first.
    explicit ProofQueue(ScoreStore& store);
    ~ProofQueue();

    void Start();
    // A run was stored: look for it now rather than at the next round.
    void Wake();
    // Ends the thread after the proof under way, which is stored; safe from
    // any thread.
    void Stop();

private:
    void Loop();
    // Proves the oldest waiting run; false when none waits.
    bool ProveOldest();

    ScoreStore& store_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool woken_ = false, stopping_ = false;
    std::thread thread_;
};
