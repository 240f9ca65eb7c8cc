// Standard MIDI Files: what the writer puts out (byte for byte at the start, every note read back
// at its tick), a format-1 file with a tempo change, running status, note-on with velocity 0,
// meta and system exclusive events and a chunk of unknown type, SMPTE time, and the refusals.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <tuple>
#include <vector>

#include "engine/midi/StandardMidiFile.h"

namespace vocara {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Chunk(const char* type, const Bytes& body) {
  Bytes chunk(type, type + 4);
  const auto size = static_cast<std::uint32_t>(body.size());
  for (int shift = 24; shift >= 0; shift -= 8) chunk.push_back(static_cast<std::uint8_t>(size >> shift));
  chunk.insert(chunk.end(), body.begin(), body.end());
  return chunk;
}

Bytes File(int format, int tracks, int division, const std::vector<Bytes>& chunks) {
  Bytes file =
      Chunk("MThd", {0, static_cast<std::uint8_t>(format), 0, static_cast<std::uint8_t>(tracks),
                     static_cast<std::uint8_t>(division >> 8), static_cast<std::uint8_t>(division & 0xff)});
  for (const Bytes& chunk : chunks) file.insert(file.end(), chunk.begin(), chunk.end());
  return file;
}

TEST(StandardMidiFileTest, WrittenNotesReadBackAtTheirTicks) {
  const std::vector<MidiOutNote> notes = {{0.5, 1.0, 60, 100, -12.0},
                                          {1.0, 1.75, 62, 64, 30.0},
                                          {0.0, 0.25, 57, 1, 0.0},
                                          {2.0, 2.0, 64, 127, 250}};
  const Bytes bytes = StandardMidiFileBytes(notes, true);
  // Header: format 0, one track, 480 ticks a quarter; the tempo (500 000 us) and bend range first.
  const Bytes start = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0x01, 0xe0, 'M', 'T', 'r', 'k'};
  ASSERT_GT(bytes.size(), start.size() + 4);
  EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + 18), start);
  const Bytes tempoAndRange = {0,    0xff, 0x51, 3, 0x07, 0xa1, 0x20, 0, 0xb0, 0x65, 0, 0,
                               0xb0, 0x64, 0,    0, 0xb0, 0x06, 2,    0, 0xb0, 0x26, 0};
  EXPECT_EQ(Bytes(bytes.begin() + 22, bytes.begin() + 22 + 23), tempoAndRange);
  EXPECT_EQ(Bytes(bytes.end() - 3, bytes.end()), (Bytes{0xff, 0x2f, 0}));

  const MidiFileRead read = ParseStandardMidiFile(bytes);
  ASSERT_EQ(read.problem, "");
  EXPECT_EQ(read.format, 0);
  ASSERT_EQ(read.notes.size(), 4u);
  const double tick = 1 / MidiTicksPerSecond;
  const struct {
    double start, end;
    int key, velocity;
  } expected[] = {{0, 0.25, 57, 1}, {0.5, 1.0, 60, 100}, {1.0, 1.75, 62, 64}, {2.0, 2.0 + tick, 64, 127}};
  for (std::size_t i = 0; i < 4; ++i) {
    SCOPED_TRACE(i);
    EXPECT_NEAR(read.notes[i].start, expected[i].start, 1e-9);
    EXPECT_NEAR(read.notes[i].end, expected[i].end, 1e-9);
    EXPECT_EQ(std::pair(read.notes[i].key, read.notes[i].velocity),
              std::pair(expected[i].key, expected[i].velocity));
  }
  EXPECT_EQ(std::tuple(PitchBendValue(0), PitchBendValue(-200), PitchBendValue(250), PitchBendValue(100)),
            std::tuple(8192, 0, 16383, 12288));
}

