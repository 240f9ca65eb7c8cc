// The build's fast evaluation of the frames: a block of consecutive frames at a time, one
// frame per vector lane (AnalysisKernels), giving exactly the frames of the plain evaluation
// (Analysis: LoadAnalysisWindow, DetectNote, one note after another).
//
// A block's samples are read once, as one run of the file that covers the windows of all its
// frames (neighbouring windows overlap by W - H samples), by whoever owns the file; the
// analyser itself never touches a file. It cuts the run into tiles of window slots (row r:
// slot r of every frame of the block), small enough to stay in the processor's cache, and
// walks each note's recurrence through the tiles: first the notes lowestNote - 1 to
// highestNote in every frame, then, once each frame has its detected note, the two quarter
// tones around that note with a note per frame.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "base/Settings.h"
#include "engine/sas/Analysis.h"
#include "engine/sas/AnalysisKernels.h"
#include "engine/sas/SasRecords.h"

namespace vocara {

struct WavDocument;

// What every block of one build shares: the geometry and the note parameters, computed once.
struct AnalysisPlan {
  GeneralSettings settings;
  std::uint32_t sampleRate = 0;
  std::uint32_t sampleCount = 0;   // N
  std::uint32_t windowLength = 0;  // W
  std::uint32_t frameLength = 0;   // H
  std::uint32_t frameCount = 0;    // N div H
  unsigned blockAlign = 2;
  KernelWidth width = KernelWidth::Portable;
  int blockFrames = 0;
  std::size_t tileRows = 0;
  std::vector<NoteParams> notes;         // quarter tones 2n for n = lowestNote - 1 .. highestNote
  std::vector<NoteParams> quarterTones;  // quarter tones 2 x lowestNote - 1 .. 2 x highestNote + 1
  int firstQuarterTone = 0;

  std::uint32_t BlockCount() const;
  // Samples a block's run of the file can hold at most.
  std::size_t RunCapacity() const;
};

AnalysisPlan MakeAnalysisPlan(const WavDocument& wav, const GeneralSettings& settings, KernelWidth width);

// One block's samples: the stored bytes of positions firstPosition .. firstPosition + count - 1,
// which are all positions inside the data that the block's windows reach.
struct BlockSamples {
  std::uint32_t firstFrame = 0;
  std::uint32_t frames = 0;  // frames of the block that exist, at most blockFrames
  std::int64_t firstPosition = 0;
  std::size_t count = 0;
  std::vector<std::uint8_t> storage;  // 4 spare bytes in front, then room for RunCapacity samples

  explicit BlockSamples(const AnalysisPlan& plan);
  const std::uint8_t* Bytes() const { return storage.data() + 4; }
  std::uint8_t* Bytes() { return storage.data() + 4; }
};

// Reads block `block` from the document's file; what the file no longer holds reads as 0.
void ReadBlockSamples(WavDocument& wav, const AnalysisPlan& plan, std::uint32_t block, BlockSamples& samples);
// The same for any `frames` (1 .. blockFrames) consecutive frames from firstFrame, for analysing
// chosen frames again.
void ReadFrameSamples(WavDocument& wav, const AnalysisPlan& plan, std::uint32_t firstFrame,
                      std::uint32_t frames, BlockSamples& samples);

// The per-thread working memory of the block evaluation, sized once from the plan.
class BlockAnalyser {
 public:
  explicit BlockAnalyser(const AnalysisPlan& plan);

  // Computes the frames of the block into frames[0 .. samples.frames - 1].
  void Analyse(const BlockSamples& samples, std::span<SasFrame> frames);

  // The note spectrum of frame firstFrame + lane of the last block, as DetectNote leaves it:
  // the strengths of lowestNote - 1 .. highestNote, the detected note, its fine offset and the
  // strongest note.
  const NoteSpectrum& Spectrum(std::size_t lane) const { return spectra_[lane]; }

 private:
  // The tiles lie on a fixed grid of tileRows rows from slot 0, so that the second pass finds
  // the tile the first pass left loaded.
  const double* Rows(const BlockSamples& samples, std::int64_t row);
  // The block's samples as doubles, once per block; tiles are copied from them.
  void ConvertRun(const BlockSamples& samples);
  void LoadTile(const BlockSamples& samples, std::int64_t firstRow, std::int64_t endRow);
  double* Tile() { return tile_.data() + tileOffset_; }
  void NoteSums(const BlockSamples& samples);
  void QuarterToneSums(const BlockSamples& samples);
  SasFrame FrameRecord(const BlockSamples& samples, int lane);

  const AnalysisPlan& plan_;
  std::vector<double> tile_;
  std::size_t tileOffset_ = 0;   // to the first 64-byte boundary
  std::int64_t tileFirst_ = -1;  // rows tileFirst_ .. tileEnd_ - 1 of the current block are loaded
  std::int64_t tileEnd_ = -1;
  std::vector<double> run_;
  std::vector<std::int64_t> laneOffsets_;  // where each frame's first tile row lies in run_
  std::vector<double> noteState_;          // per note: sumRe, sumIm, re, im of every frame
  // The quarter tones below and above each frame's detected note: per side the state, the
  // rotation, the slots, the mask of the current segment and the sorted segment boundaries.
  std::vector<double> toneState_;
  std::vector<double> toneCos_, toneSin_;
  std::vector<std::int64_t> toneFirst_, toneLast_;
  std::vector<std::uint64_t> toneMask_;
  std::vector<std::int64_t> toneCuts_[2];
  std::vector<NoteSpectrum> spectra_;
  std::vector<NoteChoice> choices_;
};

}  // namespace vocara
