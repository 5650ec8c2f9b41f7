#pragma once

// Appends the current frame of the run to gs.recording.
void RecordFrame();
