// Recording a run, frame by frame and step by step, for its replay file.
// SPDX-License-Identifier: MIT
#pragma once

// Appends the current frame of the run to gs.recording.
void RecordFrame();

// The first thing a moving step does: keeps the keys it finds held in its
// entry of gs.stepKeys.
void RecordStepKeys();

// After the step's engine trail, before the end of the run may store the
// replay: adds the trail pixel to the step's entry.
void RecordTrailPixel();
