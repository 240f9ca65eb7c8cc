#include "program/commands/GuideCommands.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/FileHandle.h"
#include "base/OutputFile.h"
#include "engine/midi/StandardMidiFile.h"
#include "engine/processing/GuideMelody.h"
#include "engine/sas/SasDocument.h"
#include "engine/sas/ScaleSnap.h"
#include "program/shell/App.h"
#include "program/shell/AppFlags.h"
#include "program/shell/CommandTable.h"
#include "program/shell/DialogFields.h"
#include "program/shell/FileChoice.h"
#include "program/shell/MessageBoxes.h"
#include "program/shell/SasSession.h"
#include "program/views/Render.h"

namespace vocara {
namespace {

using platform::ControlKind;
using platform::DialogHandle;

// Follow Guide dialog ids.
enum : int { FieldTrack = 101, FieldChannel, FieldCentre, FieldDrift, FieldRetune, FieldTiming };

void ShowGuideValues(DialogHandle& dialog, const GuideDialogValues& values) {
  WriteNumberField(dialog, FieldTrack, values.track, 0);
  WriteNumberField(dialog, FieldChannel, values.channel, 0);
  WriteNumberField(dialog, FieldCentre, values.params.centre, 2);
  WriteNumberField(dialog, FieldDrift, values.params.drift, 2);
  WriteNumberField(dialog, FieldRetune, values.params.retuneMs, 1);
  WriteNumberField(dialog, FieldTiming, values.params.timing, 2);
}

class GuideProcedure final : public platform::DialogProcedure {
 public:
  explicit GuideProcedure(GuideDialogValues& values) : values_(values) {}
  bool accepted = false;

  void OnInit(DialogHandle& dialog) override { ShowGuideValues(dialog, values_); }
  void OnCommand(DialogHandle& dialog, int id) override {
    if (id == platform::DialogOk) {
      GuideDialogValues read;
      read.track = static_cast<int>(std::lround(ReadNumberField(dialog, FieldTrack, 0, 65535)));
      read.channel = static_cast<int>(std::lround(ReadNumberField(dialog, FieldChannel, 0, 16)));
      read.params.centre = ReadNumberField(dialog, FieldCentre, 0, 100);
      read.params.drift = ReadNumberField(dialog, FieldDrift, 0, 100);
      read.params.retuneMs = ReadNumberField(dialog, FieldRetune, 0, MaxRetuneMs);
      read.params.timing = ReadNumberField(dialog, FieldTiming, 0, 100);
      values_ = read;
      accepted = true;
      dialog.End(platform::DialogOk);
    } else if (id == platform::DialogCancel) {
      dialog.End(platform::DialogCancel);
    }
  }

