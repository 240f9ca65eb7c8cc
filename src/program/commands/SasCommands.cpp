#include "program/commands/SasCommands.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "base/MessageId.h"
#include "engine/processing/CorrectionReport.h"
#include "engine/sas/SasChange.h"
#include "engine/sas/SasDocument.h"
#include "program/commands/InTuneCommands.h"
#include "program/commands/SasUndo.h"
#include "program/shell/App.h"
#include "program/shell/AppFlags.h"
#include "program/shell/CommandTable.h"
#include "program/shell/FileChoice.h"
#include "program/shell/MessageBoxes.h"
#include "program/shell/SasSession.h"
#include "program/views/SasView.h"
#include "program/views/Scrolling.h"

namespace vocara {
namespace {

using platform::FileDialogRequest;
using platform::FileFilter;

// The longest name the program's path buffers hold.
constexpr std::size_t MaxPathLength = 259;

}  // namespace

void SasOpenFile(SasSession& session, OpenDocuments& docs, Configuration& config, platform::Platform& ports,
                 const std::string& path) {
  platform::DesktopPort& desktop = ports.desktop;
  // A longer name cannot be held, and a shortened one would name another file.
  MessageId refused =
      path.size() > MaxPathLength ? MessageId::InvalidFileHandle : SasOpenDocument(session.sas, path);
  // A file the user may read but not write is opened to be looked at, rendered and copied.
  if (refused == MessageId::InvalidFileHandle && path.size() <= MaxPathLength)
    refused = SasOpenDocument(session.sas, path, SasAccess::ReadOnly);
  if (refused != MessageId::None) {
    ShowErrorMessage(desktop, refused);
    // A file that did not even open changes nothing; a refused one was opened and closed.
    if (refused != MessageId::InvalidFileHandle) ClearBits(session.flags, SasOpen);
    return;
  }
  // A journal of an unfinished change that was not written for this file was kept aside, not
  // applied: the user hears where it went.
  if (!session.sas.setAsideJournal.empty())
    desktop.ShowMessage(
        "A journal of unfinished changes beside this file was not written for it and was not "
        "applied. It was set aside as " +
            session.sas.setAsideJournal,
        platform::MessageIcon::Warning, platform::MessageButtons::Ok, platform::MessageAnswer::Ok);
  // Opening a SAS restores the settings it was built with; a declined file gives them back.
  const GeneralSettings before = config.settings;
  config.settings = session.sas.header.settings;
  session.flags |= SasOpen;
  session.chosenNotes.clear();

  if (session.flags & WavOpen) {
    if (SasFitsWav(session.sas.header, docs.wav)) {
      session.flags |= WavSasMatch;
    } else if (!AskKeepUnfittingFile(desktop)) {
      session.sas.file.Close();
      config.settings = before;
      ClearBits(session.flags, SasOpen);
    }
  }
}

void SasOpenCommand(App& app, const std::string* path) {
  FileDialogRequest request;
  request.title = "Open SAS File";
  request.filters = {SasFileFilter};
  request.defaultExtension = "SAS";
  const std::optional<std::string> chosen =
      ChooseFileToOpen(app.dialogs, app.ports, path, std::move(request));
  if (!chosen) return;
  const std::string& name = *chosen;
  // Byte for byte: the same file under another spelling is opened afresh.
  if (name == app.session.sas.path) return;

  SasClose(app.windows, app.session, app.ports);
  SasDocument& sas = app.session.sas;
  sas.path = name;
  SasOpenFile(app.session, app.docs, app.config, app.ports, name);

  platform::WindowPort& port = app.ports.windows;
  if (app.flags & SasOpen) {
    sas.shownFrameCount = sas.header.frameCount;
    sas.pageLength = std::clamp(app.windows.clientRect[SasView].right, 0, MaxSasPageLength);
    SasReadPage(app.session);
    port.SetTitle(SasView, SasTitle(app.session));
    SasViewHorizontalScrollUpdate(app.windows, app.session, app.ports);
    SasViewShowSungPitches(app.windows, app.session, app.config, app.ports);
    port.Show(SasView, platform::ShowCommand::Restore);
    port.Invalidate(SasView, nullptr);
  } else {
    sas.path.clear();
    port.Show(SasView, platform::ShowCommand::Hide);
  }
  UpdateCommandStates(app.commands);
}

std::string SasTitle(const SasSession& session) {
  return session.sas.readOnly ? session.sas.path + " (read-only)" : session.sas.path;
}

void SasSaveAs(App& app) {
  SasWriteBack(app.session);
  FileDialogRequest request = SaveRequest("Save SAS File As", {SasFileFilter}, "SAS", true, false);
  request.initialName = app.dialogs.fileDialogName;
  const std::optional<std::string> name = app.ports.desktop.GetSaveFileName(request);
  if (!name) return;
  app.dialogs.fileDialogName = *name;
  const MessageId copied = SasCopyFile(app.session.sas, *name);
  ShowErrorMessage(app.ports.desktop, copied);
  // The copy of a read-only file is the one the user goes on editing, at the same place.
  if (copied == MessageId::None && app.session.sas.readOnly) {
    const std::int32_t firstFrame = app.session.sas.firstFrame;
    const GeneralSettings live = app.config.settings;
    const view::SasView pitchPane = app.windows.sasView;
    SasOpenCommand(app, &*name);
    app.config.settings = live;
    if (app.flags & SasOpen) {
      app.session.sas.firstFrame = firstFrame;
      app.windows.sasView.lower = pitchPane.lower;
      app.windows.sasView.pitchScale = pitchPane.pitchScale;
      SetVerticalBar(app.ports, SasView, platform::ScrollBar::SasLower, app.windows.sasView.lower);
      SasReadPage(app.session);
      SasViewHorizontalScrollUpdate(app.windows, app.session, app.ports);
    }
  }
}

void SasClose(WindowStates& windows, SasSession& session, platform::Platform& ports) {
  SasWriteBack(session);
  SasCloseDocument(session.sas);
  session.readOnlyShown = false;
  SasUndoClear(session);
  // The marks measured a render of this SAS.
  ClearCorrectionReport(session);
  session.pageNotes = CorrectionReport{};
  session.pageNotesStale = true;
  session.chosenNotes.clear();
  // Edits a failed write-back could not save end with the file.
  ClearBits(session.flags, SasCloseClears | SasPageDirty);
  ViewGeometry& geometry = windows.geometry[SasView];
  geometry.cursorX = 0;
  geometry.drawnCursorX = 0;
  geometry.dragAnchorX = 0;
  geometry.dragCurrentX = 0;
  geometry.selLeftX = 0;
  geometry.selRightX = 0;
  platform::WindowPort& port = ports.windows;
  port.SetTitle(SasView, "SAS");
  SasViewResetScrollBar(windows, ports);
}

namespace {

constexpr CommandEntry Entries[] = {
    {.id = CommandId::OpenSas,
     .label = "O&pen",
     .handler = [](App& app, int, CommandId) { SasOpenCommand(app, nullptr); },
     .required = Ready},
    {.id = CommandId::CloseSas,
     .label = "C&lose",
     .handler =
         [](App& app, int, CommandId) {
           SasClose(app.windows, app.session, app.ports);
           app.ports.windows.Show(SasView, platform::ShowCommand::Hide);
           UpdateCommandStates(app.commands);
         },
     .required = SasOpen},
    {.id = CommandId::SaveSasAs,
     .label = "Save &As",
     .handler = [](App& app, int, CommandId) { SasSaveAs(app); },
     .required = SasOpen},
};

}  // namespace

std::span<const CommandEntry> SasCommandEntries() { return Entries; }

}  // namespace vocara
