#include "program/commands/BuildCommands.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "base/FileHandle.h"
#include "engine/sas/SasBuild.h"
#include "platform/DesktopPort.h"
#include "program/commands/ProgressPacer.h"
#include "program/commands/SasCommands.h"
#include "program/shell/App.h"
#include "program/shell/AppFlags.h"
#include "program/shell/CommandTable.h"
#include "program/shell/FileChoice.h"
#include "program/shell/MessageBoxes.h"
#include "program/views/Render.h"
#include "program/views/WavView.h"

namespace vocara {

namespace {

// The file built, or nothing when the Build was declined, cancelled or failed.
std::optional<std::string> BuildFromDialog(App& app) {
  platform::FileDialogRequest request = SaveRequest("Build SAS as...", {SasFileFilter}, "SAS", true, false);
  request.initialName = app.dialogs.fileDialogName;
  const std::optional<std::string> name = app.ports.desktop.GetSaveFileName(request);
  if (!name) return std::nullopt;
  app.dialogs.fileDialogName = *name;
  if (!app.session.sas.path.empty() && SameFile(*name, app.session.sas.path)) {
    ShowErrorMessage(app.ports.desktop, MessageId::OpenedFileCanNotBeOverwritten);
    return std::nullopt;
  }

  WavViewFitWholeFile(app.windows, app.docs, app.ports);
  app.flags &= ~AbortRequested;
  SasBuildResult built;
  {
    ProgressPacer pacer(app.screen, app.ports.pump, true);
    built = SasBuildFile(app.docs.wav, app.config.settings, *name, pacer.Callback());
  }
  ShowErrorMessage(app.ports.desktop, built.message);
  if (built.result != LongOperationResult::Done || built.message != MessageId::None) return std::nullopt;
  return name;
}

}  // namespace

void SasBuildCommand(App& app) {
  SetBusy(app.commands, true);
  const std::optional<std::string> built = BuildFromDialog(app);
  SetBusy(app.commands, false);
  // What one builds one means to edit: the new file is offered at once rather than left to be
  // found again under SAS File / Open.
  if (!built) return;
  const std::string question = "Open " + std::filesystem::path(*built).filename().string() + " now?";
  if (app.ports.desktop.ShowMessage(question, platform::MessageIcon::Question,
                                    platform::MessageButtons::YesNo,
                                    platform::MessageAnswer::Yes) == platform::MessageAnswer::Yes)
    SasOpenCommand(app, &*built);
}

namespace {

constexpr CommandEntry Entries[] = {
    // SAS File / Build: a new SAS file from the open recording, in busy mode.
    {.id = CommandId::BuildSas,
     .label = "&Build",
     .handler = [](App& app, int, CommandId) { SasBuildCommand(app); },
     .required = WavOpen},
};

}  // namespace

std::span<const CommandEntry> BuildCommandEntries() { return Entries; }

}  // namespace vocara
