// The log's queue and its writer thread.
// SPDX-License-Identifier: MIT
#include "server/log_queue.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <algorithm>

LogQueue::LogQueue(int fd, size_t capacity) : fd_(fd), capacity_(capacity), writer_([this] { Write(); }) {}

LogQueue::~LogQueue() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        closing_ = true;
    }
    wake_.notify_one();
    writer_.join();
}

void LogQueue::Line(std::string line) {
    line += '\n';
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (lines_.size() >= capacity_) {
            ++dropped_;
            return;
        }
        lines_.push_back(std::move(line));
    }
    wake_.notify_one();
}

// Writes `text` whole, a pipe's atomic chunk at a time once the descriptor
// can take it, so that the thread never sleeps inside write(); while closing
// it gives up once no reader took anything for kFinalWaitMs.
bool LogQueue::WriteAll(const std::string& text) {
    constexpr size_t kChunk = 4096;
    size_t done = 0;
    while (done < text.size()) {
        pollfd p{fd_, POLLOUT, 0};
        bool closing;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            closing = closing_;
        }
        const int ready = ::poll(&p, 1, closing ? kFinalWaitMs : 200);
        if (ready < 0 && errno != EINTR) return false;
        if (ready == 0 && closing) return false;
        if (ready <= 0) continue;
        if (p.revents & (POLLERR | POLLNVAL)) return false;
        const ssize_t n = ::write(fd_, text.data() + done, std::min(kChunk, text.size() - done));
        if (n > 0) done += static_cast<size_t>(n);
        else if (n < 0 && errno != EINTR && errno != EAGAIN) return false;
    }
    return true;
}

void LogQueue::Write() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return closing_ || !lines_.empty() || dropped_ > 0; });
        if (lines_.empty() && dropped_ == 0) return;  // closing, and all written
        std::deque<std::string> batch;
        batch.swap(lines_);
        const size_t dropped = dropped_;
        dropped_ = 0;
        lock.unlock();
        std::string text;
        for (const std::string& line : batch) text += line;
        if (dropped)
            text += "quillrun-scores: " + std::to_string(dropped) +
                    " log lines were dropped: the log was not read fast enough\n";
        const bool written = WriteAll(text);
        lock.lock();
        if (!written && closing_) return;
    }
}
