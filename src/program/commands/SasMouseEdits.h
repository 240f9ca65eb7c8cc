// The arithmetic of the SAS mouse edits on page records and the link table, apart from the
// messages, drawing and state word around them (SasMouse).
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "engine/sas/SasRecords.h"

namespace vocara {

// The highest target pitch an edit stores: C8, in cents above A0.
inline constexpr int HighestEditPitch = 8700;

// A target pitch of `cents` (truncated, then limited to 0 .. 8700) that keeps bit 15 (time
// correction off) of `targetPitch`.
std::uint16_t PitchKeepingTimeCorrection(std::uint16_t targetPitch, double cents);

// A peak-to-peak amplitude as a target amplitude: truncated, limited to 0 .. 2^32 - 1.
std::uint32_t TruncatedTargetAmplitude(double amplitude);

// The target amplitude a frame gets when `wanted` is asked for: wanted / amplitude as a factor
// on the frame's samples, limited so that neither this frame nor `next` (the following frame,
// null when there is none) would clip; a frame without amplitude gets 0.
std::uint32_t ClippedTargetAmplitude(double wanted, const SasFrame& frame, const SasFrame* next);

// Where the time links stand in the SAS window: the links run from their source column on the
// amplitude plot's bottom row up to their target column on its top row.
struct LinkPlot {
  std::uint32_t frameLength = 0;
  std::int64_t firstFrame = 0;
  int columns = 0;  // columns of the page; a link needs an end in 0 .. columns to be hit
  int top = 0;      // plotTop
  int bottom = 0;   // the amplitude plot's bottom row
};

// The index of the first interior link (not the first or last of the table) with an end on the
// page whose segment passes less than 3 pixels, measured perpendicularly, from (x, y); -1 when
// none does.
int TimeLinkAt(const std::vector<TimeLink>& links, const LinkPlot& plot, int x, int y);

// The in-range pitch shares of the columns j = 0 .. weights.size() - 1 of a range of n columns,
// r = n - j, c = (1 - cos(2 pi j / n)) / 2, by shape:
//   0: r / n   1: 1   2: j / n   3: c r / n   4: c   5: c j / n
void RangePitchWeights(int shape, std::span<double> weights);

// The in-range amplitude step: the target amplitudes of `frames` times the gain of their shape
// (0 from F at the left end to 1 at the right, 1 F throughout, 2 from 1 to F) for the factor F,
// all cut back by the same proportion as far as needed that no frame, nor the one after it
// (`following` behind the last, null when there is none), would clip.
void ScaleRangeAmplitudes(std::span<SasFrame> frames, const SasFrame* following, int shape, double factor);

}  // namespace vocara
