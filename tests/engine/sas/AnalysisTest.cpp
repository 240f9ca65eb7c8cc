// The note detector one frame at a time: the window and hop lengths, the window's zero
// padding at both ends of the data, the strength of a pure tone, the decision rules at the
// edges of the note range, the fine-offset formula and the pitch of a tone swept across the
// default range.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>
#include <tuple>
#include <vector>

#include "base/Settings.h"
#include "engine/sas/Analysis.h"
#include "engine/wav/WavDocument.h"
#include "support/TempDir.h"
#include "support/WavFiles.h"

namespace vocara::test {
namespace {

double NoteFrequency(double cents) { return 27.5 * std::pow(2.0, cents / 1200.0); }

// A window of W + 1 slots holding partials (frequency in Hz, amplitude in left-aligned
// units) centred on slot W / 2, rounded to whole values as samples are; slot W stays 0.
std::vector<double> ToneWindow(std::uint32_t w, double rate,
                               const std::vector<std::pair<double, double>>& partials) {
  std::vector<double> window(w + 1, 0.0);
  for (std::uint32_t k = 0; k < w; ++k) {
    const double t = (static_cast<double>(k) - w / 2) / rate;
    double v = 0.0;
    for (const auto& [frequency, amplitude] : partials)
      v += amplitude * std::sin(2 * std::numbers::pi * frequency * t + 0.3);
    window[k] = std::round(v);
  }
  return window;
}

GeneralSettings Range(int lowest, int highest, double threshold = 20.0) {
  return {.lowestNote = lowest, .highestNote = highest, .baseNoteThreshold = threshold};
}

TEST(AnalysisLengthsTest, WindowAndHopFollowTheLowestNoteAndTheChunk) {
  EXPECT_EQ(AnalysisWindowLength(38, 44100), 3275u);  // the defaults at 44.1 kHz: an odd window
  EXPECT_EQ(AnalysisFrameLength(3275, 1.0), 194u);    // one period of the tone below B3
  // A0 at 192 kHz with five periods per chunk: a hop near 38000 samples.
  const std::uint32_t w = AnalysisWindowLength(0, 192000);
  EXPECT_EQ(std::tuple(w, AnalysisFrameLength(w, 5.0)), std::tuple(128041u, 38068u));
  // An octave up halves the window (to within the truncation).
  EXPECT_NEAR(AnalysisWindowLength(50, 44100), 3275.0 / 2, 1.0);
}

class LoadAnalysisWindowTest : public ::testing::Test {
 protected:
  // 20 samples 1..20, then a chunk of non-zero bytes that a read past the data would pick up.
  void SetUp() override {
    std::vector<std::int32_t> values;
    for (int i = 1; i <= 20; ++i) values.push_back(i);
    const std::string path = WriteFile(
        dir.File("w.wav"), RiffFile(Chunk("fmt ", FormatBody(Format(2))) + Chunk("data", Samples(2, values)) +
                                    Chunk("LIST", std::string(16, '\x7f'))));
    ASSERT_EQ(WavOpenDocument(wav, path).message, MessageId::None);
  }
  std::vector<double> Load(std::uint32_t pos, std::size_t slots) {
    std::vector<double> window(slots, -1.0);
    LoadAnalysisWindow(wav, pos, window);
    return window;
  }
  static double S(int stored) { return stored * 65536.0; }

