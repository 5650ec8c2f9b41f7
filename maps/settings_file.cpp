// Our own reader and writer of the INI layout, behaving as the Windows
// private-profile functions do on the files the game meets:
// - a line ends at LF, CR LF or a lone CR; the last line needs no line end;
//   a UTF-8 byte-order mark before the first line is skipped;
// - blanks (space, tab) around section names, key names and values are
//   ignored; names compare without regard to ASCII case;
// - a line whose first non-blank is ';' is a comment; one starting with '['
//   and holding a later ']' opens a section named by the text between the
//   '[' and the last ']'; any other line with a '=' is a key, its value the
//   text after the first '='; lines without '=' are ignored;
// - the first matching section counts, and in it the first matching key;
//   keys before the first section belong to none.
// Quotes around values are kept: masked names may start and end with one.
//
// Writing replaces the value's text in place (blanks around it and the line
// end stay), adds a missing key after the last key line of its section (or
// after the section line), and a missing section at the end of the file.
// New lines end in CR LF. All other bytes are kept. The file is replaced
// through a temporary file beside it, so it is always the old or the new
// one. Files are bytes; nothing is converted.
// SPDX-License-Identifier: MIT
#include "maps/settings_file.h"

#include <string_view>
#include <unordered_set>
#include <utility>

#include "base/atomic_file.h"

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view s) {
    size_t b = 0, e = s.size();
    while (b < e && IsBlank(s[b])) ++b;
    while (e > b && IsBlank(s[e - 1])) --e;
    return s.substr(b, e - b);
}

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
    }
    return true;
}

enum class LineKind { kOther, kSection, kKey };

struct IniLine {
    LineKind kind = LineKind::kOther;
    size_t contentEnd = 0;  // end of the line's text, before its line end
    size_t next = 0;        // start of the following line
    std::string_view name;  // section or key name, trimmed
    size_t valueBegin = 0;  // the trimmed value is text[valueBegin, valueEnd)
    size_t valueEnd = 0;
};

// Parses the line starting at `begin`.
IniLine ParseLine(const std::string& text, size_t begin) {
    IniLine line;
    size_t end = begin;
    while (end < text.size() && text[end] != '\n' && text[end] != '\r') ++end;
    line.contentEnd = end;
    line.next = end;
    if (line.next < text.size() && text[line.next] == '\r') ++line.next;
    if (line.next < text.size() && text[line.next] == '\n') ++line.next;

    size_t p = begin;
    while (p < end && IsBlank(text[p])) ++p;
    if (p == end || text[p] == ';') return line;
    std::string_view content(text.data() + p, end - p);
    if (content[0] == '[') {
        size_t close = content.rfind(']');
        if (close != std::string_view::npos && close > 0) {
            line.kind = LineKind::kSection;
            line.name = Trim(content.substr(1, close - 1));
            return line;
        }
    }
    size_t eq = content.find('=');
    if (eq == std::string_view::npos) return line;
    line.kind = LineKind::kKey;
    line.name = Trim(content.substr(0, eq));
    size_t vb = p + eq + 1;
    size_t ve = end;
    while (vb < ve && IsBlank(text[vb])) ++vb;
    while (ve > vb && IsBlank(text[ve - 1])) --ve;
    line.valueBegin = vb;
    line.valueEnd = ve;
    return line;
}

struct Lookup {
    bool sectionFound = false;
    bool keyFound = false;
    IniLine key;            // the matching key line, when found
    size_t insertAt = 0;    // where a missing key of the section goes
    bool insertNeedsLineEnd = false;  // the line before it has no line end
};

Lookup Find(const std::string& text, std::string_view section, std::string_view key) {
    Lookup found;
    size_t pos = 0;
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) pos = 3;
    bool inSection = false;
    while (pos < text.size()) {
        IniLine line = ParseLine(text, pos);
        if (line.kind == LineKind::kSection) {
            if (inSection) break;  // only the first matching section counts
            if (SameName(line.name, section)) {
                inSection = true;
                found.sectionFound = true;
                found.insertAt = line.next;
                found.insertNeedsLineEnd = line.next == line.contentEnd;
            }
        } else if (inSection && line.kind == LineKind::kKey) {
            if (SameName(line.name, key)) {
                found.keyFound = true;
                found.key = line;
                return found;
            }
            found.insertAt = line.next;
            found.insertNeedsLineEnd = line.next == line.contentEnd;
        }
        pos = line.next;
    }
    return found;
}

