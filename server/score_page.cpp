// Rendering the score list page.
// SPDX-License-Identifier: MIT
#include "server/score_page.h"

namespace {

std::string PageHead(const std::string& title) {
    return "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
           "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n<title>" +
           HtmlEscape(title) +
           "</title>\n<link rel=\"stylesheet\" href=\"/static/scores.css\">\n"
           "<link rel=\"icon\" href=\"/favicon.svg\" type=\"image/svg+xml\">\n</head>\n<body>\n";
}

std::string DateCell(const std::string& date) {
    const std::string d = HtmlEscape(date);
    return "<td class=\"date\"><time datetime=\"" + d + "\">" + d + "</time></td>";
}

// The whole name stays in the title when the style sheet cuts a long one.
std::string HolderCell(const std::string& holder) {
    const std::string h = HtmlEscape(holder);
    return "<td class=\"holder\"><span title=\"" + h + "\">" + h + "</span></td>";
}

// The proof as a word with a coloured mark; a proven run's word downloads it.
std::string ProofCell(ProofState proof, long long uploadId) {
    const std::string name = ProofStateName(proof);
    if (proof != ProofState::kProven)
        return "<td class=\"proof\"><span class=\"mark " + name + "\" title=\"" + name + "\">" + name + "</span></td>";
    return "<td class=\"proof\"><a class=\"mark proven\" href=\"/api/uploads/" + std::to_string(uploadId) +
           "/replay\" download title=\"Download the replay of this run\">proven</a></td>";
}

}  // namespace

std::string HtmlEscape(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            case '\'': out += "&#39;"; break;
            default: out += c;
        }
    }
    return out;
}

std::string RenderScorePage(const std::vector<MapScores>& maps, const std::vector<Upload>& latest,
                            const std::vector<std::string>& mapNames, bool provenOnly) {
    std::string page = PageHead("Quillrun high scores");
    page.reserve(64 * 1024);
    page += "<header>\n<h1>Quillrun high scores</h1>\n<p>The ten best pilots of every cave, each with their best "
            "run, and the latest uploads. A proven run was flown again by the server from its replay; its replay "
            "can be downloaded.</p>\n<p class=\"legend\">Runs: <span class=\"mark proven\">proven</span> "
            "<span class=\"mark pending\">pending</span> <span class=\"mark unproven\">unproven</span> "
            "<span class=\"mark refused\">refused</span></p>\n";
    page += provenOnly ? "<p class=\"filter\">Proven runs only. <a href=\"/index2.php?game=4\">All scores</a></p>\n"
                       : "<p class=\"filter\"><a href=\"/index2.php?game=4&amp;proven=1\">Proven runs only</a></p>\n";
    page += "</header>\n<main>\n";

    page += "<section id=\"latest\" class=\"latest\">\n<h2>Latest uploads</h2>\n";
    if (latest.empty()) {
        page += "<p class=\"empty\">no score yet</p>\n";
    } else {
        page += "<table>\n<thead><tr><th>Cave</th><th>Pilot</th><th class=\"score\">Score</th><th class=\"proof\">Run"
                "</th><th>Date</th></tr>"
                "</thead>\n<tbody>\n";
        for (const Upload& u : latest) {
            const std::string name =
                u.mapId >= 0 && static_cast<size_t>(u.mapId) < mapNames.size() ? mapNames[u.mapId] : u.mapName;
            page += "<tr><td class=\"cave\"><a href=\"#map-" + std::to_string(u.mapId) + "\">" + HtmlEscape(name) +
                    "</a></td>" + HolderCell(u.holder) + "<td class=\"score\">" + std::to_string(u.score) + "</td>" +
                    ProofCell(u.proof, u.id) + DateCell(u.playedOn) + "</tr>\n";
        }
        page += "</tbody>\n</table>\n";
    }
    page += "</section>\n<div class=\"maps\">\n";

    for (const MapScores& m : maps) {
        const std::string id = std::to_string(m.id);
        page += "<section id=\"map-" + id + "\" class=\"map\">\n<h2><span class=\"number\">" + id + "</span> " +
                HtmlEscape(m.name) + "</h2>\n";
        if (m.top.empty()) {
            page += "<p class=\"empty\">no score yet</p>\n";
        } else {
            page += "<table>\n<thead><tr><th class=\"rank\">#</th><th>Pilot</th><th class=\"score\">Score</th>"
                    "<th class=\"proof\">Run</th><th>Date</th></tr></thead>\n<tbody>\n";
            for (size_t i = 0; i < m.top.size(); ++i) {
                const RankedScore& s = m.top[i];
                page += "<tr><td class=\"rank\">" + std::to_string(i + 1) + "</td>" + HolderCell(s.holder) +
                        "<td class=\"score\">" + std::to_string(s.score) + "</td>" + ProofCell(s.proof, s.uploadId) +
                        DateCell(s.playedOn) + "</tr>\n";
            }
            page += "</tbody>\n</table>\n";
        }
        page += "</section>\n";
    }
    page += "</div>\n</main>\n</body>\n</html>\n";
    return page;
}

