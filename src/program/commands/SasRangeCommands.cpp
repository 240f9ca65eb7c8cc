#include "program/commands/SasRangeCommands.h"

#include <algorithm>
#include <cstdint>

#include "base/NumberText.h"
#include "engine/sas/SasDocument.h"
#include "program/commands/SasCommands.h"
#include "program/shell/App.h"
#include "program/shell/AppFlags.h"
#include "program/shell/CommandId.h"
#include "program/shell/CommandTable.h"
#include "program/shell/DialogFields.h"
#include "program/shell/SasSession.h"
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

std::uint32_t ShownFrames(const SasSession& session) { return session.sas.shownFrameCount; }

void RangeChanged(Commands& commands, SasSession& session, platform::Platform& ports) {
  SasRange& range = session.sas.range;
  const auto shown = static_cast<std::int32_t>(std::min<std::uint32_t>(ShownFrames(session), INT32_MAX));
  range.right = std::clamp(range.right, 0, shown);
  range.left = std::clamp(range.left, 0, range.right);
  if (range.right > range.left) {
    commands.flags |= SasRangeSelected;
  } else {
    commands.flags &= ~static_cast<std::uint32_t>(SasRangeSelected);
  }
  UpdateCommandStates(commands);
  ports.windows.Invalidate(SasView, nullptr);
}

