// The server's log: lines are queued without waiting and written by a thread
// of their own, so a reader that falls behind (or a full pipe) never holds up
// an answer. Lines that find the queue full are counted, and the count is
// logged once the queue has drained.
// SPDX-License-Identifier: MIT
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

class LogQueue {
public:
    // Writes to the descriptor `fd`; at most `capacity` lines wait.
    LogQueue(int fd, size_t capacity);
    // Writes what is queued, waiting at most `kFinalWaitMs` for a reader.
    ~LogQueue();

    // Queues one line (its newline added here); never waits for the writer.
    void Line(std::string line);

    static constexpr int kFinalWaitMs = 2000;

private:
    void Write();
    bool WriteAll(const std::string& text);

    const int fd_;
    const size_t capacity_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::string> lines_;
    size_t dropped_ = 0;
    bool closing_ = false;
    std::thread writer_;
};
