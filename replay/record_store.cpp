// Storing a record (Maps.ini and replay file together) and finishing or
// dropping a store that was cut short.
//
// A pending replay is named ".MapNN.replay.XXXXXX.<score>.pending": the score
// of the record it belongs to, as Maps.ini stores it. Stores and the clean-up
// at start hold a lock on the folder of Maps.ini, so that a second copy of the
// game never removes or moves the files of a store in progress.
// SPDX-License-Identifier: MIT
#include "replay/record_store.h"

#include <dirent.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "base/atomic_file.h"
#include "base/game_paths.h"
#include "base/game_state.h"
#include "base/regular_file.h"
#include "maps/map_catalogue.h"
#include "maps/settings_file.h"
#include "platform/platform.h"
#include "replay/key_section.h"
#include "replay/recording.h"
#include "replay/replay_file.h"

namespace {

constexpr char kNotKept[] =
    "The new record could not be saved: Maps.ini or the replay file cannot be written. The old record stays.";
constexpr std::string_view kPendingEnd = ".pending";

// The stored text of a score without the blank before it ("725").
std::string ScoreTag(const std::string& storedText) {
    size_t b = 0, e = storedText.size();
    while (b < e && (storedText[b] == ' ' || storedText[b] == '\t')) ++b;
    while (e > b && (storedText[e - 1] == ' ' || storedText[e - 1] == '\t')) --e;
    return storedText.substr(b, e - b);
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// "MapNN.replay" at the start of `name`: the map number, or 0.
int ReplayMapOf(std::string_view name) {
    if (name.size() < 12 || name.substr(0, 3) != "Map" || !IsDigit(name[3]) || !IsDigit(name[4]) ||
        name.substr(5, 7) != ".replay") {
        return 0;
    }
    const int map = (name[3] - '0') * 10 + (name[4] - '0');
    return map >= 1 && map <= kMapCount ? map : 0;
}

// ".MapNN.replay.XXXXXX.<tag>.pending": the map number and the tag, or 0.
int PendingMapOf(std::string_view entry, std::string* tag) {
    if (entry.size() < 1 + 12 + 8 + 1 + kPendingEnd.size() || entry[0] != '.') return 0;
    const int map = ReplayMapOf(entry.substr(1));
    if (map == 0 || entry.substr(entry.size() - kPendingEnd.size()) != kPendingEnd) return 0;
    std::string_view rest = entry.substr(13, entry.size() - 13 - kPendingEnd.size());  // ".XXXXXX.<tag>"
    if (rest.size() < 9 || rest[0] != '.' || rest[7] != '.') return 0;
    *tag = std::string(rest.substr(8));
    return map;
}

// The older fixed temporary names: "MapNN.replay.tmp" and
// ".Maps.ini.tmp<pid>-<n>".
bool IsOldReplayTemp(std::string_view entry) {
    return entry.size() == 16 && ReplayMapOf(entry) != 0 && entry.substr(12) == ".tmp";
}

bool IsOldIniTemp(std::string_view entry, std::string_view iniName) {
    // The player's folder set-up once wrote "Maps.ini.new<pid>" and
    // "Maps.ini.merge<pid>".
    for (const char* tail : {".new", ".merge"}) {
        const std::string work = std::string(iniName) + tail;
        if (entry.size() > work.size() && entry.substr(0, work.size()) == work &&
            std::all_of(entry.begin() + work.size(), entry.end(), IsDigit))
            return true;
    }
    const std::string prefix = "." + std::string(iniName) + ".tmp";
    if (entry.size() <= prefix.size() || entry.substr(0, prefix.size()) != prefix) return false;
    bool dash = false;
    for (char c : entry.substr(prefix.size())) {
        if (c == '-' && !dash) {
            dash = true;
        } else if (!IsDigit(c)) {
            return false;
        }
    }
    return dash;
}

bool IsCompleteReplayFile(const std::string& path) {
    std::string text;
    return ReadRegularFile(path, kMaxReplayBytes, text) == FileRead::kOk && IsCompleteReplay(text);
}

std::vector<std::string> Entries(const std::string& folder) {
    std::vector<std::string> names;
    DIR* d = ::opendir(folder.c_str());
    if (d == nullptr) return names;
    while (const dirent* e = ::readdir(d)) names.emplace_back(e->d_name);
    ::closedir(d);
    return names;
}

// Removes a leftover (never a folder).
bool RemoveLeftover(const std::string& path) { return !IsFolder(path) && RemoveFile(path); }

// Removes the temporary files of replacements of `path`; they lie beside
// the file it names, also when it is a link. `olderNames` adds the names
// that older versions gave the temporary files of Maps.ini.
void RemoveTemporariesOf(const std::string& path, bool olderNames) {
    std::string file = path;
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved) != nullptr) file = resolved;
    const std::string folder = FolderOf(file);
    const std::string name = NameOf(file);
    bool changed = false;
    for (const std::string& entry : Entries(folder)) {
        if (IsTemporaryOf(entry, name) || (olderNames && IsOldIniTemp(entry, name)))
            changed = RemoveLeftover(folder + "/" + entry) || changed;
    }
    if (changed) SyncFolder(folder);
}

