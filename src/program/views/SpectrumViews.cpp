#include "program/views/SpectrumViews.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>
#include <span>
#include <string>

#include "base/FileHandle.h"
#include "base/MessageId.h"
#include "base/OutputFile.h"
#include "program/shell/App.h"
#include "program/shell/AppFlags.h"
#include "program/shell/CommandId.h"
#include "program/shell/CommandTable.h"
#include "program/shell/FileChoice.h"
#include "program/shell/MessageBoxes.h"
#include "program/shell/WavRange.h"
#include "program/views/FftView.h"
#include "program/views/Render.h"

namespace vocara {
namespace {

using C = CommandId;
// The FFT toolbar's two button groups: size k is 1024 << k samples, window function k the kind k.
constexpr std::array<CommandId, 11> SizeCommands{
    C::FftSize1k,  C::FftSize2k,   C::FftSize4k,   C::FftSize8k,   C::FftSize16k, C::FftSize32k,
    C::FftSize64k, C::FftSize128k, C::FftSize256k, C::FftSize512k, C::FftSize1M};
constexpr std::array<CommandId, 8> WindowCommands{C::FftWindow1, C::FftWindow2, C::FftWindow3, C::FftWindow4,
                                                  C::FftWindow5, C::FftWindow6, C::FftWindow7, C::FftWindow8};
constexpr int KeyCount = 88;

bool Visible(const platform::Platform& ports, int view) {
  return ports.windows.GetShowState(view) != platform::ShowState::Hidden;
}

// The window shown as it was, unless hidden or minimised; then in its normal size.
void ShowOnTop(platform::Platform& ports, int view) {
  platform::WindowPort& windows = ports.windows;
  const platform::ShowState state = windows.GetShowState(view);
  if (state == platform::ShowState::Hidden || state == platform::ShowState::Minimised)
    windows.Show(view, platform::ShowCommand::Restore);
  windows.BringToTop(view);
}

}  // namespace

void SetFftRangeFlag(WindowStates& windows, std::uint32_t& flags) {
  if (windows.spectrum.fftSelStart < windows.spectrum.fftSelEnd) {
    flags |= FftRangeSelected;
  } else {
    flags &= ~static_cast<std::uint32_t>(FftRangeSelected);
  }
}

namespace {

// The WAV range becomes the samples the spectrum was computed from.
void RangeToAnalysedSpan(Commands& commands, WindowStates& windows, OpenDocuments& docs,
                         Configuration& config) {
  WavDocument& wav = docs.wav;
  const SampleSpan span = AnalysedSpan(windows.spectrum.fftSize, wav.cursor, wav.sampleCount);
  wav.rangeLeft = span.left;
  wav.rangeRight = span.right;
  WavRangeChanged(commands, docs, config);
}

}  // namespace

// The note strengths at the WAV cursor, without moving the MFT cursor. The analysis window
// grows once to what the lowest note needs at the file's rate, so neither a cursor move nor
// another note range allocates.
void MeasureNotes(WindowStates& windows, OpenDocuments& docs, Configuration& config, std::uint32_t& flags) {
  if (!HasAll(flags, WavOpen)) {
    windows.notes = NoteReadout{};
    return;
  }
  const std::uint32_t rate = docs.wav.header.fields.sampleRate;
  GeneralSettings widest = config.settings;
  widest.lowestNote = 0;
  const std::size_t length = NoteWindowLength(rate, config.settings);
  const std::size_t largest = std::max<std::size_t>(NoteWindowLength(rate, widest), length);
  if (windows.noteWindow.size() < largest) windows.noteWindow.resize(largest);
  ComputeNoteSpectrum(windows.notes, docs.wav, docs.wav.cursor, config.settings,
                      std::span<double>(windows.noteWindow).first(length));
}

// The key under the MFT cursor as the L and R keys read it.
int KeyAtMftCursor(const WindowStates& windows) {
  const std::int64_t width = windows.clientRect[MftView].right;
  const std::int64_t key = std::int64_t{windows.geometry[MftView].cursorX} * KeyCount / (width + 1);
  return static_cast<int>(std::clamp<std::int64_t>(key, 0, KeyCount - 1));
}

std::int32_t FftCursorBin(const WindowStates& windows) {
  const std::int64_t column = std::int64_t{windows.geometry[FftView].cursorX} + windows.fftView.firstPixel;
  const std::int64_t bin = column / std::max(windows.fftView.pixelsPerBin, 1);
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(bin, 0, windows.spectrum.fftSize / 2));
}

CommandId FftSizeCommand(std::uint32_t size) {
  std::size_t step = 0;
  while (step + 1 < SizeCommands.size() && (MinFftSize << step) < size) ++step;
  return SizeCommands[step];
}

