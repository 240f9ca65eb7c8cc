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
std::optional<std::string> BuildFromDialog(Screen& screen, Configuration& config, DialogMemory& dialogs,
                                           std::uint32_t& flags, platform::Platform& ports) {
  platform::FileDialogRequest request = SaveRequest("Build SAS as...", {SasFileFilter}, "SAS", true, false);
  request.initialName = dialogs.fileDialogName;
  const std::optional<std::string> name = ports.desktop.GetSaveFileName(request);
  if (!name) return std::nullopt;
  dialogs.fileDialogName = *name;
  if (!screen.session.sas.path.empty() && SameFile(*name, screen.session.sas.path)) {
    ShowErrorMessage(ports.desktop, MessageId::OpenedFileCanNotBeOverwritten);
    return std::nullopt;
  }

  WavViewFitWholeFile(screen.windows, screen.docs, ports);
  flags &= ~AbortRequested;
  SasBuildResult built;
  {
    ProgressPacer pacer(screen, ports.pump, true);
    built = SasBuildFile(screen.docs.wav, config.settings, *name, pacer.Callback());
  }
  ShowErrorMessage(ports.desktop, built.message);
  if (built.result != LongOperationResult::Done || built.message != MessageId::None) return std::nullopt;
  return name;
}

}  // namespace

void SasBuildCommand(App& app) {
  SetBusy(app.commands, true);
  const std::optional<std::string> built =
      BuildFromDialog(app.screen, app.config, app.dialogs, app.flags, app.ports);
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
