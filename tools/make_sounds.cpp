// The game's sounds, synthesised from tones and noise with plain arithmetic
// (a polynomial sine, one-pole filters, per-sample decay factors), so that
// the same build writes the same bytes every time.
// SPDX-License-Identifier: MIT
#include "tools/make_sounds.h"

#include <cmath>

#include "tools/content_numbers.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kLoopLength = kSoundRate / 2;  // loops: half a second

using Wave = std::vector<double>;

int Samples(double seconds) { return static_cast<int>(seconds * kSoundRate + 0.5); }

// sin(2 pi x) by its Taylor series on a quarter period (error below 4e-7).
double Sine(double cycles) {
    double r = cycles - std::floor(cycles + 0.5);  // -0.5 .. 0.5
    if (r > 0.25) r = 0.5 - r;
    if (r < -0.25) r = -0.5 - r;
    const double t = 2.0 * kPi * r, t2 = t * t;
    double term = t, sum = t;
    for (int k = 1; k <= 5; ++k) {
        term = -term * t2 / ((2.0 * k) * (2.0 * k + 1.0));
        sum += term;
    }
    return sum;
}

// Factor of a one-pole low-pass filter at `hz`.
double LowPassFactor(double hz) {
    const double w = 2.0 * kPi * hz;
    return w / (w + kSoundRate);
}

// What a decay to 1/e in `seconds` keeps per sample.
double DecayFactor(double seconds) { return 1.0 - 1.0 / (seconds * kSoundRate); }

// A soft instrument note: a sine with weaker second and third partials, a
// 5 ms attack, decay to 1/e in `decay` seconds and a 10 ms fade at its end.
void AddNote(Wave& w, double at, double length, double hz, double amp, double decay, double bright = 0.3) {
    const int start = Samples(at), n = Samples(length), attack = Samples(0.005), fade = Samples(0.010);
    if (static_cast<int>(w.size()) < start + n) w.resize(static_cast<size_t>(start + n), 0.0);
    const double keep = DecayFactor(decay);
    double env = amp;
    for (int i = 0; i < n; ++i) {
        const double c = hz * i / kSoundRate;
        double v = Sine(c) + bright * Sine(2.0 * c) + bright * 0.4 * Sine(3.0 * c);
        double shape = env;
        if (i < attack) shape *= static_cast<double>(i) / attack;
        if (i > n - fade) shape *= static_cast<double>(n - i) / fade;
        w[static_cast<size_t>(start + i)] += v * shape;
        env *= keep;
    }
}

// White noise in -1..1 from a fixed seed.
Wave Noise(int n, uint64_t seed) {
    Rng rng(seed);
    Wave w(static_cast<size_t>(n));
    for (double& v : w) v = rng.Range(-1.0, 1.0);
    return w;
}

// Low-passes a loop in place as if it had always been repeating, so that its
// end meets its start: the filter runs round it until it has settled.
void LowPassLoop(Wave& w, double hz) {
    const double a = LowPassFactor(hz);
    double y = 0;
    Wave out(w.size());
    for (int pass = 0; pass < 3; ++pass) {
        for (size_t i = 0; i < w.size(); ++i) {
            y += a * (w[i] - y);
            out[i] = y;
        }
    }
    w = out;
}

// Noise between two corner frequencies, seamless as a loop.
Wave BandNoiseLoop(double lowHz, double highHz, uint64_t seed) {
    Wave high = Noise(kLoopLength, seed);
    LowPassLoop(high, highHz);
    Wave low = high;
    LowPassLoop(low, lowHz);
    for (size_t i = 0; i < high.size(); ++i) high[i] -= low[i];
    return high;
}

// Scales a wave so that its loudest sample is `peak`.
void Normalise(Wave& w, double peak) {
    double most = 0;
    for (double v : w) most = std::fmax(most, std::fabs(v));
    if (most > 0)
        for (double& v : w) v *= peak / most;
}

// An engine hum: a tone with its partials, pulsing at `pulseHz`, over
// rumbling noise. Every frequency is a whole number of cycles per loop.
Wave EngineLoop(double hz, double pulseHz, double noiseLow, double noiseHigh, double noise, uint64_t seed) {
    Wave w = BandNoiseLoop(noiseLow, noiseHigh, seed);
    Normalise(w, noise);
    for (int i = 0; i < kLoopLength; ++i) {
        const double t = static_cast<double>(i) / kSoundRate;
        const double tone = Sine(hz * t) + 0.5 * Sine(2.0 * hz * t) + 0.25 * Sine(3.0 * hz * t);
        const double pulse = 0.8 + 0.2 * Sine(pulseHz * t);
        w[static_cast<size_t>(i)] = (w[static_cast<size_t>(i)] + 0.6 * tone) * pulse;
    }
    return w;
}

