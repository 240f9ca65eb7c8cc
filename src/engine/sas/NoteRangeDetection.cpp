#include "engine/sas/NoteRangeDetection.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

#include "base/Instruments.h"
#include "base/Settings.h"
#include "engine/sas/Analysis.h"
#include "engine/wav/SampleAccess.h"
#include "engine/wav/WavDocument.h"

namespace vocara {
namespace {

// Half the span around a frame whose level decides whether the frame is quiet: about the
// longest sum of the notes a voice reaches, so a frame at the end of a note is not judged by the
// silence after it.
constexpr std::uint32_t LevelHalfSpan = 2048;

// A tone puts most of its level into its notes; noise spreads it over all of them. A frame
// whose strongest note holds less than this share of its peak level (RMS x sqrt 2) is noise.
constexpr double TonalShare = 0.3;

// Below this RMS (percent of full scale, about -80 dB) a frame is silence whatever the rest.
constexpr double SilentRms = 0.01;

constexpr double LowPercentile = 0.02;
constexpr double HighPercentile = 0.98;

// Fewer notes than this are too few to call a range.
constexpr std::size_t MinimumNotes = 3;

double Strongest(const NoteSpectrum& spectrum, int first, int last) {
  double best = 0.0;
  for (int n = std::max(first, -1); n <= std::min(last, NoteCount); ++n)
    best = std::max(best, spectrum.At(n));
  return best;
}

std::uint32_t FramePosition(std::uint32_t sampleCount, int index, int frames) {
  // Centred in equal parts of the file, so the first and last frames do not sit on the fade
  // in and out at its ends.
  const double at = (index + 0.5) * sampleCount / frames;
  return static_cast<std::uint32_t>(std::min<double>(at, sampleCount - 1.0));
}

// The RMS of the middle of a loaded window, in the window's units.
double CentreRms(const std::vector<double>& window) {
  const std::size_t middle = window.size() / 2;
  const std::size_t half = std::min<std::size_t>(LevelHalfSpan, middle);
  double sum = 0.0;
  for (std::size_t i = middle - half; i < middle + half; ++i) sum += window[i] * window[i];
  return half == 0 ? 0.0 : std::sqrt(sum / static_cast<double>(2 * half));
}

}  // namespace

int FrameFundamental(const NoteSpectrum& spectrum, double baseNoteThreshold) {
  const double strongest = Strongest(spectrum, 0, NoteCount - 1);
  if (strongest <= 0.0) return -1;
  const double threshold = baseNoteThreshold * strongest * 0.01;
  for (int n = 0; n < NoteCount; ++n) {
    const double s = spectrum.At(n);
    if (!(s > spectrum.At(n - 1) && s > spectrum.At(n + 1) && s > threshold)) continue;
    if (s >= strongest) return n;
    // A peak below the strongest is a fundamental when its second and third partials (an
    // octave, and an octave and a fifth above) are there too; a peak an octave under the voice
    // has the voice as its "octave" but nothing at the fifth above it.
    const bool octave = Strongest(spectrum, n + 11, n + 13) > threshold;
    const bool twelfth = Strongest(spectrum, n + 18, n + 20) > threshold;
    if (octave && twelfth) return n;
  }
  return -1;
}

NoteRangeResult DetectNoteRange(WavDocument& document, const GeneralSettings& settings,
                                const ProgressCallback& progress) {
  NoteRangeResult result;
  const std::uint32_t count = document.sampleCount;
  if (count == 0) return result;
  const int frames = static_cast<int>(std::min<std::uint32_t>(NoteRangeFrames, count));

  // First the level of every frame, a short read each, so the quiet ones cost nothing more.
  std::vector<double> levels(static_cast<std::size_t>(frames));
  double loudest = 0.0;
  for (int i = 0; i < frames; ++i) {
    const std::uint32_t pos = FramePosition(count, i, frames);
    const std::uint32_t left = pos > LevelHalfSpan ? pos - LevelHalfSpan : 0;
    const std::uint32_t right =
        static_cast<std::uint32_t>(std::min<std::uint64_t>(std::uint64_t{pos} + LevelHalfSpan, count));
    levels[static_cast<std::size_t>(i)] = WavRangeRms(document, left, right);
    loudest = std::max(loudest, levels[static_cast<std::size_t>(i)]);
  }
  const double quiet = std::max(SilentRms, loudest * NoteRangeQuiet);

  // The window the lowest key needs; every key is measured from it.
  const std::uint32_t rate = document.header.fields.sampleRate;
  std::vector<double> window(std::size_t{AnalysisWindowLength(0, rate)} + 1);
  std::vector<int> notes;
  NoteSpectrum spectrum;
  for (int i = 0; i < frames; ++i) {
    if (progress && !progress(static_cast<std::uint64_t>(i), static_cast<std::uint64_t>(frames))) {
      result.result = LongOperationResult::Cancelled;
      return result;
    }
    if (levels[static_cast<std::size_t>(i)] < quiet) continue;
    LoadAnalysisWindow(document, FramePosition(count, i, frames), window);
    for (int n = -1; n <= NoteCount; ++n) spectrum.At(n) = NoteStrength(window, rate, 2 * n);
    if (Strongest(spectrum, 0, NoteCount - 1) < TonalShare * std::sqrt(2.0) * CentreRms(window)) continue;
    const int note = FrameFundamental(spectrum, settings.baseNoteThreshold);
    if (note >= 0) notes.push_back(note);
  }
  if (progress) progress(static_cast<std::uint64_t>(frames), static_cast<std::uint64_t>(frames));

  result.framesUsed = static_cast<int>(notes.size());
  if (notes.size() < MinimumNotes) return result;
  std::sort(notes.begin(), notes.end());
  const double last = static_cast<double>(notes.size() - 1);
  const int low = notes[static_cast<std::size_t>(std::floor(LowPercentile * last))];
  const int high = notes[static_cast<std::size_t>(std::ceil(HighPercentile * last))];
  result.found = true;
  result.lowestNote = std::clamp(low - NoteRangeMargin, 0, NoteCount - 1);
  result.highestNote = std::clamp(high + NoteRangeMargin, 0, NoteCount - 1);
  return result;
}

}  // namespace vocara
