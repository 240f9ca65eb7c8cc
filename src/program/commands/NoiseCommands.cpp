#include "program/commands/NoiseCommands.h"

#include <optional>
#include <string>

#include "base/FileHandle.h"
#include "base/MessageId.h"
#include "engine/processing/NoiseProfile.h"
#include "program/commands/ProgressPacer.h"
#include "program/shell/App.h"
#include "program/shell/AppFlags.h"
#include "program/shell/CommandTable.h"
#include "program/shell/FileChoice.h"
#include "program/shell/MessageBoxes.h"
#include "program/views/WavView.h"

namespace vocara {
namespace {

platform::FileDialogRequest SaveDenoisedRequest() {
  return SaveRequest("Save denoised", {WavFileFilter, AllFilesFilter}, "", false);
}

void RemoveNoiseIntoChosenFile(Screen& screen, Configuration& config, DialogMemory& dialogs,
                               std::uint32_t& flags, platform::Platform& ports) {
  dialogs.fileDialogName.clear();
  const std::optional<std::string> name = ports.desktop.GetSaveFileName(SaveDenoisedRequest());
  if (!name) return;
  dialogs.fileDialogName = *name;
  // Refused before the view changes; the engine refuses it again by the same identity.
  if (SameFile(*name, screen.docs.wav.path)) {
    ShowErrorMessage(ports.desktop, MessageId::OpenedFileCanNotBeOverwritten);
    return;
  }
  WavViewFitWholeFile(screen.windows, screen.docs, ports);
  flags &= ~static_cast<std::uint32_t>(AbortRequested);
  const NoiseRemovalSettings settings{config.settings.whiteNoise, config.settings.noiseGain};
  NoiseRemovalResult result;
  {
    ProgressPacer pacer(screen, ports.pump, true);
    result = RemoveNoise(screen.docs.wav, screen.docs.noise, settings, *name, pacer.Callback());
  }
  ShowErrorMessage(ports.desktop, result.message);
}

}  // namespace

void CaptureNoiseCommand(Commands& commands, OpenDocuments& docs, Configuration& config, bool reset) {
  WavDocument& wav = docs.wav;
  const std::uint32_t length = reset ? NoiseLengthFor(config.settings.noiseLength) : docs.noise.length;
  CaptureNoise(docs.noise, wav, wav.rangeLeft, wav.rangeRight, length, reset);
  commands.flags |= NoiseSampleReady;
  UpdateCommandStates(commands);
}

void RemoveNoiseCommand(Screen& screen, Commands& commands, Configuration& config, DialogMemory& dialogs,
                        platform::Platform& ports) {
  SetBusy(commands, true);
  RemoveNoiseIntoChosenFile(screen, config, dialogs, commands.flags, ports);
  SetBusy(commands, false);
}

namespace {

constexpr CommandEntry Entries[] = {
    // WAV File / Remove Noise: a denoised copy of the whole recording, in busy mode.
    {.id = CommandId::RemoveNoise,
     .label = "&Remove Noise",
     .handler =
         [](App& app, int, CommandId) {
           RemoveNoiseCommand(app.screen, app.commands, app.config, app.dialogs, app.ports);
         },
     .required = WavOpen | NoiseSampleReady},
    // WAV Range / Noise= and Noise+.
    {.id = CommandId::NoiseSample,
     .label = "&Noise=",
     .handler = [](App& app, int,
                   CommandId) { CaptureNoiseCommand(app.commands, app.docs, app.config, true); },
     .required = WavOpen | WavRangeSelected | RangeHoldsNoiseLength},
    {.id = CommandId::AddNoiseSample,
     .label = "N&oise+",
     .handler = [](App& app, int,
                   CommandId) { CaptureNoiseCommand(app.commands, app.docs, app.config, false); },
     .required = WavOpen | WavRangeSelected | RangeHoldsNoiseLength | NoiseSampleReady},
};

}  // namespace

std::span<const CommandEntry> NoiseCommandEntries() { return Entries; }

}  // namespace vocara
