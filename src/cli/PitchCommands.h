// The pitch a SAS file holds, out of the tool: `vocara-cli pitch` prints the track frame by
// frame as a table, CSV or JSON; `vocara-cli plot` draws it as an SVG picture with the notes,
// the targets and, given a corrected rendering, the pitch an analysis of it finds.
#pragma once

#include <cstdint>
#include <functional>
#include <ostream>
#include <span>
#include <string>
#include <vector>

#include "cli/BuildCommand.h"
#include "engine/sas/SasRecords.h"

namespace vocara {
struct SasDocument;
}

namespace vocara::cli {

// Frames first <= i < end of the open SAS read in order in blocks of many frames (one seek a
// block), each block handed to `visit` with the index of its first frame. False when a read
// failed or visit returned false.
bool ForEachFrameBlock(SasDocument& sas, std::uint32_t first, std::uint32_t end,
                       const std::function<bool(std::uint32_t firstFrame, std::span<const SasFrame>)>& visit);

// A pitch in cents above A0 as the nearest note (0 = A0 .. 87 = C8, limited to those) and the
// cents from it.
struct NotePitch {
  int note = 0;
  int cents = 0;
};
NotePitch NearestNote(int centsAboveA0);

// Hz of a pitch in cents above A0 (27.5 Hz).
double PitchHz(double centsAboveA0);

// pitch IN.sas [--csv|--json] [--range A:B]: per frame the time in seconds, the frame, the source
// and the target pitch (Hz, note, cents from it), voiced 0/1 and the peak-to-peak amplitude in
// percent of full scale. A table with a header line (tabs; commas with --csv), or a JSON array
// of objects; a frame without a pitch has empty fields (null).
int PitchCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                 UsageReporter usage);

// plot IN.sas OUT.svg [--wav IN.wav --out OUT.wav] [--range A:B]: the picture (PlotCommand.cpp).
int PlotCommand(const std::vector<std::string>& args, std::ostream& err, UsageReporter usage);

}  // namespace vocara::cli
