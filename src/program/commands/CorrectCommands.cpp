#include "program/commands/CorrectCommands.h"

#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <tuple>

#include "base/FileHandle.h"
#include "base/MessageId.h"
#include "base/Preferences.h"
#include "engine/processing/Correct.h"
#include "platform/DialogPort.h"
#include "program/audio/Playback.h"
#include "program/commands/InTuneCommands.h"
#include "program/commands/NoteCommands.h"
#include "program/commands/ProgressPacer.h"
#include "program/shell/App.h"
#include "program/shell/AppFlags.h"
#include "program/shell/CommandTable.h"
#include "program/shell/DialogFields.h"
#include "program/shell/FileChoice.h"
#include "program/shell/MessageBoxes.h"
#include "program/shell/SasSession.h"
#include "program/views/Render.h"
#include "program/views/WavView.h"

namespace vocara {
namespace {

platform::FileDialogRequest SaveCorrectedRequest() {
  return SaveRequest("Save corrected WAV file", {WavFileFilter, AllFilesFilter}, "WAV", false);
}

// Pending SAS edits go to the file first: the render reads the frames from the file.
void WriteBackSas(SasSession& session) { SasWriteBack(session); }

void PlayCorrectedFile(Commands& commands, WarningSwitch& warnings, OpenDocuments& docs, Devices& devices,
                       platform::Platform& ports) {
  PlayFile(commands, warnings, devices, ports, docs.correctedPath, 0, 0, docs.correctedStart);
}

// WAV Range / Play Corrected plays the WAV range, or in Note mode the chosen notes' span.
bool PlayCorrectedUsable(const CommandState& state, CommandId) {
  return !state.Has(Busy) && state.Has(WavOpen | SasOpen | WavSasMatch | PlayAvailable) &&
         (state.Has(WavRangeSelected) || NotesChosenToPlay(state.windows, state.session));
}

// F8 pressed when there is nothing to play corrected.
std::string PlayCorrectedRefusal(const CommandState& state, CommandId command) {
  if (!state.Has(PlayAvailable)) return PlayRefusal(state, command);
  if (!state.Has(WavOpen | SasOpen | WavSasMatch)) return "Play Corrected needs a WAV and its SAS open";
  return "No WAV range or notes chosen to play corrected";
}

}  // namespace

void CorrectRange(Screen& screen, Configuration& config, DialogMemory& dialogs, std::uint32_t& flags,
                  platform::Platform& ports, std::uint32_t start, std::uint32_t end) {
  const bool play = (flags & CorrectForPlayback) != 0;
  std::string output;
  if (play) {
    const std::optional<std::string> temporary = TemporaryRenderPath(screen.docs, CorrectedTempName);
    if (!temporary) {
      flags &= ~static_cast<std::uint32_t>(CorrectForPlayback);
      ShowErrorMessage(ports.desktop, MessageId::InvalidFileHandle);
      return;
    }
    output = *temporary;
  } else {
    dialogs.fileDialogName.clear();
    const std::optional<std::string> name = ports.desktop.GetSaveFileName(SaveCorrectedRequest());
    if (!name) return;
    dialogs.fileDialogName = *name;
    if (SameFile(*name, screen.docs.wav.path)) {
      ShowErrorMessage(ports.desktop, MessageId::OpenedFileCanNotBeOverwritten);
      return;
    }
    output = *name;
    WavViewFitWholeFile(screen.windows, screen.docs, ports);
  }

  CorrectRequest request;
  request.start = start;
  request.end = end;
  request.timeCorrection = config.settings.timeCorrection != 0;
  request.mode = play ? CorrectMode::Play : CorrectMode::Save;
  request.keepWhenCancelled = play;
  request.formants = config.preferences.keepFormants ? Formants::Keep : Formants::Shift;
  request.formantShift = config.preferences.formantShift;
  if (config.preferences.formantShift != 0) request.formants = Formants::Keep;
  flags &= ~static_cast<std::uint32_t>(AbortRequested);
  CorrectResult result;
  {
    ProgressPacer pacer(screen, ports.pump, !play);
    result = Correct(screen.docs.wav, screen.session.sas, request, output, pacer.Callback());
  }

  // A render that stops early or fails must not leave the next Correct in play mode.
  flags &= ~static_cast<std::uint32_t>(CorrectForPlayback);
  ShowErrorMessage(ports.desktop, result.message);
  if (play && result.message == MessageId::None) {
    screen.docs.correctedPath = output;
    screen.docs.correctedStart = start;
    screen.docs.correctedEnd = end;
  }
  if (play && result.result == LongOperationResult::Done) flags |= CorrectedTempCurrent;
  // The saved file is measured at once; Play Corrected measures its file once it plays.
  if (!play && result.result == LongOperationResult::Done && result.message == MessageId::None)
    MeasureCorrection(screen, config, ports, output, start, end);
}

void CorrectCommand(Screen& screen, Commands& commands, Configuration& config, DialogMemory& dialogs,
                    platform::Platform& ports) {
  SetBusy(commands, true);
  if (commands.flags & SasPageDirty) WriteBackSas(screen.session);
  CorrectRange(screen, config, dialogs, commands.flags, ports, 0, screen.docs.wav.sampleCount);
  SetBusy(commands, false);
}

void PlayCorrectedCommand(App& app) {
  if (app.flags & SasPageDirty) {
    WriteBackSas(app.session);
    app.flags &= ~static_cast<std::uint32_t>(CorrectedTempCurrent);
  }
  // In Note mode with notes chosen, their span; otherwise the WAV range.
  std::uint32_t start = app.docs.wav.rangeLeft;
  std::uint32_t end = app.docs.wav.rangeRight;
  if (NotesChosenToPlay(app.windows, app.session))
    std::tie(start, end) = ChosenNotesSamples(app.session, app.docs.wav.sampleCount);
  if (start >= end) return;
  if ((app.flags & CorrectedTempCurrent) && app.docs.correctedStart == start &&
      app.docs.correctedEnd == end) {
    PlayCorrectedFile(app.commands, app.warnings, app.docs, app.devices, app.ports);
    return;
  }
  SetBusy(app.commands, true);
  app.flags |= CorrectForPlayback;
  CorrectRange(app.screen, app.config, app.dialogs, app.flags, app.ports, start, end);
  if (app.flags & CorrectedTempCurrent) {
    // The sound starts first; its buffers come back through the messages the measurement pumps.
    PlayCorrectedFile(app.commands, app.warnings, app.docs, app.devices, app.ports);
    MeasureCorrection(app.screen, app.config, app.ports, app.docs.correctedPath, start, end);
  }
  SetBusy(app.commands, false);
}

void ToggleKeepFormants(Configuration& config, std::uint32_t& flags, platform::Platform& ports) {
  config.preferences.keepFormants = !config.preferences.keepFormants;
  ports.windows.SetMenuItemChecked(Id(CommandId::KeepFormants), config.preferences.keepFormants);
  flags &= ~static_cast<std::uint32_t>(CorrectedTempCurrent);
  SavePreferences(config.preferencesFile, config.preferences);
}

namespace {

enum : int { FieldFormantShift = 101 };

// The one field of Formant Shift...: whole cents, limited to what the render takes.
class FormantShiftProcedure final : public platform::DialogProcedure {
 public:
  explicit FormantShiftProcedure(int& cents) : cents_(cents) {}
  bool accepted = false;

