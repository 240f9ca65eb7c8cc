// libFuzzer target for the Standard MIDI File reader and the guide's melody line.
//
// What a guide relies on: any input is read or refused without a crash or a hang; a refusal
// says why and gives no notes; the notes read are sound (start before end, both finite and not
// negative, keys, velocities, channels and tracks in range, sorted by start), and so is the
// melody made of them, no two of whose notes overlap. What the writer makes of the notes reads
// back as the same number of notes.
//
// Build with clang (-DCMAKE_CXX_COMPILER=clang++), run e.g. `fuzz/midi_read_fuzz -max_total_time=60`.

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "engine/midi/StandardMidiFile.h"
#include "engine/processing/GuideMelody.h"

namespace {

using namespace vocara;

void Require(bool condition) {
  if (!condition) std::abort();
}

bool Sound(const MidiNote& note, int tracks) {
  return std::isfinite(note.start) && std::isfinite(note.end) && note.start >= 0 && note.end > note.start &&
         note.key >= 0 && note.key < 128 && note.velocity >= 1 && note.velocity < 128 && note.channel >= 0 &&
         note.channel < 16 && note.track >= 0 && note.track < tracks;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const MidiFileRead read = ParseStandardMidiFile(std::span<const std::uint8_t>(data, size));
  if (!read.problem.empty()) {
    Require(read.notes.empty());
    return 0;
  }
  Require(read.format == 0 || read.format == 1);
  for (std::size_t i = 0; i < read.notes.size(); ++i) {
    Require(Sound(read.notes[i], read.tracks));
    if (i > 0) Require(read.notes[i - 1].start <= read.notes[i].start);
  }
  const std::vector<MidiNote> melody = GuideMelodyLine(read.notes);
  for (std::size_t i = 0; i < melody.size(); ++i) {
    Require(Sound(melody[i], read.tracks));
    if (i > 0) Require(melody[i - 1].end <= melody[i].start);
  }
  // Notes far beyond any take would need deltas past the format's 28 bits; the round trip is
  // asked of the others.
  std::vector<MidiOutNote> out;
  for (const MidiNote& note : read.notes) {
    if (note.end < 3600) out.push_back({note.start, note.end, note.key, note.velocity, 0});
  }
  Require(ParseStandardMidiFile(StandardMidiFileBytes(out, true)).notes.size() <= out.size());
  return 0;
}
