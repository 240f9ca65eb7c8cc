// A change of the open SAS made through its file rather than through the page (Global Edit,
// Time Correct Disable/Enable, Silence, Global Clear, Snap to Scale, Re-analyse Range, Repair
// Octave Jumps), run the one way all of them run: pending page edits written back first
// (unless the operation means to drop them), the operation on a copy of the file that replaces
// it only when the operation ran to its end (SasChange), the page read again, one undo action
// and the redraw. An operation that fails or is stopped (Esc) leaves the file as it was.
#pragma once

#include <functional>

#include "engine/sas/SasRangeOps.h"

namespace vocara {

struct SasSession;
struct WindowStates;

// How an operation ended: run to its end, stopped by the user, or failed (the user is then told
// "Invalid File Handle").
enum class FileOperationEnd { Done, Stopped, Failed };

// The operation itself: it reports every record it changes to the sink.
using SasFileOperation = std::function<FileOperationEnd(const FrameChangeSink& sink)>;

// Done when the operation ran to its end, Failed otherwise.
inline FileOperationEnd DoneOrFailed(bool done) {
  return done ? FileOperationEnd::Done : FileOperationEnd::Failed;
}

// Runs `operation` on the open SAS. Refused (false, nothing run) when the SAS may not be edited
// or the write-back before it failed. The undo action takes the page and links as the user saw
// them as its "before", so edits the operation drops come back with an undo; an action over the
// journal's budget empties the journal instead. Afterwards the corrected temporary file is stale
// and both panes are redrawn. True when the file now holds the operation's change.
bool RunFileOperation(WindowStates& windows, SasSession& session, bool writeBackFirst,
                      const SasFileOperation& operation);

}  // namespace vocara