void RefreshSpectrumView(Commands& commands, OpenDocuments& docs, Configuration& config,
                         platform::Platform& ports, const SpectrumChange& change) {
  SpectrumState& spectrum = commands.windows.spectrum;
  platform::WindowPort& port = ports.windows;
  const std::uint32_t oldSize = spectrum.fftSize;
  std::uint32_t newSize = oldSize;
  const bool sizeCommand = change.sizeStep >= 0 && change.sizeStep < static_cast<int>(SizeCommands.size());
  if (sizeCommand) {
    newSize = MinFftSize << change.sizeStep;
  } else if (change.windowKind >= 0 && change.windowKind < static_cast<int>(WindowCommands.size())) {
    spectrum.windowKind = change.windowKind;
  }
  port.SetButtonChecked(FftView, Id(FftSizeCommand(newSize)), true);
  port.SetButtonChecked(
      FftView, Id(WindowCommands[static_cast<std::size_t>(std::clamp(spectrum.windowKind, 0, 7))]), true);

  // The selected bins stand for the same frequencies at the new size.
  const double ratio = static_cast<double>(newSize) / oldSize;
  spectrum.fftSelStart = static_cast<std::int32_t>(spectrum.fftSelStart * ratio);
  spectrum.fftSelEnd = static_cast<std::int32_t>(spectrum.fftSelEnd * ratio);
  SetFftRangeFlag(commands.windows, commands.flags);
  if (change.zoom >= 0) {
    FftViewZoom(commands.windows, ports, change.zoom);
  } else {
    FftViewSetScale(commands.windows, ports, commands.windows.fftView.pixelsPerBin / ratio, oldSize, newSize);
  }
  spectrum.fftSize = newSize;
  ComputeSpectrum(spectrum, docs.wav, docs.wav.cursor);
  port.Invalidate(FftView, nullptr);
  ShowOnTop(ports, FftView);

  if (sizeCommand) {
    RangeToAnalysedSpan(commands, commands.windows, docs, config);
    port.Invalidate(WavView, nullptr);
  }
}

void FollowCursor(Commands& commands, OpenDocuments& docs, Configuration& config, platform::Platform& ports) {
  if (!HasAll(commands.flags, WavOpen)) return;
  if (Visible(ports, FftView)) {
    ComputeSpectrum(commands.windows.spectrum, docs.wav, docs.wav.cursor);
    RangeToAnalysedSpan(commands, commands.windows, docs, config);
    ports.windows.Invalidate(WavView, nullptr);
    ports.windows.Invalidate(FftView, nullptr);
  }
  if (Visible(ports, MftView)) RefreshNoteSpectrum(commands.windows, docs, config, commands.flags, ports);
}

void SpectraFollowRecording(Commands& commands, SasSession& session, OpenDocuments& docs,
                            Configuration& config, platform::Platform& ports) {
  platform::WindowPort& port = ports.windows;
  if (!HasAll(commands.flags, WavOpen)) {
    std::fill(commands.windows.spectrum.spectrum.begin(), commands.windows.spectrum.spectrum.end(), 0.0);
    commands.windows.notes = NoteReadout{};
    port.Invalidate(FftView, nullptr);
    port.Invalidate(MftView, nullptr);
    return;
  }
  // The cursor sample follows the cursor column at the new file's scale; until the status strip
  // is next painted it would still be the previous file's.
  UpdateStatusValues(commands.windows, session, docs, config, WavView);
  if (Visible(ports, FftView)) RefreshSpectrumView(commands, docs, config, ports, {});
  if (Visible(ports, MftView)) RefreshNoteSpectrum(commands.windows, docs, config, commands.flags, ports);
}

void ShowNoteSpectrumView(WindowStates& windows, OpenDocuments& docs, Configuration& config,
                          std::uint32_t& flags, platform::Platform& ports) {
  windows.geometry[MftView].dataWidth = MaxPlotColumns;
  ports.windows.Show(MftView, platform::ShowCommand::Restore);
  ports.windows.BringToTop(MftView);
  RefreshNoteSpectrum(windows, docs, config, flags, ports);
}

void RefreshNoteSpectrum(WindowStates& windows, OpenDocuments& docs, Configuration& config,
                         std::uint32_t& flags, platform::Platform& ports) {
  MeasureNotes(windows, docs, config, flags);
  if (HasAll(flags, WavOpen)) {
    // The cursor stands in the middle of the detected key's column.
    ViewGeometry& geometry = windows.geometry[MftView];
    const int width = ViewWidth(windows, MftView);
    geometry.cursorX = static_cast<int>((windows.notes.detected + 0.5) * (width + 1) / KeyCount);
    geometry.drawnCursorX = geometry.cursorX;
  }
  ports.windows.Invalidate(MftView, nullptr);
}

void SetFftRangeFromBand(Screen& screen, std::uint32_t& flags) {
  const ViewGeometry& geometry = screen.windows.geometry[FftView];
  const view::FftView& view = screen.windows.fftView;
  const std::int64_t perBin = std::max(view.pixelsPerBin, 1);
  const std::int64_t start = (std::int64_t{geometry.selLeftX} + view.firstPixel) / perBin;
  const std::int64_t end = std::min<std::int64_t>(
      view.totalPixels / perBin, (std::int64_t{geometry.selRightX} + view.firstPixel) / perBin);
  screen.windows.spectrum.fftSelStart = static_cast<std::int32_t>(start);
  screen.windows.spectrum.fftSelEnd = static_cast<std::int32_t>(end);
  SetFftRangeFlag(screen.windows, flags);
  RepaintStatusValues(screen, FftView);
}