// A thud that falls in pitch with a short crunch of noise over it.
Wave Hit() {
    const int n = Samples(0.28);
    Wave w(static_cast<size_t>(n));
    Wave crunch = Noise(n, 77);
    const double a = LowPassFactor(1200.0);
    const double keepThud = DecayFactor(0.07), keepCrunch = DecayFactor(0.025), keepFall = DecayFactor(0.05);
    double phase = 0, thud = 1.0, noiseEnv = 0.7, fall = 1.0, y = 0;
    for (int i = 0; i < n; ++i) {
        phase += (45.0 + 100.0 * fall) / kSoundRate;
        y += a * (crunch[static_cast<size_t>(i)] - y);
        double v = thud * Sine(phase) + noiseEnv * y * 2.0;
        if (i < Samples(0.002)) v *= static_cast<double>(i) / Samples(0.002);
        if (i > n - Samples(0.02)) v *= static_cast<double>(n - i) / Samples(0.02);
        w[static_cast<size_t>(i)] = v;
        thud *= keepThud;
        noiseEnv *= keepCrunch;
        fall *= keepFall;
    }
    return w;
}

Wave Make(SoundId id) {
    Wave w;
    switch (id) {
        case SoundId::kEngineUp:
        case SoundId::kEngineDown:
        case SoundId::kTurbo:
        case SoundId::kBrake: {
            // The four loops, in SoundId's order: tone, pulse, noise band and
            // level, noise seed, loudness.
            struct Loop { double hz, pulseHz, noiseLow, noiseHigh, noise; uint64_t seed; double level; };
            static constexpr Loop kLoops[] = {{74.0, 16.0, 60.0, 500.0, 0.5, 11, 0.30},
                                              {56.0, 12.0, 40.0, 350.0, 0.4, 12, 0.26},
                                              {150.0, 30.0, 600.0, 2500.0, 1.2, 13, 0.30},
                                              {40.0, 4.0, 1500.0, 5000.0, 1.5, 14, 0.20}};
            const Loop& l = kLoops[static_cast<int>(id)];
            w = EngineLoop(l.hz, l.pulseHz, l.noiseLow, l.noiseHigh, l.noise, l.seed);
            Normalise(w, l.level);
            break;
        }
        case SoundId::kHit:
            w = Hit();
            Normalise(w, 0.85);
            break;
        case SoundId::kGameOver:  // G4 E4 C4, then a low C chord
            AddNote(w, 0.00, 0.25, 392.00, 1.0, 0.20);
            AddNote(w, 0.20, 0.25, 329.63, 1.0, 0.20);
            AddNote(w, 0.40, 0.25, 261.63, 1.0, 0.20);
            AddNote(w, 0.60, 0.70, 130.81, 1.0, 0.35, 0.5);
            AddNote(w, 0.60, 0.70, 196.00, 0.6, 0.35);
            Normalise(w, 0.45);
            break;
        case SoundId::kRecord:  // C5 E5 G5, then C6 with E6
            AddNote(w, 0.00, 0.15, 523.25, 1.0, 0.15);
            AddNote(w, 0.11, 0.15, 659.25, 1.0, 0.15);
            AddNote(w, 0.22, 0.15, 783.99, 1.0, 0.15);
            AddNote(w, 0.33, 0.55, 1046.50, 1.0, 0.30);
            AddNote(w, 0.33, 0.55, 1318.51, 0.6, 0.30);
            Normalise(w, 0.45);
            break;
        case SoundId::kSelect:
            AddNote(w, 0.0, 0.06, 880.0, 1.0, 0.025, 0.15);
            Normalise(w, 0.30);
            break;
        case SoundId::kConfirm:
            AddNote(w, 0.00, 0.12, 659.25, 1.0, 0.06);
            AddNote(w, 0.07, 0.13, 987.77, 1.0, 0.06);
            Normalise(w, 0.40);
            break;
        case SoundId::kUpload:  // a two-note chime
            AddNote(w, 0.00, 0.35, 1046.50, 1.0, 0.12, 0.1);
            AddNote(w, 0.09, 0.36, 1567.98, 0.8, 0.12, 0.1);
            Normalise(w, 0.35);
            break;
    }
    return w;
}

}  // namespace

std::vector<uint8_t> MakeSoundWav(SoundId id) {
    const Wave w = Make(id);
    const uint32_t dataBytes = static_cast<uint32_t>(w.size() * 2);
    std::vector<uint8_t> b(44 + dataBytes);
    const char* tags[] = {"RIFF", "WAVE", "fmt ", "data"};
    const size_t tagAt[] = {0, 8, 12, 36};
    for (int i = 0; i < 4; ++i)
        for (int c = 0; c < 4; ++c) b[tagAt[i] + c] = static_cast<uint8_t>(tags[i][c]);
    Put32(b, 4, 36 + dataBytes);
    Put32(b, 16, 16);
    Put16(b, 20, 1);  // PCM
    Put16(b, 22, 1);  // one channel
    Put32(b, 24, kSoundRate);
    Put32(b, 28, kSoundRate * 2);
    Put16(b, 32, 2);
    Put16(b, 34, 16);
    Put32(b, 40, dataBytes);
    for (size_t i = 0; i < w.size(); ++i) {
        const double v = std::fmax(-1.0, std::fmin(1.0, w[i]));
        const long s = std::lround(v * 32767.0);
        Put16(b, 44 + 2 * i, static_cast<uint32_t>(static_cast<uint16_t>(static_cast<int16_t>(s))));
    }
    return b;
}
