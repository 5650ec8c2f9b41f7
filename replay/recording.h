// Recording a run, frame by frame, for its replay file.
// SPDX-License-Identifier: MIT
#pragma once

// Appends the current frame of the run to gs.recording.
void RecordFrame();
