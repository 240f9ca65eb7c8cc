// What the FFT and MFT windows show, as plain functions over a WAV document: the amplitude
// spectrum of N samples centred on a sample, its phase and peak readouts, the user's marked
// peaks and the peak list, and the 88-key note spectrum the analysis measures.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "base/Settings.h"
#include "engine/sas/Analysis.h"

namespace vocara {

struct WavDocument;

inline constexpr std::uint32_t MinFftSize = 1024;
inline constexpr std::uint32_t MaxFftSize = 1048576;
inline constexpr std::size_t MaxMarkedPeaks = 1000;
// A spectrum value (or the root of a span's power) in percent of full scale, multiplied in the
// order the readouts and the peak file use: value x 100 x 4.656612875245797e-10 (a folded
// constant could differ in the last bit).
inline double AmplitudePercent(double value) { return value * 100.0 * 4.656612875245797e-10; }

// The spectrum window's state. The buffers are allocated once, for the largest size, and the
// constructor builds the forward transform's tables up to that size (PrepareFft); nothing
// allocates while the spectrum follows the cursor.
struct SpectrumState {
  SpectrumState();

  std::uint32_t fftSize = MinFftSize;   // N, a power of two MinFftSize .. MaxFftSize
  int windowKind = 0;                   // 0 .. 7, see WindowAmplitude
  std::vector<double> windowTable;      // N values in use
  std::vector<double> transformBuffer;  // windowed samples, then the packed transform
  std::vector<double> spectrum;         // N / 2 + 1 amplitudes, 32-bit sample units
  std::int32_t fftSelStart = 0;         // selected bins [start, end)
  std::int32_t fftSelEnd = 0;
  std::vector<std::int32_t> markedPeaks;  // in marking order, each bin once, at most 1000
  // The kind and size the window table was last computed for (the table is computed again
  // only when they change).
  int tableKind = -1;
  std::uint32_t tableSize = 0;
};

// The spectrum of samples centred on `cursor` (cursor - N/2 .. cursor + N/2 - 1, zeros outside
// the data), windowed with state.windowKind, into state.spectrum (and the transform left in
// state.transformBuffer for the phase readout). A size that is no power of two in
// MinFftSize .. MaxFftSize leaves everything as it was; a kind outside 0 .. 7 counts as 0.
void ComputeSpectrum(SpectrumState& state, WavDocument& wav, std::uint32_t cursor);

// The analysed span of that spectrum within the data: [cursor - N/2 (0 when below), min(cursor
// + N/2, sampleCount)).
struct SampleSpan {
  std::uint32_t left = 0;
  std::uint32_t right = 0;
};
SampleSpan AnalysedSpan(std::uint32_t fftSize, std::uint32_t cursor, std::uint32_t sampleCount);

// The phase readout of bin b in degrees, 0 .. 359.9 (a sine lying on bin b centred at the
// cursor reads its phase). Bins 0 and N/2 are real: 0 or 180 by the sign.
double BinPhase(const SpectrumState& state, std::int32_t bin);

// The range (with a selection) or peak (around the cursor bin) estimate of the status strip;
// valid is false when there is no peak or the span holds no power (the readouts stay empty).
struct PeakEstimate {
  bool valid = false;
  bool range = false;      // a selected range rather than a peak
  double frequency = 0.0;  // Hz
  double amplitude = 0.0;  // percent of full scale
};
PeakEstimate EstimatePeak(const SpectrumState& state, std::int32_t cursorBin, double sampleRate);

// T: marks bin b when it is not yet marked, the list is not full, b lies in 1 .. N/2 - 1 and is
// at least as strong as both neighbours. True when marked.
bool MarkPeak(SpectrumState& state, std::int32_t bin);

// "Find and save peaks": the lines of the peak file (frequency with 2 decimals, TAB, amplitude
// with 4 decimals, CR LF): the marked peaks that are strict local maxima (marks outside
// 1 .. N/2 - 1 of the current size skipped), or without marks every strict local maximum of
// bins 2 .. N/2 - 1 whose amplitude exceeds silenceThreshold (percent).
std::string PeakListText(const SpectrumState& state, double sampleRate, double silenceThreshold);

// The MFT window's note spectrum at `cursor`: the analysis window the Build uses for the
// settings' lowest note, loaded at the cursor, then DetectNote (keys outside lowestNote - 1 ..
// highestNote stay 0). `window` is a buffer of at least NoteWindowLength(rate, settings) values;
// its first NoteWindowLength values hold the loaded window afterwards. A cursor at a multiple
// of the Build's frame length reads exactly what the Build stored for that frame.
struct NoteReadout {
  NoteSpectrum spectrum;
  int strongest = 0;  // key index 0 .. 87
  int detected = 0;   // key index 0 .. 87
};
// The number of window values: W + 1, W = AnalysisWindowLength (the Build's expression).
std::uint32_t NoteWindowLength(std::uint32_t sampleRate, const GeneralSettings& settings);
void ComputeNoteSpectrum(NoteReadout& readout, WavDocument& wav, std::uint32_t cursor,
                         const GeneralSettings& settings, std::span<double> window);
// The fine pitch of key k (0 .. 87; 0 for others) against its own frequency in cents (the MFT's
// Pitch readout), from the window ComputeNoteSpectrum loaded.
double KeyFinePitch(const NoteReadout& readout, int key, std::span<const double> window,
                    std::uint32_t sampleRate, const GeneralSettings& settings);

}  // namespace vocara
