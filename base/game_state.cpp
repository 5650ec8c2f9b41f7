// The one game state record and the program folder.
#include "base/game_state.h"

GameState gs;

namespace {
std::string programFolder = ".";
}

const std::string& ProgramFolder() { return programFolder; }

void SetProgramFolder(const std::string& folder) {
    programFolder = folder;
    while (programFolder.size() > 1 && programFolder.back() == '/') programFolder.pop_back();
}
