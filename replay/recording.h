// Recording a run, frame by frame, for its replay file.
#pragma once

// Appends the current frame of the run to gs.recording.
void RecordFrame();
