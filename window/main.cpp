// Start-up of the window build: command line, folders, random seed, SDL,
// the play field, the window with its icon, the player's folder, then the
// game's load handler.
// SPDX-License-Identifier: MIT
#include <SDL.h>
#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "base/codepage.h"
#include "base/command_line.h"
#include "base/game_paths.h"
#include "base/game_state.h"
#include "gfx/field_text.h"
#include "gfx/picture_store.h"
#include "gfx/play_field.h"
#include "gfx/surface.h"
#include "platform/platform.h"
#include "window/gamepad.h"
#include "window/pacing.h"
#include "window/screen_note.h"
#include "window/screenshot.h"
#include "window/field_view.h"
#include "window/sdl_window.h"
#include "window/window_placement.h"
#include "shell/main_loop.h"
#include "shell/user_folder.h"

namespace {
constexpr int kIconSize = 32;
// 6000 x 2160 pixels: wider than any screen already.
constexpr int kMaxScale = 10;

uint32_t ClockSeed() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return static_cast<uint32_t>(ts.tv_sec) * 1000003u ^ static_cast<uint32_t>(ts.tv_nsec) ^
           static_cast<uint32_t>(getpid());
}

[[noreturn]] void FailStart(const std::string& reason) {
    std::fprintf(stderr, "quillrun: %s\n", reason.c_str());
    SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, "Quillrun", reason.c_str(), nullptr);
    SDL_Quit();
    std::exit(1);
}

void PutPixel(SDL_Surface* s, int x, int y, uint32_t argb) {
    if (x < 0 || y < 0 || x >= s->w || y >= s->h) return;
    static_cast<uint32_t*>(s->pixels)[y * (s->pitch / 4) + x] = argb;
}

// A small ship flying right, with its exhaust flame, on a clear ground.
void DrawShipIcon(SDL_Surface* s) {
    SDL_FillRect(s, nullptr, 0x00000000);
    for (int x = 6; x <= 28; ++x) {
        const int half = (28 - x) * 7 / 22;  // a wedge narrowing to the nose
        for (int y = 16 - half; y <= 16 + half; ++y) {
            const bool edge = y == 16 - half || y == 16 + half || x == 6;
            PutPixel(s, x, y, edge ? 0xFF8090B0u : 0xFFC8D0E0u);
        }
    }
    for (int i = 0; i < 6; ++i) {  // fins
        for (int x = 6; x <= 12 - i; ++x) {
            PutPixel(s, x, 8 + i, 0xFF4060C0u);
            PutPixel(s, x, 24 - i, 0xFF4060C0u);
        }
    }
    for (int y = 14; y <= 18; ++y)  // cockpit
        for (int x = 14; x <= 20; ++x)
            if ((x - 17) * (x - 17) * 4 + (y - 16) * (y - 16) * 9 <= 36) PutPixel(s, x, y, 0xFF40E0FFu);
    for (int y = 13; y <= 19; ++y) {  // flame
        const int len = 5 - (y > 16 ? y - 16 : 16 - y);
        for (int x = 5 - len; x <= 5; ++x) PutPixel(s, x, y, x >= 4 ? 0xFFFFE040u : 0xFFFF8020u);
    }
}

// Icon picture of the program folder scaled to 32 x 32, or false. The PNG
// keeps its transparency; a BMP is opaque.
bool LoadIconPicture(SDL_Surface* s) {
    int w = 0, h = 0;
    std::vector<uint32_t> argb;
    const std::string png = PicturesFolder() + "/icon.png";
    if (!(PlatformFileExists(png) && LoadPngArgb(png, &w, &h, &argb))) {
        const std::string bmp = PicturesFolder() + "/icon.bmp";
        Surface* picture = PlatformFileExists(bmp) ? DecodePictureFile(bmp) : nullptr;
        if (picture == nullptr) return false;
        w = picture->width;
        h = picture->height;
        argb.resize(static_cast<size_t>(w) * h);
        for (size_t i = 0; i < argb.size(); ++i) {
            const uint32_t bgr = picture->pixels[i];
            argb[i] = 0xFF000000u | ((bgr & 0xFF) << 16) | (bgr & 0xFF00) | ((bgr >> 16) & 0xFF);
        }
        DestroySurface(picture);
    }
    if (w <= 0 || h <= 0) return false;
    for (int y = 0; y < kIconSize; ++y) {
        for (int x = 0; x < kIconSize; ++x) {
            PutPixel(s, x, y, argb[static_cast<size_t>(y * h / kIconSize) * w + x * w / kIconSize]);
        }
    }
    return true;
}

void SetWindowIcon() {
    SDL_Surface* icon = SDL_CreateRGBSurfaceWithFormat(0, kIconSize, kIconSize, 32, SDL_PIXELFORMAT_ARGB8888);
    if (icon == nullptr) return;
    if (!LoadIconPicture(icon)) DrawShipIcon(icon);
    SDL_SetWindowIcon(sdlWindow.window, icon);
    SDL_FreeSurface(icon);
}

