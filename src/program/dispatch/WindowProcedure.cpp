#include "program/dispatch/WindowProcedure.h"

#include "base/FileHandle.h"
#include "engine/wav/Import.h"
#include "program/audio/Playback.h"
#include "program/commands/SasCommands.h"
#include "program/commands/SasMouse.h"
#include "program/commands/WavCommands.h"
#include "program/dispatch/CommandHandler.h"
#include "program/shell/App.h"
#include "program/shell/AppFlags.h"
#include "program/shell/SasSession.h"
#include "program/views/Render.h"
#include "program/views/Scrolling.h"
#include "program/views/ViewLayout.h"

namespace vocara {
namespace {

using platform::Message;
using platform::MessageKind;

constexpr std::size_t MaxPathLength = 259;

// The end of the program: the window layout saved, the SAS page's edits written back, the
// devices and files closed, the WAV window destroyed (its Destroy message ends the loop).
void EndProgram(App& app) {
  if (app.programEnded) return;
  app.programEnded = true;
  SaveWindowLayout(app.config.files.settingsFile, app.config.layout);
  if (app.flags & SasOpen) SasWriteBack(app.session);
  CloseAudio(app.commands, app.warnings, app.devices, app.ports);
  app.docs.wav.file.Close();
  app.session.sas.file.Close();
  app.ports.windows.Destroy(WavView);
}

void Close(App& app, int view) {
  if (view != WavView) {
    app.ports.windows.Show(view, platform::ShowCommand::Hide);
    return;
  }
  if ((app.flags & Busy) || MouseDragHeld(app.session)) return;
  EndProgram(app);
}

// A quit from outside is not refused. A held drag ends and its stroke stays on the page, to be
// written back; a running operation is stopped (its file as it was before it). The program
// ends as Exit ends it once control is back at the message loop (WindowProcedure), so that
// nothing a command is in the middle of outlives the files it works on.
void Quit(App& app) {
  app.quitRequested = true;
  app.flags |= AbortRequested;
  EndMouseDrag(app);
}

// Before a logout: the page's edits go to the file now. Not in the middle of an operation (it
// works on a copy of its own, which lands whole or not at all); under a drag the write-back
// itself waits for the release.
void SaveSession(SasSession& session) {
  if ((session.flags & SasOpen) && !(session.flags & Busy)) SasWriteBack(session);
}

void Size(App& app, int view, const Message& message) {
  if (message.sizeKind != platform::SizeKind::Restored && message.sizeKind != platform::SizeKind::Maximised)
    return;
  // A resize reads the SAS page again and may move it; it cannot be refused, so a drag held in
  // that window ends first and is recorded against the page it edited.
  if (app.session.mouse.view == view) EndMouseDrag(app);
  if (message.sizeKind == platform::SizeKind::Restored) {
    app.config.layout.rects[static_cast<std::size_t>(view)] = app.ports.windows.GetScreenRect(view);
  }
  ResizeView(app.windows, app.session, app.docs, app.ports, view);
}

void Drop(App& app, const Message& message) {
  // A running operation reads the open WAV file, a held drag edits the SAS page: a drop must
  // not replace either underneath.
  if ((app.flags & Busy) || MouseDragHeld(app.session)) return;
  if (message.files.empty()) return;
  OpenDocumentByName(app, message.files.front());
}

std::intptr_t Dispatch(App& app, int view, const Message& message) {
  platform::WindowPort& port = app.ports.windows;
  const bool busy = (app.flags & Busy) != 0;
  // While a drag is held, nothing may write back, read again or move the SAS page it edits (or
  // whose cursor it moves): commands, undo and redo among them, and scrolls are refused until
  // the release, in every window. Keys that mean a command arrive here as commands.
  const bool held = MouseDragHeld(app.session);
  switch (message.kind) {
    case MessageKind::Destroy:
      app.ports.pump.PostQuit(0);
      return 0;
    case MessageKind::Move:
      if (port.GetShowState(view) != platform::ShowState::Minimised) {
        app.config.layout.rects[static_cast<std::size_t>(view)] = port.GetScreenRect(view);
      }
      return 0;
    case MessageKind::Size:
      Size(app, view, message);
      return 0;
    case MessageKind::Paint:
      PaintWindow(app.screen, view, message.rect);
      return 0;
    case MessageKind::Close:
      Close(app, view);
      return 0;
    case MessageKind::Quit:
      Quit(app);
      return 0;
    case MessageKind::SaveSession:
      SaveSession(app.session);
      return 0;
    case MessageKind::KeyDown:
      HandleKey(app, view, message.key);
      return 0;
    case MessageKind::Command:
      if (busy) {
        port.SetCursor(platform::CursorShape::Hourglass);
        return 0;
      }
      if (held) return 0;
      return HandleCommand(app, view, message.command);
    case MessageKind::HScroll:
    case MessageKind::VScroll:
      if (!busy && !held) HandleScroll(app.screen, app.flags, app.ports, view, message);
      return 0;
    case MessageKind::MouseMove:
    case MessageKind::LeftDown:
    case MessageKind::LeftUp:
      if (busy) {
        port.SetCursor(platform::CursorShape::Hourglass);
        return 0;
      }
      SasMouse(app, view, message);
      return 0;
    case MessageKind::RightDown:
      if (view == SasView) port.PopupEditModeMenu(port.ClientToScreen(SasView, message.pos));
      return 0;
    case MessageKind::Wheel:
      // The wheel becomes a scroll message, refused like one while busy or a drag is held.
      if (!busy && !held) HandleWheel(app, view, message.pos, message.wheelDelta);
      return 0;
    case MessageKind::FilesDropped:
      Drop(app, message);
      return 0;
    case MessageKind::WaveOutDone:
      OnOutputDone(app.commands, app.warnings, app.devices, app.ports, message);
      return 0;
    case MessageKind::WaveInData:
      OnInputData(app, message);
      return 0;
  }
  return 0;
}

}  // namespace

std::intptr_t WindowProcedure(App& app, int view, const Message& message) {
  if (view < 0 || view >= ViewCount) return 0;
  ++app.dispatchDepth;
  const std::intptr_t result = Dispatch(app, view, message);
  --app.dispatchDepth;
  if (app.quitRequested && app.dispatchDepth == 0 && !(app.flags & Busy)) EndProgram(app);
  return result;
}

void SendCommand(App& app, int view, int command) {
  Message message;
  message.kind = MessageKind::Command;
  message.command = command;
  WindowProcedure(app, view, message);
}

void OpenDocumentByName(App& app, const std::string& path) {
  if (path.empty() || path.size() > MaxPathLength) return;
  char magic[4] = {};
  {
    // Only a regular file: a named pipe or a device dropped on a window would block the read.
    FileHandle file = FileHandle::OpenForReading(path);
    if (!file.IsOpen() || file.Read(magic, 4) < 4) return;
  }
  const std::string_view start(magic, 4);
  // Another kind of sound file (FLAC, AIFF, Ogg, ...) goes to the WAV opener too, which
  // refuses it and offers the mono copy.
  if (start == "RIFF" || (start != "SAS " && ImportCanRead(path))) {
    WavClose(app.commands, app.session, app.docs, app.config, app.ports, false);
    WavOpenCommand(app, &path);
  } else if (start == "SAS ") {
    SasOpenCommand(app, &path);
  }
}

std::intptr_t WindowProcedureSink::Dispatch(int view, const platform::Message& message) {
  return WindowProcedure(app_, view, message);
}

}  // namespace vocara
