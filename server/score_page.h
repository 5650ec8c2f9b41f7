// The score list page, its style sheet and icon, and the not-found page:
// plain HTML5 and CSS, no script.
// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <vector>

#include "server/score_store.h"

// `text` with &, <, >, " and ' replaced by character references.
std::string HtmlEscape(const std::string& text);

// Every map's ranking (maps in order) and the latest uploads, each row with
// the proof of its run; `mapNames` gives the official names for the latest
// uploads (index = map number). `provenOnly`: the rankings hold proven runs
// only, and the page links back to all scores.
std::string RenderScorePage(const std::vector<MapScores>& maps, const std::vector<Upload>& latest,
                            const std::vector<std::string>& mapNames, bool provenOnly);

std::string RenderNotFoundPage();

// The style sheet, served as /static/scores.css.
extern const char kScoreStyleSheet[];
// The icon, an SVG picture served as /favicon.svg and /favicon.ico.
extern const char kScoreIcon[];
