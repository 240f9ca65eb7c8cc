// The open SAS's page between memory and the file: reading it, writing pending edits back, and
// whether the file may be changed at all. Every part that replaces or edits the page (scrolling,
// resizing, the mouse, the commands) goes through these, so no edit is lost and none reaches a
// read-only file.
#pragma once

#include <cstdint>
#include <utility>

namespace vocara {

struct App;

// The frames an operation of the whole take works on: the SAS range when one is selected, or
// every frame.
std::pair<std::uint32_t, std::uint32_t> SasRangeOrWholeFile(const App& app);

// Whether the open SAS may be changed. A read-only file refuses, and the first refusal of a
// document says "The SAS file is read-only; use Save As to edit a copy."; every command that
// edits or writes the SAS asks this first.
bool SasEditAllowed(App& app);

// Loads the page from firstFrame (never past the last frame) and clears SasPageDirty without
// writing: a caller with edits writes them back first. A failed read is reported.
void SasReadPage(App& app);

// When SasPageDirty is set: header (with the Bar Ruler, Edit SAS and Apply Correction fields of
// its settings copy taken from the live settings), page and links go back to the file, which
// ends behind the links; SasPageDirty is cleared. A failed write is reported and leaves
// SasPageDirty set, so the edits are not taken for saved; so does a file another program kept
// locked for app.sasLockWait, with the message that says so (MessageId::SasBusy).
void SasWriteBack(App& app);

}  // namespace vocara
