// The sounds of the window build: the shipped WAV files, mixed in SDL's
// audio callback on SDL's own thread, so that the frame loop only hands over
// which sounds start and which loops hold and keeps its rhythm.
// SPDX-License-Identifier: MIT
#include <SDL.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "base/game_paths.h"
#include "base/regular_file.h"
#include "platform/platform.h"
#include "window/sdl_window.h"

namespace {

constexpr int kRate = 22050;
constexpr size_t kMaxSoundBytes = 4u << 20;
// A loop set not renewed for this long (a dialog, a stalled frame) fades out.
constexpr Uint32 kLoopLeaseMs = 150;
constexpr float kLoopStep = 1.0f / (0.03f * kRate);  // loops fade in and out over 30 ms
// A sound started again this soon after its last start only grows louder:
// a wedged ship loses shield every frame and would otherwise buzz.
constexpr size_t kRestartAfter = kRate * 8 / 100;
constexpr float kMasterGain = 0.8f;

struct Voice {
    size_t at = 0;
    float gain = 0;
    bool playing = false;
};

// Clips are filled before the device starts and only read afterwards; the
// rest is shared with the callback under SDL's device lock.
struct Mixer {
    SDL_AudioDeviceID device = 0;
    bool tried = false;
    bool muted = true;
    std::vector<int16_t> clips[kSoundCount];
    Voice voices[kSoundCount];
    uint32_t loops = 0;
    Uint32 loopsRenewed = 0;
    float loopGain[kSoundCount] = {};
    size_t loopAt[kSoundCount] = {};
};

Mixer mixer;

void Mix(void*, Uint8* stream, int bytes) {
    int16_t* out = reinterpret_cast<int16_t*>(stream);
    const int n = bytes / 2;
    if (mixer.muted) {
        std::fill(out, out + n, int16_t{0});
        return;
    }
    const uint32_t loops = SDL_GetTicks() - mixer.loopsRenewed <= kLoopLeaseMs ? mixer.loops : 0;
    for (int i = 0; i < n; ++i) {
        float sum = 0;
        for (int s = 0; s < kSoundCount; ++s) {
            const std::vector<int16_t>& clip = mixer.clips[s];
            if (clip.empty()) continue;
            Voice& v = mixer.voices[s];
            if (v.playing) {
                sum += v.gain * clip[v.at];
                if (++v.at >= clip.size()) v.playing = false;
            }
            float& g = mixer.loopGain[s];
            const float target = (loops & (1u << s)) != 0 ? 1.0f : 0.0f;
            g = g < target ? std::min(target, g + kLoopStep) : std::max(target, g - kLoopStep);
            if (g > 0) {
                sum += g * clip[mixer.loopAt[s]];
                if (++mixer.loopAt[s] >= clip.size()) mixer.loopAt[s] = 0;
            } else {
                mixer.loopAt[s] = 0;
            }
        }
        out[i] = static_cast<int16_t>(std::clamp(sum * kMasterGain, -32768.0f, 32767.0f));
    }
}

// A WAV file as 16-bit mono samples at kRate, converted by SDL from whatever
// it holds; empty when it cannot be read.
std::vector<int16_t> LoadClip(const std::string& path) {
    std::vector<unsigned char> bytes;
    if (ReadRegularFile(path, kMaxSoundBytes, bytes) != FileRead::kOk || bytes.empty()) return {};
    SDL_AudioSpec fileFormat{};
    Uint8* data = nullptr;
    Uint32 length = 0;
    SDL_RWops* rw = SDL_RWFromConstMem(bytes.data(), static_cast<int>(bytes.size()));
    if (rw == nullptr || SDL_LoadWAV_RW(rw, 1, &fileFormat, &data, &length) == nullptr) return {};
    std::vector<int16_t> samples;
    SDL_AudioCVT cvt;
    const int build =
        SDL_BuildAudioCVT(&cvt, fileFormat.format, fileFormat.channels, fileFormat.freq, AUDIO_S16SYS, 1, kRate);
    if (build >= 0 && length > 0) {
        std::vector<Uint8> buffer(static_cast<size_t>(length) * static_cast<size_t>(std::max(cvt.len_mult, 1)));
        std::copy(data, data + length, buffer.begin());
        cvt.len = static_cast<int>(length);
        cvt.buf = buffer.data();
        if (build == 0 || SDL_ConvertAudio(&cvt) == 0) {
            const size_t converted = static_cast<size_t>(build == 0 ? cvt.len : cvt.len_cvt) / 2;
            samples.resize(converted);
            std::copy_n(buffer.data(), converted * 2, reinterpret_cast<Uint8*>(samples.data()));
        }
    }
    SDL_FreeWAV(data);
    return samples;
}

// SDL's reason when the device cannot be opened.
std::string deviceError;

void OpenDevice() {
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        deviceError = SDL_GetError();
        return;
    }
    SDL_AudioSpec want{};
    want.freq = kRate;
    want.format = AUDIO_S16SYS;
    want.channels = 1;
    want.samples = 512;
    want.callback = Mix;
    mixer.device = SDL_OpenAudioDevice(nullptr, 0, &want, nullptr, 0);
    if (mixer.device == 0) {
        deviceError = SDL_GetError();
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }
}

