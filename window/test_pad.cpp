// The test pad: a virtual game controller driven from a command file.
// SPDX-License-Identifier: MIT
#include "window/test_pad.h"

#include <SDL.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

namespace {
int fd = -2;  // -2: not looked at yet; -1: no test pad
SDL_Joystick* joystick = nullptr;
char pending[512];
size_t pendingLength = 0;

void Attach() {
    if (joystick != nullptr) return;
    SDL_VirtualJoystickDesc desc{};
    desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
    desc.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER;
    desc.naxes = SDL_CONTROLLER_AXIS_MAX;
    desc.nbuttons = SDL_CONTROLLER_BUTTON_MAX;
    desc.name = "Quillrun test pad";
    const int index = SDL_JoystickAttachVirtualEx(&desc);
    if (index >= 0) joystick = SDL_JoystickOpen(index);
    if (joystick == nullptr) std::fprintf(stderr, "quillrun: test pad: cannot attach: %s\n", SDL_GetError());
    // Triggers rest at the bottom of their range.
    for (int axis : {SDL_CONTROLLER_AXIS_TRIGGERLEFT, SDL_CONTROLLER_AXIS_TRIGGERRIGHT})
        if (joystick != nullptr) SDL_JoystickSetVirtualAxis(joystick, axis, -32768);
}

void Detach() {
    if (joystick == nullptr) return;
    const SDL_JoystickID id = SDL_JoystickInstanceID(joystick);
    SDL_JoystickClose(joystick);
    joystick = nullptr;
    for (int i = 0; i < SDL_NumJoysticks(); ++i) {
        if (SDL_JoystickGetDeviceInstanceID(i) == id) {
            SDL_JoystickDetachVirtual(i);
            break;
        }
    }
}

void Run(char* line) {
    char verb[16] = {}, name[32] = {}, arg[16] = {};
    if (std::sscanf(line, "%15s %31s %15s", verb, name, arg) < 1) return;
    if (std::strcmp(verb, "attach") == 0) Attach();
    else if (std::strcmp(verb, "detach") == 0) Detach();
    else if (joystick == nullptr) std::fprintf(stderr, "quillrun: test pad: '%s' without a pad\n", line);
    else if (std::strcmp(verb, "button") == 0) {
        const SDL_GameControllerButton b = SDL_GameControllerGetButtonFromString(name);
        if (b != SDL_CONTROLLER_BUTTON_INVALID)
            SDL_JoystickSetVirtualButton(joystick, b, std::strcmp(arg, "down") == 0 ? SDL_PRESSED : SDL_RELEASED);
    } else if (std::strcmp(verb, "axis") == 0) {
        const SDL_GameControllerAxis a = SDL_GameControllerGetAxisFromString(name);
        if (a != SDL_CONTROLLER_AXIS_INVALID)
            SDL_JoystickSetVirtualAxis(joystick, a, static_cast<Sint16>(std::atoi(arg)));
    }
    // The virtual pad reports its state, not its changes: a press and release
    // read in one go must each become an event.
    SDL_JoystickUpdate();
}
}  // namespace

void FeedTestPad() {
    if (fd == -2) {
        const char* path = std::getenv("QUILLRUN_TEST_PAD");
        fd = path != nullptr && *path != '\0' ? open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC) : -1;
    }
    if (fd < 0) return;
    for (;;) {
        const ssize_t n = read(fd, pending + pendingLength, sizeof pending - 1 - pendingLength);
        if (n <= 0) return;
        pendingLength += static_cast<size_t>(n);
        char* start = pending;
        for (char* nl; (nl = static_cast<char*>(std::memchr(start, '\n', pending + pendingLength - start)));) {
            *nl = '\0';
            Run(start);
            start = nl + 1;
        }
        pendingLength -= static_cast<size_t>(start - pending);
        std::memmove(pending, start, pendingLength);
        if (pendingLength == sizeof pending - 1) pendingLength = 0;  // an overlong line is dropped
    }
}
