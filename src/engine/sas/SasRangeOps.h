// Operations on a span of frames of the open SAS: the "Change SAS range" dialog's edits (Global
// Edit), Silence and Global Clear of the SAS File menu, Time Correct Disable/Enable applied
// through the file, the range Find, and writing records back for undo.
//
// The whole-range operations never load the file: they stream the frame area through one fixed
// buffer of at most 1280 records, so a file of any length is handled in the same memory. They
// work on the file, not on the page in memory: a caller writes pending page edits back first
// and reads the page again afterwards.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <utility>

#include "engine/sas/SasDocument.h"
#include "engine/sas/SasRecords.h"

namespace vocara {

// The largest factor not above f with which the source samples of `frame` and of the frame
// after it (`next`, null when there is none) can be scaled without leaving the signed 32-bit
// range: the maxima are tested first, then the minima, each for this frame and then the next.
double ClipLimitedFactor(double f, const SasFrame& frame, const SasFrame* next);

// The five values of the "Change SAS range" dialog, kept for the run of the program. The
// initial values are also the dialog's defaults.
struct SasRangeParams {
  double scaleAmplitude = 100;  // percent of the analysed amplitude
  int transpose = 0;            // cents added to the analysed pitch
  double disableAbove = 0;      // percent of full scale
  double enableBelow = 100;     // percent of full scale
  double silenceBelow = 0;      // percent of full scale
  friend bool operator==(const SasRangeParams&, const SasRangeParams&) = default;
};

// The ranges of the dialog's fields.
inline constexpr double MinScaleAmplitude = 0;
inline constexpr double MaxScaleAmplitude = 1000;
inline constexpr double MinTranspose = -1200;
inline constexpr double MaxTranspose = 1200;
inline constexpr double MinRangeThreshold = 0;  // the three thresholds, in percent
inline constexpr double MaxRangeThreshold = 100;

// The five fields as read from their text, before their ranges apply.
struct SasRangeFields {
  double scaleAmplitude = 100;
  double transpose = 0;
  double disableAbove = 0;
  double enableBelow = 100;
  double silenceBelow = 0;
};

// Each field clamped to its range; the transpose is clamped, then truncated to whole cents.
SasRangeParams ClampSasRangeParams(const SasRangeFields& fields);

// Which operations SasApplyRange performs; they apply in this order to each frame.
struct SasRangeOps {
  enum Bits : unsigned {
    ScaleAmplitude = 1u << 0,
    Transpose = 1u << 1,
    DisableTimeCorrection = 1u << 2,
    EnableTimeCorrection = 1u << 3,
    Silence = 1u << 4,
    RemoveLinks = 1u << 5,
  };
};

// Told of every record an operation changed, by its index in the file, with its bytes before
// and after; the undo journal keeps them.
using FrameChangeSink =
    std::function<void(std::uint32_t index, const SasFrame& before, const SasFrame& after)>;

// Global Edit, Silence and Global Clear: applies the selected operations to the frames
// first <= i < end in the file, and for RemoveLinks to the link table; the range is limited to
// the frame area (end <= frameCount, first <= end). Per frame, with its amplitude
// maxSample - minSample and the thresholds p percent taken as p x 4294967295.0 x 0.01:
//   ScaleAmplitude         targetAmplitude = scaleAmplitude percent of the amplitude, limited so
//                          that neither this frame's samples nor the next frame's would clip
//   Transpose              targetPitch = sourcePitch + transpose in 0 .. 8700, bit 15 kept
//   DisableTimeCorrection  above disableAbove: bit 15 set
//   EnableTimeCorrection   below enableBelow: bit 15 cleared
//   Silence                below silenceBelow: targetAmplitude 0
// RemoveLinks removes the interior links that are not wholly before first x frameLength nor
// wholly after end x frameLength, and rewrites header and link table as one journalled change,
// the file ending behind the table. The page in memory is not touched. False when a read or a
// write failed, or the document is not open for writing.
bool SasApplyRange(SasDocument& document, std::uint32_t first, std::uint32_t end, unsigned ops,
                   const SasRangeParams& params, const FrameChangeSink& sink = {});

// Time Correct Disable (off) or Enable over the frames first <= i < end in the file: bit 15 of
// targetPitch set or cleared on each. Limited and streamed like SasApplyRange.
bool SasSetTimeCorrection(SasDocument& document, std::uint32_t first, std::uint32_t end, bool off,
                          const FrameChangeSink& sink = {});

// Find: the sounding note around the cursor column on the page. Leftwards from the cursor to the
// first column quieter than the select threshold (included) or column 0; rightwards to the first
// quieter column (excluded) or the end of the frames the page holds. Only columns that hold
// frames count; a cursor on a quiet frame, or beside the frames, gives an empty range there.
SasRange SasFindRange(const SasDocument& document, int cursorColumn, double selectThresholdPercent);

// Writes the given records at their indexes in the file (those at or past frameCount are
// skipped); runs of consecutive indexes go out in one write. Undo and redo put records back
// this way.
bool SasWriteFrames(SasDocument& document, std::span<const std::pair<std::uint32_t, SasFrame>> frames);

}  // namespace vocara
