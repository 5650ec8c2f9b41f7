// The platform without a window: a virtual clock that only moves when the
// game waits, dispatches that run a hook instead of reading events, and
// modal dialogs answered from queues.
// SPDX-License-Identifier: MIT
#include <deque>
#include <utility>

#include "base/codepage.h"
#include "headless/headless.h"
#include "platform/platform.h"

namespace {

constexpr int32_t kStartClock = 1000000;

struct DialogAnswer {
    bool cancel = false;
    std::string text;  // UTF-8
};

struct HeadlessState {
    int32_t clock = kStartClock;
    long dispatches = 0;
    std::function<void(long)> hook;
    std::deque<DialogAnswer> dialogAnswers;
    std::deque<bool> confirms;
    std::deque<bool> openResults;
    std::vector<std::string> messages;
    std::vector<std::string> openedUrls;
    std::FILE* echo = nullptr;
    int dispatchDepth = 0;  // > 0 while a dispatch's hook runs
    std::FILE* soundEcho = nullptr;
    bool muted = false;
    uint32_t loops = 0;  // as heard: none while muted
};

HeadlessState& State() {
    static HeadlessState state;
    return state;
}

int32_t AddWrapping(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}

// Appends game text as UTF-8, with every line break written as \n so the
// message stays on one line.
void AppendOneLine(std::string& out, const std::string& gameText) {
    std::string utf8 = Cp1252ToUtf8(gameText);
    for (size_t i = 0; i < utf8.size(); ++i) {
        char c = utf8[i];
        if (c == '\r') {
            if (i + 1 < utf8.size() && utf8[i + 1] == '\n') ++i;
            out += "\\n";
        } else if (c == '\n') {
            out += "\\n";
        } else {
            out += c;
        }
    }
}

void RecordMessage(const std::string& caption, const std::string& text) {
    HeadlessState& s = State();
    std::string entry;
    AppendOneLine(entry, caption);
    entry += ": ";
    AppendOneLine(entry, text);
    if (s.echo != nullptr) {
        std::fputs("message: ", s.echo);
        std::fputs(entry.c_str(), s.echo);
        std::fputc('\n', s.echo);
        std::fflush(s.echo);
    }
    s.messages.push_back(std::move(entry));
}

}  // namespace

bool PlatformOpenUrl(const std::string& url) {
    HeadlessState& s = State();
    const bool opened = s.openResults.empty() || s.openResults.front();
    if (!s.openResults.empty()) s.openResults.pop_front();
    if (s.echo != nullptr) {
        std::fputs(opened ? "open: " : "open failed: ", s.echo);
        std::fputs(url.c_str(), s.echo);
        std::fputc('\n', s.echo);
        std::fflush(s.echo);
    }
    s.openedUrls.push_back(url);
    return opened;
}

const std::vector<std::string>& HeadlessOpenedUrls() { return State().openedUrls; }

void HeadlessReset() {
    State() = HeadlessState{};
    PlatformSeedRandom(1);
}

void HeadlessSetDispatchHook(std::function<void(long dispatch)> hook) { State().hook = std::move(hook); }

void HeadlessQueueDialogAnswer(const std::string& utf8Text) { State().dialogAnswers.push_back({false, utf8Text}); }

void HeadlessQueueDialogCancel() { State().dialogAnswers.push_back({true, {}}); }

void HeadlessQueueConfirm(bool yes) { State().confirms.push_back(yes); }

void HeadlessQueueOpenResult(bool opened) { State().openResults.push_back(opened); }

const std::vector<std::string>& HeadlessMessages() { return State().messages; }

void HeadlessSetMessageEcho(std::FILE* out) { State().echo = out; }

long HeadlessDispatchCount() { return State().dispatches; }

int32_t HeadlessClock() { return State().clock; }

void HeadlessSetClock(int32_t ms) { State().clock = ms; }

int32_t PlatformTickCount() { return State().clock; }

int32_t PlatformWaitTickAfter(int32_t deadline) {
    HeadlessState& s = State();
    if (!TickPassed(s.clock, deadline)) s.clock = AddWrapping(deadline, 1);
    return s.clock;
}

