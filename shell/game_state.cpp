#include "shell/game_state.h"

#include "gfx/picture_store.h"

GameState gs;

namespace {
std::string programFolder = ".";
}

void ResetGameState() {
    ReleasePictures();
    gs.~GameState();
    new (&gs) GameState();
}

const std::string& ProgramFolder() { return programFolder; }

void SetProgramFolder(const std::string& folder) {
    programFolder = folder;
    while (programFolder.size() > 1 && programFolder.back() == '/') programFolder.pop_back();
}
