// Undo and redo of SAS edits, one user action at a time (a whole mouse drag, one link set or
// deleted, one range operation). An action is bracketed by SasEditBegin and SasEditEnd: Begin
// notes the page records and links as they are, End records what the action changed (frames by
// their index in the file, and the link table) and marks the corrected temporary file stale.
#pragma once

namespace vocara {

struct App;

// Before an action that may change the page records or the links in memory.
void SasEditBegin(App& app);
// After it; does nothing when nothing changed.
void SasEditEnd(App& app);

}  // namespace vocara
