// Reading an upload from the query of a score request: percent-decoding,
// the character set of the texts, and the checks every value must pass.
// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "server/score_store.h"

struct UploadParse {
    bool ok = false;
    std::string reason;  // one line, set when !ok
    Upload upload;       // mapId, mapName, holder, score, playedOn when ok
};

// `query` is the raw text after "?". Parameters: id, nmn, nsc, npn, nsd,
// nreplay, each exactly once; others are ignored. `today` (YYYY-MM-DD, the
// server's UTC date) bounds the played date: at most one day later.
UploadParse ParseUpload(const std::string& query, const std::string& today);

// The query of a run sent for an upload: id, nsc, npn and nsd, read and
// checked as ParseUpload reads them.
UploadParse ParseRunQuery(const std::string& query, const std::string& today);

// Percent-decodes `text` ("+" is a blank); false on a "%" not followed by
// two hexadecimal digits.
bool PercentDecode(const std::string& text, std::string* out);

// The query's name=value pairs, percent-decoded, in their order (empty
// pairs skipped); false on bad percent-encoding.
bool QueryPairs(const std::string& query, std::vector<std::pair<std::string, std::string>>* out);

// A decoded value as UTF-8: kept when it is well-formed UTF-8 (IsUtf8 of
// base/codepage.h: no overlong forms, surrogates, code points above U+10FFFF
// or cut sequences), else read byte by byte as Windows-1252.
std::string TextAsUtf8(const std::string& bytes);

// True for YYYY-MM-DD naming a day that exists (years 1..9999).
bool IsCalendarDate(const std::string& text);

// The date one day after a valid YYYY-MM-DD date.
std::string NextDay(const std::string& date);
