// Notes shifted as objects: the offsets of a run (the note's shift, ramps at its boundaries
// inside the run, none at its edges), and the shift through the file: exactly the notes and
// their ramps change, frames that are not voiced never, targets stay in range, and a read-only
// file or overlapping notes change nothing.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>
#include <tuple>
#include <vector>

#include "engine/sas/NoteSegments.h"
#include "engine/sas/NoteShift.h"
#include "engine/sas/SasDocument.h"
#include "engine/sas/ScaleSnap.h"
#include "support/SasFiles.h"
#include "support/TempDir.h"
#include "support/WavFiles.h"

namespace vocara::test {
namespace {

TEST(NoteShiftTest, OffsetsRampInsideTheRunAndStepAtItsEdges) {
  struct Case {
    const char* name;
    std::vector<NoteShift> shifts;
    std::int64_t ramp;
    std::vector<double> expected;  // frames 100 .. 113 of the run
  };
  const std::vector<Case> cases = {
      {"no ramp: a plain step", {{{105, 110}, 50}}, 0, {0, 0, 0, 0, 0, 50, 50, 50, 50, 50, 0, 0, 0, 0}},
      {"a ramp of 4 frames centred on each boundary",
       {{{105, 110}, 50}},
       4,
       {0, 0, 0, 6.25, 18.75, 31.25, 43.75, 50, 43.75, 31.25, 18.75, 6.25, 0, 0}},
      {"a note from before the run to inside it: no ramp at the run's start",
       {{{90, 103}, -20}},
       4,
       {-20, -17.5, -12.5, -7.5, -2.5, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
      {"two neighbours shifted alike: one stretch",
       {{{104, 108}, 10}, {{108, 114}, 10}},
       2,
       {0, 0, 0, 2.5, 7.5, 10, 10, 10, 10, 10, 10, 10, 10, 10}},
      {"two neighbours shifted apart: a ramp between them",
       {{{100, 107}, 100}, {{107, 114}, -100}},
       2,
       {100, 100, 100, 100, 100, 100, 50, -50, -100, -100, -100, -100, -100, -100}},
  };
  std::vector<double> scratch;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<double> offsets(14, 99.0);
    RunOffsets(100, c.shifts, c.ramp, offsets, scratch);
    EXPECT_EQ(offsets, c.expected);
  }
}

// 80 frames at 100 frames a second, source and target 4000 cents; frame 30 taken out of the
// automatic work (bit 15), frame 50 below the silence threshold.
std::vector<SasFrame> Take() {
  std::vector<SasFrame> frames(80, FreshFrame(4000, -1000000000, 1000000000));
  frames[30].targetPitch |= TimeCorrectionOffBit;
  frames[50] = FreshFrame(4000, -10, 10);
  return frames;
}

TEST(NoteShiftTest, ThroughTheFileOnlyTheNotesAndTheirRampsChange) {
  TempDir dir;
  const std::vector<SasFrame> frames = Take();
  const SasHeader header = SasHeaderFor(480, 48000, 0, static_cast<std::uint32_t>(frames.size()), 2);
  const std::string path = WriteSasFile(dir.File("a.sas"), header, frames, EndLinks(480 * 80));
  SasDocument document;
  ASSERT_EQ(SasOpenDocument(document, path), MessageId::None);
  std::vector<std::uint32_t> told;
  const FrameChangeSink sink = [&](std::uint32_t index, const SasFrame&, const SasFrame&) {
    told.push_back(index);
  };
  // +200 over frames 10 .. 39, broken by frame 30; +100 over 45 .. 49, which ends at frame 50.
  ASSERT_TRUE(SasShiftNotes(document, {{{45, 50}, 100}, {{10, 40}, 200}}, 40, sink));  // 40 ms: 4 frames
  const std::vector<SasFrame> after = ReadSasFrames(path);
  std::vector<int> expected(80, 4000);
  const int up[] = {4025, 4075, 4125, 4175};
  for (int i = 0; i < 4; ++i) expected[static_cast<std::size_t>(8 + i)] = up[i];
  for (int i = 12; i < 40; ++i) expected[static_cast<std::size_t>(i)] = 4200;
  const int down[] = {4175, 4125, 4075, 4025};  // 38 .. 41
  for (int i = 0; i < 4; ++i) expected[static_cast<std::size_t>(38 + i)] = down[i];
  const int into[] = {4013, 4038, 4063, 4088};  // 43 .. 46, halves rounded up
  for (int i = 0; i < 4; ++i) expected[static_cast<std::size_t>(43 + i)] = into[i];
  for (int i = 47; i < 50; ++i) expected[static_cast<std::size_t>(i)] = 4100;
  expected[30] = 4000;  // not voiced: left alone, and both sides change at once next to it
  expected[50] = 4000;
  std::vector<std::uint32_t> changed;
  for (std::size_t i = 0; i < after.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(after[i].targetPitch & ~TimeCorrectionOffBit, expected[i]);
    EXPECT_EQ(after[i].sourcePitch, frames[i].sourcePitch);
    EXPECT_EQ(after[i].Amplitude(), frames[i].Amplitude());
    if (!(after[i] == frames[i])) changed.push_back(static_cast<std::uint32_t>(i));
  }
  EXPECT_EQ(std::tuple(after[30].TimeCorrectionOff(), told), std::tuple(true, changed));

  // Targets stay within 0 .. C8.
  ASSERT_TRUE(SasShiftNotes(document, {{{60, 70}, 9000}, {{70, 80}, -9000}}, 0));
  const std::vector<SasFrame> limited = ReadSasFrames(path);
  EXPECT_EQ(std::tuple(limited[65].targetPitch, limited[75].targetPitch), std::tuple(HighestTargetPitch, 0));

  // Overlapping notes, and a file open for reading only, change nothing.
  const std::string before = ReadFile(path);
  EXPECT_FALSE(SasShiftNotes(document, {{{0, 20}, 50}, {{10, 30}, 50}}, 40));
  SasCloseDocument(document);
  ASSERT_EQ(SasOpenDocument(document, path, SasAccess::ReadOnly), MessageId::None);
  EXPECT_FALSE(SasShiftNotes(document, {{{0, 20}, 50}}, 40));
  EXPECT_EQ(ReadFile(path), before);
}

// Two notes sung at 100 frames a second, C4 +30 then D4 -30, each a second with a 60 ms glide
// into the second and +-30 cents of vibrato at 5.5 Hz; snapped to C major first.
TEST(NoteShiftTest, ShapingANoteScalesItsVibratoWhereItStandsAndLeavesTheOthers) {
  TempDir dir;
  std::vector<SasFrame> frames;
  for (int i = 0; i < 200; ++i) {
    const double t = (i % 100) / 100.0;
    double note = i < 100 ? 3930 : 4170;
    if (i >= 100 && t < 0.06) note = 3930 + 240 * t / 0.06;
    const double pitch = note + 30 * std::sin(2 * std::numbers::pi * 5.5 * i / 100.0);
    frames.push_back(FreshFrame(static_cast<std::uint16_t>(std::lround(pitch)), -1000000000, 1000000000));
  }
  const SasHeader header = SasHeaderFor(480, 48000, 0, 200, 2);
  const std::string path = WriteSasFile(dir.File("a.sas"), header, frames, EndLinks(480 * 200));
  SasDocument document;
  ASSERT_EQ(SasOpenDocument(document, path), MessageId::None);
  ASSERT_TRUE(SasSnapToScale(document, 0, 200, ScaleSnapParams{}));
  const std::vector<SasFrame> snapped = ReadSasFrames(path);

  // Drift 0 and vibrato 100 keep a snapped note as it is, within a cent or two.
  ASSERT_TRUE(SasShapeNotes(document, {{{0, 100}, 0}}, 0, 100));
  const std::vector<SasFrame> kept = ReadSasFrames(path);
  for (std::size_t i = 0; i < 200; ++i) EXPECT_NEAR(kept[i].targetPitch, snapped[i].targetPitch, 2) << i;

  // Vibrato 0 flattens the first note around C4, where the snap put it; the second stays.
  ASSERT_TRUE(SasShapeNotes(document, {{{0, 100}, 0}}, 0, 0));
  std::vector<SasFrame> flat = ReadSasFrames(path);
  // Its edges meet the neighbours as before: the flattening fades in and out there.
  EXPECT_NEAR(flat[0].targetPitch, snapped[0].targetPitch, 2);
  EXPECT_NEAR(flat[99].targetPitch, snapped[99].targetPitch, 2);
  std::vector<double> held;
  for (std::size_t i = 15; i < 85; ++i) held.push_back(flat[i].targetPitch);
  std::vector<double> scratch(2 * held.size());
  EXPECT_LT(VibratoDepth(held, NoteLowPassHalfWidth(100), scratch), 3);
  for (const double target : held) EXPECT_NEAR(target, 3900, 6);
  for (std::size_t i = 100; i < 200; ++i) EXPECT_EQ(flat[i], snapped[i]) << i;
  // Shaping again to as sung gives the vibrato back: the shapes do not add up.
  ASSERT_TRUE(SasShapeNotes(document, {{{0, 100}, 0}}, 0, 100));
  const std::vector<SasFrame> back = ReadSasFrames(path);
  for (std::size_t i = 15; i < 85; ++i) EXPECT_NEAR(back[i].targetPitch, snapped[i].targetPitch, 3) << i;
  ASSERT_TRUE(SasShapeNotes(document, {{{0, 100}, 0}}, 0, 0));
  flat = ReadSasFrames(path);

  // Twice the vibrato on the second note.
  ASSERT_TRUE(SasShapeNotes(document, {{{100, 200}, 0}}, 0, 200));
  const std::vector<SasFrame> deep = ReadSasFrames(path);
  std::vector<double> second;
  for (std::size_t i = 115; i < 185; ++i) second.push_back(deep[i].targetPitch);
  scratch.resize(2 * second.size());
  EXPECT_NEAR(VibratoDepth(second, NoteLowPassHalfWidth(100), scratch), 60, 6);
  for (std::size_t i = 0; i < 100; ++i) EXPECT_EQ(deep[i], flat[i]) << i;
}

}  // namespace
}  // namespace vocara::test
