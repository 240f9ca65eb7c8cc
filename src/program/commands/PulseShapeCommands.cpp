#include "program/commands/PulseShapeCommands.h"

#include <optional>
#include <string>

#include "engine/processing/PulseShape.h"
#include "program/shell/App.h"
#include "program/shell/AppFlags.h"
#include "program/shell/CommandTable.h"
#include "program/shell/FileChoice.h"
#include "program/shell/MessageBoxes.h"

namespace vocara {
namespace {

platform::FileDialogRequest SavePulseShapeRequest() {
  return SaveRequest("Save Pulse Shape", {TextFileFilter, AllFilesFilter}, "txt", false);
}

void DiscardPulseShape(App& app) {
  app.docs.pulseShape = PulseShape{};
  app.flags &= ~static_cast<std::uint32_t>(PulseShapeReady);
  UpdateCommandStates(app);
}

}  // namespace

void AddPulseCommand(App& app) {
  if (!AddPulse(app.docs.pulseShape, app.docs.wav, app.docs.wav.cursor)) return;
  app.flags |= PulseShapeReady;
  UpdateCommandStates(app);
}

void ExportPulseShapeCommand(App& app) {
  // A copy is normalised: the raw sums stay for more additions after a failed write.
  PulseShape normalised = app.docs.pulseShape;
  if (!NormalisePulseShape(normalised)) return;
  app.dialogs.fileDialogName.clear();
  const std::optional<std::string> name = app.ports.desktop.GetSaveFileName(SavePulseShapeRequest());
  if (!name) {
    DiscardPulseShape(app);
    return;
  }
  app.dialogs.fileDialogName = *name;
  const MessageId written = WritePulseShape(app.docs.wav, normalised, *name);
  if (written != MessageId::None) {
    ShowErrorMessage(app.ports.desktop, written);
    return;
  }
  DiscardPulseShape(app);
}

namespace {

constexpr CommandEntry Entries[] = {
    {.id = CommandId::AddPulseShape,
     .label = "Shape+",
     .key = Accelerator(platform::key::F1 + 8),
     .handler = [](App& app, int, CommandId) { AddPulseCommand(app); },
     .required = WavOpen},
    {.id = CommandId::ExportPulseShape,
     .label = "Export Shape",
     .key = Accelerator(platform::key::F1 + 9),
     .handler = [](App& app, int, CommandId) { ExportPulseShapeCommand(app); },
     .required = WavOpen | PulseShapeReady},
};

}  // namespace

std::span<const CommandEntry> PulseShapeCommandEntries() { return Entries; }

}  // namespace vocara
