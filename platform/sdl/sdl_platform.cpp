// Placeholder until the window lands.
#include "platform/platform.h"
#include <cstdlib>
int32_t PlatformTickCount() { return 0; }
int32_t PlatformWaitTickAfter(int32_t d) { return d + 1; }
void PlatformSleep(int32_t) {}
void PlatformDispatchEvents() { std::exit(0); }
void PlatformPresent() {}
void PlatformShowWindow() {}
void PlatformMessageBox(const std::string&, const std::string&) {}
bool PlatformAskYesNo(const std::string&, const std::string&) { return false; }
std::string PlatformInputBox(const std::string&, const std::string&, const std::string&) { return {}; }
void PlatformEndProgram(int status) { std::exit(status); }
