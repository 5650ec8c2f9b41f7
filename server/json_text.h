// The JSON answers of the API: maps with their best score, a map's ranking
// and the latest uploads.
// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <vector>

#include "server/score_store.h"

// `text` (UTF-8) as a JSON string literal; "<", ">" and "&" are escaped too,
// so the text is safe inside HTML as well.
std::string JsonQuote(const std::string& text);

// {"maps":[{"id":1,"name":"...","best":{...} or null}, ...]}; each map's
// `top` holds at most its best entry.
std::string MapsJson(const std::vector<MapScores>& maps);

// {"map":{"id":3,"name":"..."},"scores":[{"rank":1,"holder":"...","score":725,"date":"2026-12-06",
// "proof":"proven","upload":12}, ...]}
std::string MapScoresJson(const MapScores& map);

// {"uploads":[{"map":3,"mapName":"...","holder":"...","score":725,"date":"...","received":"...",
// "proof":"pending","upload":12}, ...]}
std::string UploadsJson(const std::vector<Upload>& uploads);
