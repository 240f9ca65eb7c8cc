// Standard MIDI Files, read strictly and written plainly: the notes of a melody with their times
// in seconds, in and out.
//
// Reading takes formats 0 and 1 with any number of tracks, ticks per quarter note or SMPTE
// frames, running status, tempo changes in any track (one tempo map for the file), note-on with
// velocity 0 as note-off, and skips meta events, system exclusive messages and chunks of unknown
// type. Anything else is refused with a sentence saying what is wrong and where: a header or
// chunk cut short, a length past the end of the file, a delta time longer than four bytes, a
// data byte where a status is needed, an event type a file may not hold, format 2.
//
// Writing gives format 0, one track, 480 ticks per quarter note and one tempo event of 500 000
// microseconds per quarter (120 beats a minute), so a tick is exactly 1/960 s: the tempo event
// first, then with bends the pitch-bend range of channel 0 set to +-2 semitones (RPN 0), then
// each note as note-on and note-off (0x80, velocity 64) on channel 0, at the same tick the
// note-offs before the note-ons, with bends a pitch bend just before each note-on; then
// end-of-track. No running status.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace vocara {

struct MidiNote {
  double start = 0;  // seconds
  double end = 0;    // seconds, after start
  int key = 0;       // 0 .. 127, 60 = C4, 69 = A4
  int velocity = 0;  // 1 .. 127 as played
  int channel = 0;   // 0 .. 15
  int track = 0;     // 0 .. the file's track count - 1
};

struct MidiFileRead {
  std::vector<MidiNote> notes;  // sorted by start, then key
  int format = 0;
  int tracks = 0;
  std::string problem;  // empty when the file was read
};

inline constexpr std::size_t LargestMidiFile = 64u << 20;

// The notes of the file's bytes. A note still sounding when its track ends ends there; a note
// started again before it ended ends where it starts again; a note of no length is left out.
MidiFileRead ParseStandardMidiFile(std::span<const std::uint8_t> bytes);
// The same for the file at `path`, refused when it cannot be read or holds more than
// LargestMidiFile bytes.
MidiFileRead ReadStandardMidiFile(const std::string& path);

inline constexpr int MidiTicksPerQuarter = 480;
inline constexpr std::uint32_t MidiMicrosecondsPerQuarter = 500000;
inline constexpr double MidiTicksPerSecond = MidiTicksPerQuarter * 1e6 / MidiMicrosecondsPerQuarter;

// One note to write; bend in cents, -200 .. 200 (the bend range), used when bends are written.
struct MidiOutNote {
  double start = 0;
  double end = 0;
  int key = 0;
  int velocity = 64;
  double bendCents = 0;
};

// The file's bytes for the notes (any order; each at least a tick long, keys and velocities
// limited to 0 .. 127 and 1 .. 127, bends to the range).
std::vector<std::uint8_t> StandardMidiFileBytes(std::span<const MidiOutNote> notes, bool bends);

// The 14-bit pitch-bend value for `cents` at a range of +-2 semitones: 8192 + cents / 200 x 8192,
// rounded and limited to 0 .. 16383.
int PitchBendValue(double cents);

}  // namespace vocara
