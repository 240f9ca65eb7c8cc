// Note segments as a singer would count them, on pitch tracks made here at the Build's frame
// rate: each case has its notes and where each begins (the glide or scoop into a note is part
// of it), found within 20 ms. Vibrato, drift, scoops and falls stay inside their note; notes a
// few cents either side of a semitone, fast runs and notes repeated after a breath do not merge.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "engine/sas/NoteSegments.h"
#include "engine/sas/SasDocument.h"
#include "support/SasFiles.h"
#include "support/TempDir.h"

namespace vocara::test {
namespace {

constexpr double Rate = 48000.0 / 216;  // frames per second of a SAS built at 48 kHz by default

// One stretch of a track: a note at `cents` (0: unvoiced, a breath) held `seconds`, the first
// `glide` seconds of them moving in a line from `from` (the note before when NaN), with vibrato
// of +-depth cents at hz.
struct Piece {
  double cents;
  double seconds;
  double glide = 0.06;
  double from = NAN;
  double depth = 30;
  double hz = 5.5;
  double drift = 0;  // cents added over the piece, in a line
};

struct Track {
  std::vector<double> pitch;   // 0 where unvoiced
  std::vector<double> starts;  // seconds at which each note begins
};

Track Make(const std::vector<Piece>& pieces) {
  std::mt19937 noise(7);
  std::uniform_real_distribution<double> cents(-2, 2);
  Track track;
  double last = NAN;
  for (const Piece& piece : pieces) {
    const double from = std::isnan(piece.from) ? last : piece.from;
    // A glide of a third or more from the note before is shared at its middle.
    const bool shared = std::isnan(piece.from) && !std::isnan(last) &&
                        std::abs(std::lround(piece.cents / 100) - std::lround(last / 100)) >= 3;
    if (piece.cents > 0)
      track.starts.push_back(static_cast<double>(track.pitch.size()) / Rate + (shared ? piece.glide / 2 : 0));
    const auto count = static_cast<int>(std::lround(piece.seconds * Rate));
    for (int i = 0; i < count; ++i) {
      const double t = i / Rate;
      if (piece.cents <= 0) {
        track.pitch.push_back(0);
        continue;
      }
      double p = piece.cents + piece.drift * i / count;
      if (t < piece.glide && !std::isnan(from)) p = from + (p - from) * t / piece.glide;
      const double now = static_cast<double>(track.pitch.size()) / Rate;
      track.pitch.push_back(p + piece.depth * std::sin(2 * std::numbers::pi * piece.hz * now) + cents(noise));
    }
    last = piece.cents > 0 ? piece.cents + piece.drift : NAN;
  }
  return track;
}

// The segments of every voiced run of a track, frames counted from the track's start.
std::vector<NoteSegment> Notes(const std::vector<double>& pitch) {
  std::vector<NoteSegment> notes;
  std::vector<NoteSegment> segments;
  for (std::size_t first = 0; first < pitch.size();) {
    std::size_t end = first;
    while (end < pitch.size() && pitch[end] > 0) ++end;
    if (end > first) {
      const std::vector<double> run(pitch.begin() + first, pitch.begin() + end);
      std::vector<double> smoothed(run.size());
      std::vector<double> scratch(run.size());
      SplitNotes(run, Rate, smoothed, scratch, segments);
      for (NoteSegment s : segments) {
        for (std::uint32_t* f : {&s.first, &s.end, &s.steadyFirst, &s.steadyEnd})
          *f += static_cast<std::uint32_t>(first);
        notes.push_back(s);
      }
    }
    first = std::max(end, first + 1);
  }
  return notes;
}

TEST(NoteSegmentsTest, NotesBeginWhereTheSingerMovesToAnotherLevel) {
  const double C4 = 3900;
  const double D4 = 4100;
  const double E4 = 4300;
  const double F4 = 4400;
  const double G4 = 4600;
  struct Case {
    std::string name;
    std::vector<Piece> pieces;
    double scoop = 0;  // the held part of every note begins at least this long after the note
  };
  const auto run = [](std::vector<double> notes) {
    std::vector<Piece> pieces;
    for (const double n : notes) pieces.push_back({n, 0.13, 0.025, NAN, 0});
    return pieces;
  };
  std::vector<Piece> fast = run({C4, D4, E4, F4, G4, F4, E4, D4, C4});
  fast.push_back({C4 - 100, 0.6, 0.03});
  const std::vector<Case> cases{
      {"E4 sung sharp, F4 flat", {{E4 + 40, 0.7}, {F4 - 20, 0.7}}},
      {"F4 sung flat, E4 sharp", {{F4 - 20, 0.7}, {E4 + 40, 0.7}}},
      {"the same without vibrato", {{E4 + 40, 0.7, 0, NAN, 0}, {F4 - 20, 0.7, 0.06, NAN, 0}}},
      {"+-80 cents of vibrato at 5.5 Hz",
       {{C4, 1.2, 0, NAN, 80}, {E4, 1.2, 0.06, NAN, 80}, {D4, 1.2, 0.06, NAN, 80}}},
      {"+-100 cents at 4 Hz", {{C4, 1.2, 0, NAN, 100, 4}, {E4, 1.2, 0.06, NAN, 100, 4}}},
      {"+-100 cents at 8 Hz", {{C4, 1.2, 0, NAN, 100, 8}, {E4, 1.2, 0.06, NAN, 100, 8}}},
      {"150-cent scoops into each note",
       {{C4, 0.6, 0.12, C4 - 150}, {E4, 0.6, 0.12, E4 - 150}, {G4, 0.6, 0.12, G4 - 150}},
       0.06},
      {"a fall after the last note", {{D4, 0.6}, {C4, 0.8}, {C4 - 200, 0.15, 0.15, C4, 0}}},
      {"a run of 130 ms notes into a held B3", fast},
      {"a held note drifting 40 cents", {{C4, 2.0, 0, NAN, 30, 5.5, 40}}},
      {"a slow, deep drift under slow vibrato", {{G4, 1.5, 0, NAN, 60, 4.5, -45}}},
      {"a note repeated after a breath", {{D4, 0.6}, {0, 0.04}, {D4, 0.6}}},
      {"... after a 30 ms consonant", {{D4, 0.5}, {0, 0.03}, {D4, 0.5}, {0, 0.03}, {D4, 0.5}}},
      {"B4 sung 40 cents sharp into C5 40 cents flat, legato",
       {{E4 + 740, 0.3, 0, NAN, 0}, {E4 + 760, 0.5, 0, NAN, 0}, {E4 + 500, 0.6, 0.06, NAN, 0}}},
      {"... and down", {{E4 + 760, 0.4, 0, NAN, 0}, {E4 + 740, 0.8, 0, NAN, 0}}},
      {"a 120 ms portamento of a fourth", {{C4 - 700, 0.6, 0, NAN, 0}, {C4 - 220, 0.9, 0.12, NAN, 30}}},
      {"an octave sung and held", {{C4, 0.5}, {C4 + 1200, 0.5, 0.03}, {C4, 0.5, 0.03}}},
      {"120 ms notes of a run sung low, as the detector smears them",
       {{C4 - 1300, 0.6, 0, NAN, 0},
        {C4 - 1200, 0.12, 0.08, NAN, 0},
        {C4 - 1100, 0.12, 0.08, NAN, 0},
        {C4 - 1000, 0.6, 0.08, NAN, 0}}},
  };
  for (const Case& c : cases) {
    const Track track = Make(c.pieces);
    // The fall is no note of its own.
    const std::size_t sung = c.name.starts_with("a fall") ? track.starts.size() - 1 : track.starts.size();
    const std::vector<NoteSegment> notes = Notes(track.pitch);
    EXPECT_EQ(notes.size(), sung) << c.name;
    if (notes.size() != sung) continue;
    for (std::size_t k = 0; k < notes.size(); ++k) {
      EXPECT_NEAR(notes[k].first / Rate, track.starts[k], 0.020) << c.name << ", note " << k;
      EXPECT_LE(notes[k].first, notes[k].steadyFirst) << c.name << ", note " << k;
      EXPECT_LT(notes[k].steadyFirst, notes[k].steadyEnd) << c.name << ", note " << k;
      EXPECT_LE(notes[k].steadyEnd, notes[k].end) << c.name << ", note " << k;
      EXPECT_GE((notes[k].steadyFirst - notes[k].first) / Rate, c.scoop) << c.name << ", note " << k;
    }
  }
  // 200 ms of a held note the detector read an octave up, or down, are that note.
  for (const double octave : {1200.0, -1200.0})
    for (const double depth : {0.0, 30.0}) {
      Track slip = Make({{C4, 0.8, 0, NAN, depth}});
      for (auto i = std::lround(0.3 * Rate); i < std::lround(0.5 * Rate); ++i) slip.pitch[i] += octave;
      EXPECT_EQ(Notes(slip.pitch).size(), 1u) << octave << " " << depth;
    }
}

// A page's notes read only the runs around the page, and exactly those a walk over the whole
// file would meet there: runs that cross a block boundary or the page's ends included.
TEST(NoteSegmentsTest, WideningToWholeRunsFindsTheRunsAroundAStretch) {
  // Voiced runs at 100..3000 (across two blocks of reading), 3010..3020 and 3500..end.
  const std::uint32_t count = 4000;
  std::vector<SasFrame> frames(count, FreshFrame(0, 0, 0));
  for (std::uint32_t i = 0; i < count; ++i)
    if ((i >= 100 && i < 3000) || (i >= 3010 && i < 3020) || i >= 3500)
      frames[i] = FreshFrame(4000, -1000000000, 1000000000);
  TempDir dir;
  const std::string path =
      WriteSasFile(dir.File("runs.sas"), SasHeaderFor(216, 48000, 0, count), frames, EndLinks(count * 216));
  SasDocument document;
  ASSERT_EQ(SasOpenDocument(document, path, SasAccess::ReadOnly), MessageId::None);
  const double silence = SilenceLevel(document.header.settings.silenceThreshold);
  struct Case {
    std::uint32_t first, end, wantFirst, wantEnd;
  };
  for (const Case c : {Case{2000, 2100, 100, 3000}, Case{3005, 3015, 3005, 3020}, Case{50, 60, 50, 60},
                       Case{2999, 3001, 100, 3001}, Case{3600, 3700, 3500, 4000}, Case{0, 5000, 0, 4000},
                       Case{100, 101, 100, 3000}, Case{3000, 3010, 3000, 3010}}) {
    std::uint32_t first = c.first;
    std::uint32_t end = c.end;
    ASSERT_TRUE(WidenToWholeRuns(document, first, end, silence));
    EXPECT_EQ(first, c.wantFirst) << c.first << ":" << c.end;
    EXPECT_EQ(end, c.wantEnd) << c.first << ":" << c.end;
  }
}

// A note's centre is where it is held: a vibrato setting in late is measured over its own whole
// cycles, frames lost at its crests do not pull the centre down, and a plain note's wobble and
// drift are taken over the whole held part rather than a few frames between its random crossings.
TEST(NoteSegmentsTest, ACentreIsWhereTheNoteIsHeld) {
  std::mt19937 random(7);
  std::uniform_real_distribution<double> wobble(-4, 4);
  const int half = NoteLowPassHalfWidth(Rate);
  for (const bool vibrato : {true, false}) {
    std::vector<double> pitch;
    for (double t = 0; t < 1.5; t += 1 / Rate) {
      const double swing =
          t < 0.5 ? 0 : 45 * std::min(1.0, (t - 0.5) / 0.15) * std::sin(2 * std::numbers::pi * 5 * t);
      const double crest = std::sin(2 * std::numbers::pi * 5 * t);
      pitch.push_back(vibrato && t > 0.8 && crest > 0.93
                          ? 0
                          : 3400 + (vibrato ? swing : wobble(random) + 10 * (t - 0.75)));
    }
    const std::vector<double> weights(pitch.size(), 1.0);
    std::vector<double> scratch(2 * pitch.size());
    std::vector<std::uint32_t> order(pitch.size());
    const FrameSpan span = CentreCycles(pitch, weights, 0, pitch.size(), half, Rate, scratch, order);
    EXPECT_EQ(span.cycles > 0, vibrato);
    if (!vibrato) {
      EXPECT_EQ(span.end - span.first, pitch.size());
    }
    EXPECT_NEAR(SpanCentre(pitch, weights, span, scratch, order), 3400, 0.5) << vibrato;
  }
}

}  // namespace
}  // namespace vocara::test
