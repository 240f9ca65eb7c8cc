// Noise capture and spectral subtraction.
//
// Remove Noise cuts the recording into blocks of L samples centred on 0, half, 2 half, ...
// (half = L / 2), windows each with the profile's Hann table, reduces every bin by its threshold
// and transforms back; consecutive Hann windows at 50 % overlap add up to one, so summing the
// second half of each block with the first half of the next restores whatever was not taken
// away. Block j (j >= 1) completes the output samples (j - 1) half .. j half - 1; the block
// after the one that reaches the end of the data writes the rest, so the output holds exactly
// sampleCount samples. The first block is never the last: with fewer than half samples it is
// still followed by the block that completes them.
//
// Once the profile is fixed the blocks do not depend on each other, so they run through the
// ordered block pipeline (OrderedBlocks.h): several threads transform them, each block wholly
// by one thread with the same code, which keeps the output identical to a run on one thread.
// The calling thread alone reads the recording, adds the halves, writes the file and reports
// progress, and transforms blocks itself whenever the next one to write is not ready yet.

#include <algorithm>
#include <cmath>
#include <limits>
#include <span>
#include <thread>
#include <vector>

#include "base/FileHandle.h"
#include "base/OutputFile.h"
#include "base/Settings.h"
#include "engine/common/OrderedBlocks.h"
#include "engine/processing/Fft.h"
#include "engine/processing/NoiseKernels.h"
#include "engine/processing/NoiseProfile.h"
#include "engine/wav/SampleAccess.h"
#include "engine/wav/WavDocument.h"
#include "engine/wav/WavHeader.h"

namespace vocara {
namespace {

constexpr int CaptureWindows = 20;
// Block values in flight (blocks x L): small enough to stay in the caches of this kind of
// machine, large enough that the threads seldom wait for one another.
constexpr std::size_t RingValues = std::size_t{1} << 18;
// Input samples read at once, and output samples written at once.
constexpr std::size_t StagedSamples = 65536;
constexpr unsigned MostThreads = 8;

bool ValidLength(std::uint32_t length) {
  return length >= 4 && length <= MaxNoiseLength && (length & (length - 1)) == 0;
}

// Left-aligned samples first .. first + out.size() - 1, zero where they lie outside the data;
// read through the document's read buffer in large pieces.
void ReadSamples(WavDocument& wav, std::int64_t first, std::span<std::int32_t> out) {
  const auto size = static_cast<std::int64_t>(out.size());
  const std::int64_t from = std::max<std::int64_t>(first, 0);
  const std::int64_t to = std::max(from, std::min<std::int64_t>(first + size, wav.sampleCount));
  std::int32_t* p = out.data();
  const std::int64_t lead = std::min(from - first, size);
  std::fill(p, p + lead, 0);
  p += lead;
  const unsigned blockAlign = wav.BlockAlign();
  std::int64_t left = to - from;
  if (left > 0) wav.file.Seek(wav.dataOffset + static_cast<std::uint64_t>(from) * blockAlign);
  while (left > 0) {
    const auto wanted =
        static_cast<std::size_t>(std::min<std::int64_t>(left, SampleBuffer::ScanPieceSamples(blockAlign)));
    std::uint8_t* piece = wav.buffer.Piece();
    const std::size_t got = wav.file.Read(piece, wanted * blockAlign) / blockAlign;
    for (std::size_t i = 0; i < got; ++i) p[i] = LeftAlignedSample(piece + i * blockAlign, blockAlign);
    // A file cut short behind the program's back reads as silence.
    std::fill(p + got, p + wanted, 0);
    p += wanted;
    left -= static_cast<std::int64_t>(wanted);
  }
  std::fill(p, out.data() + out.size(), 0);
}

// One block from samples to output values: window, transform, subtract, transform back,
// remove the trend, scale. Reads only the run's constants; `block` is the thread's own.
class BlockTransform {
 public:
  BlockTransform(const NoiseProfile& profile, const NoiseRemovalSettings& settings)
      : length_(profile.length), window_(profile.window.data()), threshold_(profile.length / 2 + 1) {
    // Clamped here, where every caller's value arrives: a floor of 1e308 or NaN read from a
    // settings file would otherwise silence every bin.
    const double white = WhiteNoiseInEffect(settings.whiteNoise) * 2147483647.0 * 0.01;
    const double floor = 1.5 * (white * white) * length_;
    for (std::size_t e = 0; e < threshold_.size(); ++e)
      threshold_[e] = settings.noiseGain * profile.power[e] + floor;
  }

