// Placeholder until the window lands.
#include "shell/main_loop.h"
int main() { OnLoad(); }
