// Mending a damaged Maps.ini at start: telling a damaged file from a whole
// one, making the map list again, and keeping the damaged file and the
// replays of lost records under dated names.
// SPDX-License-Identifier: MIT
#include "shell/catalogue_repair.h"

#include <fcntl.h>
#include <stdio.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <utility>
#include <vector>

#include "base/atomic_file.h"
#include "base/codepage.h"
#include "base/game_paths.h"
#include "base/game_state.h"
#include "base/regular_file.h"
#include "maps/map_catalogue.h"
#include "maps/settings_file.h"
#include "platform/platform.h"
#include "replay/record_store.h"
#include "replay/replay_file.h"

namespace {

struct Catalogue {
    FileRead read = FileRead::kMissing;
    IniDocument doc;
    bool whole = false;  // read, listing its maps and refusing none
};

Catalogue ReadCatalogue(const std::string& path) {
    Catalogue c;
    c.read = LoadIniDocument(path, c.doc);
    c.whole = c.read == FileRead::kOk && CatalogueWhole(c.doc);
    return c;
}

std::string LocalStamp() {
    const time_t now = ::time(nullptr);
    struct tm local {};
    char text[32] = "00000000-000000";
    if (::localtime_r(&now, &local) != nullptr) ::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &local);
    return text;
}

// Renames `from` to `to` unless `to` exists (errno is then EEXIST).
bool RenameIfFree(const std::string& from, const std::string& to) {
    FileStep();
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    // A file system without that rename: a second name, then the first goes.
    FileStep();
    if (::link(from.c_str(), to.c_str()) != 0) return false;
    RemoveFile(from);
    return true;
}

// Moves `from` to the first free name of `base` + "-" + stamp, then "-2",
// "-3", ...; the name, or empty.
std::string KeepAside(const std::string& from, const std::string& base, const std::string& stamp) {
    for (int n = 1; n < 100; ++n) {
        const std::string name = base + "-" + stamp + (n > 1 ? "-" + std::to_string(n) : "");
        if (RenameIfFree(from, name)) {
            SyncFolder(FolderOf(name));
            return name;
        }
        if (errno != EEXIST) break;
    }
    return {};
}

// A file that reads is copied, so that Maps.ini stays in place until the
// new one replaces it; anything else (a folder, a giant file) is moved.
std::string KeepDamaged(const std::string& ini, const Catalogue& damaged, const std::string& stamp) {
    const std::string base = DamagedCopyBase(ini);
    if (damaged.read != FileRead::kOk) return KeepAside(ini, base, stamp);
    const std::string staged = StageFileBeside(base, damaged.doc.text);
    if (staged.empty()) return {};
    const std::string kept = KeepAside(staged, base, stamp);
    if (kept.empty()) RemoveFile(staged);
    return kept;
}

// A last line without a line end may be cut anywhere.
void DropPartialLastLine(std::string& text) {
    const size_t end = text.find_last_of("\r\n");
    text.resize(end == std::string::npos ? 0 : end + 1);
}

// Sets a value and indexes the text again, so that lookups never use the
// places of the text before.
void Set(IniDocument& doc, const std::string& section, const char* key, const std::string& value) {
    SetIniValue(doc.text, section, key, value);
    IndexIniText(doc);
}

// Mends a catalogue from the shipped one; true when it is then whole.
bool Mend(IniDocument& doc, const IniDocument& shipped) {
    DropPartialLastLine(doc.text);
    IndexIniText(doc);
    for (int k = 1; k <= kMapCount; ++k) {
        const std::string section = TwoDigits(k);
        const std::string file = IniValue(doc, section, "File");
        if (file.empty()) break;
        const bool shippedMap = IniValue(shipped, section, "File") == file;
        MapEntry entry;
        MapRefusal why;
        if (ReadMapSection(doc, k, entry, why) == SectionRead::kRefused && why.key == "Width") {
            if (!shippedMap) return false;
            Set(doc, section, "Width", IniValue(shipped, section, "Width"));
        }
        if (shippedMap && IniValue(doc, section, "Name").empty())
            Set(doc, section, "Name", IniValue(shipped, section, "Name"));
        if (ReadMapSection(doc, k, entry, why) == SectionRead::kRefused && why.key == "ScoreBest") {
            // A record that cannot be read is lost; the kept file still holds it.
            Set(doc, section, "ScoreBest", "");
            Set(doc, section, "ScoreName", "");
        }
    }
    return CatalogueWhole(doc);
}

