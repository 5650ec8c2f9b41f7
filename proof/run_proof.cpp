// Proving a run. The recorded keys drive the flight step by step; each step's
// random draw is answered so that the trail pixel comes out as recorded, and
// the pixel must be one the rules allow at that step. The run's replay text
// is then written by the game's own writer and compared with the file byte
// for byte: the first line that differs names the step and the field.
// SPDX-License-Identifier: MIT
#include "proof/run_proof.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <utility>
#include <vector>

#include "base/atomic_file.h"
#include "base/conversions.h"
#include "base/game_state.h"
#include "flight/flight_constants.h"
#include "flight/flight_start.h"
#include "gfx/picture_store.h"
#include "gfx/play_field.h"
#include "gfx/surface.h"
#include "maps/known_map_sizes.h"
#include "maps/map_catalogue.h"
#include "maps/settings_file.h"
#include "proof/proof_platform.h"
#include "replay/key_section.h"
#include "replay/recording.h"

namespace {

// The cave of the last proof, as shipped, and the copy a flight paints its
// trail into.
struct Cave {
    int map = 0;
    int16_t width = 0;
    Surface* shipped = nullptr;
    Surface* flown = nullptr;
};

std::string catalogue;
bool anySize = false;
Cave cave;

Proof Unproven(std::string reason) { return Proof{ProofVerdict::kUnproven, 0, "", std::move(reason)}; }

Proof Refused(int step, const char* field, const std::string& what) {
    return Proof{ProofVerdict::kRefused, step, field, "step " + std::to_string(step) + ", " + field + ": " + what};
}

bool LoadCave(int map, std::string* why) {
    if (cave.map == map) return true;
    const std::string name = "cave " + std::to_string(map);
    if (map < 1 || map > (anySize ? kMapCount : kKnownMaps)) return *why = name + " is not a shipped cave", false;
    IniDocument ini;
    if (LoadIniDocument(catalogue, ini) != FileRead::kOk) return *why = "no catalogue at " + catalogue, false;
    MapEntry entry;
    MapRefusal refusal;
    if (ReadMapSection(ini, map, entry, refusal) != SectionRead::kMap) return *why = name + " is not in " + catalogue, false;
    const std::string path = FolderOf(catalogue) + "/" + entry.file;
    std::vector<uint8_t> bytes;
    if (!ReadPictureFile(path, &bytes)) return *why = name + ": cannot read " + path, false;
    if (!anySize && std::to_string(bytes.size()) != knownMapSizes[map]) {
        return *why = name + ": " + path + " is not the shipped picture (" + std::to_string(bytes.size()) +
                      " bytes, shipped " + knownMapSizes[map] + ")",
               false;
    }
    Surface* shipped = DecodePicture(bytes.data(), bytes.size());
    Surface* flown = shipped != nullptr ? CreateSurface(shipped->width, shipped->height) : nullptr;
    if (flown == nullptr) {
        DestroySurface(shipped);
        return *why = name + ": " + path + " is not a picture the game reads", false;
    }
    DestroySurface(cave.shipped);
    DestroySurface(cave.flown);
    cave = Cave{map, entry.width, shipped, flown};
    return true;
}

// How a run began. The frames flown before the first flight key count
// (waiting on rock, the ship bounces and loses shield); a run whose first
// flight key came with ENTER, in one batch of events, flies none and starts
// with the collision flag the last run left, which the file does not say.
// Files written before the waiting frames were counted (waited -1) may have
// waited any time: one frame or more leave the same start unless the ship
// touched rock.
struct Start {
    int32_t waited;
    bool bouncing;
    bool said;  // the file says how many frames it waited
};

// Waiting longer than about four hours is not flown again.
constexpr int32_t kMaxWaitedFrames = 1000000;

// A frame's lines in the order they are written; a frame begins with mX
// (when the scroll passed a whole pixel) or pX.
constexpr std::pair<const char*, const char*> kLines[] = {
    {"mX", "mapX"}, {"pX", "shipX"}, {"pY", "shipY"}, {"Sc", "score"}, {"Sh", "shield"}, {"Fu", "fuel"}};
constexpr int kLineKinds = 6;

// Where a line comes: its place in a frame, or kLineKinds for the lines
// after the frames.
int KindOf(std::string_view line) {
    for (int i = 0; i < kLineKinds; ++i)
        if (line.starts_with(kLines[i].first)) return i;
    return kLineKinds;
}

std::string_view LineAt(std::string_view text, size_t at) {
    const size_t end = text.find('\n', at);
    std::string_view line = text.substr(at, end == std::string_view::npos ? std::string_view::npos : end - at);
    if (line.ends_with('\r')) line.remove_suffix(1);
    return line;
}

// The first line where the flown run's text and the file part, or nothing
// when they are the same. Where one text has a line the other has not (a
// value written only when it changed), the field is that line's.
std::optional<Proof> FirstDifference(std::string_view flown, std::string_view file) {
    const auto [f, r] = std::mismatch(flown.begin(), flown.end(), file.begin(), file.end());
    if (f == flown.end() && r == file.end()) return std::nullopt;
    const size_t at = flown.substr(0, static_cast<size_t>(f - flown.begin())).rfind('\n') + 1;
    // The frame of the line before: frames counted by their pX lines.
    int frame = 0;
    int previous = kLineKinds;
    for (size_t i = 0; i < at; i = flown.find('\n', i) + 1) {
        previous = KindOf(LineAt(flown, i));
        if (previous == 1) ++frame;
    }
    if (previous == 0) ++frame;
    // A line of a kind not after the previous one's begins the next frame;
    // the lines after the frames come last.
    const auto place = [&](std::string_view line) {
        const int kind = KindOf(line);
        if (kind == kLineKinds) return 2 * kLineKinds;
        return previous < kLineKinds && kind > previous ? kind : kind + kLineKinds;
    };
    const std::string flownLine(LineAt(flown, at)), fileLine(LineAt(file, at));
    const int flownPlace = place(flownLine), filePlace = place(fileLine);
    const int first = std::min(flownPlace, filePlace);
    const int step = first < kLineKinds ? frame : frame + 1;
    if (first >= kLineKinds && std::max(flownPlace, filePlace) == 2 * kLineKinds && first < 2 * kLineKinds) {
        if (flownPlace > filePlace) return Refused(step, "end", "the run ended here, the file goes on with \"" + fileLine + "\"");
        return Refused(step, "end", "the run goes on with \"" + flownLine + "\", the file ends here");
    }
    const std::string field = first < 2 * kLineKinds ? kLines[first % kLineKinds].second
                              : fileLine.starts_with("LastFrame=") ? "end" : "keys";
    return Refused(step, field.c_str(), field + " flown \"" + flownLine + "\", the file says \"" + fileLine + "\"");
}

Proof Fly(const Start& start, std::string_view file, const std::vector<uint8_t>& steps, int score) {
    std::memcpy(cave.flown->pixels, cave.shipped->pixels,
                static_cast<size_t>(cave.shipped->width) * cave.shipped->height * sizeof(uint32_t));
    gs.mapSurface = cave.flown;
    MainField.image = nullptr;  // nothing is shown
    SetFlightConstants();
    gs.mapWidth = cave.width;
    gs.scrollSpeed = flight::kScrollSpeed;
    PlaceShipAtStart();
    gs.debugDraw = kFalse;
    gs.frameIndex = 0;
    gs.stepKeyCount = 0;
    gs.waitedFrames = 0;
    std::fill(std::begin(gs.recording), std::end(gs.recording), ReplayFrame{});
    gs.colliding = start.bouncing ? kTrue : kFalse;
    AnswerNextRandom(kLeastRandom);
    for (int32_t frame = 0; frame < start.waited && !FlyRecordedStep(); ++frame) {
    }
    if (!start.said) gs.waitedFrames = -1;
    gs.started = kTrue;

    const int count = static_cast<int>(steps.size());
    int step = 0;
    bool ended = false;
    bool pixelDiffers = false;
    while (step < count && !ended && !pixelDiffers) {
        const uint8_t keys = steps[static_cast<size_t>(step++)];
        gs.thrustUpHeld = (keys & kStepUp) != 0 ? kTrue : kFalse;
        gs.thrustDownHeld = (keys & kStepDown) != 0 ? kTrue : kFalse;
        gs.brakeHeld = (keys & kStepBrake) != 0 ? kTrue : kFalse;
        gs.turboHeld = (keys & kStepTurbo) != 0 ? kTrue : kFalse;
        // A gauge probe that rounds onto the row it just marked reads its mark as rock.
        gs.debugDraw = (keys & kStepDebugMarks) != 0 ? kTrue : kFalse;
        AnswerNextRandom((keys & kStepTrailPixel) != 0 ? kLeastRandom : kGreatestRandom);
        ended = FlyRecordedStep();
        pixelDiffers = (gs.trailPixel != 0) != ((keys & kStepTrailPixel) != 0);
        if (!ended && !pixelDiffers) RecordFrame();
    }
    // The file's frames are those before the step that ended the run: the
    // flown text ends there too, so the frames before it are compared.
    if (!ended && !pixelDiffers) gs.recording[count] = ReplayFrame{};
    std::string flown;
    ReplayText(flown);
    std::optional<Proof> difference = FirstDifference(flown, file);
    if (pixelDiffers && (!difference || difference->step >= step)) {
        return Refused(step, "trail pixel", gs.trailPixel != 0
                                                ? "the file has no trail pixel where the rules always paint one"
                                                : "the file has a trail pixel where the rules allow none");
    }
    if (difference) return *difference;
    if (!ended) return Refused(count, "end", "the run goes on after the file's last step");
    const int reached = static_cast<int>(Whole(static_cast<double>(gs.score)));
    if (reached != score) {
        return Refused(count, "score",
                       "the run scores " + std::to_string(reached) + ", the upload says " + std::to_string(score));
    }
    return Proof{ProofVerdict::kProven, 0, "", "proven in " + std::to_string(count) + " steps"};
}

}  // namespace