// Track 1 holds the tempo map (120 bpm, then 240 bpm from tick 960), track 2 the melody with
// running status and note-on velocity 0, a text event and a system exclusive message, track 3
// a note on channel 10; a chunk of unknown type lies between the tracks.
TEST(StandardMidiFileTest, FormatOneWithATempoChangeAndRunningStatus) {
  const Bytes tempoTrack = {0,    0xff, 0x51, 3,    0x07, 0xa1, 0x20, 0x87, 0x40, 0xff,
                            0x51, 3,    0x03, 0xd0, 0x90, 0,    0xff, 0x2f, 0};
  const Bytes melody = {0,    0xff, 0x01, 3,  'a', 'b',  'c',  // text
                        0,    0x90, 60,   80,                  // C4 at 0
                        0x83, 0x60, 60,   0,                   // running status: off at 480 (0.5 s)
                        0,    62,   90,                        // D4 at 480
                        0x83, 0x60, 0xf0, 2,  1,   0xf7,       // sysex at 960
                        0,    0x80, 62,   0,                   // D4 off at 960 (1.0 s)
                        0x83, 0x60, 0x90, 64, 70,  // E4 at 1440: 1.0 + 480 ticks at 240 bpm = 1.25 s
                        0x83, 0x60, 64,   0,  0,   0xff, 0x2f, 0};
  const Bytes other = {0x81, 0x70, 0x99, 36, 100, 0x60, 0x89, 36, 0, 0, 0xff, 0x2f, 0};
  const MidiFileRead read = ParseStandardMidiFile(File(
      1, 3, 480,
      {Chunk("MTrk", tempoTrack), Chunk("XFIH", {1, 2, 3}), Chunk("MTrk", melody), Chunk("MTrk", other)}));
  ASSERT_EQ(read.problem, "");
  EXPECT_EQ(std::tuple(read.format, read.tracks), std::tuple(1, 3));
  ASSERT_EQ(read.notes.size(), 4u);
  const struct {
    double start, end;
    int key, velocity, channel, track;
  } expected[] = {{0, 0.5, 60, 80, 0, 1},
                  {0.25, 0.35, 36, 100, 9, 2},
                  {0.5, 1.0, 62, 90, 0, 1},
                  {1.25, 1.5, 64, 70, 0, 1}};
  for (std::size_t i = 0; i < 4; ++i) {
    SCOPED_TRACE(i);
    EXPECT_NEAR(read.notes[i].start, expected[i].start, 1e-9);
    EXPECT_NEAR(read.notes[i].end, expected[i].end, 1e-9);
    const MidiNote& note = read.notes[i];
    EXPECT_EQ(std::tuple(note.key, note.velocity, note.channel, note.track),
              std::tuple(expected[i].key, expected[i].velocity, expected[i].channel, expected[i].track));
  }

  // SMPTE: 25 frames of 40 ticks, a millisecond a tick; a note left sounding ends with its track.
  const Bytes smpte = {0, 0x90, 69, 64, 0x87, 0x68, 0xff, 0x2f, 0};  // end of track at tick 1000
  const MidiFileRead timed = ParseStandardMidiFile(File(0, 1, 0xe728, {Chunk("MTrk", smpte)}));
  ASSERT_EQ(timed.problem, "");
  ASSERT_EQ(timed.notes.size(), 1u);
  EXPECT_NEAR(timed.notes[0].end, 1.0, 1e-12);
}

TEST(StandardMidiFileTest, DamagedFilesAreRefusedWithWhatIsWrong) {
  const Bytes note = {0, 0x90, 60, 80, 0x60, 0x80, 60, 0, 0, 0xff, 0x2f, 0};
  const struct {
    const char* name;
    Bytes file;
    const char* problem;
  } cases[] = {
      {"empty", {}, "not a Standard MIDI File"},
      {"a RIFF file", Bytes{'R', 'I', 'F', 'F', 0, 0, 0, 4, 'W', 'A', 'V', 'E'}, "not a Standard MIDI File"},
      {"header cut short", Bytes{'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0}, "header chunk is cut short"},
      {"format 2", File(2, 1, 96, {Chunk("MTrk", note)}), "format 2"},
      {"format 7", File(7, 1, 96, {Chunk("MTrk", note)}), "format 7 is not"},
      {"format 0, two tracks", File(0, 2, 96, {Chunk("MTrk", note), Chunk("MTrk", note)}),
       "format 0 with 2 tracks"},
      {"no tracks", File(1, 0, 96, {}), "no tracks"},
      {"no ticks", File(0, 1, 0, {Chunk("MTrk", note)}), "0 ticks per quarter note"},
      {"23 frames a second", File(0, 1, 0xe928, {Chunk("MTrk", note)}), "SMPTE"},
      {"a track missing", File(1, 2, 96, {Chunk("MTrk", note)}), "track 2 of 2 is missing"},
      {"a chunk past the end", File(0, 1, 96, {Bytes{'M', 'T', 'r', 'k', 0x7f, 0xff, 0xff, 0xff, 0}}),
       "runs past the end of the file"},
      {"a delta of five bytes", File(0, 1, 96, {Chunk("MTrk", {0x81, 0x81, 0x81, 0x81, 0x01, 0x90, 60, 1})}),
       "delta time longer than 4 bytes"},
      {"data before any status", File(0, 1, 96, {Chunk("MTrk", {0, 60, 80})}), "without a status"},
      {"a note cut by its chunk", File(0, 1, 96, {Chunk("MTrk", {0, 0x90, 60})}),
       "past the end of its chunk"},
      {"a data byte of 128", File(0, 1, 96, {Chunk("MTrk", {0, 0x90, 60, 0x80})}), "128 or more"},
      {"a song position message", File(0, 1, 96, {Chunk("MTrk", {0, 0xf2, 0, 0})}), "system message"},
      {"a tempo of 2 bytes", File(0, 1, 96, {Chunk("MTrk", {0, 0xff, 0x51, 2, 1, 2})}), "tempo event not 3"},
      {"a tempo of 0", File(0, 1, 96, {Chunk("MTrk", {0, 0xff, 0x51, 3, 0, 0, 0})}), "tempo of 0"},
      {"a meta event of absurd length",
       File(0, 1, 96, {Chunk("MTrk", {0, 0xff, 0x01, 0x8f, 0xff, 0xff, 0x7f, 'a'})}), "meta event runs past"},
      {"a sysex past its chunk", File(0, 1, 96, {Chunk("MTrk", {0, 0xf0, 0x10, 1})}), "system exclusive"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const MidiFileRead read = ParseStandardMidiFile(c.file);
    EXPECT_NE(read.problem.find(c.problem), std::string::npos) << read.problem;
    EXPECT_TRUE(read.notes.empty());
  }
  EXPECT_NE(ReadStandardMidiFile("/nonexistent/guide.mid").problem, "");
}

}  // namespace
}  // namespace vocara
