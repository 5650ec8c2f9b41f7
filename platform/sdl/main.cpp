// Start-up of the window build: program folder, random seed, SDL, the play
// field, the window with its icon, then the game's load handler.
#include <SDL.h>
#include <time.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/codepage.h"
#include "base/game_state.h"
#include "gfx/picture_store.h"
#include "gfx/play_field.h"
#include "gfx/surface.h"
#include "platform/platform.h"
#include "platform/sdl/gamepad.h"
#include "platform/sdl/screenshot.h"
#include "platform/sdl/sdl_window.h"
#include "shell/main_loop.h"

namespace {
constexpr int kIconSize = 32;

std::string ExecutableFolder() {
    char path[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return ".";
    path[n] = '\0';
    std::string folder(path);
    const size_t slash = folder.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return folder.substr(0, slash);
}

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
    const std::string png = ProgramFolder() + "/Pictures/icon.png";
    if (!(PlatformFileExists(png) && LoadPngArgb(png, &w, &h, &argb))) {
        const std::string bmp = ProgramFolder() + "/Pictures/icon.bmp";
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
}  // namespace

int main() {
    SetProgramFolder(ExecutableFolder());
    PlatformSeedRandom(ClockSeed());
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        std::fprintf(stderr, "quillrun: cannot start SDL: %s\n", SDL_GetError());
        return 1;
    }
    std::string reason;
    if (!InitPlayField(&reason)) FailStart(Cp1252ToUtf8(reason));
    const char* windowError = nullptr;
    if (!CreateGameWindow(&windowError)) FailStart(std::string("cannot open the window: ") + windowError);
    SetWindowIcon();
    StartGamepads(ProgramFolder() + "/gamecontrollerdb.txt");
    StartScreenshots(ProgramFolder());
    TakeKeyboardRepeat();
    // The pointer is hidden over the play field.
    SDL_ShowCursor(SDL_DISABLE);
    OnLoad();
}