// Opens the device and loads the sounds, once. A missing or busy device is
// one line on standard error, so are missing sounds; the game goes on, silent
// where it must.
void OpenSound() {
    mixer.tried = true;
    WithoutLibraryNoise(OpenDevice);
    if (mixer.device == 0) {
        std::fprintf(stderr, "quillrun: no sound: %s\n", deviceError.c_str());
        return;
    }
    std::string missing;
    for (int s = 0; s < kSoundCount; ++s) {
        const char* name = SoundName(static_cast<SoundId>(s));
        mixer.clips[s] = LoadClip(SoundsFolder() + "/" + name + ".wav");
        if (mixer.clips[s].empty()) missing += std::string(missing.empty() ? "" : ", ") + name;
    }
    if (!missing.empty())
        std::fprintf(stderr, "quillrun: no sound for %s: missing or unreadable in %s\n", missing.c_str(),
                     SoundsFolder().c_str());
    SDL_PauseAudioDevice(mixer.device, 0);
}

}  // namespace

void PlatformSetSoundMuted(bool muted) {
    if (!muted && !mixer.tried) OpenSound();
    if (mixer.device == 0) {
        mixer.muted = muted;
        return;
    }
    SDL_LockAudioDevice(mixer.device);
    mixer.muted = muted;
    if (muted) {
        for (int s = 0; s < kSoundCount; ++s) {
            mixer.voices[s].playing = false;
            mixer.loopGain[s] = 0;
            mixer.loopAt[s] = 0;
        }
    }
    SDL_UnlockAudioDevice(mixer.device);
}

void PlatformPlaySound(SoundId id, float strength) {
    if (mixer.device == 0 || mixer.muted) return;
    // Soft hits stay audible; hard ones are at full loudness.
    const float gain = 0.25f + 0.75f * std::clamp(strength, 0.0f, 1.0f);
    SDL_LockAudioDevice(mixer.device);
    Voice& v = mixer.voices[static_cast<int>(id)];
    if (v.playing && v.at < kRestartAfter) {
        v.gain = std::max(v.gain, gain);
    } else {
        v.at = 0;
        v.gain = gain;
        v.playing = true;
    }
    SDL_UnlockAudioDevice(mixer.device);
}

void PlatformSetSoundLoops(uint32_t loops) {
    if (mixer.device == 0 || mixer.muted) return;
    SDL_LockAudioDevice(mixer.device);
    mixer.loops = loops;
    mixer.loopsRenewed = SDL_GetTicks();
    SDL_UnlockAudioDevice(mixer.device);
}
