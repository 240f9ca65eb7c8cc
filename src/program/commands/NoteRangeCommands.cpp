#include "program/commands/NoteRangeCommands.h"

#include <cstdint>

#include "engine/sas/NoteRangeDetection.h"
#include "platform/DesktopPort.h"
#include "program/commands/ProgressPacer.h"
#include "program/commands/SpectrumCommands.h"
#include "program/shell/App.h"
#include "program/shell/AppFlags.h"
#include "program/shell/CommandTable.h"
#include "program/views/SpectrumViews.h"

namespace vocara {

bool DetectNoteRangeUsable(std::uint32_t flags) { return HasAll(flags, WavOpen) && !HasAll(flags, Busy); }

void DetectNoteRangeFromRecording(App& app) {
  if (!DetectNoteRangeUsable(app.flags)) return;
  SetBusy(app.commands, true);
  app.flags &= ~static_cast<std::uint32_t>(AbortRequested);
  NoteRangeResult range;
  {
    // The progress counts frames looked at, not samples: the cursor line stays where it is.
    ProgressPacer pacer(app.screen, app.ports.pump, false);
    range = DetectNoteRange(app.docs.wav, app.config.settings, pacer.Callback());
  }
  SetBusy(app.commands, false);
  if (range.result != LongOperationResult::Done) return;
  if (!range.found) {
    app.ports.desktop.ShowMessage("No notes were found in the recording; the note range stays as it was.",
                                  platform::MessageIcon::Information, platform::MessageButtons::Ok,
                                  platform::MessageAnswer::Ok);
    return;
  }
  SetAnalysedNoteRange(app, range.lowestNote, range.highestNote);
}

namespace {

constexpr CommandEntry Entries[] = {
    {.id = CommandId::DetectNoteRange,
     .label = "&Detect Note Range",
     .handler = [](App& app, int, CommandId) { DetectNoteRangeFromRecording(app); },
     .gate = [](const CommandState& state, CommandId) { return DetectNoteRangeUsable(state.flags); }},
};

}  // namespace

std::span<const CommandEntry> NoteRangeCommandEntries() { return Entries; }

}  // namespace vocara
