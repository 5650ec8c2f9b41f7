// A replay file as arbitrary bytes, read the way a run start (the best run
// to race against) and playback (with seek keys pressed) read it, and its
// key section read back: a whole one ends the file as long as the writer
// makes it, and every cut of it is refused.
// SPDX-License-Identifier: MIT
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "base/game_state.h"
#include "fuzz_support.h"
#include "gfx/field_text.h"
#include "gfx/play_field.h"
#include "gfx/surface.h"
#include "headless/headless.h"
#include "platform/platform.h"
#include "screens/playback.h"
#include "replay/key_section.h"
#include "replay/replay_file.h"
#include "shell/keyboard.h"
#include "shell/run_start.h"

namespace {

constexpr long kDispatches = 2;  // playback frames shown per input

// Key presses during playback, chosen by the input's last byte, so that the
// fuzzer reaches seeking from every position it can make.
int keyPattern = 0;

void OnDispatch(long n) {
    switch (keyPattern) {
        case 1: OnKeyDown(VK_LEFT); OnKeyUp(VK_LEFT); break;   // jump back each frame
        case 2: OnKeyDown(VK_RIGHT); break;                    // held: jump forward
        case 3: if (n == 1) OnKeyDown(VK_RETURN); break;       // a run starts mid-replay
        default: break;
    }
    if (n >= kDispatches) PlatformEndProgram(0);
}

void CheckKeySection(std::string_view text) {
    std::vector<uint8_t> steps;
    int32_t waited = 0;
    if (ReadKeySection(text, steps, &waited) != KeySection::kWhole) return;
    std::string section;  // the writer's text for the steps read ends the file
    AppendKeySection(section, steps.data(), static_cast<int>(steps.size()), waited);
    for (size_t cut = 1; cut < section.size(); cut += 1 + cut / 8)  // bytes cut off the end
        if (ReadKeySection(text.substr(0, text.size() - cut), steps) != KeySection::kMalformed) std::abort();
    if (ReadKeySection(text.substr(0, text.size() - section.size()), steps) != KeySection::kAbsent) std::abort();
}

// The shell paces each shown frame before it hands out input; pacing only
// moves the virtual clock, so playback here just hands out input.
void EndPlaybackFrame() { PlatformDispatchEvents(); }

}  // namespace

// Fonts are found once, before the first input, so that what they keep for
// the life of the process is not taken for a leak of an input.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzsupport::GameFolder();
    std::string error;
    if (!InitPlayField(&error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        std::abort();
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    HeadlessReset();
    // A small cave and ship, made once, so that drawing costs little; no map
    // file, so that a run start keeps them. Playback never reads the cave, so
    // trails left by earlier inputs change nothing.
    static Surface* cave = CreateSurface(700, 200);
    static Surface* ship = CreateSurface(18, 18);
    gs.mapSurface = cave;
    gs.shipSurface = ship;
    gs.playing = gs.replaySeeking = gs.slowMotion = kFalse;
    gs.selectedMap = 1;
    gs.maps[1].width = 650;
    fuzzsupport::WriteInput(ReplayPath(1), data, size);
    CheckKeySection(std::string_view(reinterpret_cast<const char*>(data), size));

    StartRun();

    keyPattern = size == 0 ? 0 : data[size - 1] % 4;
    HeadlessSetDispatchHook(OnDispatch);
    gs.replayMode = kTrue;
    try {
        PlayReplay(1, EndPlaybackFrame);
    } catch (const ProgramEnded&) {
    }
    HeadlessSetDispatchHook(nullptr);
    return 0;
}