  void Run(const std::int32_t* samples, std::span<double> block, std::int32_t* values) const {
    const std::uint32_t n = length_;
    double* b = block.data();
    NoiseWindow(path_, samples, window_, n, b);
    RealFft(1, n, block);
    const double* t = threshold_.data();
    // Bins 0 and L/2 are real: their magnitude is reduced, their sign not kept. Written so that
    // a threshold that is not a number silences them rather than making them one.
    for (int e = 0; e < 2; ++e) {
      const double p = b[e] * b[e];
      b[e] = !(t[e] < p) ? 0.0 : std::sqrt(p - t[e]);
    }
    NoiseSubtract(path_, t, n, b);
    RealFft(-1, n, block);
    // The block starts and ends at 0, so that what the subtraction left at its edges does not
    // step where blocks meet; the inverse transform gave L/2 times the values.
    NoiseDetrend(path_, b, n, values);
  }

 private:
  NoiseKernelPath path_ = BestNoiseKernelPath();
  std::uint32_t length_;
  const double* window_;
  std::vector<double> threshold_;  // T(e) per packed element
};

unsigned ThreadsFor(const NoiseRemovalSettings& settings, std::uint64_t blocks, std::size_t capacity) {
  unsigned threads = settings.threads;
  if (threads == 0) threads = blocks < capacity ? 1 : std::max(1u, std::thread::hardware_concurrency());
  return std::min(threads, MostThreads);
}

}  // namespace

NoiseProfile::NoiseProfile() : window(MaxNoiseLength), power(MaxNoiseLength) {}

std::uint32_t NoiseLengthFor(std::int32_t noiseLength) {
  if (noiseLength < 2048) return 1024;
  std::uint32_t length = 2048;
  while (length < MaxNoiseLength && length * 2 <= static_cast<std::uint32_t>(noiseLength)) length *= 2;
  return length;
}

void CaptureNoise(NoiseProfile& profile, WavDocument& wav, std::uint32_t left, std::uint32_t right,
                  std::uint32_t length, bool reset) {
  if (reset || !ValidLength(profile.length)) {
    // Anything but a length the settings can give would overrun the profile.
    profile.length = ValidLength(length) ? length : NoiseLengthFor(static_cast<std::int32_t>(length));
    std::fill(profile.power.begin(), profile.power.end(), 0.0);
    ComputeWindowTable(HannWindow, profile.length, profile.window);
  }
  const std::uint32_t n = profile.length;
  // A range shorter than the profile steps backwards from its start; those windows, and any
  // that reach past either end of the data, read zeros there.
  const std::int64_t step = (static_cast<std::int64_t>(right) - left - n) / CaptureWindows;
  std::vector<std::int32_t> samples(n);
  std::vector<double> block(n);
  double* power = profile.power.data();
  for (int k = 0; k < CaptureWindows; ++k) {
    const std::int64_t centre = std::int64_t{left} + k * step + n / 2;
    ReadSamples(wav, centre - n / 2, samples);
    for (std::uint32_t i = 0; i < n; ++i) block[i] = static_cast<double>(samples[i]) * profile.window[i];
    RealFft(1, n, block);
    power[0] = std::max(power[0], block[0] * block[0]);
    power[1] = std::max(power[1], block[1] * block[1]);
    for (std::uint32_t b = 1; b < n / 2; ++b) {
      const double re = block[2 * b];
      const double im = block[2 * b + 1];
      power[b + 1] = std::max(power[b + 1], re * re + im * im);
    }
  }
}

NoiseRemovalResult RemoveNoise(WavDocument& wav, const NoiseProfile& profile,
                               const NoiseRemovalSettings& settings, const std::string& output,
                               const ProgressCallback& progress) {
  NoiseRemovalResult result;
  const std::uint32_t length = profile.length;
  if (!ValidLength(length) || profile.window.size() < length || profile.power.size() < length / 2 + 1) {
    result.result = LongOperationResult::Failed;
    return result;
  }
  OutputFile target;
  if (const MessageId refused = target.Begin(output, {wav.path}); refused != MessageId::None) {
    result.message = refused;
    result.result = LongOperationResult::Failed;
    return result;
  }
  FileHandle& file = target.File();

  const unsigned blockAlign = wav.BlockAlign();
  const std::uint64_t count = wav.sampleCount;
  WavHeader header = wav.header;
  header.SetDataSize(static_cast<std::uint32_t>(count * blockAlign));
  const auto image = header.Serialise();
  bool written = file.Write(image.data(), image.size());

  const std::uint32_t half = length / 2;
  // Block j is centred on j half; the last is the first after block 0 that reads fewer than
  // half samples, and it writes the samples up to the end of the data.
  const std::uint64_t lastBlock = count / half + 1;
  const std::uint64_t blocks = lastBlock + 1;
  const std::size_t capacity = std::max<std::size_t>(4, RingValues / length);

  const BlockTransform transform(profile, settings);
  const unsigned threads = ThreadsFor(settings, blocks, capacity);
  // Each slot holds a block's samples and then its output values; each thread a block of its own.
  std::vector<std::int32_t> samples(capacity * length);
  std::vector<std::int32_t> values(capacity * length);
  std::vector<std::vector<double>> scratch(threads, std::vector<double>(length));
  // Samples stagedFirst .. + staged.size() - 1 of the recording, read in large pieces, from
  // which the blocks are staged.
  std::vector<std::int32_t> staged(std::max<std::size_t>(StagedSamples, length));
  std::int64_t stagedFirst = 0;
  bool stagedAny = false;
  std::vector<std::int32_t> overlap(half);
  std::vector<std::uint8_t> bytes(std::size_t{StagedSamples} * blockAlign);
  std::size_t pending = 0;  // bytes waiting to be written

  bool aborted = false;
  OrderedBlockSteps steps;
  steps.stage = [&](std::uint64_t j, std::size_t slot) {
    const std::int64_t first = static_cast<std::int64_t>(j * half) - half;
    if (!stagedAny || first + length > stagedFirst + static_cast<std::int64_t>(staged.size())) {
      stagedFirst = first;
      stagedAny = true;
      ReadSamples(wav, stagedFirst, staged);
    }
    std::copy_n(staged.begin() + (first - stagedFirst), length, samples.begin() + slot * length);
  };
  steps.transform = [&](std::uint64_t, std::size_t slot, unsigned thread) {
    transform.Run(&samples[slot * length], scratch[thread], &values[slot * length]);
  };
  steps.consume = [&](std::uint64_t j, std::size_t slot) {
    if (progress && !progress(std::min(j * half, count), count)) {
      aborted = true;
      return false;
    }
    const std::int32_t* v = &values[slot * length];
    if (j > 0) {
      const auto emit = static_cast<std::size_t>(j == lastBlock ? count - (j - 1) * half : half);
      if (pending + emit * blockAlign > bytes.size()) {
        written = file.Write(bytes.data(), pending);
        pending = 0;
      }
      pending = static_cast<std::size_t>(NoiseAppendSums(BestNoiseKernelPath(), overlap.data(), v, emit,
                                                         blockAlign, bytes.data() + pending) -
                                         bytes.data());
    }
    std::copy_n(v + half, half, overlap.data());
    return written;
  };
  if (written) RunOrderedBlocks(blocks, capacity, threads - 1, steps);
  if (written && !aborted) written = file.Write(bytes.data(), pending);

  const OutputFile::LongEnd ending = target.FinishLong(written, aborted);
  result.message = ending.message;
  result.result = ending.result;
  return result;
}

}  // namespace vocara
