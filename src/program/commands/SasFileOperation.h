// A change of the open SAS made through its file rather than through the page (Global Edit,
// Time Correct Disable/Enable, Silence, Global Clear, Snap to Scale, Re-analyse Range, Repair
// Octave Jumps), run the one way all of them run: pending page edits written back first
// (unless the operation means to drop them), the operation, the page read again, one undo
// action and the redraw.
#pragma once

#include <functional>

#include "engine/sas/SasRangeOps.h"

namespace vocara {

struct App;

// The operation itself: it reports every record it changes to the sink and returns false when
// it failed (the user is then told "Invalid File Handle").
using SasFileOperation = std::function<bool(const FrameChangeSink& sink)>;

// Runs `operation` on the open SAS. Refused (false, nothing run) when the SAS may not be edited
// or the write-back before it failed. The undo action takes the page and links as the user saw
// them as its "before", so edits the operation drops come back with an undo; an action over the
// journal's budget empties the journal instead. Afterwards the corrected temporary file is stale
// and both panes are redrawn. Returns what the operation returned.
bool RunFileOperation(App& app, bool writeBackFirst, const SasFileOperation& operation);

}  // namespace vocara