 private:
  GuideDialogValues& values_;
};

bool SasUsable(std::uint32_t flags) { return HasAll(flags, SasOpen) && !HasAll(flags, Busy); }

void ExportNotesMidi(Screen& screen, std::uint32_t& flags, platform::Platform& ports, int view) {
  if (!SasUsable(flags)) return;
  // The notes as the targets stand now, the page's edits included; a take without notes is
  // told so before a name is asked for in vain.
  SasWriteBack(screen.session);
  std::vector<MidiOutNote> notes;
  if (!TakeNotesAsMidi(screen.session.sas, 0, screen.session.sas.header.frameCount, notes)) {
    ShowErrorMessage(ports.desktop, MessageId::InvalidFileHandle);
    return;
  }
  if (notes.empty()) {
    ShowErrorText(ports.desktop, "The SAS file holds no notes: there is nothing to export.");
    return;
  }
  const std::optional<std::string> name = ports.desktop.GetSaveFileName(
      SaveRequest("Export Notes as MIDI", {MidiFileFilter, AllFilesFilter}, "mid", true));
  if (!name) return;
  if (SameFile(*name, screen.session.sas.path)) {
    ShowErrorMessage(ports.desktop, MessageId::OpenedFileCanNotBeOverwritten);
    return;
  }
  const std::vector<std::uint8_t> bytes = StandardMidiFileBytes(notes, false);
  OutputFile output;
  MessageId refused = output.Begin(*name);
  if (refused == MessageId::None && !(output.File().Write(bytes.data(), bytes.size()) && output.Commit()))
    refused = MessageId::OutputWriteFailed;
  ShowErrorMessage(ports.desktop, refused);
  if (refused == MessageId::None)
    ShowStatusNotice(screen, view,
                     std::to_string(notes.size()) + (notes.size() == 1 ? " note" : " notes") +
                         " written to " + std::filesystem::path(*name).filename().string());
}

std::string OutcomeText(const GuideOutcome& outcome) {
  std::string text = "Notes following the guide: " + std::to_string(outcome.paired) +
                     "\nSung notes without a guide note: " + std::to_string(outcome.unpairedSung.size()) +
                     "\nGuide notes without a sung note: " + std::to_string(outcome.unpairedGuide.size());
  if (outcome.timed + outcome.untimed > 0) {
    text += "\nNotes put in time: " + std::to_string(outcome.timed);
    if (outcome.untimed > 0) text += " (" + std::to_string(outcome.untimed) + " could not be)";
  }
  return text;
}

void FollowGuide(WindowStates& windows, SasSession& session, DialogMemory& dialogs, platform::Platform& ports,
                 int view) {
  if (!SasUsable(session.flags) || !SasEditAllowed(session)) return;
  platform::FileDialogRequest request;
  request.title = "Open Guide MIDI File";
  request.filters = {MidiFileFilter, AllFilesFilter};
  request.defaultExtension = "mid";
  const std::optional<std::string> path = ChooseFileToOpen(dialogs, ports, nullptr, std::move(request));
  if (!path) return;
  GuideDialogValues values = dialogs.guide;
  GuideProcedure procedure(values);
  ports.dialogs.RunModal(view, FollowGuideDialogTemplate(), procedure);
  if (!procedure.accepted) return;
  dialogs.guide = values;

  const MidiFileRead guide = ReadStandardMidiFile(*path);
  if (!guide.problem.empty()) {
    ShowErrorText(ports.desktop, *path + ": " + guide.problem);
    return;
  }
  std::vector<MidiNote> chosen;
  for (const MidiNote& note : guide.notes) {
    if ((values.track == 0 || note.track == values.track - 1) &&
        (values.channel == 0 || note.channel == values.channel - 1))
      chosen.push_back(note);
  }
  const std::vector<MidiNote> melody = GuideMelodyLine(std::move(chosen));
  if (melody.empty()) {
    ShowErrorText(ports.desktop, *path + ": no notes on that track and channel");
    return;
  }
  const auto [first, end] = SasRangeOrWholeFile(session);
  GuideOutcome outcome;
  // The write-back first brings the silence threshold in force into the file's settings copy.
  session.flags |= SasPageDirty;
  const bool done =
      RunFileOperation(windows, session, true, [&](SasDocument& sas, const FrameChangeSink& sink) {
        return DoneOrFailed(SasFollowGuide(sas, melody, first, end, values.params, outcome, sink));
      });
  if (done) {
    ports.desktop.ShowMessage(OutcomeText(outcome), platform::MessageIcon::Information,
                              platform::MessageButtons::Ok, platform::MessageAnswer::Ok);
  }
}

bool FollowUsable(const CommandState& state, CommandId) {
  return SasUsable(state.flags) && !state.session.sas.readOnly;
}

constexpr CommandEntry Entries[] = {
    {.id = CommandId::ExportNotesMidi,
     .label = "Export Notes as M&IDI...",
     .handler = [](App& app, int view,
                   CommandId) { ExportNotesMidi(app.screen, app.flags, app.ports, view); },
     .gate = [](const CommandState& state, CommandId) { return SasUsable(state.flags); }},
    {.id = CommandId::FollowGuide,
     .label = "Follow Gu&ide...",
     .handler = [](App& app, int view,
                   CommandId) { FollowGuide(app.windows, app.session, app.dialogs, app.ports, view); },
     .gate = FollowUsable},
};

}  // namespace

platform::DialogTemplate FollowGuideDialogTemplate() {
  platform::DialogTemplate dialog;
  dialog.title = "Follow Guide";
  dialog.width = 200;
  dialog.height = 130;
  static constexpr struct {
    const char* label;
    int id;
  } Rows[] = {{"Track (0: all)", FieldTrack},    {"Channel (0: all)", FieldChannel},
              {"Pitch centre (%)", FieldCentre}, {"Drift (%)", FieldDrift},
              {"Retune (ms)", FieldRetune},      {"Timing (%)", FieldTiming}};
  int y = 8;
  for (const auto& row : Rows) {
    dialog.controls.push_back({-1, ControlKind::Label, row.label, 8, y + 2, 120, 8});
    dialog.controls.push_back({row.id, ControlKind::Edit, "", 144, y, 48, 12});
    y += 16;
  }
  dialog.controls.push_back({platform::DialogOk, ControlKind::DefaultButton, "OK", 40, 108, 56, 14});
  dialog.controls.push_back({platform::DialogCancel, ControlKind::Button, "Cancel", 104, 108, 56, 14});
  return dialog;
}

std::span<const CommandEntry> GuideCommandEntries() { return Entries; }

}  // namespace vocara