  void OnInit(platform::DialogHandle& dialog) override {
    WriteNumberField(dialog, FieldFormantShift, cents_, 0);
  }
  void OnCommand(platform::DialogHandle& dialog, int id) override {
    if (id == platform::DialogOk) {
      cents_ = static_cast<int>(std::lround(
          ReadNumberField(dialog, FieldFormantShift, -MaxPreferredFormantShift, MaxPreferredFormantShift)));
      accepted = true;
      dialog.End(platform::DialogOk);
    } else if (id == platform::DialogCancel) {
      dialog.End(platform::DialogCancel);
    }
  }

 private:
  int& cents_;
};

platform::DialogTemplate FormantShiftDialogTemplate() {
  using platform::ControlKind;
  platform::DialogTemplate dialog;
  dialog.title = "Formant Shift";
  dialog.width = 200;
  dialog.height = 66;
  dialog.controls.push_back({-1, ControlKind::Label, "Formant shift (cents)", 8, 10, 120, 8});
  dialog.controls.push_back({FieldFormantShift, ControlKind::Edit, "", 144, 8, 48, 12});
  dialog.controls.push_back({-1, ControlKind::Label, "-1200 .. 1200; not 0: formants kept", 8, 26, 184, 8});
  dialog.controls.push_back({platform::DialogOk, ControlKind::DefaultButton, "OK", 40, 44, 56, 14});
  dialog.controls.push_back({platform::DialogCancel, ControlKind::Button, "Cancel", 104, 44, 56, 14});
  return dialog;
}

// WAV File / Formant Shift...: a preference, as Keep Formants is; a shift other than 0 renders
// with the formants kept, the envelope moved by the shift.
void SetFormantShift(Configuration& config, std::uint32_t& flags, platform::Platform& ports, int view) {
  int cents = config.preferences.formantShift;
  FormantShiftProcedure procedure(cents);
  ports.dialogs.RunModal(view, FormantShiftDialogTemplate(), procedure);
  if (!procedure.accepted || cents == config.preferences.formantShift) return;
  config.preferences.formantShift = cents;
  flags &= ~static_cast<std::uint32_t>(CorrectedTempCurrent);
  SavePreferences(config.preferencesFile, config.preferences);
}

constexpr CommandEntry Entries[] = {
    // WAV File / Correct: the whole recording into a file the user names.
    {.id = CommandId::Correct,
     .label = "&Correct",
     .handler =
         [](App& app, int, CommandId) {
           CorrectCommand(app.screen, app.commands, app.config, app.dialogs, app.ports);
         },
     .required = WavOpen | SasOpen | WavSasMatch},
    // WAV Range / Play Corrected: the range rendered unless the temporary file is current.
    {.id = CommandId::PlayCorrected,
     .label = "Play &Corrected",
     .key = Accelerator(platform::key::F1 + 7),
     .handler = [](App& app, int, CommandId) { PlayCorrectedCommand(app); },
     .gate = PlayCorrectedUsable,
     .refusal = PlayCorrectedRefusal},
    // WAV File / Keep Formants: a preference, so usable with nothing open.
    {.id = CommandId::KeepFormants,
     .label = "&Keep Formants",
     .handler = [](App& app, int, CommandId) { ToggleKeepFormants(app.config, app.flags, app.ports); },
     .required = Ready},
    {.id = CommandId::FormantShift,
     .label = "Formant S&hift...",
     .handler = [](App& app, int view,
                   CommandId) { SetFormantShift(app.config, app.flags, app.ports, view); },
     .required = Ready},
};

}  // namespace

std::span<const CommandEntry> CorrectCommandEntries() { return Entries; }

}  // namespace vocara