bool HoldsLineBreak(std::string_view s) {
    return s.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

void AppendLowered(std::string& out, std::string_view name) {
    for (char c : Trim(name)) out.push_back(LowerAscii(c));
}

// The lookup key of a value: both names trimmed and lower-cased, joined by a
// line end, which no name can hold.
std::string IndexKey(std::string_view section, std::string_view key) {
    std::string k;
    AppendLowered(k, section);
    k.push_back('\n');
    AppendLowered(k, key);
    return k;
}

}  // namespace

FileRead LoadIniDocument(const std::string& path, IniDocument& doc) {
    const FileRead read = ReadRegularFile(path, kMaxIniBytes, doc.text);
    IndexIniText(doc);
    return read;
}

void IndexIniText(IniDocument& doc) {
    doc.values.clear();
    const std::string& text = doc.text;
    size_t pos = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    std::string section;     // lower-cased name and the line end of IndexKey
    bool inSection = false;  // inside the first section of its name
    std::unordered_set<std::string> sectionsSeen;
    std::string key;
    while (pos < text.size()) {
        IniLine line = ParseLine(text, pos);
        if (line.kind == LineKind::kSection) {
            section.clear();
            AppendLowered(section, line.name);
            section.push_back('\n');
            inSection = sectionsSeen.insert(section).second;
        } else if (inSection && line.kind == LineKind::kKey) {
            key = section;
            AppendLowered(key, line.name);
            doc.values.emplace(key, std::make_pair(line.valueBegin, line.valueEnd));  // the first one counts
        }
        pos = line.next;
    }
}

std::string IniValue(const IniDocument& doc, const std::string& section, const std::string& key) {
    auto found = doc.values.find(IndexKey(section, key));
    if (found == doc.values.end()) return {};
    size_t n = found->second.second - found->second.first;
    if (n > kMaxIniValueChars) n = kMaxIniValueChars;
    return doc.text.substr(found->second.first, n);
}

std::string ReadIniValue(const std::string& section, const std::string& key, const std::string& path) {
    IniDocument doc;
    if (LoadIniDocument(path, doc) != FileRead::kOk) return {};
    return IniValue(doc, section, key);
}

bool SetIniValue(std::string& text, const std::string& section, const std::string& key, const std::string& value) {
    // Line breaks would split the line; a NUL would end the value early.
    if (HoldsLineBreak(value) || HoldsLineBreak(section) || HoldsLineBreak(key)) return false;
    std::string_view sectionName = Trim(section);
    std::string_view keyName = Trim(key);
    // Such a key would not read back as the key it was written as.
    if (keyName.find('=') != std::string_view::npos) return false;
    if (!keyName.empty() && (keyName[0] == ';' || keyName[0] == '[')) return false;

    std::string keyLine;
    keyLine.append(keyName).append("=").append(value);
    std::string out;
    Lookup found = Find(text, sectionName, keyName);
    if (found.keyFound) {
        out.append(text, 0, found.key.valueBegin).append(value).append(text, found.key.valueEnd);
    } else if (found.sectionFound) {
        out.append(text, 0, found.insertAt);
        if (found.insertNeedsLineEnd) out.append("\r\n");
        out.append(keyLine).append("\r\n").append(text, found.insertAt);
    } else {
        out = text;
        bool bomOnly = text == "\xEF\xBB\xBF";
        if (!text.empty() && !bomOnly && text.back() != '\n' && text.back() != '\r') out.append("\r\n");
        out.append("[").append(sectionName).append("]\r\n").append(keyLine).append("\r\n");
    }
    text = std::move(out);
    return true;
}

void WriteIniValue(const std::string& section, const std::string& key, const std::string& value,
                   const std::string& path) {
    std::string text;
    const FileRead read = ReadRegularFile(path, kMaxIniBytes, text);
    if (read == FileRead::kRefused) return;  // never replace what could not be read
    const std::string before = text;
    if (!SetIniValue(text, section, key, value)) return;
    if (read == FileRead::kOk && text == before) return;
    ReplaceFileAtomically(path, text);
}

std::string MaskText(const std::string& text, unsigned char mask) {
    std::string r = text;
    for (char& c : r) c = static_cast<char>(static_cast<unsigned char>(c) ^ mask);
    return r;
}