void PlatformSleep(int32_t milliseconds) {
    if (milliseconds > 0) State().clock = AddWrapping(State().clock, milliseconds);
}

void PlatformDispatchEvents() {
    HeadlessState& s = State();
    s.dispatches += 1;
    if (!s.hook) throw ProgramEnded{0};
    struct Depth {
        int& depth;
        explicit Depth(int& d) : depth(d) { ++depth; }
        ~Depth() { --depth; }
    } inDispatch(s.dispatchDepth);
    s.hook(s.dispatches);
}

void PlatformPresent() {}

void PlatformShowWindow() {}

void PlatformMessageBox(const std::string& text, const std::string& caption) { RecordMessage(caption, text); }

bool PlatformAskYesNo(const std::string& text, const std::string& caption) {
    RecordMessage(caption, text);
    HeadlessState& s = State();
    if (s.confirms.empty()) return false;
    bool yes = s.confirms.front();
    s.confirms.pop_front();
    return yes;
}

namespace {
// The window's field takes only the characters the rules carry, up to their
// length, and refuses OK while it begins or ends in one they do not carry
// there.
bool RefusedAtItsEnds(const std::string& utf8, const InputRules& rules) {
    std::string typed;
    for (char c : Utf8ToCp1252(utf8)) {
        if (typed.size() < rules.maxBytes && rules.carries(static_cast<unsigned char>(c))) typed.push_back(c);
    }
    return !typed.empty() && (!rules.carriesAtEnd(static_cast<unsigned char>(typed.front())) ||
                              !rules.carriesAtEnd(static_cast<unsigned char>(typed.back())));
}
}  // namespace

std::string PlatformInputBox(const std::string& prompt, const std::string& caption, const std::string&,
                             const InputRules& rules) {
    RecordMessage(caption, prompt);
    HeadlessState& s = State();
    for (;;) {
        if (s.dialogAnswers.empty()) return {};
        DialogAnswer a = std::move(s.dialogAnswers.front());
        s.dialogAnswers.pop_front();
        if (a.cancel) return {};
        if (!RefusedAtItsEnds(a.text, rules)) return a.text;
        // The dialog stays open, as the window's does; the next answer is
        // the next try.
        if (s.echo != nullptr) {
            std::fprintf(s.echo, "refused: %s\n", a.text.c_str());
            std::fflush(s.echo);
        }
    }
}

void PlatformEndProgram(int status) { throw ProgramEnded{status}; }

namespace {

long SoundDispatch() {
    const HeadlessState& s = State();
    return s.dispatchDepth > 0 ? s.dispatches : s.dispatches + 1;
}

// Writes a line for every loop that begins or ends.
void HearLoops(uint32_t loops) {
    HeadlessState& s = State();
    const uint32_t changed = s.loops ^ loops;
    s.loops = loops;
    if (s.soundEcho == nullptr || changed == 0) return;
    for (int i = 0; i < kSoundCount; ++i) {
        const SoundId id = static_cast<SoundId>(i);
        if ((changed & SoundBit(id)) == 0) continue;
        std::fprintf(s.soundEcho, "sound: %ld %s %s\n", SoundDispatch(), SoundName(id),
                     (loops & SoundBit(id)) != 0 ? "start" : "stop");
    }
}

}  // namespace

void HeadlessSetSoundEcho(std::FILE* out) { State().soundEcho = out; }

void PlatformPlaySound(SoundId id, float strength) {
    const HeadlessState& s = State();
    if (s.soundEcho == nullptr || s.muted) return;
    std::fprintf(s.soundEcho, "sound: %ld %s %.2f\n", SoundDispatch(), SoundName(id), static_cast<double>(strength));
}

void PlatformSetSoundLoops(uint32_t loops) { HearLoops(State().muted ? 0 : loops); }

void PlatformSetSoundMuted(bool muted) {
    State().muted = muted;
    if (muted) HearLoops(0);
}
