#include "program/commands/SasRangeCommands.h"

#include <algorithm>
#include <cstdint>

#include "base/NumberText.h"
#include "engine/sas/SasDocument.h"
#include "program/commands/SasCommands.h"
#include "program/commands/SasFileOperation.h"
#include "program/shell/App.h"
#include "program/shell/AppFlags.h"
#include "program/shell/CommandId.h"
#include "program/shell/CommandTable.h"
#include "program/shell/DialogFields.h"
#include "program/shell/SasPage.h"
#include "program/views/Render.h"
#include "program/views/SasView.h"

namespace vocara {

namespace {

using platform::ControlKind;

// Dialog ids: the five fields and their check boxes, and the Default button.
enum : int { FieldScale = 101, FieldTranspose, FieldDisable, FieldEnable, FieldSilence };
enum : int { BoxScale = 106, BoxTranspose, BoxDisable, BoxEnable, BoxSilence, BoxRemoveLinks };
constexpr int ButtonDefault = 3;

void ShowParams(platform::DialogHandle& dialog, const SasRangeParams& params) {
  WriteNumberField(dialog, FieldScale, params.scaleAmplitude, 2);
  WriteNumberField(dialog, FieldTranspose, params.transpose, 0);
  WriteNumberField(dialog, FieldDisable, params.disableAbove, 2);
  WriteNumberField(dialog, FieldEnable, params.enableBelow, 2);
  WriteNumberField(dialog, FieldSilence, params.silenceBelow, 2);
  for (int box = BoxScale; box <= BoxRemoveLinks; ++box) dialog.SetChecked(box, false);
}

class SasRangeProcedure final : public platform::DialogProcedure {
 public:
  explicit SasRangeProcedure(SasRangeParams& params) : params_(params) {}
  unsigned ops = 0;

  void OnInit(platform::DialogHandle& dialog) override { ShowParams(dialog, params_); }
  void OnCommand(platform::DialogHandle& dialog, int id) override {
    switch (id) {
      case platform::DialogOk: {
        SasRangeFields fields;
        fields.scaleAmplitude = ScanNumber(dialog.GetText(FieldScale));
        fields.transpose = ScanNumber(dialog.GetText(FieldTranspose));
        fields.disableAbove = ScanNumber(dialog.GetText(FieldDisable));
        fields.enableBelow = ScanNumber(dialog.GetText(FieldEnable));
        fields.silenceBelow = ScanNumber(dialog.GetText(FieldSilence));
        params_ = ClampSasRangeParams(fields);
        static constexpr unsigned BoxOps[] = {
            SasRangeOps::ScaleAmplitude,       SasRangeOps::Transpose, SasRangeOps::DisableTimeCorrection,
            SasRangeOps::EnableTimeCorrection, SasRangeOps::Silence,   SasRangeOps::RemoveLinks};
        ops = 0;
        for (int box = BoxScale; box <= BoxRemoveLinks; ++box)
          if (dialog.IsChecked(box)) ops |= BoxOps[box - BoxScale];
        dialog.End(platform::DialogOk);
        break;
      }
      case platform::DialogCancel:
        ops = 0;
        dialog.End(platform::DialogCancel);
        break;
      case ButtonDefault:
        params_ = SasRangeParams{};
        ShowParams(dialog, params_);
        break;
      default:
        break;
    }
  }

