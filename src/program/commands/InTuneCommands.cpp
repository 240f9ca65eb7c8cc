#include "program/commands/InTuneCommands.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>

#include "base/Instruments.h"
#include "base/NumberText.h"
#include "engine/processing/CorrectionReport.h"
#include "engine/sas/Reanalysis.h"
#include "engine/sas/SasDocument.h"
#include "engine/wav/WavDocument.h"
#include "program/commands/ProgressPacer.h"
#include "program/commands/SasCommands.h"
#include "program/shell/App.h"
#include "program/shell/AppFlags.h"
#include "program/shell/CommandTable.h"
#include "program/shell/DialogFields.h"
#include "program/shell/SasSession.h"

namespace vocara {
namespace {

using platform::ControlKind;
using platform::DialogHandle;

// Snap to Scale dialog ids: two lists, five fields, and the Default button.
enum : int { ListKey = 101, ListScale, FieldCustom, FieldReference, FieldCentre, FieldDrift, FieldRetune };
constexpr int ButtonDefault = 3;
// Re-analyse Range dialog ids.
enum : int { ListLowest = 101, ListHighest };

constexpr int ListDropDown = 150;  // a list's height with its items dropped down

void ShowSnapParams(DialogHandle& dialog, const ScaleSnapParams& params) {
  dialog.SetSelection(ListKey, params.key);
  dialog.SetSelection(ListScale, static_cast<int>(params.scale));
  dialog.SetText(FieldCustom, PitchClassesText(params.custom));
  dialog.SetEnabled(FieldCustom, params.scale == ScaleKind::Custom);
  WriteNumberField(dialog, FieldReference, params.reference, 2);
  WriteNumberField(dialog, FieldCentre, params.centre, 2);
  WriteNumberField(dialog, FieldDrift, params.drift, 2);
  WriteNumberField(dialog, FieldRetune, params.retuneMs, 1);
}

class SnapProcedure final : public platform::DialogProcedure {
 public:
  explicit SnapProcedure(ScaleSnapParams& params) : params_(params) {}
  bool accepted = false;

  void OnInit(DialogHandle& dialog) override {
    dialog.ClearItems(ListKey);
    for (int key = 0; key < 12; ++key) dialog.AddItem(ListKey, std::string(KeyName(key)));
    dialog.ClearItems(ListScale);
    for (int kind = 0; kind < ScaleKindCount; ++kind)
      dialog.AddItem(ListScale, std::string(ScaleKindLabel(static_cast<ScaleKind>(kind))));
    ShowSnapParams(dialog, params_);
  }
  void OnSelectionChange(DialogHandle& dialog, int id) override {
    // The pitch classes matter only for a custom scale.
    if (id == ListScale)
      dialog.SetEnabled(FieldCustom, dialog.GetSelection(ListScale) == static_cast<int>(ScaleKind::Custom));
  }
  void OnCommand(DialogHandle& dialog, int id) override {
    switch (id) {
      case platform::DialogOk: {
        ScaleSnapParams read = params_;
        if (const int key = dialog.GetSelection(ListKey); key >= 0) read.key = key;
        if (const int kind = dialog.GetSelection(ListScale); kind >= 0 && kind < ScaleKindCount)
          read.scale = static_cast<ScaleKind>(kind);
        // A set that does not parse keeps the one in force, so a slip of the keyboard does not
        // turn the scale into nothing.
        if (const std::optional<std::uint16_t> set = ParsePitchClasses(dialog.GetText(FieldCustom)))
          read.custom = *set;
        read.reference = ScanNumber(dialog.GetText(FieldReference));
        read.centre = ScanNumber(dialog.GetText(FieldCentre));
        read.drift = ScanNumber(dialog.GetText(FieldDrift));
        read.retuneMs = ScanNumber(dialog.GetText(FieldRetune));
        params_ = ClampScaleSnapParams(read);
        accepted = true;
        dialog.End(platform::DialogOk);
        break;
      }
      case platform::DialogCancel:
        dialog.End(platform::DialogCancel);
        break;
      case ButtonDefault:
        // Shown only: Cancel still keeps the values the dialog opened with.
        ShowSnapParams(dialog, ScaleSnapParams{});
        break;
      default:
        break;
    }
  }

 private:
  ScaleSnapParams& params_;
};

class ReanalyseProcedure final : public platform::DialogProcedure {
 public:
  ReanalyseProcedure(int& lowest, int& highest) : lowest_(lowest), highest_(highest) {}
  bool accepted = false;

  void OnInit(DialogHandle& dialog) override {
    for (const int list : {ListLowest, ListHighest}) {
      dialog.ClearItems(list);
      for (const std::string_view name : NoteNames) dialog.AddItem(list, std::string(name));
    }
    dialog.SetSelection(ListLowest, std::clamp(lowest_, 0, NoteCount - 1));
    dialog.SetSelection(ListHighest, std::clamp(highest_, 0, NoteCount - 1));
  }
  void OnCommand(DialogHandle& dialog, int id) override {
    if (id == platform::DialogOk) {
      const int lowest = dialog.GetSelection(ListLowest);
      const int highest = dialog.GetSelection(ListHighest);
      if (lowest >= 0 && lowest < NoteCount) lowest_ = lowest;
      if (highest >= 0 && highest < NoteCount) highest_ = highest;
      // A range given upside down is meant the right way up.
      if (lowest_ > highest_) std::swap(lowest_, highest_);
      accepted = true;
      dialog.End(platform::DialogOk);
    } else if (id == platform::DialogCancel) {
      dialog.End(platform::DialogCancel);
    }
  }

