// Writing the API's JSON.
// SPDX-License-Identifier: MIT
#include "server/json_text.h"

#include <cstdio>

namespace {

std::string ProofFields(ProofState proof, long long uploadId) {
    return ",\"proof\":\"" + std::string(ProofStateName(proof)) + "\",\"upload\":" + std::to_string(uploadId);
}

std::string ScoreObject(const RankedScore& s, int rank) {
    std::string out = "{";
    if (rank > 0) out += "\"rank\":" + std::to_string(rank) + ",";
    return out + "\"holder\":" + JsonQuote(s.holder) + ",\"score\":" + std::to_string(s.score) +
           ",\"date\":" + JsonQuote(s.playedOn) + ProofFields(s.proof, s.uploadId) + "}";
}

}  // namespace

const char* ProofStateName(ProofState state) {
    switch (state) {
        case ProofState::kPending: return "pending";
        case ProofState::kProven: return "proven";
        case ProofState::kRefused: return "refused";
        default: return "unproven";
    }
}

std::string JsonQuote(const std::string& text) {
    std::string out = "\"";
    out.reserve(text.size() + 2);
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '"') out += "\\\"";
        else if (c == '\\') out += "\\\\";
        else if (c == '\n') out += "\\n";
        else if (c == '\r') out += "\\r";
        else if (c == '\t') out += "\\t";
        else if (c < 0x20 || c == '<' || c == '>' || c == '&') {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", c);
            out += escape;
        } else if (c == 0xE2 && i + 2 < text.size() && text[i + 1] == '\x80' &&
                   (text[i + 2] == '\xA8' || text[i + 2] == '\xA9')) {
            // U+2028 and U+2029 end lines in older JavaScript.
            out += text[i + 2] == '\xA8' ? "\\u2028" : "\\u2029";
            i += 2;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

std::string MapsJson(const std::vector<MapScores>& maps) {
    std::string out = "{\"maps\":[";
    for (size_t i = 0; i < maps.size(); ++i) {
        if (i) out += ",";
        out += "{\"id\":" + std::to_string(maps[i].id) + ",\"name\":" + JsonQuote(maps[i].name) + ",\"best\":" +
               (maps[i].top.empty() ? std::string("null") : ScoreObject(maps[i].top[0], 0)) + "}";
    }
    return out + "]}\n";
}

std::string MapScoresJson(const MapScores& map) {
    std::string out = "{\"map\":{\"id\":" + std::to_string(map.id) + ",\"name\":" + JsonQuote(map.name) +
                      "},\"scores\":[";
    for (size_t i = 0; i < map.top.size(); ++i) {
        if (i) out += ",";
        out += ScoreObject(map.top[i], static_cast<int>(i) + 1);
    }
    return out + "]}\n";
}

std::string UploadsJson(const std::vector<Upload>& uploads) {
    std::string out = "{\"uploads\":[";
    for (size_t i = 0; i < uploads.size(); ++i) {
        const Upload& u = uploads[i];
        if (i) out += ",";
        out += "{\"map\":" + std::to_string(u.mapId) + ",\"mapName\":" + JsonQuote(u.mapName) +
               ",\"holder\":" + JsonQuote(u.holder) + ",\"score\":" + std::to_string(u.score) +
               ",\"date\":" + JsonQuote(u.playedOn) + ",\"received\":" + JsonQuote(u.receivedAt) + ProofFields(u.proof, u.id) + "}";
    }
    return out + "]}\n";
}
