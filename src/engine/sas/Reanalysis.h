// Analysing frames again: the Build's own detector over chosen frames of a recording, with a
// note range of the user's (Re-analyse Range) or one centred on the neighbouring notes (Repair
// Octave Jumps), for the frames where the first analysis took a note an octave or a fifth away.
//
// The frames keep the SAS's hop: frame i is measured on the window centred on sample
// i x frameLength, as the Build measured it; only the note range (and with it the window
// length) changes. With the SAS's own settings a re-analysis gives the Build's records exactly.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "base/Progress.h"
#include "base/Settings.h"
#include "engine/sas/SasDocument.h"
#include "engine/sas/SasRangeOps.h"
#include "engine/sas/SasRecords.h"

namespace vocara {

struct WavDocument;

// Analyses frames first <= i < end of `wav` at hop frameLength with `settings` (its note range,
// chunk and threshold; the window length follows its lowest note) with the block engine, one
// worker per processor (RunBlocks); `sink` gets each block's records in order on the calling
// thread (targetPitch equal to sourcePitch, targetAmplitude the peak to peak, as the Build
// writes them). Frames past the recording's last whole hop are not analysed. progress (may be
// empty) is called before each block's records go to the sink, with the block's first frame
// and `end`; false stops (the function then returns false). False also when the buffers could
// not be had.
using AnalysedFramesSink = std::function<void(std::uint32_t firstFrame, std::span<const SasFrame> frames)>;
bool AnalyseFrames(WavDocument& wav, const GeneralSettings& settings, std::uint32_t frameLength,
                   std::uint32_t first, std::uint32_t end, const AnalysedFramesSink& sink,
                   const ProgressCallback& progress = {});

// A frame measured again: sourcePitch, minSample and maxSample from `measured`, the target
// pitch moved by as many cents as the source pitch moved (limited to 0 .. 8700, bit 15 kept),
// the target amplitude kept.
SasFrame ReanalysedFrame(const SasFrame& old, const SasFrame& measured);

// Re-analyse Range: frames first <= i < end (limited to the frame area) measured again with
// the note range lowestNote .. highestNote (indices 0 .. 87, taken in either order) and the
// rest of the SAS's settings copy. False when a read or write failed, the document is open for reading
// only, or progress stopped it (frames already written stay written; the sink has them).
bool SasReanalyse(WavDocument& wav, SasDocument& sas, std::uint32_t first, std::uint32_t end, int lowestNote,
                  int highestNote, const FrameChangeSink& sink = {}, const ProgressCallback& progress = {});

// A short run that jumped away from its neighbours: frames whose pitch lies about 1200 or 700
// cents (within 100) above or below the voiced frame before, at most 250 ms of them, followed
// by a frame back within 100 cents of that one. Up to two frames on either side whose windows
// saw both the note and the jump may lie between; they belong to the jump, which spans frames
// first <= i < end between the two neighbours. note is the neighbours' note (the nearest note
// to the mean of their pitches).
struct PitchJump {
  std::uint32_t first = 0;
  std::uint32_t end = 0;
  int note = 0;
};

// The jumps among frames first <= i < end of the open SAS, in order (at most `limit`).
bool FindPitchJumps(SasDocument& sas, std::uint32_t first, std::uint32_t end, std::vector<PitchJump>& jumps,
                    std::size_t limit = 100000);

// Repair Octave Jumps: each jump re-analysed with a note range of the neighbours' note - 1 ..
// + 1 (within 0 .. 87: a wider range lets the strong overtone's leakage win below the note); a frame takes
// the new measurement only when it lies within 150 cents of the neighbours' note and closer to it than the
// old one did, and then the correction of the note around it: its target pitch becomes the new source pitch
// plus the mean of the neighbours' target minus source (its own target was set against a source an octave or
// a fifth away). repaired (may be null) counts the frames changed.
// progress (may be empty) is called before each jump with its first frame and `end`; false
// stops, the jumps repaired by then staying repaired.
bool SasRepairOctaveJumps(WavDocument& wav, SasDocument& sas, std::uint32_t first, std::uint32_t end,
                          const FrameChangeSink& sink = {}, std::uint32_t* repaired = nullptr,
                          const ProgressCallback& progress = {});

}  // namespace vocara