// What the command line chose.
struct Options {
    std::string dataDir;
    std::string userDir;
    bool fullscreen = false;
    bool lowPower = false;
    bool mute = false;
    int scale = 0;  // 0: the window's own choice
};

Options ParseOptions(int argc, char** argv) {
    Options o;
    CommandLine line;
    line.program = "quillrun";
    line.synopsis = "[OPTION]...";
    line.options = {
        {"data-dir", "DIR", "read the caves (Maps/) and pictures (Pictures/) from DIR",
         [&](const std::string& v) { o.dataDir = v; return RequireFolder("data-dir", v); }},
        {"user-dir", "DIR", "keep Maps.ini with the records and Replays/ in DIR",
         [&](const std::string& v) { o.userDir = v; return RequireFolder("user-dir", v); }},
        {"fullscreen", nullptr, "start in fullscreen (F11 switches)",
         [&](const std::string&) { o.fullscreen = true; return std::string(); }},
        {"low-power", nullptr, "let the frame pacer sleep instead of keeping a core busy",
         [&](const std::string&) { o.lowPower = true; return std::string(); }},
        {"mute", nullptr, "start with the sound off ('M' switches it and is remembered)",
         [&](const std::string&) { o.mute = true; return std::string(); }},
        {"scale", "N", "open the window at N times the 600 x 216 play field (1 to 10)",
         [&](const std::string& v) {
             const bool whole = v.size() <= 2 && v.find_first_not_of("0123456789") == std::string::npos;
             o.scale = whole && !v.empty() ? std::atoi(v.c_str()) : 0;
             if (o.scale >= 1 && o.scale <= kMaxScale) return std::string();
             return "--scale needs a whole number from 1 to " + std::to_string(kMaxScale) + ", got '" + v + "'";
         }},
    };
    ParseCommandLine(line, argc, argv);
    return o;
}

// SDL's stand-ins for a missing display, picked when no X11 or Wayland
// session is reachable; the game would run unseen on them.
bool InvisibleVideoDriver() {
    const char* chosen = std::getenv("SDL_VIDEODRIVER");
    if (chosen != nullptr && chosen[0] != '\0') return false;  // the player asked for it
    const char* driver = SDL_GetCurrentVideoDriver();
    return driver == nullptr || std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0;
}

// SDL_Init(SDL_INIT_VIDEO). Without any display in the environment the
// Wayland library's complaints on standard error are held back: the one
// line of NoScreen says what is wrong.
bool StartSdlVideo() {
    const bool noDisplay = std::getenv("DISPLAY") == nullptr && std::getenv("WAYLAND_DISPLAY") == nullptr;
    const int savedErr = noDisplay ? ::dup(2) : -1;
    const int devNull = savedErr >= 0 ? ::open("/dev/null", O_WRONLY | O_CLOEXEC) : -1;
    if (devNull >= 0) ::dup2(devNull, 2);
    const bool ok = SDL_Init(SDL_INIT_VIDEO) == 0;
    if (devNull >= 0) {
        ::dup2(savedErr, 2);
        ::close(devNull);
    }
    if (savedErr >= 0) ::close(savedErr);
    return ok;
}

[[noreturn]] void NoScreen(const std::string& what) {
    std::fprintf(stderr,
                 "quillrun: %s; start it in a desktop session (X11 or Wayland); for runs without a screen "
                 "use quillrun-sim\n",
                 what.c_str());
    SDL_Quit();
    std::exit(1);
}
}  // namespace

int main(int argc, char** argv) {
    const Options options = ParseOptions(argc, argv);
    SetGameFolders(ChooseGameFolders(ExecutableFolder(), kRelativeDataDir, options.dataDir, options.userDir));
    PlatformSeedRandom(ClockSeed());
    if (!StartSdlVideo()) NoScreen(std::string("cannot open a screen: ") + SDL_GetError());
    if (InvisibleVideoDriver()) {
        const char* driver = SDL_GetCurrentVideoDriver();
        NoScreen(std::string("no screen found (only SDL's '") + (driver != nullptr ? driver : "?") +
                 "' video driver, which shows nothing)");
    }
    std::string reason;
    if (!InitPlayField(&reason)) FailStart(Cp1252ToUtf8(reason));
    const char* windowError = nullptr;
    if (!CreateGameWindow(&windowError)) NoScreen(std::string("cannot open the window: ") + windowError);
    PlaceGameWindow(options.scale, options.fullscreen);
    SetWindowIcon();
    SetLowPowerPacing(options.lowPower);
    // Both in the player's folder: the program folder when portable.
    StartGamepads(CurrentGameFolders().user + "/gamecontrollerdb.txt");
    StartScreenshots(ScreenshotFolder());
    StartScreenNotes();
    TakeKeyboardRepeat();
    // The pointer is hidden over the play field.
    SDL_ShowCursor(SDL_DISABLE);
    PrepareUserFolder();
    if (options.mute) gs.muted = kTrue;
    OnLoad();
}
