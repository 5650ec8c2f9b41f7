// Gamepads through SDL_GameController: buttons, D-pad, left stick and
// triggers turned into the keys they stand for.
// SPDX-License-Identifier: MIT
#include "window/gamepad.h"

#include "platform/platform.h"
#include "shell/keyboard.h"

namespace {
constexpr int kMaxPads = 8;
// Stick and trigger thresholds out of 32767: a direction is pressed beyond
// the first and released only below the second, so a stick resting near
// the edge does not chatter.
constexpr int kStickPress = 16000, kStickRelease = 10000;
constexpr int kTriggerPress = 16000, kTriggerRelease = 8000;

// The inputs of one pad: its buttons, then the stick's four directions and
// the two triggers.
enum Source {
    STICK_LEFT = SDL_CONTROLLER_BUTTON_MAX,
    STICK_RIGHT,
    STICK_UP,
    STICK_DOWN,
    TRIGGER_LEFT,
    TRIGGER_RIGHT,
    SOURCE_COUNT
};

struct Pad {
    SDL_GameController* controller = nullptr;
    SDL_JoystickID id = -1;
    bool held[SOURCE_COUNT] = {};
};

Pad pads[kMaxPads];
// Per key code: how many pad inputs hold it, and whether the game has seen
// its key-down (and so is owed the key-up).
int holders[256];
bool gameHolds[256];
// The held direction that repeats: the last one pressed, as on a keyboard.
int16_t repeatKey = 0;
Uint32 nextRepeat = 0;
int repeatDelay = 660, repeatInterval = 40;  // the X server's defaults

int16_t KeyOf(int source) {
    switch (source) {
        case SDL_CONTROLLER_BUTTON_DPAD_UP: case STICK_UP: return VK_UP;
        case SDL_CONTROLLER_BUTTON_DPAD_DOWN: case STICK_DOWN: return VK_DOWN;
        case SDL_CONTROLLER_BUTTON_DPAD_LEFT: case STICK_LEFT: case TRIGGER_LEFT: return VK_LEFT;
        case SDL_CONTROLLER_BUTTON_DPAD_RIGHT: case STICK_RIGHT: case TRIGGER_RIGHT: return VK_RIGHT;
        case SDL_CONTROLLER_BUTTON_A: return VK_RETURN;
        case SDL_CONTROLLER_BUTTON_B: return VK_ESCAPE;
        case SDL_CONTROLLER_BUTTON_START: return 'P';
        case SDL_CONTROLLER_BUTTON_BACK: return 'H';
        case SDL_CONTROLLER_BUTTON_Y: return 'R';
        case SDL_CONTROLLER_BUTTON_X: return 'U';
        default: return 0;
    }
}

bool IsDirection(int16_t key) { return key == VK_UP || key == VK_DOWN || key == VK_LEFT || key == VK_RIGHT; }

Pad* PadOf(SDL_JoystickID id) {
    for (Pad& p : pads)
        if (p.controller != nullptr && p.id == id) return &p;
    return nullptr;
}

// One input of a pad goes down or up. In the game the key's handlers run
// (the state is settled first, since a handler may open a dialog or end the
// program); in a dialog only the count changes and a key-up is owed.
void Change(Pad& pad, int source, bool down, bool inGame) {
    const int16_t key = KeyOf(source);
    if (key == 0 || pad.held[source] == down) return;
    pad.held[source] = down;
    if (down) {
        holders[key] += 1;
        if (!inGame || gameHolds[key]) return;
        gameHolds[key] = true;
        if (IsDirection(key)) {
            repeatKey = key;
            nextRepeat = SDL_GetTicks() + static_cast<Uint32>(repeatDelay);
        }
        OnKeyDown(key);
    } else {
        holders[key] -= 1;
        if (holders[key] > 0) return;
        if (repeatKey == key) repeatKey = 0;
        if (!inGame || !gameHolds[key]) return;
        gameHolds[key] = false;
        OnKeyUp(key);
    }
}

void Open(int deviceIndex) {
    if (!SDL_IsGameController(deviceIndex)) return;
    const SDL_JoystickID id = SDL_JoystickGetDeviceInstanceID(deviceIndex);
    if (PadOf(id) != nullptr) return;
    for (Pad& p : pads) {
        if (p.controller != nullptr) continue;
        p = Pad{};
        p.controller = SDL_GameControllerOpen(deviceIndex);
        if (p.controller != nullptr) p.id = id;
        return;
    }
}

// Unplugging releases everything the pad held.
void Close(SDL_JoystickID id, bool inGame) {
    Pad* p = PadOf(id);
    if (p == nullptr) return;
    for (int s = 0; s < SOURCE_COUNT; ++s) Change(*p, s, false, inGame);
    SDL_GameControllerClose(p->controller);
    *p = Pad{};
}

void Axis(Pad& pad, int axis, int value, bool inGame) {
    auto level = [&](int source, int v, int press, int release) {
        if (!pad.held[source] && v > press) Change(pad, source, true, inGame);
        else if (pad.held[source] && v < release) Change(pad, source, false, inGame);
    };
    switch (axis) {
        case SDL_CONTROLLER_AXIS_LEFTX:
            level(STICK_LEFT, -value, kStickPress, kStickRelease);
            level(STICK_RIGHT, value, kStickPress, kStickRelease);
            break;
        case SDL_CONTROLLER_AXIS_LEFTY:  // SDL's y grows downwards
            level(STICK_UP, -value, kStickPress, kStickRelease);
            level(STICK_DOWN, value, kStickPress, kStickRelease);
            break;
        case SDL_CONTROLLER_AXIS_TRIGGERLEFT: level(TRIGGER_LEFT, value, kTriggerPress, kTriggerRelease); break;
        case SDL_CONTROLLER_AXIS_TRIGGERRIGHT: level(TRIGGER_RIGHT, value, kTriggerPress, kTriggerRelease); break;
        default: break;
    }
}

// The pad part of both event handlers; true when the event was a pad's.
// `pressed` receives the button that went down, or -1.
bool Handle(const SDL_Event& event, bool inGame, int* pressed) {
    *pressed = -1;
    switch (event.type) {
        case SDL_CONTROLLERDEVICEADDED: Open(event.cdevice.which); return true;
        case SDL_CONTROLLERDEVICEREMOVED: Close(event.cdevice.which, inGame); return true;
        case SDL_CONTROLLERBUTTONDOWN:
        case SDL_CONTROLLERBUTTONUP: {
            Pad* p = PadOf(event.cbutton.which);
            const int button = event.cbutton.button;
            if (p == nullptr || button >= SDL_CONTROLLER_BUTTON_MAX) return true;
            const bool down = event.type == SDL_CONTROLLERBUTTONDOWN;
            if (down && !p->held[button]) *pressed = button;
            Change(*p, button, down, inGame);
            return true;
        }
        case SDL_CONTROLLERAXISMOTION: {
            Pad* p = PadOf(event.caxis.which);
            if (p != nullptr) Axis(*p, event.caxis.axis, event.caxis.value, inGame);
            return true;
        }
        default: return false;
    }
}
}  // namespace

