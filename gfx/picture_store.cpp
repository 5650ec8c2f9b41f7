// Placeholder until the picture store lands.
#include "gfx/picture_store.h"
#include "gfx/surface.h"
#include "shell/game_state.h"
void LoadPictureSurface(Surface*&, const std::string&, const std::string&) {}
void LoadPictures() {}
void ReleasePictures() {
    for (Surface** slot : {&gs.mapSurface, &gs.shipSurface, &gs.backgroundSurface, &gs.helpSurface}) {
        DestroySurface(*slot);
        *slot = nullptr;
    }
}
Surface* DecodePictureFile(const std::string&) { return nullptr; }
bool WritePng(const Surface*, const std::string&) { return false; }
