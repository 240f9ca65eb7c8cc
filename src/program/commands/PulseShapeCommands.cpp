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

void DiscardPulseShape(Commands& commands, OpenDocuments& docs) {
  docs.pulseShape = PulseShape{};
  commands.flags &= ~static_cast<std::uint32_t>(PulseShapeReady);
  UpdateCommandStates(commands);
}

}  // namespace

void AddPulseCommand(Commands& commands, OpenDocuments& docs) {
  if (!AddPulse(docs.pulseShape, docs.wav, docs.wav.cursor)) return;
  commands.flags |= PulseShapeReady;
  UpdateCommandStates(commands);
}

void ExportPulseShapeCommand(Commands& commands, OpenDocuments& docs, DialogMemory& dialogs,
                             platform::Platform& ports) {
  // A copy is normalised: the raw sums stay for more additions after a failed write.
  PulseShape normalised = docs.pulseShape;
  if (!NormalisePulseShape(normalised)) return;
  dialogs.fileDialogName.clear();
  const std::optional<std::string> name = ports.desktop.GetSaveFileName(SavePulseShapeRequest());
  if (!name) {
    DiscardPulseShape(commands, docs);
    return;
  }
  dialogs.fileDialogName = *name;
  const MessageId written = WritePulseShape(docs.wav, normalised, *name);
  if (written != MessageId::None) {
    ShowErrorMessage(ports.desktop, written);
    return;
  }
  DiscardPulseShape(commands, docs);
}

namespace {

constexpr CommandEntry Entries[] = {
    {.id = CommandId::AddPulseShape,
     .label = "Shape+",
     .key = Accelerator(platform::key::F1 + 8),
     .handler = [](App& app, int, CommandId) { AddPulseCommand(app.commands, app.docs); },
     .required = WavOpen},
    {.id = CommandId::ExportPulseShape,
     .label = "Export Shape",
     .key = Accelerator(platform::key::F1 + 9),
     .handler = [](App& app, int,
                   CommandId) { ExportPulseShapeCommand(app.commands, app.docs, app.dialogs, app.ports); },
     .required = WavOpen | PulseShapeReady},
};

}  // namespace

std::span<const CommandEntry> PulseShapeCommandEntries() { return Entries; }

}  // namespace vocara
