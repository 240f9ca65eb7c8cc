// What the FFT and MFT windows show. The FFT readouts describe the bin under the cursor: its
// frequency, amplitude (percent of full scale) and phase, and the power-weighted frequency and
// amplitude of the selected bins or of the peak around the cursor. The MFT readouts describe
// the key under the cursor: its name, its strength against the strongest key and its fine
// pitch. A readout that would divide by nothing (silence) stays empty.

#include <algorithm>
#include <array>
#include <cstdint>
#include <span>
#include <string>

#include "base/Instruments.h"
#include "base/NumberText.h"
#include "program/shell/App.h"
#include "program/shell/AppFlags.h"
#include "program/shell/Resources.h"
#include "program/views/FftView.h"
#include "program/views/Render.h"
#include "program/views/SpectrumViews.h"

namespace vocara {
namespace {

constexpr int MaxValueText = 16;
constexpr int KeyCount = 88;
constexpr double KeyWidth = 0.011363636363636364;  // one 88th
// A marked peak's bar carries a cap of this many rows.
constexpr int MarkCap = 5;

std::string Number(double value, int decimals) { return FormatNumber(value, decimals, MaxValueText, true); }

// Marks are kept across size changes; only those on a bin with two neighbours in the current
// spectrum are shown.
bool Marked(const SpectrumState& spectrum, std::int64_t bin) {
  if (bin < 1 || bin >= std::int64_t{spectrum.fftSize / 2}) return false;
  return std::find(spectrum.markedPeaks.begin(), spectrum.markedPeaks.end(), bin) !=
         spectrum.markedPeaks.end();
}

int SelectionColumn(double column, int columns) {
  return static_cast<int>(std::clamp(column, 0.0, static_cast<double>(columns)));
}

}  // namespace

void UpdateFftValues(WindowStates& windows, const OpenDocuments& docs, std::uint32_t& flags) {
  std::array<std::string, StatusFieldCount>& texts = windows.status.texts;
  for (int i = 27; i <= 33; ++i) texts[static_cast<std::size_t>(i)].clear();
  if (!HasAll(flags, WavOpen)) return;
  const SpectrumState& spectrum = windows.spectrum;
  const std::int32_t bin = FftCursorBin(windows);
  const double rate = docs.wav.header.fields.sampleRate;
  const double amplitude = spectrum.spectrum[static_cast<std::size_t>(bin)];
  texts[29] = Number(rate * bin / spectrum.fftSize, 1);
  texts[30] = Number(AmplitudePercent(amplitude), 4);
  // A bin without amplitude has no phase.
  if (amplitude > 0.0) texts[31] = Number(BinPhase(spectrum, bin), 1);
  const PeakEstimate estimate = EstimatePeak(spectrum, bin, rate);
  if (!estimate.valid) return;
  texts[27].assign(estimate.range ? "RangeFreq/(Hz)=" : "  PeakFreq/(Hz)=");
  texts[28].assign(estimate.range ? "RangeAmpl/(arb.u)=" : "  PeakAmpl/(arb.u)=");
  texts[32] = Number(estimate.frequency, 2);
  texts[33] = Number(estimate.amplitude, 4);
}

void UpdateMftValues(WindowStates& windows, const OpenDocuments& docs, const Configuration& config,
                     std::uint32_t& flags) {
  std::array<std::string, StatusFieldCount>& texts = windows.status.texts;
  for (int i = 37; i <= 39; ++i) texts[static_cast<std::size_t>(i)].clear();
  const int width = ViewWidth(windows, MftView);
  const int key =
      std::clamp((windows.geometry[MftView].cursorX + 1) * KeyCount / (width + 1), 0, KeyCount - 1);
  texts[37].assign(NoteName(key));
  const GeneralSettings& settings = config.settings;
  if (key < settings.lowestNote || key > settings.highestNote) return;
  const NoteSpectrum& notes = windows.notes.spectrum;
  const double strength = notes.At(key);
  const double strongest = notes.At(windows.notes.strongest);
  if (strongest > 0.0) texts[38] = Number(strength * 100.0 / strongest, 2);
  const std::uint32_t rate = docs.wav.header.fields.sampleRate;
  const std::size_t length = HasAll(flags, WavOpen) ? NoteWindowLength(rate, settings) : 0;
  if (length == 0 || windows.noteWindow.size() < length) return;
  if (strength > notes.At(key - 1) && strength > notes.At(key + 1)) {
    const std::span<const double> window(windows.noteWindow.data(), length);
    texts[39] = Number(KeyFinePitch(windows.notes, key, window, rate, settings), 1);
  }
}

void PaintFftPlot(WindowStates& windows, std::uint32_t flags, platform::Canvas& canvas, int columns) {
  ViewGeometry& geometry = windows.geometry[FftView];
  const view::FftView& view = windows.fftView;
  const SpectrumState& spectrum = windows.spectrum;
  const std::int64_t perBin = std::max(view.pixelsPerBin, 1);
  if (flags & FftRangeSelected) {
    const double first = view.firstPixel;
    geometry.selLeftX = SelectionColumn(static_cast<double>(spectrum.fftSelStart) * perBin - first, columns);
    geometry.selRightX = SelectionColumn(static_cast<double>(spectrum.fftSelEnd) * perBin - first, columns);
  } else {
    geometry.selLeftX = 0;
    geometry.selRightX = 0;
  }
  const double scale = FftAmplitudeScale(windows);
  const double height = geometry.plotBottom - geometry.plotTop;
  const std::int64_t lastBin = spectrum.fftSize / 2;
  for (int x = 0; x < columns; ++x) {
    const std::int64_t bin = std::min((std::int64_t{view.firstPixel} + x) / perBin, lastBin);
    const auto bar =
        static_cast<int>(std::min(scale * spectrum.spectrum[static_cast<std::size_t>(bin)], height));
    DrawColumnBar(canvas, x, geometry.plotTop, geometry.plotBottom, bar,
                  Marked(spectrum, bin) ? bar + MarkCap : 0);
  }
}

void PaintMftPlot(WindowStates& windows, const Configuration& config, platform::Canvas& canvas) {
  ViewGeometry& geometry = windows.geometry[MftView];
  const GeneralSettings& settings = config.settings;
  const int width = ViewWidth(windows, MftView);
  geometry.selLeftX = settings.lowestNote * (width + 1) / KeyCount;
  geometry.selRightX = (settings.highestNote + 1) * (width + 1) / KeyCount;

  const NoteSpectrum& notes = windows.notes.spectrum;
  const double column = (width + 1) * KeyWidth;
  const double strongest = notes.At(windows.notes.strongest);
  const double rowsPerStrength = strongest > 0.0 ? (geometry.plotBottom - geometry.plotTop) / strongest : 0.0;
  canvas.SetRasterMode(platform::RasterMode::Copy);
  canvas.SelectPen(PenTable[3]);
  canvas.SelectBrush(BrushTable[2]);
  const int first = std::clamp(settings.lowestNote, 0, KeyCount - 1);
  const int last = std::clamp(settings.highestNote, 0, KeyCount - 1);
  for (int key = first; key <= last; ++key) {
    canvas.Rectangle(static_cast<int>(key * column),
                     static_cast<int>(geometry.plotBottom - rowsPerStrength * notes.At(key)),
                     static_cast<int>((key + 1) * column), geometry.plotBottom);
  }
}

}  // namespace vocara
