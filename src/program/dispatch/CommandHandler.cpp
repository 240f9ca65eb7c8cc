#include "program/dispatch/CommandHandler.h"

#include <algorithm>
#include <cstdint>
#include <string>

#include "base/BuildInfo.h"
#include "engine/sas/SasBuild.h"
#include "platform/Keys.h"
#include "program/audio/AudioSettingsDialog.h"
#include "program/audio/Playback.h"
#include "program/commands/BuildCommands.h"
#include "program/commands/CorrectCommands.h"
#include "program/commands/InTuneCommands.h"
#include "program/commands/NoiseCommands.h"
#include "program/commands/NoteRangeCommands.h"
#include "program/commands/PulseShapeCommands.h"
#include "program/commands/SasCommands.h"
#include "program/commands/SasRangeCommands.h"
#include "program/commands/SasUndo.h"
#include "program/commands/SettingsDialog.h"
#include "program/commands/SpectrumCommands.h"
#include "program/commands/SynthesisDialog.h"
#include "program/commands/WavCommands.h"
#include "program/dispatch/WindowProcedure.h"
#include "program/shell/App.h"
#include "program/shell/AppFlags.h"
#include "program/shell/CommandId.h"
#include "program/shell/CommandTable.h"
#include "program/shell/WavRange.h"
#include "program/views/CorrectionMarks.h"
#include "program/views/Render.h"
#include "program/views/SasView.h"
#include "program/views/SpectrumViews.h"
#include "program/views/WavView.h"