 private:
  int& lowest_;
  int& highest_;
};

// The engine reports frames; the WAV cursor line, as every long operation's progress display,
// goes by samples.
ProgressCallback FramesAsSamples(ProgressCallback callback, std::uint32_t frameLength) {
  return [callback = std::move(callback), frameLength](std::uint64_t frame, std::uint64_t total) {
    return callback(frame * frameLength, total * frameLength);
  };
}

// Runs one of the three through the file in busy mode, the WAV cursor line showing how far it
// got. The notes are found with the silence threshold in force, which may have changed in the
// Settings dialog since the SAS was last written: the write-back that runs first refreshes the
// file's settings copy (which the engine reads) from the live settings. Esc stops it with the
// file as it was and is no failure. True when it ran to the end.
bool RunBusy(
    Screen& screen, Commands& commands, platform::Platform& ports,
    const std::function<bool(SasDocument&, const FrameChangeSink&, const ProgressCallback&)>& operation) {
  commands.flags |= SasPageDirty;
  SetBusy(commands, true);
  commands.flags &= ~static_cast<std::uint32_t>(AbortRequested);
  bool done = false;
  {
    ProgressPacer pacer(screen, ports.pump, true);
    const ProgressCallback progress =
        FramesAsSamples(pacer.Callback(), screen.session.sas.header.frameLength);
    const std::uint32_t& flags = commands.flags;
    done = RunFileOperation(
        screen.windows, screen.session, true, [&](SasDocument& sas, const FrameChangeSink& sink) {
          if (operation(sas, sink, progress)) return FileOperationEnd::Done;
          return (flags & AbortRequested) != 0 ? FileOperationEnd::Stopped : FileOperationEnd::Failed;
        });
  }
  SetBusy(commands, false);
  return done;
}

void SnapToScale(Screen& screen, Commands& commands, DialogMemory& dialogs, platform::Platform& ports,
                 int view) {
  const auto range = SasEditRange(screen.session);
  if (!range || !RunSnapDialog(ports, view, dialogs.snapParams)) return;
  const auto [first, end] = *range;
  RunBusy(screen, commands, ports,
          [&](SasDocument& sas, const FrameChangeSink& sink, const ProgressCallback& progress) {
            return SasSnapToScale(sas, first, end, dialogs.snapParams, sink, progress);
          });
}

void ReanalyseRange(Screen& screen, Commands& commands, platform::Platform& ports, int view) {
  const auto range = SasEditRange(screen.session);
  if (!range) return;
  int lowest = screen.session.sas.header.settings.lowestNote;
  int highest = screen.session.sas.header.settings.highestNote;
  if (!RunReanalyseDialog(ports, view, lowest, highest)) return;
  const auto [first, end] = *range;
  WavDocument& wav = screen.docs.wav;
  RunBusy(screen, commands, ports,
          [&](SasDocument& sas, const FrameChangeSink& sink, const ProgressCallback& progress) {
            return SasReanalyse(wav, sas, first, end, lowest, highest, sink, progress);
          });
}

void RepairOctaveJumps(Screen& screen, Commands& commands, platform::Platform& ports) {
  const auto range = SasEditRange(screen.session);
  if (!range) return;
  const auto [first, end] = *range;
  WavDocument& wav = screen.docs.wav;
  std::uint32_t repaired = 0;
  const bool done =
      RunBusy(screen, commands, ports,
              [&](SasDocument& sas, const FrameChangeSink& sink, const ProgressCallback& progress) {
                return SasRepairOctaveJumps(wav, sas, first, end, sink, &repaired, progress);
              });
  // Without a word, a repair that found nothing would look like one that did not run.
  if (done) {
    ports.desktop.ShowMessage("Frames repaired: " + std::to_string(repaired),
                              platform::MessageIcon::Information, platform::MessageButtons::Ok,
                              platform::MessageAnswer::Ok);
  }
}

}  // namespace

platform::DialogTemplate SnapDialogTemplate() {
  platform::DialogTemplate dialog;
  dialog.title = "Snap to Scale";
  dialog.width = 200;
  dialog.height = 146;
  struct Row {
    const char* label;
    int id;
    ControlKind kind;
    int width;
  };
  static constexpr Row Rows[] = {
      {"Key", ListKey, ControlKind::DropDownList, 84},
      {"Scale", ListScale, ControlKind::DropDownList, 84},
      {"Custom pitch classes", FieldCustom, ControlKind::Edit, 84},
      {"Reference A4 (Hz)", FieldReference, ControlKind::Edit, 48},
      {"Pitch centre (%)", FieldCentre, ControlKind::Edit, 48},
      {"Drift (%)", FieldDrift, ControlKind::Edit, 48},
      {"Retune (ms)", FieldRetune, ControlKind::Edit, 48},
  };
  int y = 8;
  for (const Row& row : Rows) {
    dialog.controls.push_back({-1, ControlKind::Label, row.label, 8, y + 2, 100, 8});
    const bool list = row.kind == ControlKind::DropDownList;
    dialog.controls.push_back(
        {row.id, row.kind, "", 192 - row.width, y, row.width, list ? ListDropDown : 12});
    y += 16;
  }
  dialog.controls.push_back({platform::DialogOk, ControlKind::DefaultButton, "OK", 8, 124, 56, 14});
  dialog.controls.push_back({platform::DialogCancel, ControlKind::Button, "Cancel", 72, 124, 56, 14});
  dialog.controls.push_back({ButtonDefault, ControlKind::Button, "Default", 136, 124, 56, 14});
  return dialog;
}

bool RunSnapDialog(platform::Platform& ports, int ownerView, ScaleSnapParams& params) {
  SnapProcedure procedure(params);
  ports.dialogs.RunModal(ownerView, SnapDialogTemplate(), procedure);
  return procedure.accepted;
}

platform::DialogTemplate ReanalyseDialogTemplate() {
  platform::DialogTemplate dialog;
  dialog.title = "Re-analyse Range";
  dialog.width = 160;
  dialog.height = 66;
  dialog.controls = {
      {-1, ControlKind::Label, "Lowest note", 8, 10, 70, 8},
      {ListLowest, ControlKind::DropDownList, "", 96, 8, 56, ListDropDown},
      {-1, ControlKind::Label, "Highest note", 8, 26, 70, 8},
      {ListHighest, ControlKind::DropDownList, "", 96, 24, 56, ListDropDown},
      {platform::DialogOk, ControlKind::DefaultButton, "OK", 32, 44, 56, 14},
      {platform::DialogCancel, ControlKind::Button, "Cancel", 96, 44, 56, 14},
  };
  return dialog;
}

bool RunReanalyseDialog(platform::Platform& ports, int ownerView, int& lowestNote, int& highestNote) {
  ReanalyseProcedure procedure(lowestNote, highestNote);
  ports.dialogs.RunModal(ownerView, ReanalyseDialogTemplate(), procedure);
  return procedure.accepted;
}

void MeasureCorrection(Screen& screen, Configuration& config, platform::Platform& ports,
                       const std::string& output, std::uint32_t start, std::uint32_t end) {
  ClearCorrectionReport(screen.session);
  WavDocument corrected;
  if (WavOpenDocument(corrected, output).message == MessageId::None) {
    ReportRequest request;
    request.start = start;
    request.end = end;
    request.timeCorrection = config.settings.timeCorrection != 0;
    bool measured = false;
    {
      // The cursor line stays at the end of the render it just followed.
      ProgressPacer pacer(screen, ports.pump, false);
      measured = MakeCorrectionReport(screen.session.sas, corrected, request, screen.session.correctionReport,
                                      pacer.Callback());
    }
    corrected.file.Close();
    // Esc or a failed read: no marks rather than some of them.
    if (measured) {
      screen.session.correctionReportShown = true;
    } else {
      screen.session.correctionReport = CorrectionReport{};
    }
  }
  screen.windows.redraw |= SasLowerBandRedraw;
  ports.windows.Invalidate(SasView, nullptr);
}

void ClearCorrectionReport(SasSession& session) {
  session.correctionReport = CorrectionReport{};
  session.correctionReportShown = false;
}

namespace {

// Never while busy; Snap needs an open SAS that may be written; Re-analyse and Repair also need
// the recording it was built from (WAV and SAS open and matching), since they measure it again.
bool SnapGate(const CommandState& state, CommandId) {
  return !(state.flags & Busy) && (state.flags & SasOpen) && !state.session.sas.readOnly;
}
bool MeasuringGate(const CommandState& state, CommandId command) {
  return SnapGate(state, command) && state.Has(WavOpen | SasOpen | WavSasMatch);
}

constexpr CommandEntry Entries[] = {
    {.id = CommandId::SnapToScale,
     .label = "Snap to &Scale...",
     .handler = [](App& app, int view,
                   CommandId) { SnapToScale(app.screen, app.commands, app.dialogs, app.ports, view); },
     .gate = SnapGate},
    {.id = CommandId::Reanalyse,
     .label = "Re-analyse Ra&nge...",
     .handler = [](App& app, int view,
                   CommandId) { ReanalyseRange(app.screen, app.commands, app.ports, view); },
     .gate = MeasuringGate},
    {.id = CommandId::RepairOctaveJumps,
     .label = "Repair &Octave Jumps",
     .handler = [](App& app, int, CommandId) { RepairOctaveJumps(app.screen, app.commands, app.ports); },
     .gate = MeasuringGate},
};

}  // namespace

std::span<const CommandEntry> InTuneCommandEntries() { return Entries; }

}  // namespace vocara
