// The note detector of the pitch analysis: a bank of single-frequency Fourier sums on a
// quarter-tone grid, one per note of the analysed range, each summed over a span of the
// analysis window that grows with the period of its note.
//
// Notes are piano-key indices (0 = A0 at 27.5 Hz ... 87 = C8); note n sounds at
// 27.5 x 2^(n/12) Hz and quarter-tone index q = 2n, odd q lying halfway between notes. The
// window holds W + 1 samples as doubles in left-aligned units (a signed 32-bit value whose
// upper bytes are the stored sample bytes), centred on the frame's sample position; every
// slot whose position lies before the first sample or at or after the last holds 0.
//
// Everything here is the plain, one-note-after-another evaluation of the formulas in their
// stated order. The build's block engine (BlockAnalyser) evaluates the same formulas several
// notes and frames at a time and must give the same doubles; it shares the parameter,
// decision and fine-offset routines below so that both take exactly the same path.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace vocara {

struct WavDocument;
struct GeneralSettings;

// Strengths of notes -1 to 88: note -1 is the lower neighbour of A0, note 88 the upper
// neighbour of C8.
inline constexpr int NoteSpectrumSize = 90;

struct NoteSpectrum {
  std::array<double, NoteSpectrumSize> strength{};  // note n at index n + 1
  int detected = 0;                                 // the detected note, 0 when none
  double fine = 0.0;                                // its fine offset in cents, 0 when none
  int strongest = 0;                                // the strongest note, 0 when none

  double& At(int note) { return strength[static_cast<std::size_t>(note + 1)]; }
  double At(int note) const { return strength[static_cast<std::size_t>(note + 1)]; }
};

// W, the window length in samples: the integration span of the tone one and a half semitones
// below the lowest note, trunc(exp(-lowestNote x ln 2 / 12) x sampleRate x 16 x 2^(1.5/12) /
// (2^(1/12) - 1) / 440). The window has W + 1 slots.
std::uint32_t AnalysisWindowLength(std::int32_t lowestNote, std::uint32_t sampleRate);

// H, the frame length (the hop between frames, a SAS file's frameLength): chunkPeriods
// periods of that tone, trunc(W x chunkPeriods x (2^(1/12) - 1)).
std::uint32_t AnalysisFrameLength(std::uint32_t windowLength, double chunkPeriods);

// What one Fourier sum needs, computed the same way for every caller so that the block engine
// and the plain evaluation use identical doubles.
struct NoteParams {
  double span = 0.0;         // L: the tone's period in samples / (2^(1/12) - 1)
  double inverseSpan = 0.0;  // 1 / L
  double cosStep = 1.0;      // cos and sin of one phasor step, 2 pi / period
  double sinStep = 0.0;
  std::int64_t first = 0;  // window slots first..last, both included, are summed
  std::int64_t last = -1;
};

// The parameters of quarter-tone q for a window of windowLength + 1 slots. The summed slots
// lie inside the window for every valid setting; they are limited to it all the same.
NoteParams MakeNoteParams(int q, std::uint32_t sampleRate, std::uint32_t windowLength);

// The amplitude from the two sums: sqrt(sumIm^2 + sumRe^2) x 2 x (1 / L). A pure tone of
// amplitude A at the sum's frequency gives about A.
double NoteAmplitude(double sumRe, double sumIm, const NoteParams& params);

// Fills the analysis window (W + 1 slots, W = window.size() - 1) around sample position pos
// from the open recording, through the document's read buffer. Slot k holds the sample at
// pos - W / 2 + k for k < W; positions before 0 or at N (the sample count) and beyond hold 0,
// and so does slot W, which no sum reaches.
void LoadAnalysisWindow(WavDocument& document, std::uint32_t pos, std::span<double> window);

// The strength of quarter-tone q in the loaded window: the phasor recurrence over the note's
// slots, each step two multiply-adds into the sums and one rotation.
double NoteStrength(std::span<const double> window, std::uint32_t sampleRate, int q);

// The fine offset in cents from the five values on the quarter-tone grid around a note (the
// note below, the quarter tone below, the note, the quarter tone above, the note above): a
// fixed quadratic in the ratio of the largest value's neighbours. When those neighbours are
// equal and positive the result is -0.40385277, so a tone exactly on a note is not 0.
double FineOffsetFromValues(const std::array<double, 5>& values);

// The fine offset of note n (0..87) relative to the note, in cents (about -98 to +96): the
// note strengths from the spectrum, the two quarter tones computed from the window.
double FinePitchOffset(const NoteSpectrum& spectrum, std::span<const double> window, std::uint32_t sampleRate,
                       int n);

// The decision from the strengths of notes lowestNote - 1 .. highestNote: the strongest of
// them, and the lowest note of the range that beats both neighbours and
// baseNoteThreshold percent of the strongest (all strictly); the strength above highestNote
// counts as 0. -1 where there is none.
struct NoteChoice {
  int detected = -1;
  int strongest = -1;
};
NoteChoice ChooseNote(const NoteSpectrum& spectrum, const GeneralSettings& settings);

// Computes the strengths of the settings' note range from the loaded window into the
// spectrum, then the detected note, its fine offset and the strongest note (0 for none).
void DetectNote(NoteSpectrum& spectrum, std::span<const double> window, std::uint32_t sampleRate,
                const GeneralSettings& settings);

// A frame's pitch in cents above A0: trunc(detected x 100 + fine) taken as a 16-bit value,
// 0 when negative (a detected A0 with a negative fine offset).
std::uint16_t FramePitch(int detected, double fine);

}  // namespace vocara
