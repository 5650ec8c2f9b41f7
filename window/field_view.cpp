// Shows the play field in the game window. An SDL renderer scales and
// presents it; on an X11 display whose OpenGL draws in software (Xvfb, no
// graphics driver) the field is written straight into the window's own
// buffer instead, one pass over the pixels instead of four.
// SPDX-License-Identifier: MIT
#include "window/field_view.h"

#include <SDL.h>

#include <algorithm>
#include <cstring>

#include "gfx/play_field.h"
#include "gfx/surface.h"
#include "window/screen_note.h"
#include "window/sdl_window.h"

namespace {
constexpr int kFieldPixels = kFieldWidth * kFieldHeight;

SDL_Renderer* renderer = nullptr;  // null: the window's own buffer is drawn into
SDL_Texture* texture = nullptr;
// The texture takes 0x00RRGGBB pixels when the renderer has them (the usual
// layout of displays, copied without conversion), else the field's 0x00BBGGRR.
bool textureIsRgb = false;

// The renderer path's copy of what the window shows: a frame equal to it is
// not presented again. In the other path the window's buffer is the copy.
uint32_t shownPixels[kFieldPixels];
bool shownValid = false;

// The window buffer last drawn into: a new one (after a resize) is drawn whole.
SDL_Surface* lastSurface = nullptr;
int lastSurfaceW = 0;
int lastSurfaceH = 0;
// The field as an SDL surface, for window buffers of other layouts.
SDL_Surface* fieldSurface = nullptr;

uint32_t SwapRedBlue(uint32_t v) { return ((v & 0xFFu) << 16) | (v & 0xFF00u) | ((v >> 16) & 0xFFu); }

// A GL that draws in software (Mesa's llvmpipe and softpipe on machines
// without a graphics driver) spends many times what a plain copy costs.
bool RendersGlInSoftware(SDL_Renderer* candidate) {
    SDL_RendererInfo info{};
    if (SDL_GetRendererInfo(candidate, &info) != 0 || std::strncmp(info.name, "opengl", 6) != 0) return false;
    using GetString = const unsigned char* (*)(unsigned);
    const auto getString = reinterpret_cast<GetString>(SDL_GL_GetProcAddress("glGetString"));
    if (getString == nullptr) return false;
    const unsigned char* name = getString(0x1F01);  // GL_RENDERER
    if (name == nullptr) return false;
    const char* text = reinterpret_cast<const char*>(name);
    return std::strstr(text, "llvmpipe") != nullptr || std::strstr(text, "softpipe") != nullptr ||
           std::strstr(text, "Software Rasterizer") != nullptr;
}

bool TakesFormat(SDL_Renderer* candidate, Uint32 format) {
    SDL_RendererInfo info{};
    if (SDL_GetRendererInfo(candidate, &info) != 0) return false;
    for (Uint32 i = 0; i < info.num_texture_formats; ++i) {
        if (info.texture_formats[i] == format) return true;
    }
    return false;
}

// On X11 the window's own buffer is shared memory the X server reads; on
// other video drivers (Wayland) SDL itself keeps it in a GL texture, so it
// saves nothing there over a renderer.
bool OnX11() {
    const char* driver = SDL_GetCurrentVideoDriver();
    return driver != nullptr && std::strcmp(driver, "x11") == 0;
}

// A renderer with a graphics driver, or null for the window's own buffer.
// A driver the player names in SDL_RENDER_DRIVER is taken as named.
SDL_Renderer* CreateRenderer() {
    const char* named = SDL_GetHint(SDL_HINT_RENDER_DRIVER);
    if (named != nullptr && SDL_strcasecmp(named, "software") == 0) return nullptr;
    SDL_Renderer* created = SDL_CreateRenderer(sdlWindow.window, -1, 0);
    if (created == nullptr) return nullptr;
    SDL_RendererInfo info{};
    const bool software = SDL_GetRendererInfo(created, &info) == 0 && (info.flags & SDL_RENDERER_SOFTWARE) != 0;
    if (software || (named == nullptr && OnX11() && RendersGlInSoftware(created))) {
        SDL_DestroyRenderer(created);
        return nullptr;
    }
    return created;
}

// Where the field goes in an output of the given size.
SDL_Rect FieldPlace(int outW, int outH, int* scale) {
    *scale = std::max(1, std::min(outW / kFieldWidth, outH / kFieldHeight));
    // Below the minimum size (only a window manager enforces it) the centre
    // of the field is shown 1:1.
    return SDL_Rect{(outW - kFieldWidth * *scale) / 2, (outH - kFieldHeight * *scale) / 2, kFieldWidth * *scale,
                    kFieldHeight * *scale};
}

bool HasBorder(const SDL_Rect& dest, int outW, int outH) {
    return dest.x > 0 || dest.y > 0 || dest.x + dest.w < outW || dest.y + dest.h < outH;
}

// Converts `count` pixels into `to` (red and blue swapped with kSwap);
// nonzero when `to` held something else. One pass without early exit, so
// that it vectorises.
template <bool kSwap>
uint32_t WritePixels(const uint32_t* __restrict from, uint32_t* __restrict to, int count) {
    uint32_t differs = 0;
    for (int i = 0; i < count; ++i) {
        const uint32_t v = kSwap ? SwapRedBlue(from[i]) : from[i];
        differs |= v ^ to[i];
        to[i] = v;
    }
    return differs;
}

uint32_t WritePixels(const uint32_t* from, uint32_t* to, int count, bool swap) {
    return swap ? WritePixels<true>(from, to, count) : WritePixels<false>(from, to, count);
}

// Takes the field into shownPixels in the texture's layout; false when that
// is what they held already.
bool TakeField(const uint32_t* field, bool swap) {
    const bool changed = WritePixels(field, shownPixels, kFieldPixels, swap) != 0 || !shownValid;
    shownValid = true;
    return changed;
}

void ShowWithRenderer(const uint32_t* field, bool repaint) {
    if (field != nullptr) {
        if (TakeField(field, textureIsRgb)) {
            SDL_UpdateTexture(texture, nullptr, shownPixels, kFieldWidth * 4);
        } else if (!repaint) {
            return;
        }
    }
    int outW = 0, outH = 0;
    if (SDL_GetRendererOutputSize(renderer, &outW, &outH) != 0) SDL_GetWindowSize(sdlWindow.window, &outW, &outH);
    int scale = 1;
    const SDL_Rect dest = FieldPlace(outW, outH, &scale);
    if (HasBorder(dest, outW, outH)) {
        SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255);
        SDL_RenderClear(renderer);
    }
    SDL_RenderCopy(renderer, texture, nullptr, &dest);
    SDL_RenderPresent(renderer);
}

