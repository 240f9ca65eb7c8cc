#include "program/dispatch/CommandHandler.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>

#include "base/BuildInfo.h"
#include "engine/sas/SasBuild.h"
#include "platform/Keys.h"
#include "program/audio/AudioSettingsDialog.h"
#include "program/audio/Playback.h"
#include "program/commands/BuildCommands.h"
#include "program/commands/CorrectCommands.h"
#include "program/commands/GuideCommands.h"
#include "program/commands/InTuneCommands.h"
#include "program/commands/NoiseCommands.h"
#include "program/commands/NoteCommands.h"
#include "program/commands/NoteRangeCommands.h"
#include "program/commands/PulseShapeCommands.h"
#include "program/commands/SasCommands.h"
#include "program/commands/SasMouse.h"
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
#include "program/shell/Resources.h"
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
void OpenUserGuide(Configuration& config, platform::Platform& ports) {
  platform::DesktopPort& desktop = ports.desktop;
  if (desktop.OpenWithViewer(config.files.helpFile)) return;
  desktop.ShowMessage("No viewer could open the user guide:\n" + config.files.helpFile,
                      platform::MessageIcon::Error, platform::MessageButtons::Ok,
                      platform::MessageAnswer::Ok);
}

constexpr CommandEntry Entries[] = {
    // Exit: a close request to the commanding window.
    {.id = CommandId::Exit,
     .label = "E&xit",
     .handler =
         [](App& app, int view, CommandId) {
           platform::Message close;
           close.kind = platform::MessageKind::Close;
           WindowProcedure(app, view, close);
         },
     .required = Ready},
    // Help Topics: whatever viewer the desktop associates with the guide.
    {.id = CommandId::HelpTopics,
     .label = "Help Topics",
     .handler = [](App& app, int, CommandId) { OpenUserGuide(app.config, app.ports); },
     .required = Ready},
    {.id = CommandId::About,
     .label = "&About Vocara...",
     .handler =
         [](App& app, int view, CommandId) {
           AboutProcedure procedure;
           app.ports.dialogs.RunModal(view, AboutTemplate(), procedure);
         },
     .required = Ready},
};

}  // namespace

CommandTable MakeCommandTable() {
  CommandTable table = CommandTableOf({WavCommandEntries(),
                                       SynthesisCommandEntries(),
                                       NoiseCommandEntries(),
                                       CorrectCommandEntries(),
                                       PlaybackCommandEntries(),
                                       AudioSettingsCommandEntries(),
                                       PulseShapeCommandEntries(),
                                       BuildCommandEntries(),
                                       SasCommandEntries(),
                                       SasRangeCommandEntries(),
                                       SasUndoCommandEntries(),
                                       InTuneCommandEntries(),
                                       NoteRangeCommandEntries(),
                                       SasMouseCommandEntries(),
                                       SettingsCommandEntries(),
                                       SpectrumCommandEntries(),
                                       WavViewCommandEntries(),
                                       SasViewCommandEntries(),
                                       SpectrumViewCommandEntries(),
                                       CorrectionMarksCommandEntries(),
                                       NoteCommandEntries(),
                                       GuideCommandEntries(),
                                       Entries});
  PlaceCommands(table);
  return table;
}

std::intptr_t HandleCommand(App& app, int view, int command) {
  // A notice speaks of the last command only.
  ClearStatusNotices(app.screen);
  // A key still sends a command its greyed menu item would not: say why nothing happens.
  if (!RunCommand(app, view, command)) {
    if (std::string why = CommandRefusalText(app.commands, command); !why.empty())
      ShowStatusNotice(app.screen, view, std::move(why));
  }
  return 0;
}

void HandleKey(App& app, int view, int key) {
  namespace k = platform::key;
  if (key == k::Escape) {
    app.flags |= AbortRequested;
    return;
  }
  if (key == k::Control) {
    app.ports.windows.SetCursor(platform::CursorShape::Arrow);
    return;
  }
  if (key == k::Space) {
    FollowPlayback(app.screen, app.devices, app.flags, app.ports);
    return;
  }
  if (key == k::Left || key == k::Right) {
    CursorStep(app.screen, view, key == k::Left ? -1 : 1);
    if (view == WavView) FollowCursor(app.commands, app.docs, app.config, app.ports);
    return;
  }
  if (key == 'C') {
    CopyStatusValue(app.windows, app.docs, app.flags, app.ports);
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
  // The command the key means in this window, as its entry names the key.
  for (const CommandRecord& record : app.commands.table) {
    if (record.entry == nullptr) continue;
    for (const CommandKey& bound : {record.entry->key, record.entry->otherKey}) {
      if (bound.code == key && (bound.windows & In(view)) != 0) {
        SendCommand(app, view, record.id);
        return;
      }
    }
  }
}

}  // namespace vocara