  TempDir dir;
  WavDocument wav;
};

// Slot k holds position pos - W / 2 + k: zero before the data, from position N on and in slot W.
TEST_F(LoadAnalysisWindowTest, EverySlotBelowWHoldsItsSampleAndZeroOutsideTheData) {
  EXPECT_EQ(Load(10, 8), (std::vector<double>{S(8), S(9), S(10), S(11), S(12), S(13), S(14), 0}));
  EXPECT_EQ(Load(10, 7), (std::vector<double>{S(8), S(9), S(10), S(11), S(12), S(13), 0}));  // W = 6
  EXPECT_EQ(Load(0, 8), (std::vector<double>{0, 0, 0, S(1), S(2), S(3), S(4), 0}));          // frame 0
  // W = 7 at the end: at pos 17 slot 6 is position 20 = N.
  EXPECT_EQ(Load(17, 8), (std::vector<double>{S(15), S(16), S(17), S(18), S(19), S(20), 0, 0}));
  EXPECT_EQ(Load(19, 8), (std::vector<double>{S(17), S(18), S(19), S(20), 0, 0, 0, 0}));
  EXPECT_EQ(Load(40, 8), std::vector<double>(8, 0.0));
}

// The span L holds about 16.8 periods and is not a whole number of them; the unfinished
// period leaves a residue of at most about 1 / (2 pi x 16.8) of the amplitude, so 1.5 %.
TEST(NoteStrengthTest, APureToneOnItsQuarterToneGivesItsAmplitude) {
  const std::uint32_t rate = 44100;
  const std::uint32_t w = AnalysisWindowLength(38, rate);
  for (const int q : {76, 77, 100, 131, 155}) {
    const std::vector<double> window = ToneWindow(w, rate, {{NoteFrequency(50.0 * q), 1e9}});
    EXPECT_NEAR(NoteStrength(window, rate, q), 1e9, 1.5e7) << q;
    // Over the span of the note a semitone below, the tone turns exactly one period more than
    // that note: nothing is left but the rounding of the samples and the cut of the span.
    EXPECT_LT(NoteStrength(window, rate, q - 2), 1e7) << q;
  }
}

// At the bottom of the range: silence detects nothing; a tone on note -1 (about 25.96 Hz), below
// the range, must not let A0 pass as a local maximum; an A0 slightly flat gives pitch 0.
TEST(DetectNoteTest, SilenceAndTonesAtTheBottomOfTheRange) {
  NoteSpectrum silence;
  DetectNote(silence, std::vector<double>(3276, 0.0), 44100, GeneralSettings{});
  EXPECT_EQ(std::tuple(silence.detected, silence.fine, silence.strongest,
                       FramePitch(silence.detected, silence.fine)),
            std::tuple(0, 0.0, 0, 0));

  const std::uint32_t rate = 22050;
  const std::uint32_t w = AnalysisWindowLength(0, rate);
  const std::vector<double> window = ToneWindow(w, rate, {{NoteFrequency(-100), 1e9}});
  NoteSpectrum spectrum;
  DetectNote(spectrum, window, rate, Range(0, 3));
  EXPECT_EQ(spectrum.At(-1), NoteStrength(window, rate, -2));
  EXPECT_GT(spectrum.At(-1), 0.9e9);
  EXPECT_EQ(spectrum.detected, 0);
  EXPECT_EQ(spectrum.fine, 0.0);     // nothing detected at all
  EXPECT_EQ(spectrum.strongest, 0);  // note -1 was the strongest; stored as 0

  NoteSpectrum flat;
  DetectNote(flat, ToneWindow(w, rate, {{NoteFrequency(-20), 1e9}}), rate, Range(0, 3));
  EXPECT_EQ(std::tuple(flat.detected, flat.fine < -10.0, FramePitch(flat.detected, flat.fine)),
            std::tuple(0, true, 0));
}

TEST(DetectNoteTest, WithOneNoteTheUpperNeighbourCountsAsZero) {
  const std::uint32_t rate = 44100;
  const std::uint32_t w = AnalysisWindowLength(48, rate);
  NoteSpectrum spectrum;
  spectrum.At(49) = 1e12;  // a value left over from a wider range must not count
  DetectNote(spectrum, ToneWindow(w, rate, {{NoteFrequency(4800), 1e9}}), rate, Range(48, 48));
  EXPECT_EQ(spectrum.detected, 48);
  // A tone on the note below beats the note: nothing is detected.
  NoteSpectrum below;
  DetectNote(below, ToneWindow(w, rate, {{NoteFrequency(4700), 1e9}}), rate, Range(48, 48));
  EXPECT_EQ(std::tuple(below.detected, below.strongest), std::tuple(0, 47));
}

TEST(DetectNoteTest, TheLowestNoteAboveTheThresholdWinsNotTheStrongest) {
  const std::uint32_t rate = 44100;
  const GeneralSettings flute;
  const std::uint32_t w = AnalysisWindowLength(flute.lowestNote, rate);
  // A weak fundamental on A4 (10 % of) under a strong octave A5.
  const std::vector<double> window = ToneWindow(w, rate, {{440.0, 1e8}, {880.0, 1e9}});
  NoteSpectrum spectrum;
  DetectNote(spectrum, window, rate, Range(flute.lowestNote, flute.highestNote, 5.0));
  EXPECT_EQ(std::tuple(spectrum.detected, spectrum.strongest), std::tuple(48, 60));
  DetectNote(spectrum, window, rate, Range(flute.lowestNote, flute.highestNote, 20.0));
  EXPECT_EQ(spectrum.detected, 60);
}

TEST(FineOffsetTest, TheQuadraticReachesItsLimitsAtTheOuterQuarterTones) {
  // Equal neighbours of the largest value; a0 and a4 take no part.
  EXPECT_EQ(FineOffsetFromValues({0.0, 3.0, 5.0, 3.0, 0.0}), -0.40385277);
  EXPECT_EQ(FineOffsetFromValues({9.0, 3.0, 5.0, 3.0, 9.0}), -0.40385277);
  // Largest at the quarter tone above, the note above strong and the note itself silent:
  // 50 + 46.21134824.
  EXPECT_NEAR(FineOffsetFromValues({0.0, 1.0, 0.0, 3.0, 2.0}), 96.21134824, 1e-9);
  // Largest at the quarter tone below, the note below strong and the note itself silent:
  // -50 - 48.36447077.
  EXPECT_NEAR(FineOffsetFromValues({3.0, 4.0, 0.0, 1.0, 0.0}), -98.36447077, 1e-9);
  // The larger neighbour above: a positive offset from the note.
  EXPECT_GT(FineOffsetFromValues({0.0, 1.0, 4.0, 2.0, 0.0}), 0.0);
  EXPECT_EQ(FineOffsetFromValues({0.0, 0.0, 0.0, 0.0, 0.0}), -100.0);  // nothing to compare
}

TEST(FramePitchTest, TruncatesTowardZeroAndNeverGoesBelowZero) {
  EXPECT_EQ(std::tuple(FramePitch(48, 12.7), FramePitch(48, -0.40385277)), std::tuple(4812, 4799));
  EXPECT_EQ(std::tuple(FramePitch(0, -0.5), FramePitch(0, -98.0)), std::tuple(0, 0));
  EXPECT_EQ(FramePitch(87, 96.2), 8796);  // above C8 by almost a semitone
}

// A pure tone swept across the default range in steps that fall between the quarter tones.
// The fine offset is a fixed quadratic fit of the neighbours' ratio; for a pure tone it stays
// within a cent of the truth, and the truncation to whole cents takes up to one more.
class PitchSweepTest : public ::testing::TestWithParam<int> {};

TEST_P(PitchSweepTest, APureToneGivesItsPitchWithinTwoCents) {
  const int cents = GetParam();
  const std::uint32_t rate = 48000;
  const GeneralSettings flute;
  const std::uint32_t w = AnalysisWindowLength(flute.lowestNote, rate);
  NoteSpectrum spectrum;
  DetectNote(spectrum, ToneWindow(w, rate, {{NoteFrequency(cents), 5e8}}), rate, flute);
  EXPECT_NEAR(FramePitch(spectrum.detected, spectrum.fine), cents, 2.0);
}

INSTANTIATE_TEST_SUITE_P(DefaultRange, PitchSweepTest,
                         ::testing::Values(3800, 3833, 3875, 4237, 4800, 4826, 5450, 6000, 6119, 6999, 7650,
                                           7700));

}  // namespace
}  // namespace vocara::test