namespace {

// The FFT toolbar's buttons: the spectrum refreshed with one change.
template <SpectrumChange Change>
void Refreshed(App& app, int, CommandId) {
  RefreshSpectrumView(app.commands, app.docs, app.config, app.ports, Change);
}

// A button of the FFT toolbar: the spectrum refreshed with its size, window function or scale.
constexpr CommandEntry FftButton(CommandId id, std::string_view tooltip, int image, CommandHandler handler,
                                 CommandKey key = {}) {
  return {.id = id, .key = key, .tooltip = tooltip, .image = image, .handler = handler, .required = WavOpen};
}

// The FFT sizes, window functions and frequency scale (the FFT toolbar), and View / FFT and MFT.
constexpr CommandEntry Entries[] = {
    FftButton(CommandId::FftSize1k, "1024 samples", 17, Refreshed<SpectrumChange{.sizeStep = 0}>),
    FftButton(CommandId::FftSize2k, "2048 samples", 18, Refreshed<SpectrumChange{.sizeStep = 1}>),
    FftButton(CommandId::FftSize4k, "4096 samples", 19, Refreshed<SpectrumChange{.sizeStep = 2}>),
    FftButton(CommandId::FftSize8k, "8192 samples", 20, Refreshed<SpectrumChange{.sizeStep = 3}>),
    FftButton(CommandId::FftSize16k, "16384 samples", 21, Refreshed<SpectrumChange{.sizeStep = 4}>),
    FftButton(CommandId::FftSize32k, "32768 samples", 22, Refreshed<SpectrumChange{.sizeStep = 5}>),
    FftButton(CommandId::FftSize64k, "65536 samples", 23, Refreshed<SpectrumChange{.sizeStep = 6}>),
    FftButton(CommandId::FftSize128k, "131072 samples", 24, Refreshed<SpectrumChange{.sizeStep = 7}>),
    FftButton(CommandId::FftSize256k, "262144 samples", 25, Refreshed<SpectrumChange{.sizeStep = 8}>),
    FftButton(CommandId::FftSize512k, "524288 samples", 26, Refreshed<SpectrumChange{.sizeStep = 9}>),
    FftButton(CommandId::FftSize1M, "1048576 samples", 27, Refreshed<SpectrumChange{.sizeStep = 10}>),
    FftButton(CommandId::FftWindow1, "Square Window", 28, Refreshed<SpectrumChange{.windowKind = 0}>),
    FftButton(CommandId::FftWindow2, "Triangular Bartlett Window", 29,
              Refreshed<SpectrumChange{.windowKind = 1}>),
    FftButton(CommandId::FftWindow3, "Parabolic Welch Window", 30,
              Refreshed<SpectrumChange{.windowKind = 2}>),
    FftButton(CommandId::FftWindow4, "Parzen Window", 31, Refreshed<SpectrumChange{.windowKind = 3}>),
    FftButton(CommandId::FftWindow5, "Lanczos Window", 32, Refreshed<SpectrumChange{.windowKind = 4}>),
    FftButton(CommandId::FftWindow6, "Cosine bell Hann Window", 33,
              Refreshed<SpectrumChange{.windowKind = 5}>),
    FftButton(CommandId::FftWindow7, "Hamming Window", 34, Refreshed<SpectrumChange{.windowKind = 6}>),
    FftButton(CommandId::FftWindow8, "Blackman Window", 35, Refreshed<SpectrumChange{.windowKind = 7}>),
    FftButton(CommandId::FrequencyZoomIn, "Frequency Zoom In", 4, Refreshed<SpectrumChange{.zoom = 2.0}>,
              WindowKey(platform::key::PageUp, In(FftView))),
    FftButton(CommandId::FrequencyZoomOut, "Frequency Zoom Out", 5, Refreshed<SpectrumChange{.zoom = 0.5}>,
              WindowKey(platform::key::PageDown, In(FftView))),
    FftButton(CommandId::FrequencyScaleOne, "Frequency Scale = 1", 6, Refreshed<SpectrumChange{.zoom = 0}>),
    {.id = CommandId::SpectrumRefresh, .required = WavOpen},  // gated like the spectrum, no action of its own
    {.id = CommandId::ShowFft,
     .label = "&FFT",
     .key = WindowKey('F', In(WavView)),
     .handler = Refreshed<SpectrumChange{}>,
     .required = WavOpen},
    {.id = CommandId::ShowMft,
     .label = "&MFT",
     .key = Accelerator('M'),
     .handler =
         [](App& app, int, CommandId) {
           ShowNoteSpectrumView(app.windows, app.docs, app.config, app.flags, app.ports);
         },
     .required = WavOpen},
};

}  // namespace

std::span<const CommandEntry> SpectrumViewCommandEntries() { return Entries; }

}  // namespace vocara
