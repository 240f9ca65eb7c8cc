// The pulse shape: the average waveform around chosen points of the recording. Each addition
// sums the 60 samples around the WAV cursor, in percent of full scale, so files of any sample
// width add alike; the export removes the mean and the scale and writes 60 numbers as text.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "base/MessageId.h"

namespace vocara {

struct WavDocument;

inline constexpr int PulseShapeLength = 60;
// Element i belongs to the sample at offset i - PulseShapeLead from the cursor.
inline constexpr int PulseShapeLead = 30;

struct PulseShape {
  std::array<double, PulseShapeLength> values{};
};

// Adds samples cursor - 30 .. cursor + 29 to the shape. A cursor of 30 or less, or one whose
// window would reach the last sample (cursor + 30 >= sampleCount), adds nothing and returns
// false; so does a read that comes back short.
bool AddPulse(PulseShape& shape, WavDocument& document, std::uint32_t cursor);

// Removes the mean, then scales by (max - min) / (sum of squares), the extremes counted from 0.
// False, with only the mean removed, when every element then is 0: the shape has no form.
bool NormalisePulseShape(PulseShape& shape);

// The 60 lines of the exported file: each element x 1000 with exactly five decimals, CR LF.
std::string PulseShapeText(const PulseShape& normalised);

// Writes PulseShapeText into output, whole or not at all. The open recording is refused as the
// target ("Opened file can not be overwritten"); a target that cannot be created gives its
// OutputFile message, a failed write OutputWriteFailed.
MessageId WritePulseShape(const WavDocument& document, const PulseShape& normalised,
                          const std::string& output);

}  // namespace vocara