bool StoreBoth(int16_t map) {
    const std::string& iniPath = gs.mapsIniPath;
    std::string before;
    const FileRead read = ReadRegularFile(iniPath, kMaxIniBytes, before);
    if (read == FileRead::kRefused) return false;  // never replace what could not be read
    std::string ini = before;
    if (!SetMapRecordText(ini, map)) return false;

    std::string replay;
    ReplayText(replay);
    MakeReplayFolder();
    const std::string replayPath = ReplayPath(map);
    const std::string tag = ScoreTag(ScoreText(gs.maps[map].scoreBest));
    const std::string pending = StageFileBeside(replayPath, replay, "." + tag + std::string(kPendingEnd));
    if (pending.empty()) return false;
    if (!ReplaceCatalogue(iniPath, ini)) {
        RemoveFile(pending);
        return false;
    }
    if (!CommitStagedFile(pending, replayPath)) {
        // Take the record back, so that neither file has changed.
        if (read == FileRead::kOk) {
            ReplaceCatalogue(iniPath, before);
        } else {
            RemoveFile(iniPath);
            RemoveFile(GoodCopyPath(iniPath));
        }
        return false;
    }
    return true;
}

}  // namespace

bool CutShortOfGoodCopy(const IniDocument& ini, const IniDocument& good) {
    const std::string& text = ini.text;
    if (good.text.size() <= text.size() || good.text.compare(0, text.size(), text) != 0) return false;
    // The game ends lines with CR LF: a CR that the copy follows with LF was cut there.
    const bool lineEnded =
        !text.empty() && (text.back() == '\n' || (text.back() == '\r' && good.text[text.size()] != '\n'));
    if (!lineEnded) return true;
    for (int k = 1; k <= kMapCount; ++k) {
        const std::string section = TwoDigits(k);
        const bool differs = IniValue(ini, section, "ScoreBest") != IniValue(good, section, "ScoreBest") ||
                             IniValue(ini, section, "ScoreName") != IniValue(good, section, "ScoreName");
        if (differs && IsFile(ReplayPath(static_cast<int16_t>(k)))) return true;
    }
    return false;
}

void StoreRecord(int16_t map) {
    if (map < 1 || map > kMapCount) return;
    const int lock = LockFolder(FolderOf(gs.mapsIniPath));
    const bool kept = StoreBoth(map);
    UnlockFolder(lock);
    if (!kept) PlatformMessageBox(kNotKept, "Quillrun");
}

void RecoverRecords() {
    const int lock = LockFolder(FolderOf(gs.mapsIniPath));
    IniDocument ini;
    // A refused file holds no record: every pending replay goes.
    const FileRead iniRead = LoadIniDocument(gs.mapsIniPath, ini);

    const std::string replays = ReplayFolder();
    bool moved[kMapCount + 1] = {};
    bool changed = false;
    for (const std::string& name : Entries(replays)) {
        const std::string path = replays + "/" + name;
        std::string tag;
        const int pendingMap = PendingMapOf(name, &tag);
        if (pendingMap != 0) {
            const std::string stored =
                ScoreTag(MaskText(IniValue(ini, TwoDigits(pendingMap), "ScoreBest"), kScoreMask));
            if (!moved[pendingMap] && !tag.empty() && tag == stored && IsCompleteReplayFile(path)) {
                FileStep();
                moved[pendingMap] = ::rename(path.c_str(), ReplayPath(static_cast<int16_t>(pendingMap)).c_str()) == 0;
                changed = true;
                if (moved[pendingMap]) continue;
            }
            changed = RemoveLeftover(path) || changed;
        } else if ((name[0] == '.' && IsTemporaryOf(name, name.substr(1, 12)) && ReplayMapOf(name.substr(1)) != 0) ||
                   IsOldReplayTemp(name)) {
            changed = RemoveLeftover(path) || changed;
        }
    }
    if (changed) SyncFolder(replays);

    RemoveTemporariesOf(gs.mapsIniPath, true);
    RemoveTemporariesOf(GoodCopyPath(gs.mapsIniPath), false);
    RemoveTemporariesOf(DamagedCopyBase(gs.mapsIniPath), false);

    // The good copy follows a whole Maps.ini, unless Maps.ini is a cut copy
    // of it: the repair at the next start takes that back.
    IniDocument good;
    const bool goodRead = LoadIniDocument(GoodCopyPath(gs.mapsIniPath), good) == FileRead::kOk;
    const bool asItIs = goodRead && (good.text == ini.text || CutShortOfGoodCopy(ini, good));
    if (iniRead == FileRead::kOk && CatalogueWhole(ini) && !asItIs) KeepGoodCopy(gs.mapsIniPath, ini.text);
    UnlockFolder(lock);
}