void SetProofCaves(const std::string& mapsIniPath, bool anyCave) {
    catalogue = mapsIniPath;
    anySize = anyCave;
    DestroySurface(cave.shipped);
    DestroySurface(cave.flown);
    cave = Cave{};
}

Proof ProveRun(int map, std::string_view replayFile, int score) {
    static std::vector<uint8_t> steps;
    int32_t waited = -1;
    switch (ReadKeySection(replayFile, steps, &waited)) {
        case KeySection::kAbsent:
            return Unproven("the file has no recorded keys (written before they were kept)");
        case KeySection::kMalformed:
            return Refused(0, "keys", "the key section is damaged");
        case KeySection::kWhole:
            break;
    }
    if (waited > kMaxWaitedFrames) return Unproven("the run waited " + std::to_string(waited) + " frames at the start");
    std::string why;
    if (!LoadCave(map, &why)) return Unproven(why);
    std::vector<Start> starts;
    const bool said = waited >= 0;
    if (waited != 0) starts.push_back({said ? waited : 1, false, said});
    if (waited <= 0) starts.insert(starts.end(), {{0, false, said}, {0, true, said}});
    Proof furthest;
    for (const Start& start : starts) {
        Proof proof = Fly(start, replayFile, steps, score);
        if (proof.verdict == ProofVerdict::kProven) return proof;
        if (&start == &starts.front() || proof.step > furthest.step) furthest = std::move(proof);
    }
    return furthest;
}