void StartGamepads(const std::string& mappingFile) {
    if (SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER) != 0) return;
    if (!mappingFile.empty() && PlatformFileExists(mappingFile)) {
        SDL_GameControllerAddMappingsFromFile(mappingFile.c_str());
    }
    SDL_GameControllerEventState(SDL_ENABLE);
}

bool GamepadGameEvent(const SDL_Event& event) {
    int pressed = -1;
    return Handle(event, true, &pressed);
}

void GamepadCatchUp() {
    for (int16_t key = 0; key < 256; ++key) {
        if (gameHolds[key] && holders[key] == 0) {
            gameHolds[key] = false;
            OnKeyUp(key);
        }
    }
    if (repeatKey == 0 || !gameHolds[repeatKey]) return;
    const Uint32 now = SDL_GetTicks();
    if (static_cast<int32_t>(now - nextRepeat) < 0) return;
    // A long stall does not produce a burst of repeats.
    nextRepeat = static_cast<int32_t>(now - nextRepeat) > repeatInterval ? now + repeatInterval
                                                                          : nextRepeat + repeatInterval;
    OnKeyDown(repeatKey);
}

PadCommand GamepadDialogEvent(const SDL_Event& event) {
    int pressed = -1;
    if (!Handle(event, false, &pressed)) return PadCommand::NONE;
    if (pressed == SDL_CONTROLLER_BUTTON_A) return PadCommand::ACCEPT;
    if (pressed == SDL_CONTROLLER_BUTTON_B) return PadCommand::CANCEL;
    return PadCommand::NONE;
}

void SetGamepadRepeat(int delayMs, int intervalMs) {
    if (delayMs > 0) repeatDelay = delayMs;
    if (intervalMs > 0) repeatInterval = intervalMs;
}