namespace vocara {
namespace {

using platform::ControlKind;

// The About box: icon, program name, version and date; any click, Enter or Esc closes it.
class AboutProcedure final : public platform::DialogProcedure {
 public:
  void OnInit(platform::DialogHandle&) override {}
  void OnCommand(platform::DialogHandle& dialog, int id) override {
    if (id == platform::DialogOk || id == platform::DialogCancel) dialog.End(1);
  }
  void OnLeftButtonDown(platform::DialogHandle& dialog) override { dialog.End(1); }
};

platform::DialogTemplate AboutTemplate() {
  platform::DialogTemplate dialog;
  dialog.title = "About Vocara";
  dialog.width = 180;
  dialog.height = 62;
  dialog.controls = {
      {-1, ControlKind::Icon, "", 8, 8, 21, 20},
      {-1, ControlKind::CentredLabel,
       "Vocara\nPitch correction for solo voice and instruments\nVersion " + std::string(ProgramVersion()) +
           ", " + std::string(ReleaseDate()),
       34, 10, 140, 44},
  };
  return dialog;
}

// Without a viewer the user would see nothing at all; the message names the guide so it can
// be opened by hand.
void OpenUserGuide(App& app) {
  platform::DesktopPort& desktop = app.ports.desktop;
  if (desktop.OpenWithViewer(app.files.helpFile)) return;
  desktop.ShowMessage("No viewer could open the user guide:\n" + app.files.helpFile,
                      platform::MessageIcon::Error, platform::MessageButtons::Ok,
                      platform::MessageAnswer::Ok);
}

void CloseWav(App& app, bool fullReset) { WavClose(app, fullReset); }

}  // namespace

std::intptr_t HandleCommand(App& app, int view, int command) {
  // Undo and redo lie outside the command table, behind their own gate.
  if (command == UndoCommand) {
    SasUndoCommand(app);
    return 0;
  }
  if (command == RedoCommand) {
    SasRedoCommand(app);
    return 0;
  }
  if (IsInTuneCommand(command)) {
    InTuneCommand(app, view, command);
    return 0;
  }
  if (command == DetectNoteRangeCommand) {
    DetectNoteRangeFromRecording(app);
    return 0;
  }
  if (command == ShowNotesCommand) {
    ToggleShowNotes(app);
    return 0;
  }
  const CommandRecord* record = FindCommand(app.commands, command);
  if (record == nullptr || !record->enabled) return 0;
  platform::WindowPort& windows = app.ports.windows;
  switch (static_cast<CommandId>(command)) {
    case CommandId::OpenWav:  // WAV File / Open: the current file is closed even when the dialog is then
                              // cancelled
      CloseWav(app, false);
      windows.Invalidate(WavView, nullptr);
      WavOpenCommand(app, nullptr);
      break;
    case CommandId::Generate:  // WAV File / Generate: the modeless Wave Synthesis dialog, or it to the top
      OpenSynthesisDialog(app, view);
      break;
    case CommandId::CloseWav:  // WAV File / Close
      CloseWav(app, true);
      windows.Invalidate(WavView, nullptr);
      UpdateCommandStates(app);
      break;
    case CommandId::RemoveNoise:  // WAV File / Remove Noise: a denoised copy of the whole recording, in busy
                                  // mode
      RemoveNoiseCommand(app);
      break;
    case CommandId::Correct:  // WAV File / Correct: the whole recording into a file the user names
      CorrectCommand(app);
      break;
    case CommandId::SyncToSas:  // WAV File / Sync to SAS: the spectrum windows follow the moved WAV cursor
      SyncWavToSas(app);
      FollowCursor(app);
      break;
    case CommandId::Exit: {  // Exit: a close request to the commanding window
      platform::Message close;
      close.kind = platform::MessageKind::Close;
      WindowProcedure(app, view, close);
      break;
    }
    case CommandId::SetRangeLeft: {  // WAV Range / Set Left: the right end moves one column on even when it
                                     // lay beyond
      WavDocument& wav = app.wav;
      const std::uint64_t right =
          std::uint64_t{std::max(wav.rangeRight, wav.cursor)} + app.wavView.samplesPerPixel;
      wav.rangeLeft = wav.cursor;
      wav.rangeRight = static_cast<std::uint32_t>(std::min<std::uint64_t>(right, wav.sampleCount));
      WavRangeChanged(app);
      windows.Invalidate(WavView, nullptr);
      break;
    }
    case CommandId::SetRangeRight: {  // WAV Range / Set Right: one column from the cursor; left follows a
                                      // cursor before it
      WavDocument& wav = app.wav;
      if (wav.cursor < wav.rangeLeft) wav.rangeLeft = wav.cursor;
      const std::uint64_t right = std::uint64_t{wav.cursor} + app.wavView.samplesPerPixel;
      wav.rangeRight = static_cast<std::uint32_t>(std::min<std::uint64_t>(right, wav.sampleCount));
      WavRangeChanged(app);
      windows.Invalidate(WavView, nullptr);
      break;
    }
    case CommandId::SaveRange:
      SaveRangeAsWav(app);
      break;
    case CommandId::ExportRangeAsText:
      ExportRangeAsText(app);
      break;
    case CommandId::Record:  // WAV File / Record
      RecordCommand(app);
      break;
    case CommandId::Play:  // WAV File / Play: from the cursor to the end
      PlayFile(app, app.wav.path, app.wav.cursor, app.wav.sampleCount);
      break;
    case CommandId::Stop:  // Stop
      StopCommand(app);
      break;
    case CommandId::NoiseSample:     // WAV Range / Noise=
    case CommandId::AddNoiseSample:  // WAV Range / Noise+
      CaptureNoiseCommand(app, command == Id(CommandId::NoiseSample));
      break;
    case CommandId::PlayRange:  // WAV Range / Play
      PlayFile(app, app.wav.path, app.wav.rangeLeft, app.wav.rangeRight);
      break;
    case CommandId::PlayCorrected:  // WAV Range / Play Corrected: render the range unless the temporary file
                                    // is current
      PlayCorrectedCommand(app);
      break;
    case CommandId::AddPulseShape:  // Pulse Shape / Shape+
      AddPulseCommand(app);
      break;
    case CommandId::ExportPulseShape:  // Pulse Shape / Export Shape
      ExportPulseShapeCommand(app);
      break;
    case CommandId::BuildSas:  // SAS File / Build: a new SAS file from the open recording, in busy mode
      SasBuildCommand(app);
      break;
    case CommandId::OpenSas:  // SAS File / Open
      SasOpenCommand(app, nullptr);
      break;
    case CommandId::CloseSas:  // SAS File / Close
      SasClose(app);
      windows.Show(SasView, platform::ShowCommand::Hide);
      UpdateCommandStates(app);
      break;
    case CommandId::SaveSasAs:  // SAS File / Save As
      SasSaveAs(app);
      break;
    case CommandId::Silence:      // SAS File / Silence
    case CommandId::GlobalClear:  // SAS File / Global Clear
    case CommandId::SasRangeFind:
    case CommandId::SasRangeSetLeft:
    case CommandId::SasRangeSetRight:
    case CommandId::SasRangeSelectAll:
    case CommandId::TimeCorrectDisable:
    case CommandId::TimeCorrectEnable:
    case CommandId::GlobalEdit:  // the S&AS Range menu
      SasRangeCommand(app, view, command);
      break;
    case CommandId::SetRulerOrigin:  // SAS File / Set Ruler Origin
      SetRulerOrigin(app);
      break;
    case CommandId::SyncToWav:  // SAS File / Sync to WAV
      SyncSasToWav(app);
      break;
    case CommandId::NormalMode:
    case CommandId::SetTimeLinkMode:
    case CommandId::DeleteTimeLinkMode:
    case CommandId::InRangeMode:
    case CommandId::FreehandMode:
    case CommandId::EraseMode:  // Edit modes; each has its cursor in the cursor table
      app.editMode = command - Id(CommandId::NormalMode);
      windows.SetCursor(static_cast<platform::CursorShape>(app.editMode));
      break;
    case CommandId::TimeScaleOnePerFrame:
    case CommandId::TimeScaleFitAll:
    case CommandId::TimeScaleFitSelection:
    case CommandId::TimeSqueeze:
    case CommandId::TimeStretch:
    case CommandId::TimeScaleOfSas:
    case CommandId::ValueScaleLargest:
    case CommandId::ValueFit:
    case CommandId::ValueSqueeze:
    case CommandId::ValueStretch:
    case CommandId::ShowAll:  // time and value scales of the WAV window
      WavViewScaleCommand(app, command);
      break;
    case CommandId::PitchStretch:
    case CommandId::PitchSqueeze:  // Pitch Stretch, Pitch Sqeeze
      SasViewPitchScaleCommand(app, command);
      break;
    case CommandId::GeneralSettings:  // View / General Settings: modal, owned by the commanding window
      RunSettingsDialog(app, view);
      break;
    case CommandId::AudioDeviceSettings:  // View / Audio Device Settings: modal, owned by the commanding
                                          // window
      RunAudioSettingsDialog(app, view);
      break;
    case CommandId::ShowSas:  // View / SAS
      windows.Show(SasView, platform::ShowCommand::Restore);
      windows.BringToTop(SasView);
      break;
    case CommandId::FftSize1k:
    case CommandId::FftSize2k:
    case CommandId::FftSize4k:
    case CommandId::FftSize8k:
    case CommandId::FftSize16k:
    case CommandId::FftSize32k:
    case CommandId::FftSize64k:
    case CommandId::FftSize128k:
    case CommandId::FftSize256k:
    case CommandId::FftSize512k:
    case CommandId::FftSize1M:  // FFT sizes
    case CommandId::FftWindow1:
    case CommandId::FftWindow2:
    case CommandId::FftWindow3:
    case CommandId::FftWindow4:
    case CommandId::FftWindow5:
    case CommandId::FftWindow6:
    case CommandId::FftWindow7:
    case CommandId::FftWindow8:  // window functions
    case CommandId::FrequencyZoomIn:
    case CommandId::FrequencyZoomOut:
    case CommandId::FrequencyScaleOne:  // frequency scale
    case CommandId::ShowFft:            // View / FFT
      RefreshSpectrumView(app, command);
      break;
    case CommandId::ShowMft:  // View / MFT
      ShowNoteSpectrumView(app);
      break;
    case CommandId::FindAndSavePeaks:  // Find and save peaks
      SavePeaks(app);
      break;
    case CommandId::MarkPeak:  // T: mark the peak under the cursor
      MarkPeakCommand(app);
      break;
    case CommandId::UnmarkPeak:  // U: clear the marked peaks
      ClearMarkedPeaks(app);
      break;
    case CommandId::HelpTopics:  // Help Topics: whatever viewer the desktop associates with the guide
      OpenUserGuide(app);
      break;
    case CommandId::About: {  // About
      AboutProcedure procedure;
      app.ports.dialogs.RunModal(view, AboutTemplate(), procedure);
      break;
    }
    default:
      break;
  }
  return 0;
}

void HandleKey(App& app, int view, int key) {
  namespace k = platform::key;
  // Commands per key and window (WAV, SAS, FFT, MFT); 0 where the key means nothing there.
  struct KeyCommands {
    int key;
    int commands[ViewCount];
  };
  static constexpr KeyCommands Table[] = {
      {k::Return, {107, 107, 107, 107}},
      {k::PageUp, {145, 0, 177, 0}},
      {k::PageDown, {144, 0, 178, 0}},
      {k::Up, {150, 151, 0, 0}},
      {k::Down, {149, 152, 0, 0}},
      {'F', {181, 134, 0, 0}},
      {'L', {110, 135, 0, 0}},
      {'R', {111, 136, 0, 0}},
      {'T', {0, 0, 183, 0}},
      {'U', {0, 0, 184, 0}},
  };
  if (key == k::Escape) {
    app.flags |= AbortRequested;
    return;
  }
  if (key == k::Control) {
    app.ports.windows.SetCursor(platform::CursorShape::Arrow);
    return;
  }
  if (key == k::Space) {
    FollowPlayback(app);
    return;
  }
  if (key == k::Left || key == k::Right) {
    CursorStep(app, view, key == k::Left ? -1 : 1);
    if (view == WavView) FollowCursor(app);
    return;
  }
  if (key == 'C') {
    CopyStatusValue(app);
    return;
  }
  if ((key == 'L' || key == 'R') && view == FftView) {
    FftRangeKey(app, key == 'R');
    return;
  }
  if ((key == 'L' || key == 'R') && view == MftView) {
    MftNoteKey(app, key == 'R');
    return;
  }
  if (view == FftView && (key == k::Up || key == k::Down)) {
    // A vertical scroll of the FFT window itself, refused like any scroll while busy.
    platform::Message scroll;
    scroll.kind = platform::MessageKind::VScroll;
    scroll.bar = platform::ScrollBar::Vertical;
    scroll.scrollCode = key == k::Up ? platform::ScrollCode::LineUp : platform::ScrollCode::LineDown;
    WindowProcedure(app, FftView, scroll);
    return;
  }
  for (const KeyCommands& entry : Table) {
    if (entry.key == key) {
      const int command = entry.commands[view];
      if (command != 0) SendCommand(app, view, command);
      return;
    }
  }
}

}  // namespace vocara