// Keeps aside the replays of maps that `catalogue` holds no record for;
// their old and new names.
std::vector<std::pair<std::string, std::string>> KeepLostReplays(const IniDocument& catalogue,
                                                                 const std::string& stamp) {
    const int listed = CheckCatalogue(catalogue).maps;
    std::vector<std::pair<std::string, std::string>> moved;
    for (int k = 1; k <= kMapCount; ++k) {
        const std::string replay = ReplayPath(static_cast<int16_t>(k));
        if (!IsFile(replay) || (k <= listed && !IniValue(catalogue, TwoDigits(k), "ScoreBest").empty())) continue;
        const std::string kept = KeepAside(replay, replay + ".damaged", stamp);
        if (!kept.empty()) moved.emplace_back(replay, kept);
    }
    return moved;
}

// A listed map of the shipped file without a name: a section cut short
// after its Width, whose value may be cut as well.
bool ShippedMapCutShort(const IniDocument& catalogue, const IniDocument& shipped) {
    const int listed = CheckCatalogue(catalogue).maps;
    for (int k = 1; k <= listed; ++k) {
        const std::string section = TwoDigits(k);
        if (IniValue(catalogue, section, "Name").empty() &&
            IniValue(catalogue, section, "File") == IniValue(shipped, section, "File"))
            return true;
    }
    return false;
}

void Tell(const std::string& text) { PlatformMessageBox(Utf8ToCp1252(text), "Quillrun"); }

void Repair(const std::string& ini) {
    const Catalogue damaged = ReadCatalogue(ini);
    const std::string goodPath = GoodCopyPath(ini);
    const Catalogue good = ReadCatalogue(goodPath);
    if (damaged.read == FileRead::kMissing) {
        if (good.whole && ReplaceCatalogue(ini, good.doc.text))
            Tell("The map list " + ini + " was missing; it was made again from its last good copy " + goodPath + ".");
        return;
    }
    Catalogue shipped;
    if (ShippedMapsIniPath() != ini) shipped = ReadCatalogue(ShippedMapsIniPath());
    if (!shipped.whole) shipped.doc = IniDocument{};
    const bool cut = damaged.read == FileRead::kOk && good.read == FileRead::kOk &&
                     CutShortOfGoodCopy(damaged.doc, good.doc);
    if (damaged.whole && !cut && !ShippedMapCutShort(damaged.doc, shipped.doc)) return;

    IniDocument rebuilt;
    std::string how;
    if (good.whole) {
        rebuilt = good.doc;
        how = "the map list and its records were taken back from its last good copy " + goodPath;
    } else if (damaged.read == FileRead::kOk && !IniValue(damaged.doc, "01", "File").empty()) {
        rebuilt = damaged.doc;
        if (!Mend(rebuilt, shipped.doc)) return;  // left as it is; the load says where the list ends
        how = "what could be read was mended from the shipped map list";
    } else if (shipped.whole) {
        rebuilt = shipped.doc;
        how = "the shipped map list takes its place";
    } else {
        return;
    }

    // The replays go first: a start that is cut short goes on from there.
    const std::string stamp = LocalStamp();
    const auto replays = KeepLostReplays(rebuilt, stamp);
    const std::string kept = KeepDamaged(ini, damaged, stamp);
    if (kept.empty() || !ReplaceCatalogue(ini, rebuilt.text)) {
        // Nothing changed: a copy goes, a moved file and the replays come back.
        if (!kept.empty() && damaged.read == FileRead::kOk) RemoveFile(kept);
        if (!kept.empty() && damaged.read != FileRead::kOk) RenameIfFree(kept, ini);
        for (const auto& [from, to] : replays) RenameIfFree(to, from);
        return;
    }
    std::string text = "The map list " + ini + " could not be read whole. The damaged file is kept as " + kept +
                       "; " + how + ".";
    if (!replays.empty())
        text += " Replays whose record was lost are kept beside them as MapNN.replay.damaged-" + stamp + ".";
    Tell(text);
}

}  // namespace

void RepairMapsIni() {
    const std::string ini = MapsIniPath();
    const int lock = LockFolder(FolderOf(ini));
    Repair(ini);
    UnlockFolder(lock);
}
