// Undo and redo of SAS edits, one user action at a time: a whole mouse drag, one link set or
// deleted, one Time Correct Disable or Enable, one Global Edit, Silence or Global Clear.
//
// Each action is kept as the records it changed, by their index in the file, before and after,
// and the link table before and after; it is applied back through the file (the page written
// back first, the records written, the page read again), so an undo works after write-backs,
// scrolling and Correct alike. The journal belongs to the open SAS (closing it clears it) and
// keeps at most SasUndoBudget bytes: the oldest actions go first, and an action larger than the
// whole budget empties the journal, since undoing what came before it would skip it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <span>
#include <utility>
#include <vector>

#include "engine/sas/SasRecords.h"
#include "program/shell/CommandId.h"
#include "program/shell/CommandTable.h"
#include "program/shell/SasSession.h"

namespace vocara {

struct App;
struct Configuration;
struct SasSession;
struct WindowStates;

// Undo and Redo (Ctrl+Z; Ctrl+Y and Ctrl+Shift+Z).
void SasUndoCommand(WindowStates& windows, SasSession& session, Configuration& config,
                    platform::Platform& ports);
void SasRedoCommand(WindowStates& windows, SasSession& session, Configuration& config,
                    platform::Platform& ports);

// The commands this module carries out, for the command table.
std::span<const CommandEntry> SasUndoCommandEntries();

}  // namespace vocara