std::string RenderNotFoundPage() {
    return PageHead("Not found") +
           "<header>\n<h1>Not found</h1>\n</header>\n<main>\n<p>There is no page here. The high scores are on "
           "<a href=\"/index2.php?game=4\">the score list</a>.</p>\n</main>\n</body>\n</html>\n";
}

const char kScoreStyleSheet[] = R"css(:root {
  color-scheme: dark;
  --ground: #101418;
  --panel: #1b2229;
  --line: #2d3945;
  --text: #e6edf3;
  --dim: #93a4b5;
  --accent: #f2c14e;
}
* { box-sizing: border-box; }
body {
  margin: 0;
  background: var(--ground);
  color: var(--text);
  font: 16px/1.45 system-ui, "Liberation Sans", Arial, sans-serif;
}
header, main { max-width: 72rem; margin: 0 auto; padding: 0 1rem; }
header { padding-top: 1.5rem; }
h1 { margin: 0 0 .25rem; color: var(--accent); font-size: 1.8rem; }
header p { margin: 0 0 .5rem; color: var(--dim); }
header p.filter { color: var(--text); }
header p.legend .mark { margin-right: .6rem; }
a { color: var(--accent); }
section {
  background: var(--panel);
  border: 1px solid var(--line);
  border-radius: .5rem;
  padding: .75rem 1rem 1rem;
  margin: 1rem 0;
  min-width: 0;
}
h2 { margin: 0 0 .5rem; font-size: 1.15rem; overflow-wrap: anywhere; }
h2 .number {
  display: inline-block;
  min-width: 1.8rem;
  color: var(--ground);
  background: var(--accent);
  border-radius: .3rem;
  text-align: center;
  margin-right: .4rem;
}
/* Sections keep their own height: a long ranking leaves its neighbours short. */
.maps {
  display: grid;
  grid-template-columns: repeat(auto-fill, minmax(min(24rem, 100%), 1fr));
  gap: 0 1rem;
  align-items: start;
}
/* Fixed columns sized in digits (ch, of the headings, hence their normal
   weight) whatever the font; pilot and cave take the rest. A name wraps at
   its blanks, or anywhere in a word wider than its cell; a pilot's is cut
   after three lines, whole in its title. */
table { width: 100%; border-collapse: collapse; table-layout: fixed; --pad: .4rem; }
th, td { padding: .2rem var(--pad); text-align: left; border-bottom: 1px solid var(--line); }
th { color: var(--dim); font-weight: normal; }
td.holder, td.cave { overflow-wrap: anywhere; }
td.holder span { display: -webkit-box; -webkit-box-orient: vertical; -webkit-line-clamp: 3; overflow: hidden; }
th.rank, td.rank { width: calc(2ch + 2 * var(--pad)); }
th.score, td.score { width: calc(5.5ch + 2 * var(--pad)); text-align: right; font-variant-numeric: tabular-nums; }
th:last-child, td.date { width: calc(9.5ch + 2 * var(--pad)); }
/* The proof: a word after a dot of its colour; refused only in the latest list. */
th.proof, td.proof { width: calc(9.5ch + 2 * var(--pad)); }
.mark { white-space: nowrap; color: var(--dim); }
.mark::before {
  content: ""; display: inline-block; width: .55em; height: .55em; margin-right: .3em;
  border-radius: 50%; background: currentColor;
}
.mark.proven { color: #5fd38d; }
.mark.pending { color: var(--accent); }
.mark.refused { color: #ff7b72; text-decoration: line-through; }
.empty { color: var(--dim); font-style: italic; margin: .25rem 0; }
@media (max-width: 30rem) {
  body { font-size: 15px; }
  header, main { padding-left: .5rem; padding-right: .5rem; }
  section { padding: .5rem .25rem; }
  table { font-size: 13px; --pad: .2rem; }
  /* Only the dot: the names keep their room; the word is in its title. */
  th.proof, td.proof { width: calc(.5rem + var(--pad)); padding-right: 0; font-size: 0; }
  .mark::before { width: .5rem; height: .5rem; margin: 0; vertical-align: middle; }
}
)css";

const char kScoreIcon[] =
    R"svg(<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 32 32"><rect width="32" height="32" rx="6" fill="#101418"/><path d="M4 22 L14 12 L20 17 L28 9" stroke="#f2c14e" stroke-width="3" fill="none"/></svg>)svg";
