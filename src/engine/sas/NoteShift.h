// Notes moved and shaped as objects: the target pitches of chosen notes shifted by so many cents each, the
// way a singer drags a note to the right pitch. Inside a voiced run a shifted note meets its
// neighbours through a ramp over the retune time, centred on the boundary between them and kept
// inside the two, as Snap to Scale ramps between notes; where the note meets a frame that is not
// voiced (a breath, a consonant, a frame with time correction off) it changes at once. Frames
// outside the shifted notes and their ramps, frames that are not voiced, amplitudes and links
// stay as they are.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "engine/sas/SasRangeOps.h"
#include "engine/sas/SasRecords.h"

namespace vocara {

struct SasDocument;

// One note's frames first <= i < end: a note chosen, shaped or reset as a whole.
struct NoteSpan {
  std::uint32_t first = 0;
  std::uint32_t end = 0;
  friend bool operator==(const NoteSpan&, const NoteSpan&) = default;
};

// One note to shift: its frames and the cents added to their target pitches.
struct NoteShift : NoteSpan {
  double cents = 0;
  friend bool operator==(const NoteShift&, const NoteShift&) = default;
};

// The offset of every frame of one voiced run (frames runFirst <= i < runFirst + offsets.size()):
// the shift of the note holding the frame (0 outside every note), then ramped over rampFrames
// (< 2: no ramp) at each change of offset. shifts sorted by first, not overlapping.
void RunOffsets(std::uint32_t runFirst, std::span<const NoteShift> shifts, std::int64_t rampFrames,
                std::span<double> offsets, std::vector<double>& scratch);

// Shifts the notes through the open SAS's file, run by run (ForEachVoicedRun over the notes
// widened to whole runs, with the silence threshold of the file's settings copy): each voiced
// frame's target pitch becomes round(target + offset) limited to 0 .. HighestTargetPitch, bit 15
// kept. shifts need not be sorted; overlapping shifts are refused. False when a read or a write
// failed, the document is open for reading only, or shifts overlap (then nothing is written).
bool SasShiftNotes(SasDocument& document, std::vector<NoteShift> shifts, double retuneMs,
                   const FrameChangeSink& sink = {});

// Reshapes chosen notes (frames first <= i < end each; `cents` unused) as Snap to Scale shapes a
// note, without moving it: the note's slow drift around its centre shrinks by drift percent
// (0 .. 100) and its vibrato is scaled by vibrato percent (0 .. MaxVibrato), both taken from the
// source pitch as sung, and the note keeps where its targets stand now: target minus source
// through the note low-pass is kept as its offset, frame by frame, so a snap's offset and its
// ramps into the neighbours stay while a swing an earlier shape gave the targets is replaced.
// The new shape fades in and out over half the note low-pass (about 75 ms) at the note's edges,
// so a note meets its neighbours as before. Frames that are
// not voiced and frames outside the notes stay as they are; false as for SasShiftNotes.
bool SasShapeNotes(SasDocument& document, std::vector<NoteShift> notes, double drift, double vibrato,
                   const FrameChangeSink& sink = {});

}  // namespace vocara
