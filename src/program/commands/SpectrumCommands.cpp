#include "program/commands/SpectrumCommands.h"

#include <algorithm>
#include <optional>
#include <string>

#include "base/MessageId.h"
#include "base/OutputFile.h"
#include "engine/processing/Spectrum.h"
#include "program/commands/SettingsDialog.h"
#include "program/shell/App.h"
#include "program/shell/AppFlags.h"
#include "program/shell/CommandTable.h"
#include "program/shell/FileChoice.h"
#include "program/shell/MessageBoxes.h"
#include "program/views/SpectrumViews.h"

namespace vocara {
namespace {

constexpr std::size_t MaxClipboardText = 259;

platform::FileDialogRequest SavePeaksRequest(const DialogMemory& dialogs) {
  platform::FileDialogRequest request =
      SaveRequest("Save peaks as ASCII file", {TextFileFilter}, "txt", true);
  request.initialName = dialogs.fileDialogName;
  return request;
}

// The peak list into `name`, whole or not at all.
MessageId WritePeakFile(WindowStates& windows, OpenDocuments& docs, Configuration& config,
                        const std::string& name) {
  const std::string text =
      PeakListText(windows.spectrum, docs.wav.header.fields.sampleRate, config.settings.silenceThreshold);
  OutputFile output;
  if (const MessageId refused = output.Begin(name, {docs.wav.path}); refused != MessageId::None)
    return refused;
  return output.Finish(text.empty() || output.File().Write(text.data(), text.size()));
}

}  // namespace

void FftRangeKey(App& app, bool right) {
  SpectrumState& spectrum = app.windows.spectrum;
  const std::int32_t bin = FftCursorBin(app.windows);
  // An end placed on the other side of the other end collapses the range onto it.
  if (right) {
    spectrum.fftSelEnd = bin + 1;
    if (spectrum.fftSelStart >= spectrum.fftSelEnd) spectrum.fftSelStart = spectrum.fftSelEnd;
  } else {
    spectrum.fftSelStart = bin;
    if (spectrum.fftSelStart >= spectrum.fftSelEnd) spectrum.fftSelEnd = spectrum.fftSelStart;
  }
  SetFftRangeFlag(app.windows, app.flags);
  // The spectrum is measured again over the new range by the size command, through its gate.
  RunCommand(app, FftView, Id(FftSizeCommand(spectrum.fftSize)));
}

namespace {

// The keys newly in the range are measured, but the cursor stays on the key the user chose,
// so that the other end can be set from there.
void AnalysedNoteRangeChanged(App& app) {
  MeasureNotes(app.windows, app.docs, app.config, app.flags);
  app.ports.windows.Invalidate(MftView, nullptr);
  if (app.dialogs.settingsDialog != nullptr && app.dialogs.settingsDialog->IsVisible())
    FillSettingsControls(app.config, *app.dialogs.settingsDialog);
}

}  // namespace

void MftNoteKey(App& app, bool highest) {
  const int key = KeyAtMftCursor(app.windows);
  if (highest)
    ChooseHighestNote(app.config.settings, key);
  else
    ChooseLowestNote(app.config.settings, key);
  AnalysedNoteRangeChanged(app);
}

void SetAnalysedNoteRange(App& app, int lowestNote, int highestNote) {
  ChooseLowestNote(app.config.settings, lowestNote);
  ChooseHighestNote(app.config.settings, std::max(highestNote, lowestNote));
  AnalysedNoteRangeChanged(app);
}

void CopyStatusValue(WindowStates& windows, OpenDocuments& docs, std::uint32_t& flags,
                     platform::Platform& ports) {
  UpdateFftValues(windows, docs, flags);
  const std::string& text = windows.status.texts[33];
  if (text.empty()) return;
  ports.desktop.SetClipboardText(text.substr(0, MaxClipboardText));
}

void MarkPeakCommand(WindowStates& windows, platform::Platform& ports) {
  if (MarkPeak(windows.spectrum, FftCursorBin(windows))) ports.windows.Invalidate(FftView, nullptr);
}

void ClearMarkedPeaks(WindowStates& windows, platform::Platform& ports) {
  windows.spectrum.markedPeaks.clear();
  ports.windows.Invalidate(FftView, nullptr);
}

void SavePeaks(WindowStates& windows, OpenDocuments& docs, Configuration& config, DialogMemory& dialogs,
               platform::Platform& ports) {
  const std::optional<std::string> name = ports.desktop.GetSaveFileName(SavePeaksRequest(dialogs));
  if (!name) return;
  dialogs.fileDialogName = *name;
  ShowErrorMessage(ports.desktop, WritePeakFile(windows, docs, config, *name));
}

namespace {

constexpr CommandEntry Entries[] = {
    {.id = CommandId::FindAndSavePeaks,
     .tooltip = "Find and save peaks",
     .image = 42,
     .handler = [](App& app, int,
                   CommandId) { SavePeaks(app.windows, app.docs, app.config, app.dialogs, app.ports); },
     .required = WavOpen},
    // T and U in the FFT window: mark the peak under the cursor, clear the marks.
    {.id = CommandId::MarkPeak,
     .key = WindowKey('T', In(FftView)),
     .handler = [](App& app, int, CommandId) { MarkPeakCommand(app.windows, app.ports); },
     .required = WavOpen},
    {.id = CommandId::UnmarkPeak,
     .key = WindowKey('U', In(FftView)),
     .handler = [](App& app, int, CommandId) { ClearMarkedPeaks(app.windows, app.ports); },
     .required = WavOpen},
};

}  // namespace

std::span<const CommandEntry> SpectrumCommandEntries() { return Entries; }

}  // namespace vocara
