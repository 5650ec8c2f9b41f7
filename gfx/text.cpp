// Placeholder until the font layer lands.
#include "gfx/text.h"
#include "gfx/play_field.h"
bool InitFonts(std::string*) { return true; }
void TextOutA(Surface*, int, int, const char*, int) {}
void TextOutA(Surface* d, int x, int y, const std::string& t) { TextOutA(d, x, y, t.data(), static_cast<int>(t.size())); }
int TextWidth(const char*, int) { return 0; }
