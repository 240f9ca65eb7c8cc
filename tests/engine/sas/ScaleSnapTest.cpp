// Snap to Scale and its notes: key and pitch-class texts, the nearest scale note under any
// reference, and the snap of a run (centre moved, vibrato kept, drift removed, ramps between notes, frames
// that are not voiced untouched), through the file as well.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <optional>
#include <tuple>
#include <vector>

#include "engine/sas/NoteSegments.h"
#include "engine/sas/SasDocument.h"
#include "engine/sas/ScaleSnap.h"
#include "support/SasFiles.h"
#include "support/TempDir.h"
#include "support/WavFiles.h"

namespace vocara::test {
namespace {

constexpr double Rate = 100;  // frames per second in these tests

TEST(ScaleSnapTest, KeysAndPitchClassesReadAsWritten) {
  const char* const keys[] = {"C", "c#", "Db", "B", "Cb", "E#", "A", "G##"};
  const int pitchClasses[] = {0, 1, 1, 11, 11, 5, 9, 9};
  for (int k = 0; k < 8; ++k) EXPECT_EQ(ParseKey(keys[k]), pitchClasses[k]) << keys[k];
  for (const char* none : {"", "H", "C+", "#"}) EXPECT_EQ(ParseKey(none), std::nullopt) << none;
  for (int k = 0; k < 12; ++k) EXPECT_EQ(ParseKey(KeyName(k)), k);

  EXPECT_EQ(ParsePitchClasses("0,2,4,5,7,9,11"), 0x0ab5);
  EXPECT_EQ(ParsePitchClasses("11,0,0"), 0x0801);
  for (const char* bad : {"", "0,", ",1", "12", "1,,2", "a", "001"})
    EXPECT_EQ(ParsePitchClasses(bad), std::nullopt) << bad;
  EXPECT_EQ(PitchClassesText(0x0ab5), "0,2,4,5,7,9,11");
}

TEST(ScaleSnapTest, NearestScaleNoteFollowsKeyScaleAndReference) {
  ScaleSnapParams p;  // C major at A4 = 440
  // Note 39 is C4, 3900 cents above A0; C#4 is not in C major.
  EXPECT_EQ(NearestScalePitch(3960, p), 3900);
  EXPECT_EQ(NearestScalePitch(4000, p), 3900);  // C#4 halfway: the lower note
  EXPECT_EQ(NearestScalePitch(4040, p), 4100);
  EXPECT_EQ(NearestScalePitch(4350, p), 4300);  // E4 .. F4: the lower at the same distance
  p.key = 2;                                    // D major: F#, C#
  EXPECT_EQ(NearestScalePitch(4460, p), 4500);
  p.scale = ScaleKind::HarmonicMinor;  // D harmonic minor: C# and Bb, no C: C4 goes to C#4
  EXPECT_EQ(NearestScalePitch(3900, p), 4000);
  p.scale = ScaleKind::Custom;
  p.custom = 0;
  EXPECT_EQ(NearestScalePitch(3977, p), 3977);  // an empty set snaps nothing
  p = ScaleSnapParams{};
  p.scale = ScaleKind::Chromatic;
  p.reference = 415;  // a semitone low: every note 100.9 cents down
  EXPECT_NEAR(NearestScalePitch(3900, p), 3900 + 1200 * std::log2(415.0 / 440.0) + 100, 1e-9);
  // Out-of-range values come back limited.
  const ScaleSnapParams clamped =
      ClampScaleSnapParams({.key = 40, .reference = NAN, .centre = 300, .drift = -5, .retuneMs = 1e9});
  EXPECT_EQ(std::tuple(clamped.centre, clamped.drift, clamped.reference, clamped.retuneMs, clamped.key),
            std::tuple(100.0, 0.0, DefaultReference, MaxRetuneMs, 11));
}

// Pitches at Rate frames a second: `notes` held for `seconds` each with a 60 ms glide into each
// and vibrato of +-depth at 5.5 Hz.
std::vector<double> Sung(const std::vector<double>& notes, double seconds, double depth) {
  std::vector<double> pitch;
  for (std::size_t k = 0; k < notes.size(); ++k) {
    for (int i = 0; i < seconds * Rate; ++i) {
      const double t = i / Rate;
      double p = notes[k];
      if (k > 0 && t < 0.06) p = notes[k - 1] + (notes[k] - notes[k - 1]) * t / 0.06;
      pitch.push_back(p + depth * std::sin(2 * std::numbers::pi * 5.5 * (pitch.size() / Rate)));
    }
  }
  return pitch;
}

// A voiced run of frames from pitches.
std::vector<SasFrame> Frames(const std::vector<double>& pitch) {
  std::vector<SasFrame> frames;
  for (const double p : pitch)
    frames.push_back(FreshFrame(static_cast<std::uint16_t>(std::lround(p)), -1000000000, 1000000000));
  return frames;
}

TEST(ScaleSnapTest, SnapMovesTheCentreKeepsVibratoAndRampsBetweenNotes) {
  const std::vector<double> pitch = Sung({3930, 4070}, 0.8, 30);  // C4 +30, D4 -30
  std::vector<SasFrame> run = Frames(pitch);
  ScaleSnapParams p{.retuneMs = 100};  // 10 frames
  SnapWork work;
  SnapRun(run, p, {Rate, 0}, work);
  // Inside each note the correction is one value, the note's offset (its median lies within the
  // vibrato's swing of the sung centre): vibrato and all move together.
  const auto correction = [&](std::size_t i) { return run[i].targetPitch - run[i].sourcePitch; };
  for (std::size_t i = 20; i < 70; ++i) EXPECT_EQ(correction(i), correction(20)) << i;
  for (std::size_t i = 100; i < 160; ++i) EXPECT_EQ(correction(i), correction(100)) << i;
  EXPECT_NEAR(correction(20), -30, 6);
  EXPECT_NEAR(correction(100), 30, 6);
  // Across the boundary the offset ramps from -30 to +30 without steps larger than 60 / 10.
  for (std::size_t i = 70; i < 100; ++i) {
    const int step =
        (run[i].targetPitch - run[i].sourcePitch) - (run[i - 1].targetPitch - run[i - 1].sourcePitch);
    EXPECT_TRUE(step >= -1 && step <= 7) << i << ": " << step;
  }

  // Half the centre strength, and a slow drift taken out by the drift amount.
  std::vector<double> drifting = Sung({3930}, 2.0, 0);
  for (std::size_t i = 0; i < drifting.size(); ++i)
    drifting[i] += 20 * std::sin(std::numbers::pi * i / drifting.size());
  run = Frames(drifting);
  p.centre = 50;
  p.drift = 100;
  SnapRun(run, p, {Rate, 0}, work);
  // The arch is gone: the target is flat, halfway between the sung centre (3930 + about 14)
  // and C4.
  double lowest = 1e9;
  double highest = 0;
  for (std::size_t i = 40; i < 160; ++i) {
    lowest = std::min<double>(lowest, run[i].targetPitch);
    highest = std::max<double>(highest, run[i].targetPitch);
  }
  EXPECT_TRUE(highest - lowest < 4 && lowest > 3915 && highest < 3930) << lowest << " .. " << highest;
}

// The vibrato share scales the swing around the note low-pass: 0 flattens it, 200 doubles it,
// 100 leaves the snap exactly as without the choice; the centre lands on the scale each time.
TEST(ScaleSnapTest, VibratoShareScalesTheSwingAroundTheCentre) {
  const std::vector<double> pitch = Sung({3930}, 2.0, 30);  // C4 +30 with +-30 cents of vibrato
  const int half = NoteLowPassHalfWidth(Rate);
  SnapWork work;
  const auto snapped = [&](double vibrato) {
    std::vector<SasFrame> run = Frames(pitch);
    SnapRun(run, {.vibrato = vibrato}, {Rate, 0}, work);
    std::vector<double> target;
    for (std::size_t i = 30; i < 170; ++i) target.push_back(run[i].targetPitch);  // the held middle
    return target;
  };
  const auto depth = [&](std::vector<double> values) {
    std::vector<double> scratch(2 * values.size());
    return VibratoDepth(values, half, scratch);
  };
  const auto mean = [](const std::vector<double>& values) {
    double sum = 0;
    for (const double v : values) sum += v;
    return sum / static_cast<double>(values.size());
  };
  const std::vector<double> sung(pitch.begin() + 30, pitch.begin() + 170);
  const double sungDepth = depth(sung);
  EXPECT_NEAR(sungDepth, 30, 3);
  for (const double vibrato : {0.0, 50.0, 200.0}) {
    SCOPED_TRACE(vibrato);
    const std::vector<double> target = snapped(vibrato);
    EXPECT_NEAR(depth(target), sungDepth * vibrato / 100, 2.5);
    EXPECT_NEAR(mean(target), 3900, 3);
  }
  ScaleSnapParams unchanged;
  std::vector<SasFrame> plain = Frames(pitch);
  SnapRun(plain, unchanged, {Rate, 0}, work);
  const std::vector<double> kept = snapped(100);
  for (std::size_t i = 0; i < kept.size(); ++i) ASSERT_EQ(kept[i], plain[30 + i].targetPitch) << i;
  // Out-of-range shares are limited: below 0 is 0, above 200 is 200, not a number is 100.
  ScaleSnapParams wild;
  for (const auto& [given, used] :
       {std::pair(-5.0, 0.0), std::pair(900.0, MaxVibrato), std::pair(std::nan(""), 100.0)}) {
    wild.vibrato = given;
    EXPECT_EQ(ClampScaleSnapParams(wild).vibrato, used) << given;
  }
}

TEST(ScaleSnapTest, ThroughTheFileOnlyVoicedFramesOfTheRangeChange) {
  TempDir dir;
  std::vector<SasFrame> frames = Frames(Sung({3930}, 0.5, 10));
  frames[13].targetPitch |= TimeCorrectionOffBit;       // taken out by the user
  frames[22] = FreshFrame(3930, -10, 10);               // below the silence threshold
  frames[31] = FreshFrame(0, -1000000000, 1000000000);  // no pitch
  SasHeader header = SasHeaderFor(480, 48000, 0, static_cast<std::uint32_t>(frames.size()), 2);
  const std::string path = WriteSasFile(dir.File("a.sas"), header, frames, EndLinks(480 * 50));
  SasDocument document;
  ASSERT_EQ(SasOpenDocument(document, path), MessageId::None);
  std::vector<std::uint32_t> told;
  ASSERT_TRUE(
      SasSnapToScale(document, 5, 45, ScaleSnapParams{},
                     [&](std::uint32_t index, const SasFrame&, const SasFrame&) { told.push_back(index); }));
  const std::vector<SasFrame> after = ReadSasFrames(path);
  for (std::size_t i = 0; i < frames.size(); ++i) {
    const bool changes = i >= 5 && i < 45 && i != 13 && i != 22 && i != 31;
    EXPECT_EQ(after[i] == frames[i], !changes) << i;
    if (changes) {
      EXPECT_NEAR(after[i].targetPitch - frames[i].sourcePitch, -30, 10) << i;  // vibrato +-10
    }
  }
  EXPECT_EQ(told.size(), 37u);
  SasCloseDocument(document);
  ASSERT_EQ(SasOpenDocument(document, path, SasAccess::ReadOnly), MessageId::None);
  EXPECT_FALSE(SasSnapToScale(document, 0, 50, ScaleSnapParams{}));
}

}  // namespace
}  // namespace vocara::test
