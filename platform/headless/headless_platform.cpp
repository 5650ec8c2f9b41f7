// Placeholder until the headless driver lands.
#include "platform/platform.h"
namespace { int32_t clockMs = 1000000; }
int32_t PlatformTickCount() { return clockMs; }
int32_t PlatformWaitTickAfter(int32_t d) { if (!TickPassed(clockMs, d)) clockMs = d + 1; return clockMs; }
void PlatformSleep(int32_t ms) { clockMs += ms; }
void PlatformDispatchEvents() { throw ProgramEnded{0}; }
void PlatformPresent() {}
void PlatformShowWindow() {}
void PlatformMessageBox(const std::string&, const std::string&) {}
bool PlatformAskYesNo(const std::string&, const std::string&) { return false; }
std::string PlatformInputBox(const std::string&, const std::string&, const std::string&) { return {}; }
void PlatformEndProgram(int status) { throw ProgramEnded{status}; }
