// A short note shown over the play field for two seconds (the
// screenshot's "Screenshot saved: NAME"). It is drawn only into what the
// window shows, never into the play field, so that screenshots and the
// game's own pictures never hold it.
// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>

// Allocates the note's picture and the copy of the field it is drawn over.
void StartScreenNotes();

// Shows `text` (Windows-1252) from the next time the field is shown; from
// any thread.
void PostScreenNote(const std::string& text);

// What to show for the 600 x 216 `field`: the field itself, or while a note
// is up, a copy with the note over it. Allocates nothing but when a new note
// is first drawn.
const uint32_t* FieldWithNote(const uint32_t* field);
