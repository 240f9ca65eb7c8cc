// The render that keeps the formants: Correct's walk with a sink that lays the recording's own
// pitch periods at the target rate instead of resampling them (see FormantRender.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "base/Progress.h"
#include "engine/processing/CorrectWalk.h"

namespace vocara::render {

// The input the render keeps at hand for a frame length: the sample stream's longest read.
std::size_t FormantWindowLength(std::uint32_t frameLength);

// Walks `parameters` with the formant-keeping sink and writes every output position the walk
// produced; silenceLevel is the amplitude below which a frame is not voiced, formantShift the
// cents the voice's resonances are moved by (0: kept where they are).
WalkEnd RenderKeepingFormants(SampleStream& samples, OutputWriter& writer, FrameStream& frames,
                              std::span<const TimeLink> links, const WalkParameters& parameters,
                              double silenceLevel, double formantShift, const ProgressCallback& progress);

}  // namespace vocara::render