 private:
  SasRangeParams& params_;
};

std::uint32_t ShownFrames(const App& app) { return app.sas.shownFrameCount; }

void RangeChanged(App& app) {
  SasRange& range = app.sas.range;
  const auto shown = static_cast<std::int32_t>(std::min<std::uint32_t>(ShownFrames(app), INT32_MAX));
  range.right = std::clamp(range.right, 0, shown);
  range.left = std::clamp(range.left, 0, range.right);
  if (range.right > range.left) {
    app.flags |= SasRangeSelected;
  } else {
    app.flags &= ~static_cast<std::uint32_t>(SasRangeSelected);
  }
  UpdateCommandStates(app);
  app.ports.windows.Invalidate(SasView, nullptr);
}

void ApplyRange(App& app, std::uint32_t first, std::uint32_t end, unsigned ops, bool writeBackFirst) {
  RunFileOperation(app, writeBackFirst, [&](const FrameChangeSink& sink) {
    return DoneOrFailed(SasApplyRange(app.sas, first, end, ops, app.sasRangeParams, sink));
  });
}

}  // namespace

platform::DialogTemplate SasRangeDialogTemplate() {
  platform::DialogTemplate dialog;
  dialog.title = "Change SAS range";
  dialog.width = 200;
  dialog.height = 134;
  const char* const boxes[] = {
      " Scale Amplitude [%]",          " Transpose Pitch [cents]", " Disable Time Correction above",
      " Enable Time Correction below", " Silence below",           " Remove Time Links"};
  for (int i = 0; i < 6; ++i) {
    const int y = 8 + 16 * i;
    dialog.controls.push_back({BoxScale + i, ControlKind::CheckBox, boxes[i], 8, y, 130, 12});
    if (i < 5) dialog.controls.push_back({FieldScale + i, ControlKind::Edit, "", 144, y - 1, 48, 13});
  }
  dialog.controls.push_back({platform::DialogOk, ControlKind::DefaultButton, "OK", 8, 112, 56, 14});
  dialog.controls.push_back({platform::DialogCancel, ControlKind::Button, "Cancel", 72, 112, 56, 14});
  dialog.controls.push_back({ButtonDefault, ControlKind::Button, "Default", 136, 112, 56, 14});
  return dialog;
}

unsigned RunSasRangeDialog(App& app, int ownerView, SasRangeParams& params) {
  SasRangeProcedure procedure(params);
  app.ports.dialogs.RunModal(ownerView, SasRangeDialogTemplate(), procedure);
  return procedure.ops;
}

void SasRangeCommand(App& app, int view, int command) {
  SasDocument& sas = app.sas;
  SasRange& range = sas.range;
  const int cursor = app.geometry[SasView].drawnCursorX;
  switch (static_cast<CommandId>(command)) {
    case CommandId::SasRangeFind:  // Find: the sounding note around the SAS cursor
      range = SasFindRange(sas, app.geometry[SasView].cursorX, app.settings.selectThreshold);
      RangeChanged(app);
      break;
    case CommandId::SasRangeSetLeft:  // Set Left
      range.left = sas.firstFrame + cursor;
      if (range.right < range.left) range.right = range.left;
      RangeChanged(app);
      break;
    case CommandId::SasRangeSetRight:  // Set Right
      range.right = sas.firstFrame + cursor;
      if (range.right < range.left) range.left = range.right;
      RangeChanged(app);
      break;
    case CommandId::SasRangeSelectAll:  // Select All
      range.left = 0;
      range.right = static_cast<std::int32_t>(std::min<std::uint32_t>(ShownFrames(app), INT32_MAX));
      RangeChanged(app);
      break;
    case CommandId::TimeCorrectDisable:
    case CommandId::TimeCorrectEnable: {  // Time Correct Disable / Enable: every frame of the range, through
                                          // the file
      const auto first = static_cast<std::uint32_t>(std::max(range.left, 0));
      const auto end = static_cast<std::uint32_t>(std::max(range.right, 0));
      RunFileOperation(app, true, [&](const FrameChangeSink& sink) {
        return DoneOrFailed(
            SasSetTimeCorrection(sas, first, end, command == Id(CommandId::TimeCorrectDisable), sink));
      });
      break;
    }
    case CommandId::GlobalEdit: {  // Global Edit
      if (!SasEditAllowed(app)) break;
      const unsigned ops = RunSasRangeDialog(app, view, app.sasRangeParams);
      if (ops == 0) break;
      ApplyRange(app, static_cast<std::uint32_t>(std::max(range.left, 0)),
                 static_cast<std::uint32_t>(std::max(range.right, 0)), ops, true);
      break;
    }
    case CommandId::Silence:  // Silence: the whole file below the live silence threshold
      if (!SasEditAllowed(app)) break;
      app.sasRangeParams.silenceBelow = app.settings.silenceThreshold;
      ApplyRange(app, 0, ShownFrames(app), SasRangeOps::Silence, true);
      break;
    case CommandId::GlobalClear:  // Global Clear: the analysed values back; unwritten page edits are dropped
      if (!SasEditAllowed(app)) break;
      app.sasRangeParams = SasRangeParams{};
      ApplyRange(app, 0, ShownFrames(app),
                 SasRangeOps::ScaleAmplitude | SasRangeOps::Transpose | SasRangeOps::EnableTimeCorrection |
                     SasRangeOps::RemoveLinks,
                 false);
      break;
    default:
      break;
  }
}

namespace {

void RangeCommand(App& app, int view, CommandId command) { SasRangeCommand(app, view, Id(command)); }

// SAS File / Silence and Global Clear, and the S&AS Range menu.
constexpr CommandEntry Entries[] = {
    {CommandId::Silence, RangeCommand, SasOpen, true},
    {CommandId::GlobalClear, RangeCommand, SasOpen, true},
    {CommandId::SasRangeFind, RangeCommand, SasOpen, true},
    {CommandId::SasRangeSetLeft, RangeCommand, SasOpen, true},
    {CommandId::SasRangeSetRight, RangeCommand, SasOpen, true},
    {CommandId::SasRangeSelectAll, RangeCommand, SasOpen, true},
    {CommandId::TimeCorrectDisable, RangeCommand, SasOpen, true},
    {CommandId::TimeCorrectEnable, RangeCommand, SasOpen, true},
    {CommandId::GlobalEdit, RangeCommand, SasOpen, true},
};

}  // namespace

std::span<const CommandEntry> SasRangeCommandEntries() { return Entries; }

}  // namespace vocara
