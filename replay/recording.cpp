// Placeholder until recording lands.
#include "replay/recording.h"
void RecordFrame() {}
