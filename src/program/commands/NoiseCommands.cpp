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

void RemoveNoiseIntoChosenFile(App& app) {
  app.dialogs.fileDialogName.clear();
  const std::optional<std::string> name = app.ports.desktop.GetSaveFileName(SaveDenoisedRequest());
  if (!name) return;
  app.dialogs.fileDialogName = *name;
  // Refused before the view changes; the engine refuses it again by the same identity.
  if (SameFile(*name, app.docs.wav.path)) {
    ShowErrorMessage(app.ports.desktop, MessageId::OpenedFileCanNotBeOverwritten);
    return;
  }
  WavViewFitWholeFile(app.windows, app.docs, app.ports);
  app.flags &= ~static_cast<std::uint32_t>(AbortRequested);
  const NoiseRemovalSettings settings{app.config.settings.whiteNoise, app.config.settings.noiseGain};
  NoiseRemovalResult result;
  {
    ProgressPacer pacer(app.screen, app.ports.pump, true);
    result = RemoveNoise(app.docs.wav, app.docs.noise, settings, *name, pacer.Callback());
  }
  ShowErrorMessage(app.ports.desktop, result.message);
}

}  // namespace

void CaptureNoiseCommand(Commands& commands, OpenDocuments& docs, Configuration& config, bool reset) {
  WavDocument& wav = docs.wav;
  const std::uint32_t length = reset ? NoiseLengthFor(config.settings.noiseLength) : docs.noise.length;
  CaptureNoise(docs.noise, wav, wav.rangeLeft, wav.rangeRight, length, reset);
  commands.flags |= NoiseSampleReady;
  UpdateCommandStates(commands);
}

void RemoveNoiseCommand(App& app) {
  SetBusy(app.commands, true);
  RemoveNoiseIntoChosenFile(app);
  SetBusy(app.commands, false);
}

namespace {

constexpr CommandEntry Entries[] = {
    // WAV File / Remove Noise: a denoised copy of the whole recording, in busy mode.
    {.id = CommandId::RemoveNoise,
     .label = "&Remove Noise",
     .handler = [](App& app, int, CommandId) { RemoveNoiseCommand(app); },
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
