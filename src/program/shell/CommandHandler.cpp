#include "program/shell/CommandHandler.h"

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
#include "program/commands/SynthesisDialog.h"
#include "program/commands/WavCommands.h"
#include "program/shell/App.h"
#include "program/shell/AppFlags.h"
#include "program/shell/CommandTable.h"
#include "program/shell/SettingsDialog.h"
#include "program/shell/WindowProcedure.h"
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

void CloseWav(App& app, bool fullReset) {
  if (app.openers.wavClose) app.openers.wavClose(app, fullReset);
}

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
  switch (command) {
    case 100:  // WAV File / Open: the current file is closed even when the dialog is then cancelled
      CloseWav(app, false);
      windows.Invalidate(WavView, nullptr);
      if (app.openers.wavOpenCommand) app.openers.wavOpenCommand(app, nullptr);
      break;
    case 102:  // WAV File / Generate: the modeless Wave Synthesis dialog, or it to the top
      OpenSynthesisDialog(app, view);
      break;
    case 103:  // WAV File / Close
      CloseWav(app, true);
      windows.Invalidate(WavView, nullptr);
      UpdateCommandStates(app);
      break;
    case 104:  // WAV File / Remove Noise: a denoised copy of the whole recording, in busy mode
      RemoveNoiseCommand(app);
      break;
    case 105:  // WAV File / Correct: the whole recording into a file the user names
      CorrectCommand(app);
      break;
    case 108:  // WAV File / Sync to SAS: the spectrum windows follow the moved WAV cursor
      SyncWavToSas(app);
      FollowCursor(app);
      break;
    case 109: {  // Exit: a close request to the commanding window
      platform::Message close;
      close.kind = platform::MessageKind::Close;
      WindowProcedure(app, view, close);
      break;
    }
    case 110: {  // WAV Range / Set Left: the right end moves one column on even when it lay beyond
      WavDocument& wav = app.wav;
      const std::uint64_t right =
          std::uint64_t{std::max(wav.rangeRight, wav.cursor)} + app.wavView.samplesPerPixel;
      wav.rangeLeft = wav.cursor;
      wav.rangeRight = static_cast<std::uint32_t>(std::min<std::uint64_t>(right, wav.sampleCount));
      WavRangeChanged(app);
      windows.Invalidate(WavView, nullptr);
      break;
    }
    case 111: {  // WAV Range / Set Right: one column from the cursor; left follows a cursor before it
      WavDocument& wav = app.wav;
      if (wav.cursor < wav.rangeLeft) wav.rangeLeft = wav.cursor;
      const std::uint64_t right = std::uint64_t{wav.cursor} + app.wavView.samplesPerPixel;
      wav.rangeRight = static_cast<std::uint32_t>(std::min<std::uint64_t>(right, wav.sampleCount));
      WavRangeChanged(app);
      windows.Invalidate(WavView, nullptr);
      break;
    }
    case 112:
      SaveRangeAsWav(app);
      break;
    case 113:
      ExportRangeAsText(app);
      break;
    case 101:  // WAV File / Record
      RecordCommand(app);
      break;
    case 106:  // WAV File / Play: from the cursor to the end
      PlayFile(app, app.wav.path, app.wav.cursor, app.wav.sampleCount);
      break;
    case 107:  // Stop
      StopCommand(app);
      break;
    case 114:  // WAV Range / Noise=
    case 115:  // WAV Range / Noise+
      CaptureNoiseCommand(app, command == 114);
      break;
    case 116:  // WAV Range / Play
      PlayFile(app, app.wav.path, app.wav.rangeLeft, app.wav.rangeRight);
      break;
    case 117:  // WAV Range / Play Corrected: render the range unless the temporary file is current
      PlayCorrectedCommand(app);
      break;
    case 118:  // Pulse Shape / Shape+
      AddPulseCommand(app);
      break;
    case 119:  // Pulse Shape / Export Shape
      ExportPulseShapeCommand(app);
      break;
    case 120:  // SAS File / Build: a new SAS file from the open recording, in busy mode
      SasBuildCommand(app);
      break;
    case 121:  // SAS File / Open
      if (app.openers.sasOpenCommand) app.openers.sasOpenCommand(app, nullptr);
      break;
    case 122:  // SAS File / Close
      SasClose(app);
      windows.Show(SasView, platform::ShowCommand::Hide);
      UpdateCommandStates(app);
      break;
    case 123:  // SAS File / Save As
      SasSaveAs(app);
      break;
    case 124:  // SAS File / Silence
    case 125:  // SAS File / Global Clear
    case 134:
    case 135:
    case 136:
    case 137:
    case 138:
    case 139:
    case 140:  // the S&AS Range menu
      SasRangeCommand(app, view, command);
      break;
    case 126:  // SAS File / Set Ruler Origin
      SetRulerOrigin(app);
      break;
    case 127:  // SAS File / Sync to WAV
      SyncSasToWav(app);
      break;
    case 128:
    case 129:
    case 130:
    case 131:
    case 132:
    case 133:  // Edit modes; each has its cursor in the cursor table
      app.editMode = command - 128;
      windows.SetCursor(static_cast<platform::CursorShape>(app.editMode));
      break;
    case 141:
    case 142:
    case 143:
    case 144:
    case 145:
    case 146:
    case 147:
    case 148:
    case 149:
    case 150:
    case 153:  // time and value scales of the WAV window
      WavViewScaleCommand(app, command);
      break;
    case 151:
    case 152:  // Pitch Stretch, Pitch Sqeeze
      SasViewPitchScaleCommand(app, command);
      break;
    case 154:  // View / General Settings: modal, owned by the commanding window
      RunSettingsDialog(app, view);
      break;
    case 155:  // View / Audio Device Settings: modal, owned by the commanding window
      RunAudioSettingsDialog(app, view);
      break;
    case 156:  // View / SAS
      windows.Show(SasView, platform::ShowCommand::Restore);
      windows.BringToTop(SasView);
      break;
    case 157:
    case 158:
    case 159:
    case 160:
    case 161:
    case 162:
    case 163:
    case 164:
    case 165:
    case 166:
    case 167:  // FFT sizes
    case 169:
    case 170:
    case 171:
    case 172:
    case 173:
    case 174:
    case 175:
    case 176:  // window functions
    case 177:
    case 178:
    case 179:  // frequency scale
    case 181:  // View / FFT
      RefreshSpectrumView(app, command);
      break;
    case 168:  // View / MFT
      ShowNoteSpectrumView(app);
      break;
    case 182:  // Find and save peaks
      SavePeaks(app);
      break;
    case 183:  // T: mark the peak under the cursor
      MarkPeakCommand(app);
      break;
    case 184:  // U: clear the marked peaks
      ClearMarkedPeaks(app);
      break;
    case 185:  // Help Topics: whatever viewer the desktop associates with the guide
      OpenUserGuide(app);
      break;
    case 186: {  // About
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
