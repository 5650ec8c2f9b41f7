// Screenshots: the frame loop copies the field into a buffer made at start;
// a worker thread encodes and writes it, so the loop never waits for it.
// SPDX-License-Identifier: MIT
#include "window/screenshot.h"

#include <sys/stat.h>
#include <time.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>

#include "gfx/picture_store.h"
#include "gfx/play_field.h"
#include "gfx/surface.h"
#include "platform/platform.h"
#include "window/screen_note.h"

namespace {
std::string shotFolder;
Surface* copy = nullptr;  // the field as it was when F12 was pressed
time_t takenAt = 0;

std::mutex mutex;
std::condition_variable changed;
bool pending = false;  // the copy waits for the writer or is being written
bool stopping = false;
std::thread writer;

// <folder>/quillrun-YYYYMMDD-HHMMSS.png, or -2, -3, ... for more than
// one shot in a second. Empty when 99 exist.
std::string FreeName(time_t when) {
    tm local{};
    localtime_r(&when, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    for (int n = 1; n < 100; ++n) {
        char name[64];
        if (n == 1) std::snprintf(name, sizeof name, "/quillrun-%s.png", stamp);
        else std::snprintf(name, sizeof name, "/quillrun-%s-%d.png", stamp, n);
        const std::string path = shotFolder + name;
        struct stat st {};
        if (lstat(path.c_str(), &st) != 0 && errno == ENOENT) return path;
    }
    return {};
}

void Write() {
    if (mkdir(shotFolder.c_str(), 0777) != 0 && errno != EEXIST) {
        std::fprintf(stderr, "quillrun: cannot make the folder %s for the screenshot: %s\n", shotFolder.c_str(),
                     std::strerror(errno));
        PostScreenNote("Screenshot not saved");
        return;
    }
    const std::string path = FreeName(takenAt);
    if (path.empty() || !WritePng(copy, path)) {
        std::fprintf(stderr, "quillrun: cannot write the screenshot %s\n",
                     path.empty() ? (shotFolder + "/quillrun-*.png").c_str() : path.c_str());
        PostScreenNote("Screenshot not saved");
        return;
    }
    PostScreenNote("Screenshot saved: " + path.substr(shotFolder.size() + 1));
}

void WriterLoop() {
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
        changed.wait(lock, [] { return pending || stopping; });
        if (pending) {
            lock.unlock();
            Write();
            lock.lock();
            pending = false;
            changed.notify_all();
        } else {
            return;
        }
    }
}
}  // namespace

void StartScreenshots(const std::string& folder) {
    shotFolder = folder;
    if (copy == nullptr) copy = CreateSurface(kFieldWidth, kFieldHeight);
}

void TakeScreenshot() {
    const Surface* field = MainField.image;
    if (copy == nullptr || field == nullptr || field->width != copy->width || field->height != copy->height) {
        std::fprintf(stderr, "quillrun: no screenshot: the play field is not ready\n");
        return;
    }
    std::lock_guard<std::mutex> lock(mutex);
    if (pending) {
        std::fprintf(stderr, "quillrun: screenshot skipped: the last one is still being written\n");
        PostScreenNote("Screenshot not saved");
        return;
    }
    std::copy(field->pixels, field->pixels + field->width * field->height, copy->pixels);
    takenAt = time(nullptr);
    pending = true;
    if (!writer.joinable()) writer = std::thread(WriterLoop);
    changed.notify_all();
}

void FinishScreenshots() {
    {
        std::unique_lock<std::mutex> lock(mutex);
        if (!writer.joinable()) return;
        changed.wait(lock, [] { return !pending; });
        stopping = true;
        changed.notify_all();
    }
    writer.join();
}