// Writes the field into a 32-bit window buffer at dest (inside it), each
// pixel as a scale x scale block; false when the buffer held it already (a
// block's first pixel stands for the block: they are written together).
bool WriteIntoWindow(SDL_Surface* surface, const uint32_t* field, const SDL_Rect& dest, int scale, bool swap) {
    static uint32_t converted[kFieldWidth];
    uint32_t differs = 0;
    for (int y = 0; y < kFieldHeight; ++y) {
        const uint32_t* from = field + y * kFieldWidth;
        auto* row = static_cast<unsigned char*>(surface->pixels) + (dest.y + y * scale) * surface->pitch;
        uint32_t* to = reinterpret_cast<uint32_t*>(row) + dest.x;
        if (scale == 1) {
            differs |= WritePixels(from, to, kFieldWidth, swap);
            continue;
        }
        WritePixels(from, converted, kFieldWidth, swap);
        bool same = true;
        for (int x = 0; x < kFieldWidth && same; ++x) same = to[x * scale] == converted[x];
        if (same) continue;
        differs = 1;
        for (int x = 0; x < kFieldWidth; ++x) std::fill(to + x * scale, to + (x + 1) * scale, converted[x]);
        for (int k = 1; k < scale; ++k) std::memcpy(row + k * surface->pitch + dest.x * 4, to, dest.w * 4u);
    }
    return differs != 0;
}

