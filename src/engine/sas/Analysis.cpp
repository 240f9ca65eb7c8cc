// The constants are written out as the analysis has always used them, not derived at run
// time: changing the last digit of one would move the frame length or a sum's span and so
// change the built files.

#include "engine/sas/Analysis.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "base/Settings.h"
#include "engine/wav/SampleAccess.h"
#include "engine/wav/WavDocument.h"

namespace vocara {
namespace {

constexpr double LnTwoOver12 = 0.057762265046662;
constexpr double LnTwoOver24 = 0.028881132523331;
constexpr double WindowScale = 293.42777920733;  // 16 x 2^(1.5/12) / (2^(1/12) - 1)
constexpr double SpanScale = 269.07445992169;    // 16 / (2^(1/12) - 1)
constexpr double OneOver440 = 0.0022727272727272726;
constexpr double SemitoneStep = 0.0594630943593;   // 2^(1/12) - 1
constexpr double TwoPiOverStep = 105.66529331983;  // 2 pi / (2^(1/12) - 1)

}  // namespace

std::uint32_t AnalysisWindowLength(std::int32_t lowestNote, std::uint32_t sampleRate) {
  const double length =
      std::exp(-static_cast<double>(lowestNote) * LnTwoOver12) * (sampleRate * WindowScale) * OneOver440;
  // Valid settings keep this below 2^32 at every rate (about 0.67 x the rate at A0); the limit
  // only keeps the conversion defined.
  return length >= 4294967295.0 ? 4294967295u : static_cast<std::uint32_t>(length);
}

std::uint32_t AnalysisFrameLength(std::uint32_t windowLength, double chunkPeriods) {
  const double length = windowLength * chunkPeriods * SemitoneStep;
  return length >= 4294967295.0 ? 4294967295u : static_cast<std::uint32_t>(length);
}

NoteParams MakeNoteParams(int q, std::uint32_t sampleRate, std::uint32_t windowLength) {
  NoteParams p;
  p.span = std::exp(-q * LnTwoOver24) * (sampleRate * SpanScale) * OneOver440;
  p.inverseSpan = 1.0 / p.span;
  const double omega = p.inverseSpan * TwoPiOverStep;
  p.cosStep = std::cos(omega);
  p.sinStep = std::sin(omega);
  const double w = windowLength;
  p.first = std::max<std::int64_t>(static_cast<std::int64_t>((w - p.span) * 0.5), 0);
  p.last = std::min<std::int64_t>(static_cast<std::int64_t>((w + p.span) * 0.5), windowLength);
  return p;
}

double NoteAmplitude(double sumRe, double sumIm, const NoteParams& params) {
  return std::sqrt(sumIm * sumIm + sumRe * sumRe) * 2.0 * params.inverseSpan;
}

void LoadAnalysisWindow(WavDocument& document, std::uint32_t pos, std::span<double> window) {
  if (window.empty()) return;
  const std::int64_t w = static_cast<std::int64_t>(window.size()) - 1;
  const std::int64_t count = document.sampleCount;
  const std::int64_t start = std::int64_t{pos} - w / 2;  // the position of slot 0
  // The samples the window covers, slots 0..W-1 only: everything at or past N reads as 0.
  const std::int64_t first = std::max<std::int64_t>(start, 0);
  const std::int64_t end = std::min(start + w, count);
  std::fill(window.begin(), window.end(), 0.0);
  if (end <= first) return;

  const unsigned blockAlign = document.BlockAlign();
  document.file.Seek(document.dataOffset + static_cast<std::uint64_t>(first) * blockAlign);
  double* out = window.data() + (first - start);
  std::uint64_t left = static_cast<std::uint64_t>(end - first);
  std::uint8_t* piece = document.buffer.Piece();
  while (left > 0) {
    const auto n =
        static_cast<std::size_t>(std::min<std::uint64_t>(left, SampleBuffer::PieceSamples(blockAlign)));
    const std::size_t bytes = n * blockAlign;
    const std::size_t got = document.file.Read(piece, bytes);
    // What the file no longer holds reads as silence.
    if (got < bytes) std::memset(piece + got, 0, bytes - got);
    for (std::size_t i = 0; i < n; ++i) out[i] = LeftAlignedSample(piece + i * blockAlign, blockAlign);
    out += n;
    left -= n;
  }
}

double NoteStrength(std::span<const double> window, std::uint32_t sampleRate, int q) {
  if (window.empty()) return 0.0;
  const NoteParams p = MakeNoteParams(q, sampleRate, static_cast<std::uint32_t>(window.size() - 1));
  double sumRe = 0.0;
  double sumIm = 0.0;
  double re = 1.0;
  double im = 0.0;
  for (std::int64_t k = p.first; k <= p.last; ++k) {
    const double x = window[static_cast<std::size_t>(k)];
    sumRe += x * re;
    sumIm += x * im;
    const double nextRe = p.cosStep * re - p.sinStep * im;
    const double nextIm = p.sinStep * re + p.cosStep * im;
    re = nextRe;
    im = nextIm;
  }
  return NoteAmplitude(sumRe, sumIm, p);
}

double FineOffsetFromValues(const std::array<double, 5>& a) {
  int k = 0;
  double largest = 0.0;
  for (int i = 1; i <= 3; ++i) {
    if (a[static_cast<std::size_t>(i)] > largest) {
      largest = a[static_cast<std::size_t>(i)];
      k = i;
    }
  }
  // With nothing positive among the three, k stays 0 and there is no value below a0; it counts
  // as 0, so the quadratic adds nothing and the result is -100 cents. A detected note never
  // comes here: its own strength is positive.
  const double up = a[static_cast<std::size_t>(k + 1)];
  const double lo = k > 0 ? a[static_cast<std::size_t>(k - 1)] : 0.0;
  double offset = 0.0;
  if (up > lo) {
    const double d = (up - lo) / up;
    offset = 20.986565 * d * d + 25.33354 * d - 0.10875676;
  } else if (lo > 0) {
    const double d = (lo - up) / lo;
    offset = -(22.917318 * d * d + 25.0433 * d + 0.40385277);
  }
  return (k - 2) * 50 + offset;
}

double FinePitchOffset(const NoteSpectrum& spectrum, std::span<const double> window, std::uint32_t sampleRate,
                       int n) {
  return FineOffsetFromValues({spectrum.At(n - 1), NoteStrength(window, sampleRate, 2 * n - 1),
                               spectrum.At(n), NoteStrength(window, sampleRate, 2 * n + 1),
                               spectrum.At(n + 1)});
}

NoteChoice ChooseNote(const NoteSpectrum& spectrum, const GeneralSettings& settings) {
  NoteChoice choice;
  double max = 0.0;
  for (int n = settings.lowestNote - 1; n <= settings.highestNote; ++n) {
    if (spectrum.At(n) > max) {
      max = spectrum.At(n);
      choice.strongest = n;
    }
  }
  const double threshold = settings.baseNoteThreshold * max * 0.01;
  for (int n = settings.lowestNote; n <= settings.highestNote; ++n) {
    const double s = spectrum.At(n);
    const double above = n < settings.highestNote ? spectrum.At(n + 1) : 0.0;
    if (s > spectrum.At(n - 1) && s > above && s > threshold) {
      choice.detected = n;
      break;
    }
  }
  return choice;
}

void DetectNote(NoteSpectrum& spectrum, std::span<const double> window, std::uint32_t sampleRate,
                const GeneralSettings& settings) {
  for (int n = settings.lowestNote - 1; n <= settings.highestNote; ++n)
    spectrum.At(n) = NoteStrength(window, sampleRate, 2 * n);
  const NoteChoice choice = ChooseNote(spectrum, settings);
  double fine = 0.0;
  if (choice.detected >= 0 && choice.detected < 88)
    fine = FinePitchOffset(spectrum, window, sampleRate, choice.detected);
  spectrum.detected = std::max(choice.detected, 0);
  spectrum.fine = fine;
  spectrum.strongest = std::max(choice.strongest, 0);
}

std::uint16_t FramePitch(int detected, double fine) {
  // Truncation toward zero, then the 16-bit view of the result: the pitch field is 16 bits.
  const auto pitch = static_cast<std::int16_t>(static_cast<int>(detected * 100 + fine));
  return pitch < 0 ? 0 : static_cast<std::uint16_t>(pitch);
}

}  // namespace vocara
