// Recording a run, frame by frame and step by step, for its replay file.
// SPDX-License-Identifier: MIT
#pragma once

#include <string>

// Appends the current frame of the run to gs.recording.
void RecordFrame();

// The first thing a moving step does: keeps the keys it finds held in its
// entry of gs.stepKeys.
void RecordStepKeys();

// After the step's engine trail, before the end of the run may store the
// replay: adds the trail pixel to the step's entry.
void RecordTrailPixel();

// One step of the flight as the frame loop takes it, kept for the replay:
// the keys, scroll, cave gauge and score, ship, trail pixel. True when the
// step ended the run (the shield fell below 0); the caller then ends the run
// before it records the frame.
bool FlyRecordedStep();

// The replay file's bytes for frames 1..N of gs.recording, with the key
// section when gs.stepKeys holds the keys of those N frames' steps and of
// the step that ended the run.
void ReplayText(std::string& out);