void ShowInWindowBuffer(const uint32_t* field, bool repaint) {
    SDL_Surface* surface = SDL_GetWindowSurface(sdlWindow.window);
    if (surface == nullptr) return;
    if (surface != lastSurface || surface->w != lastSurfaceW || surface->h != lastSurfaceH) repaint = true;
    lastSurface = surface;
    lastSurfaceW = surface->w;
    lastSurfaceH = surface->h;
    int scale = 1;
    SDL_Rect dest = FieldPlace(surface->w, surface->h, &scale);
    const Uint32 format = surface->format->format;
    const bool direct = (format == SDL_PIXELFORMAT_RGB888 || format == SDL_PIXELFORMAT_BGR888) && dest.x >= 0 &&
                        dest.y >= 0 && dest.x + dest.w <= surface->w && dest.y + dest.h <= surface->h;
    if (SDL_MUSTLOCK(surface) && SDL_LockSurface(surface) != 0) return;
    if (repaint) SDL_FillRect(surface, nullptr, SDL_MapRGB(surface->format, 0, 0, 0));
    bool changed = false;
    if (field != nullptr && direct) {
        changed = WriteIntoWindow(surface, field, dest, scale, format == SDL_PIXELFORMAT_RGB888);
    } else if (field != nullptr) {
        changed = TakeField(field, false);
        if (changed || repaint) {
            if (fieldSurface == nullptr) {
                fieldSurface = SDL_CreateRGBSurfaceWithFormatFrom(shownPixels, kFieldWidth, kFieldHeight, 32,
                                                                  kFieldWidth * 4, SDL_PIXELFORMAT_BGR888);
            }
            if (fieldSurface != nullptr) SDL_BlitScaled(fieldSurface, nullptr, surface, &dest);
        }
    }
    if (SDL_MUSTLOCK(surface)) SDL_UnlockSurface(surface);
    if (!changed && !repaint) return;
    if (repaint) {
        SDL_UpdateWindowSurface(sdlWindow.window);
        return;
    }
    SDL_Rect shown{};
    const SDL_Rect whole{0, 0, surface->w, surface->h};
    if (SDL_IntersectRect(&dest, &whole, &shown)) SDL_UpdateWindowSurfaceRects(sdlWindow.window, &shown, 1);
}

void ShowField(bool repaint) {
    if (sdlWindow.window == nullptr) return;
    const Surface* image = MainField.image;
    const bool whole = image != nullptr && image->width == kFieldWidth && image->height == kFieldHeight;
    const uint32_t* field = whole ? FieldWithNote(image->pixels) : nullptr;
    if (renderer != nullptr) {
        ShowWithRenderer(field, repaint);
    } else {
        ShowInWindowBuffer(field, repaint);
    }
}
}  // namespace

bool CreateGameWindow(const char** error) {
    // The frame pacer alone sets the rate; presenting must never wait.
    SDL_SetHint(SDL_HINT_RENDER_VSYNC, "0");
    SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "0");
    // On X11 the window's own buffer stays shared memory, not a GL texture
    // (elsewhere SDL has no buffer but the texture).
    if (OnX11()) SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    sdlWindow.window = SDL_CreateWindow("Quillrun v1.21", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                                        kFieldWidth, kFieldHeight, SDL_WINDOW_HIDDEN | SDL_WINDOW_RESIZABLE);
    if (sdlWindow.window == nullptr) {
        *error = SDL_GetError();
        return false;
    }
    SDL_SetWindowMinimumSize(sdlWindow.window, kFieldWidth, kFieldHeight);
    renderer = CreateRenderer();
    if (renderer == nullptr) {
        if (SDL_GetWindowSurface(sdlWindow.window) == nullptr) {
            *error = SDL_GetError();
            return false;
        }
    } else {
        textureIsRgb = TakesFormat(renderer, SDL_PIXELFORMAT_RGB888);
        // 0x00BBGGRR read as a 32-bit value is SDL's packed XBGR layout.
        texture = SDL_CreateTexture(renderer, textureIsRgb ? SDL_PIXELFORMAT_RGB888 : SDL_PIXELFORMAT_BGR888,
                                    SDL_TEXTUREACCESS_STREAMING, kFieldWidth, kFieldHeight);
        if (texture == nullptr) {
            *error = SDL_GetError();
            return false;
        }
    }
    // Text input is switched on only while the input dialog is open.
    SDL_StopTextInput();
    return true;
}

void PresentField() { ShowField(false); }

void RepaintField() { ShowField(true); }
