#include "program/commands/SasUndo.h"

#include <algorithm>

#include "engine/sas/SasChange.h"
#include "engine/sas/SasDocument.h"
#include "engine/sas/SasRangeOps.h"
#include "program/commands/SasCommands.h"
#include "program/shell/App.h"
#include "program/shell/AppFlags.h"
#include "program/shell/CommandTable.h"
#include "program/shell/MessageBoxes.h"
#include "program/shell/SasSession.h"
#include "program/views/Render.h"
#include "program/views/SasView.h"

namespace vocara {

namespace {

// Applies one side of an action through the file: pending page edits written back, then the
// records, the links and the header as one change that lands whole or not at all (SasChange),
// the page read again.
bool Apply(WindowStates& windows, SasSession& session, Configuration& config, platform::Platform& ports,
           const std::vector<std::pair<std::uint32_t, SasFrame>>& frames,
           const std::vector<TimeLink>& links) {
  SasWriteBack(session);
  if (session.flags & SasPageDirty) return false;  // the write-back failed and said so
  SasDocument& sas = session.sas;
  const SasHeader headerNow = sas.header;
  const std::vector<TimeLink> linksNow = sas.links;
  SasChange change;
  const MessageId refused = change.Begin(sas, false, session.lockWait);
  bool done = refused == MessageId::None && SasWriteFrames(sas, frames);
  if (done) {
    sas.links = links;
    SasReadPage(session);  // from the copy: the records just written
    done = SasWriteRecords(sas, config.settings) && change.Commit();
  }
  if (!done) {
    change.Abandon();
    sas.header = headerNow;
    sas.links = linksNow;
    SasReadPage(session);
    ShowErrorMessage(ports.desktop, refused == MessageId::SasBusy ? refused : MessageId::InvalidFileHandle);
    return false;
  }
  session.flags &= ~static_cast<std::uint32_t>(CorrectedTempCurrent);
  windows.redraw |= SasUpperBandRedraw | SasLowerBandRedraw;
  SasViewSetDataWidth(windows, session);
  ports.windows.Invalidate(SasView, nullptr);
  return true;
}

}  // namespace

void SasUndoCommand(WindowStates& windows, SasSession& session, Configuration& config,
                    platform::Platform& ports) {
  SasUndoJournal& journal = session.undo;
  if (journal.undo.empty() || !(session.flags & SasOpen) || !SasEditAllowed(session)) return;
  SasUndoAction action = std::move(journal.undo.back());
  journal.undo.pop_back();
  journal.bytes -= action.Bytes();
  if (Apply(windows, session, config, ports, action.before, action.linksBefore)) {
    journal.redo.push_back(std::move(action));
  } else {
    journal.undo.push_back(std::move(action));
    journal.bytes += journal.undo.back().Bytes();
  }
  UpdateUndoStates(session);
}

void SasRedoCommand(WindowStates& windows, SasSession& session, Configuration& config,
                    platform::Platform& ports) {
  SasUndoJournal& journal = session.undo;
  if (journal.redo.empty() || !(session.flags & SasOpen) || !SasEditAllowed(session)) return;
  SasUndoAction action = std::move(journal.redo.back());
  journal.redo.pop_back();
  if (Apply(windows, session, config, ports, action.after, action.linksAfter)) {
    journal.bytes += action.Bytes();
    journal.undo.push_back(std::move(action));
  } else {
    journal.redo.push_back(std::move(action));
  }
  UpdateUndoStates(session);
}

namespace {

bool UndoUsable(const CommandState& state, CommandId command) {
  const std::deque<SasUndoAction>& actions =
      command == CommandId::Undo ? state.session.undo.undo : state.session.undo.redo;
  return (state.flags & SasOpen) && !actions.empty();
}

// The journal keeps the Undo and Redo items itself (UpdateUndoStates), as each action changes it.
constexpr CommandEntry Entries[] = {
    {.id = CommandId::Undo,
     .label = "&Undo",
     .key = Accelerator('Z', true),
     .handler = [](App& app, int,
                   CommandId) { SasUndoCommand(app.windows, app.session, app.config, app.ports); },
     .gate = UndoUsable,
     .ownMenuState = true},
    {.id = CommandId::Redo,
     .label = "Re&do",
     .key = Accelerator('Y', true),
     .otherKey = Accelerator('Z', true, true),
     .handler = [](App& app, int,
                   CommandId) { SasRedoCommand(app.windows, app.session, app.config, app.ports); },
     .gate = UndoUsable,
     .ownMenuState = true},
};

}  // namespace

std::span<const CommandEntry> SasUndoCommandEntries() { return Entries; }

}  // namespace vocara
