#include "engine/sas/BlockAnalyser.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "engine/wav/SampleAccess.h"
#include "engine/wav/WavDocument.h"

namespace vocara {
namespace {

// A tile of this many bytes stays in the processor's second-level cache while all notes walk
// through it. With the default settings at 48 kHz the whole window of a block fits one tile,
// so the quarter-tone pass finds it still loaded; longer windows take several tiles.
constexpr std::size_t TileBytes = 1048576;
constexpr std::size_t MinimumTileRows = 16;
constexpr std::int64_t NeverStarts = std::numeric_limits<std::int64_t>::max();

// The run of positions a block's windows reach inside the data: slots 0 .. W - 1 of its
// existing frames (slot W always holds 0).
struct Run {
  std::int64_t first = 0;
  std::int64_t end = 0;
};

Run BlockRun(const AnalysisPlan& plan, std::uint32_t firstFrame, std::uint32_t frames) {
  const std::int64_t half = plan.windowLength / 2;
  const std::int64_t start = std::int64_t{firstFrame} * plan.frameLength - half;
  const std::int64_t end =
      (std::int64_t{firstFrame} + frames - 1) * plan.frameLength - half + plan.windowLength;
  Run run{std::max<std::int64_t>(start, 0), std::min<std::int64_t>(end, plan.sampleCount)};
  if (run.end < run.first) run.end = run.first;
  return run;
}

std::int32_t SampleAt(const BlockSamples& samples, std::int64_t position, unsigned blockAlign) {
  const std::int64_t offset = position - samples.firstPosition;
  if (offset < 0 || offset >= static_cast<std::int64_t>(samples.count)) return 0;
  return LeftAlignedSample(samples.Bytes() + offset * blockAlign, blockAlign);
}

void ResetState(double* state, int frames) {
  std::fill(state, state + 2 * frames, 0.0);               // the sums
  std::fill(state + 2 * frames, state + 3 * frames, 1.0);  // the phasor starts at (1, 0)
  std::fill(state + 3 * frames, state + 4 * frames, 0.0);
}

}  // namespace

std::uint32_t AnalysisPlan::BlockCount() const {
  return static_cast<std::uint32_t>((std::uint64_t{frameCount} + blockFrames - 1) / blockFrames);
}

std::size_t AnalysisPlan::RunCapacity() const {
  const std::uint64_t reach = std::uint64_t(blockFrames - 1) * frameLength + windowLength;
  return static_cast<std::size_t>(std::min<std::uint64_t>(reach, sampleCount));
}

AnalysisPlan MakeAnalysisPlan(const WavDocument& wav, const GeneralSettings& settings, KernelWidth width) {
  AnalysisPlan plan;
  plan.settings = settings;
  plan.sampleRate = wav.header.fields.sampleRate;
  plan.sampleCount = wav.sampleCount;
  plan.windowLength = AnalysisWindowLength(settings.lowestNote, plan.sampleRate);
  plan.frameLength = AnalysisFrameLength(plan.windowLength, settings.chunkPeriods);
  plan.frameCount = plan.frameLength == 0 ? 0 : plan.sampleCount / plan.frameLength;
  plan.blockAlign = wav.BlockAlign();
  plan.width = width;
  plan.blockFrames = ShapeOf(width).Frames();
  plan.tileRows = std::max(MinimumTileRows, TileBytes / (sizeof(double) * plan.blockFrames));
  for (int n = settings.lowestNote - 1; n <= settings.highestNote; ++n)
    plan.notes.push_back(MakeNoteParams(2 * n, plan.sampleRate, plan.windowLength));
  plan.firstQuarterTone = 2 * settings.lowestNote - 1;
  for (int q = plan.firstQuarterTone; q <= 2 * settings.highestNote + 1; ++q)
    plan.quarterTones.push_back(MakeNoteParams(q, plan.sampleRate, plan.windowLength));
  return plan;
}

BlockSamples::BlockSamples(const AnalysisPlan& plan)
    : storage(SampleBuffer::SpareBytes + plan.RunCapacity() * plan.blockAlign) {}

void ReadBlockSamples(WavDocument& wav, const AnalysisPlan& plan, std::uint32_t block,
                      BlockSamples& samples) {
  const std::uint32_t firstFrame = block * static_cast<std::uint32_t>(plan.blockFrames);
  ReadFrameSamples(wav, plan, firstFrame,
                   std::min<std::uint32_t>(plan.blockFrames, plan.frameCount - firstFrame), samples);
}

void ReadFrameSamples(WavDocument& wav, const AnalysisPlan& plan, std::uint32_t firstFrame,
                      std::uint32_t frames, BlockSamples& samples) {
  samples.firstFrame = firstFrame;
  samples.frames = frames;
  const Run run = BlockRun(plan, samples.firstFrame, samples.frames);
  samples.firstPosition = run.first;
  samples.count = static_cast<std::size_t>(run.end - run.first);
  if (samples.count == 0) return;
  const std::size_t bytes = samples.count * plan.blockAlign;
  wav.file.Seek(wav.dataOffset + static_cast<std::uint64_t>(run.first) * plan.blockAlign);
  const std::size_t got = wav.file.Read(samples.Bytes(), bytes);
  if (got < bytes) std::memset(samples.Bytes() + got, 0, bytes - got);
}

BlockAnalyser::BlockAnalyser(const AnalysisPlan& plan) : plan_(plan) {
  const auto frames = static_cast<std::size_t>(plan.blockFrames);
  tile_.resize(plan.tileRows * frames + 8);
  const auto address = reinterpret_cast<std::uintptr_t>(tile_.data());
  tileOffset_ = ((64 - address % 64) % 64) / sizeof(double);
  laneOffsets_.resize(frames);
  run_.resize(plan.RunCapacity());
  noteState_.resize(plan.notes.size() * 4 * frames);
  toneState_.resize(2 * 4 * frames);
  toneCos_.resize(2 * frames);
  toneSin_.resize(2 * frames);
  toneFirst_.resize(2 * frames);
  toneLast_.resize(2 * frames);
  toneMask_.resize(2 * frames);
  for (std::vector<std::int64_t>& cuts : toneCuts_) cuts.reserve(2 * frames);
  spectra_.resize(frames);
  choices_.resize(frames);
}

void BlockAnalyser::ConvertRun(const BlockSamples& samples) {
  const unsigned blockAlign = plan_.blockAlign;
  const std::uint8_t* bytes = samples.Bytes();
  for (std::size_t i = 0; i < samples.count; ++i)
    run_[i] = LeftAlignedSample(bytes + i * blockAlign, blockAlign);
}

void BlockAnalyser::LoadTile(const BlockSamples& samples, std::int64_t firstRow, std::int64_t endRow) {
  const int frames = plan_.blockFrames;
  const std::int64_t half = plan_.windowLength / 2;
  const std::int64_t heldEnd = samples.firstPosition + static_cast<std::int64_t>(samples.count);
  const std::int64_t dataEndRow = std::max(firstRow, std::min<std::int64_t>(endRow, plan_.windowLength));
  double* tile = Tile();
  bool whole = true;
  for (int lane = 0; lane < frames; ++lane) {
    const std::int64_t slotZero = (std::int64_t{samples.firstFrame} + lane) * plan_.frameLength - half;
    whole = whole && samples.firstPosition <= slotZero + firstRow && slotZero + dataEndRow <= heldEnd;
    laneOffsets_[static_cast<std::size_t>(lane)] = slotZero + firstRow - samples.firstPosition;
  }
  if (whole) {
    // Every frame has samples in every row below slot W, as in all blocks away from the two
    // ends: row after row, one value of each frame, stored contiguously.
    const std::int64_t rows = dataEndRow - firstRow;
    const double* run = run_.data();
    const std::int64_t* offsets = laneOffsets_.data();
    for (std::int64_t r = 0; r < rows; ++r) {
      double* out = tile + r * frames;
      for (int lane = 0; lane < frames; ++lane) out[lane] = run[offsets[lane] + r];
    }
    std::fill(tile + rows * frames, tile + (endRow - firstRow) * frames, 0.0);
    return;
  }
  for (int lane = 0; lane < frames; ++lane) {
    const std::int64_t slotZero = (std::int64_t{samples.firstFrame} + lane) * plan_.frameLength - half;
    // Rows holding samples: inside the held run, and below slot W.
    const std::int64_t from = std::clamp(samples.firstPosition - slotZero, firstRow, dataEndRow);
    const std::int64_t to = std::clamp(heldEnd - slotZero, from, dataEndRow);
    double* out = tile + lane;
    std::int64_t k = firstRow;
    for (; k < from; ++k) out[(k - firstRow) * frames] = 0.0;
    for (; k < to; ++k)
      out[(k - firstRow) * frames] = run_[static_cast<std::size_t>(slotZero + k - samples.firstPosition)];
    for (; k < endRow; ++k) out[(k - firstRow) * frames] = 0.0;
  }
}

const double* BlockAnalyser::Rows(const BlockSamples& samples, std::int64_t row) {
  if (row < tileFirst_ || row >= tileEnd_) {
    const auto rows = static_cast<std::int64_t>(plan_.tileRows);
    tileFirst_ = row / rows * rows;
    tileEnd_ = std::min<std::int64_t>(tileFirst_ + rows, std::int64_t{plan_.windowLength} + 1);
    LoadTile(samples, tileFirst_, tileEnd_);
  }
  return Tile() + (row - tileFirst_) * plan_.blockFrames;
}

void BlockAnalyser::NoteSums(const BlockSamples& samples) {
  const int frames = plan_.blockFrames;
  const std::size_t noteCount = plan_.notes.size();
  for (std::size_t i = 0; i < noteCount; ++i) ResetState(noteState_.data() + i * 4 * frames, frames);
  std::int64_t first = NeverStarts;
  std::int64_t last = -1;
  for (const NoteParams& note : plan_.notes) {
    first = std::min(first, note.first);
    last = std::max(last, note.last);
  }
  for (std::int64_t row = first; row <= last; row = tileEnd_) {
    const double* rows = Rows(samples, row);
    for (std::size_t i = 0; i < noteCount; ++i) {
      const NoteParams& note = plan_.notes[i];
      const std::int64_t a = std::max(row, note.first);
      const std::int64_t end = std::min(tileEnd_, note.last + 1);
      if (a >= end) continue;
      PhasorSteps(plan_.width, rows + (a - row) * frames, static_cast<std::size_t>(end - a), note.cosStep,
                  note.sinStep, noteState_.data() + i * 4 * frames);
    }
  }
}

void BlockAnalyser::QuarterToneSums(const BlockSamples& samples) {
  const int frames = plan_.blockFrames;
  std::int64_t first = NeverStarts;
  std::int64_t last = -1;
  for (int side = 0; side < 2; ++side) {
    ResetState(toneState_.data() + side * 4 * frames, frames);
    std::vector<std::int64_t>& cuts = toneCuts_[side];
    cuts.clear();
    for (int lane = 0; lane < frames; ++lane) {
      const std::size_t at = static_cast<std::size_t>(side * frames + lane);
      toneCos_[at] = 1.0;
      toneSin_[at] = 0.0;
      toneFirst_[at] = NeverStarts;
      toneLast_[at] = -1;
      if (static_cast<std::uint32_t>(lane) >= samples.frames) continue;
      const int n = choices_[static_cast<std::size_t>(lane)].detected;
      if (n < 0 || n >= 88) continue;
      const NoteParams& tone =
          plan_.quarterTones[static_cast<std::size_t>(2 * n - 1 + 2 * side - plan_.firstQuarterTone)];
      toneCos_[at] = tone.cosStep;
      toneSin_[at] = tone.sinStep;
      toneFirst_[at] = tone.first;
      toneLast_[at] = tone.last;
      cuts.push_back(tone.first);
      cuts.push_back(tone.last + 1);
      first = std::min(first, tone.first);
      last = std::max(last, tone.last);
    }
    std::sort(cuts.begin(), cuts.end());
    cuts.erase(std::unique(cuts.begin(), cuts.end()), cuts.end());
  }

  // Segments between consecutive cuts have a fixed set of frames inside their slots; at its
  // first slot a frame's phasor is set to (1, 0), its sums being still +0.
  std::size_t next[2] = {0, 0};
  for (std::int64_t row = first; row <= last; row = tileEnd_) {
    const double* rows = Rows(samples, row);
    for (int side = 0; side < 2; ++side) {
      const std::vector<std::int64_t>& cuts = toneCuts_[side];
      std::size_t& j = next[side];
      double* state = toneState_.data() + side * 4 * frames;
      const std::size_t base = static_cast<std::size_t>(side * frames);
      while (j + 1 < cuts.size() && cuts[j] < tileEnd_) {
        const std::int64_t a = std::max(cuts[j], row);
        const std::int64_t end = std::min(cuts[j + 1], tileEnd_);
        for (int lane = 0; lane < frames; ++lane) {
          const std::size_t at = base + static_cast<std::size_t>(lane);
          if (toneFirst_[at] == a) {
            state[2 * frames + lane] = 1.0;
            state[3 * frames + lane] = 0.0;
          }
          toneMask_[at] = toneFirst_[at] <= a && end - 1 <= toneLast_[at] ? ~std::uint64_t{0} : 0;
        }
        if (a < end) {
          PhasorStepsPerFrame(plan_.width, rows + (a - row) * frames, static_cast<std::size_t>(end - a),
                              toneCos_.data() + base, toneSin_.data() + base, toneMask_.data() + base, state);
        }
        if (cuts[j + 1] > tileEnd_) break;  // the segment goes on in the next tile
        ++j;
      }
    }
  }
}

SasFrame BlockAnalyser::FrameRecord(const BlockSamples& samples, int lane) {
  const int frames = plan_.blockFrames;
  const auto l = static_cast<std::size_t>(lane);
  NoteSpectrum& spectrum = spectra_[l];
  const int detected = choices_[l].detected;
  double fine = 0.0;
  if (detected >= 0 && detected < 88) {
    double tones[2];
    for (int side = 0; side < 2; ++side) {
      const double* state = toneState_.data() + side * 4 * frames;
      const NoteParams& tone =
          plan_.quarterTones[static_cast<std::size_t>(2 * detected - 1 + 2 * side - plan_.firstQuarterTone)];
      tones[side] = NoteAmplitude(state[l], state[static_cast<std::size_t>(frames) + l], tone);
    }
    fine = FineOffsetFromValues(
        {spectrum.At(detected - 1), tones[0], spectrum.At(detected), tones[1], spectrum.At(detected + 1)});
  }

  // The extremes of the H samples centred on the frame: window slots (W - H) div 2 up to, not
  // including, (W + H) div 2, with the zeros of a window that reaches past the data.
  const std::int64_t w = plan_.windowLength;
  const std::int64_t h = plan_.frameLength;
  const std::int64_t slotZero = (std::int64_t{samples.firstFrame} + lane) * h - w / 2;
  std::int32_t lo = std::numeric_limits<std::int32_t>::max();
  std::int32_t hi = std::numeric_limits<std::int32_t>::min();
  for (std::int64_t slot = std::max<std::int64_t>((w - h) / 2, 0); slot < std::min((w + h) / 2, w); ++slot) {
    const std::int32_t v = SampleAt(samples, slotZero + slot, plan_.blockAlign);
    lo = std::min(lo, v);
    hi = std::max(hi, v);
  }

  spectrum.detected = std::max(detected, 0);
  spectrum.fine = fine;
  spectrum.strongest = std::max(choices_[l].strongest, 0);
  SasFrame frame;
  frame.sourcePitch = FramePitch(spectrum.detected, spectrum.fine);
  frame.targetPitch = frame.sourcePitch;
  frame.minSample = lo;
  frame.maxSample = hi;
  // Peak to peak as a 32-bit difference: an empty span (never in a real build) wraps.
  frame.targetAmplitude = static_cast<std::uint32_t>(hi) - static_cast<std::uint32_t>(lo);
  return frame;
}

void BlockAnalyser::Analyse(const BlockSamples& samples, std::span<SasFrame> out) {
  const int frames = plan_.blockFrames;
  tileFirst_ = -1;  // nothing of this block is loaded yet
  tileEnd_ = -1;
  ConvertRun(samples);
  NoteSums(samples);
  for (std::uint32_t lane = 0; lane < samples.frames; ++lane) {
    NoteSpectrum& spectrum = spectra_[lane];
    spectrum = NoteSpectrum{};
    for (std::size_t i = 0; i < plan_.notes.size(); ++i) {
      const double* state = noteState_.data() + i * 4 * frames;
      spectrum.At(plan_.settings.lowestNote - 1 + static_cast<int>(i)) =
          NoteAmplitude(state[lane], state[static_cast<std::size_t>(frames) + lane], plan_.notes[i]);
    }
    choices_[lane] = ChooseNote(spectrum, plan_.settings);
  }
  QuarterToneSums(samples);
  for (std::uint32_t lane = 0; lane < samples.frames && lane < out.size(); ++lane)
    out[lane] = FrameRecord(samples, static_cast<int>(lane));
}

}  // namespace vocara