void ApplyRange(WindowStates& windows, SasSession& session, DialogMemory& dialogs, std::uint32_t first,
                std::uint32_t end, unsigned ops, bool writeBackFirst) {
  RunFileOperation(windows, session, writeBackFirst, [&](SasDocument& sas, const FrameChangeSink& sink) {
    return DoneOrFailed(SasApplyRange(sas, first, end, ops, dialogs.sasRangeParams, sink));
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

unsigned RunSasRangeDialog(platform::Platform& ports, int ownerView, SasRangeParams& params) {
  SasRangeProcedure procedure(params);
  ports.dialogs.RunModal(ownerView, SasRangeDialogTemplate(), procedure);
  return procedure.ops;
}

namespace {

std::uint32_t RangeLeft(const SasSession& session) {
  return static_cast<std::uint32_t>(std::max(session.sas.range.left, 0));
}
std::uint32_t RangeRight(const SasSession& session) {
  return static_cast<std::uint32_t>(std::max(session.sas.range.right, 0));
}

// Find: the sounding note around the SAS cursor.
void FindRange(Commands& commands, SasSession& session, Configuration& config, platform::Platform& ports) {
  session.sas.range =
      SasFindRange(session.sas, commands.windows.geometry[SasView].cursorX, config.settings.selectThreshold);
  RangeChanged(commands, session, ports);
}

void SetLeft(Commands& commands, WindowStates& windows, SasSession& session, platform::Platform& ports) {
  SasRange& range = session.sas.range;
  range.left = session.sas.firstFrame + windows.geometry[SasView].drawnCursorX;
  if (range.right < range.left) range.right = range.left;
  RangeChanged(commands, session, ports);
}

void SetRight(Commands& commands, WindowStates& windows, SasSession& session, platform::Platform& ports) {
  SasRange& range = session.sas.range;
  range.right = session.sas.firstFrame + windows.geometry[SasView].drawnCursorX;
  if (range.right < range.left) range.left = range.right;
  RangeChanged(commands, session, ports);
}

void SelectAll(Commands& commands, SasSession& session, platform::Platform& ports) {
  session.sas.range.left = 0;
  session.sas.range.right =
      static_cast<std::int32_t>(std::min<std::uint32_t>(ShownFrames(session), INT32_MAX));
  RangeChanged(commands, session, ports);
}

// Time Correct Disable / Enable: every frame of the range, through the file.
void SetTimeCorrection(WindowStates& windows, SasSession& session, bool disable) {
  const std::uint32_t first = RangeLeft(session);
  const std::uint32_t end = RangeRight(session);
  RunFileOperation(windows, session, true, [&](SasDocument& sas, const FrameChangeSink& sink) {
    return DoneOrFailed(SasSetTimeCorrection(sas, first, end, disable, sink));
  });
}

void GlobalEdit(WindowStates& windows, SasSession& session, DialogMemory& dialogs, platform::Platform& ports,
                int view) {
  if (!SasEditAllowed(session)) return;
  const unsigned ops = RunSasRangeDialog(ports, view, dialogs.sasRangeParams);
  if (ops != 0) ApplyRange(windows, session, dialogs, RangeLeft(session), RangeRight(session), ops, true);
}

// Silence: the whole file below the live silence threshold.
void Silence(App& app, int, CommandId) {
  if (!SasEditAllowed(app.session)) return;
  app.dialogs.sasRangeParams.silenceBelow = app.config.settings.silenceThreshold;
  ApplyRange(app.windows, app.session, app.dialogs, 0, ShownFrames(app.session), SasRangeOps::Silence, true);
}

// Global Clear: the analysed values back; unwritten page edits are dropped.
void GlobalClear(WindowStates& windows, SasSession& session, DialogMemory& dialogs) {
  if (!SasEditAllowed(session)) return;
  dialogs.sasRangeParams = SasRangeParams{};
  ApplyRange(windows, session, dialogs, 0, ShownFrames(session),
             SasRangeOps::ScaleAmplitude | SasRangeOps::Transpose | SasRangeOps::EnableTimeCorrection |
                 SasRangeOps::RemoveLinks,
             false);
}

// SAS File / Silence and Global Clear, and the S&AS Range menu.
constexpr CommandEntry Entries[] = {
    {.id = CommandId::Silence, .label = "&Silence", .handler = Silence, .required = SasOpen},
    {.id = CommandId::GlobalClear,
     .label = "Global &Clear",
     .handler = [](App& app, int, CommandId) { GlobalClear(app.windows, app.session, app.dialogs); },
     .required = SasOpen},
    {.id = CommandId::SasRangeFind,
     .label = "&Find",
     .key = WindowKey('F', In(SasView)),
     .handler = [](App& app, int, CommandId) { FindRange(app.commands, app.session, app.config, app.ports); },
     .required = SasOpen},
    {.id = CommandId::SasRangeSetLeft,
     .label = "Set &Left",
     .key = WindowKey('L', In(SasView)),
     .handler = [](App& app, int, CommandId) { SetLeft(app.commands, app.windows, app.session, app.ports); },
     .required = SasOpen},
    {.id = CommandId::SasRangeSetRight,
     .label = "Set &Right",
     .key = WindowKey('R', In(SasView)),
     .handler = [](App& app, int, CommandId) { SetRight(app.commands, app.windows, app.session, app.ports); },
     .required = SasOpen},
    {.id = CommandId::SasRangeSelectAll,
     .label = "Select &All",
     .key = Unnamed(Accelerator('A')),
     .handler = [](App& app, int, CommandId) { SelectAll(app.commands, app.session, app.ports); },
     .required = SasOpen},
    {.id = CommandId::TimeCorrectDisable,
     .label = "Time Correct &Disable",
     .key = Accelerator('D'),
     .handler = [](App& app, int, CommandId) { SetTimeCorrection(app.windows, app.session, true); },
     .required = SasOpen},
    {.id = CommandId::TimeCorrectEnable,
     .label = "Time Correct &Enable",
     .key = Accelerator('E'),
     .handler = [](App& app, int, CommandId) { SetTimeCorrection(app.windows, app.session, false); },
     .required = SasOpen},
    {.id = CommandId::GlobalEdit,
     .label = "&Global Edit",
     .handler = [](App& app, int view,
                   CommandId) { GlobalEdit(app.windows, app.session, app.dialogs, app.ports, view); },
     .required = SasOpen},
};

}  // namespace

std::span<const CommandEntry> SasRangeCommandEntries() { return Entries; }

}  // namespace vocara
