#include "engine/processing/Spectrum.h"

#include <algorithm>
#include <bit>
#include <cmath>

#include "base/Instruments.h"
#include "base/NumberText.h"
#include "engine/processing/Fft.h"
#include "engine/wav/SampleAccess.h"
#include "engine/wav/WavDocument.h"

namespace vocara {
namespace {

// Readout texts are at most this long, as the status fields hold them.
constexpr int NumberTextLength = 16;

bool ValidFftSize(std::uint32_t n) { return n >= MinFftSize && n <= MaxFftSize && std::has_single_bit(n); }

int ValidKind(int kind) { return kind >= 0 && kind < WindowKindCount ? kind : 0; }

struct Sums {
  double power = 0.0;   // P: the sum of spectrum[i]^2
  double moment = 0.0;  // M: the sum of i x spectrum[i]^2
};

Sums SpanSums(const std::vector<double>& spectrum, std::int32_t left, std::int32_t right) {
  Sums sums;
  for (std::int32_t i = left; i < right; ++i) {
    const double p = spectrum[static_cast<std::size_t>(i)] * spectrum[static_cast<std::size_t>(i)];
    sums.power += p;
    sums.moment += i * p;
  }
  return sums;
}

// Frequency and amplitude of a span; invalid when it holds no power (0 / 0 otherwise).
PeakEstimate SpanEstimate(const SpectrumState& state, std::int32_t left, std::int32_t right,
                          double sampleRate) {
  const Sums sums = SpanSums(state.spectrum, left, right);
  PeakEstimate estimate;
  if (!(sums.power > 0.0)) return estimate;
  estimate.valid = true;
  estimate.amplitude = AmplitudePercent(std::sqrt(sums.power));
  estimate.frequency = sampleRate * sums.moment / (state.fftSize * sums.power);
  return estimate;
}

}  // namespace

SpectrumState::SpectrumState()
    : windowTable(MaxFftSize), transformBuffer(MaxFftSize), spectrum(MaxFftSize / 2 + 1) {
  markedPeaks.reserve(MaxMarkedPeaks);
  PrepareFft(1, MaxFftSize);
}

void ComputeSpectrum(SpectrumState& state, WavDocument& wav, std::uint32_t cursor) {
  const std::uint32_t n = state.fftSize;
  if (!ValidFftSize(n)) return;
  const int kind = ValidKind(state.windowKind);
  if (state.tableKind != kind || state.tableSize != n) {
    ComputeWindowTable(kind, n, state.windowTable);
    state.tableKind = kind;
    state.tableSize = n;
  }
  const std::span<double> buffer(state.transformBuffer.data(), n);
  WavReadWindow(wav, cursor, buffer);
  for (std::uint32_t j = 0; j < n; ++j) buffer[j] *= state.windowTable[j];
  RealFft(1, n, buffer);

  const double g = WindowAmplitude[static_cast<std::size_t>(kind)] / n;
  std::vector<double>& spectrum = state.spectrum;
  spectrum[0] = std::fabs(buffer[0]) * g;
  spectrum[n / 2] = std::fabs(buffer[1]) * g;
  for (std::uint32_t k = 1; k < n / 2; ++k) {
    const double re = buffer[2 * k];
    const double im = buffer[2 * k + 1];
    spectrum[k] = std::sqrt(re * re + im * im) * g;
  }
}

SampleSpan AnalysedSpan(std::uint32_t fftSize, std::uint32_t cursor, std::uint32_t sampleCount) {
  const std::uint32_t half = fftSize / 2;
  SampleSpan span;
  span.left = cursor <= half ? 0 : cursor - half;
  span.right = static_cast<std::uint32_t>(std::min<std::uint64_t>(std::uint64_t{cursor} + half, sampleCount));
  return span;
}

double BinPhase(const SpectrumState& state, std::int32_t bin) {
  const auto half = static_cast<std::int32_t>(state.fftSize / 2);
  if (bin <= 0 || bin > half) return 0.0;
  if (bin == half) return state.transformBuffer[1] < 0.0 ? 180.0 : 0.0;
  const double re = state.transformBuffer[2 * static_cast<std::size_t>(bin)];
  const double im = state.transformBuffer[2 * static_cast<std::size_t>(bin) + 1];
  double phase = std::atan2(re, im) * 180.0 * 0.3183098861837907;
  // The transform counts from the window's first sample, half a window before the cursor.
  if (bin % 2 != 0) phase += 180.0;
  if (phase < 0.0) phase += 360.0;
  return phase > 359.9 ? 0.0 : phase;
}

PeakEstimate EstimatePeak(const SpectrumState& state, std::int32_t cursorBin, double sampleRate) {
  const auto half = static_cast<std::int32_t>(state.fftSize / 2);
  const std::vector<double>& s = state.spectrum;
  if (state.fftSelStart != state.fftSelEnd) {
    const std::int32_t left = std::clamp(state.fftSelStart, 0, half + 1);
    const std::int32_t right = std::clamp(state.fftSelEnd, left, half + 1);
    PeakEstimate estimate = SpanEstimate(state, left, right, sampleRate);
    estimate.range = true;
    return estimate;
  }
  if (cursorBin < 0 || cursorBin > half) return {};
  std::int32_t left = cursorBin;
  std::int32_t right = cursorBin;
  if (cursorBin >= 2) {
    for (;;) {
      if (right >= half - 1) break;
      if (s[static_cast<std::size_t>(left - 1)] > s[static_cast<std::size_t>(left)]) break;
      --left;
      if (s[static_cast<std::size_t>(right + 1)] > s[static_cast<std::size_t>(right)]) break;
      ++right;
      if (right - left > 20) break;
      if (left <= 1) break;
    }
  }
  if (right - left < 2) return {};
  return SpanEstimate(state, left, right, sampleRate);
}

bool MarkPeak(SpectrumState& state, std::int32_t bin) {
  const auto half = static_cast<std::int32_t>(state.fftSize / 2);
  if (bin < 1 || bin > half - 1 || state.markedPeaks.size() >= MaxMarkedPeaks) return false;
  if (std::find(state.markedPeaks.begin(), state.markedPeaks.end(), bin) != state.markedPeaks.end())
    return false;
  const std::vector<double>& s = state.spectrum;
  const auto b = static_cast<std::size_t>(bin);
  if (s[b] < s[b - 1] || s[b] < s[b + 1]) return false;
  state.markedPeaks.push_back(bin);
  return true;
}

std::string PeakListText(const SpectrumState& state, double sampleRate, double silenceThreshold) {
  const auto half = static_cast<std::int32_t>(state.fftSize / 2);
  const std::vector<double>& s = state.spectrum;
  const auto at = [&](std::int32_t i) { return s[static_cast<std::size_t>(i)]; };
  std::string text;
  const auto peak = [&](std::int32_t b, bool marked) {
    // A mark left from a larger size may lie beyond this size's bins.
    if (b < 1 || b > half - 1) return;
    if (!(at(b) > at(b - 1) && at(b) > at(b + 1))) return;
    std::int32_t left = b - 1;
    std::int32_t right = b + 1;
    while (left > 1) {
      if (right >= half - 1) break;
      if (at(left - 1) > at(left)) break;
      --left;
      if (at(right + 1) > at(right)) break;
      ++right;
      if (right - left > 20) break;
    }
    const PeakEstimate estimate = SpanEstimate(state, left, right, sampleRate);
    if (!estimate.valid || (!marked && !(estimate.amplitude > silenceThreshold))) return;
    text += FormatNumber(estimate.frequency, 2, NumberTextLength, true);
    text += '\t';
    text += FormatNumber(estimate.amplitude, 4, NumberTextLength, true);
    text += "\r\n";
  };
  if (!state.markedPeaks.empty()) {
    for (const std::int32_t b : state.markedPeaks) peak(b, true);
  } else {
    for (std::int32_t b = 2; b < half; ++b) peak(b, false);
  }
  return text;
}

std::uint32_t NoteWindowLength(std::uint32_t sampleRate, const GeneralSettings& settings) {
  return AnalysisWindowLength(settings.lowestNote, sampleRate) + 1;
}

void ComputeNoteSpectrum(NoteReadout& readout, WavDocument& wav, std::uint32_t cursor,
                         const GeneralSettings& settings, std::span<double> window) {
  const std::uint32_t rate = wav.header.fields.sampleRate;
  const std::span<double> slots = window.first(NoteWindowLength(rate, settings));
  LoadAnalysisWindow(wav, cursor, slots);
  readout.spectrum = NoteSpectrum{};
  DetectNote(readout.spectrum, slots, rate, settings);
  readout.strongest = readout.spectrum.strongest;
  readout.detected = readout.spectrum.detected;
}

double KeyFinePitch(const NoteReadout& readout, int key, std::span<const double> window,
                    std::uint32_t sampleRate, const GeneralSettings& settings) {
  if (key < 0 || key >= NoteCount) return 0.0;
  return FinePitchOffset(readout.spectrum, window.first(NoteWindowLength(sampleRate, settings)), sampleRate,
                         key);
}

}  // namespace vocara
