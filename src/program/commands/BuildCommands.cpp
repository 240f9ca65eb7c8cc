#include "program/commands/BuildCommands.h"

#include <cstdint>
#include <optional>
#include <string>

#include "base/FileHandle.h"
#include "engine/sas/SasBuild.h"
#include "platform/DesktopPort.h"
#include "program/commands/ProgressPacer.h"
#include "program/shell/App.h"
#include "program/shell/AppFlags.h"
#include "program/shell/CommandTable.h"
#include "program/shell/FileChoice.h"
#include "program/shell/MessageBoxes.h"
#include "program/views/Render.h"
#include "program/views/WavView.h"

namespace vocara {

namespace {

void BuildFromDialog(App& app) {
  platform::FileDialogRequest request = SaveRequest("Build SAS as...", {SasFileFilter}, "SAS", true, false);
  request.initialName = app.fileDialogName;
  const std::optional<std::string> name = app.ports.desktop.GetSaveFileName(request);
  if (!name) return;
  app.fileDialogName = *name;
  if (!app.sas.path.empty() && SameFile(*name, app.sas.path)) {
    ShowErrorMessage(app.ports.desktop, MessageId::OpenedFileCanNotBeOverwritten);
    return;
  }

  WavViewFitWholeFile(app);
  app.flags &= ~AbortRequested;
  SasBuildResult built;
  {
    ProgressPacer pacer(app, true);
    built = SasBuildFile(app.wav, app.settings, *name, pacer.Callback());
  }
  ShowErrorMessage(app.ports.desktop, built.message);
}

}  // namespace

void SasBuildCommand(App& app) {
  SetBusy(app, true);
  BuildFromDialog(app);
  SetBusy(app, false);
}

namespace {

constexpr CommandEntry Entries[] = {
    // SAS File / Build: a new SAS file from the open recording, in busy mode.
    {CommandId::BuildSas, [](App& app, int, CommandId) { SasBuildCommand(app); }, WavOpen, true},
};

}  // namespace

std::span<const CommandEntry> BuildCommandEntries() { return Entries; }

}  // namespace vocara
