// Placeholder until the headless driver lands.
#include "platform/platform.h"
#include "shell/main_loop.h"
int main() {
    try { OnLoad(); } catch (const ProgramEnded& e) { return e.status; }
}
