#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <tuple>

#include "support/PitchTrack.h"
#include "support/SungTakes.h"

namespace vocara::test {
namespace {

const std::vector<Take>& Takes() {
  static const std::vector<Take> takes = RealisticTakes();
  return takes;
}

double Rms(const Take& take, double from, double to) {
  double sum = 0, count = 0;
  for (auto i = static_cast<std::size_t>(from * take.rate); i < to * take.rate; ++i, ++count)
    sum += double(take.samples[i]) * take.samples[i];
  return std::sqrt(sum / std::max(count, 1.0));
}

TEST(SungTakes, TwelveTakesOfSixToFifteenSecondsPeakingBelowFullScale) {
  ASSERT_EQ(Takes().size(), 12u);
  std::size_t notes = 0;
  for (const Take& take : Takes()) {
    EXPECT_GE(take.samples.size(), 6 * take.rate) << take.name;
    EXPECT_LE(take.samples.size(), 15 * take.rate) << take.name;
    const auto [low, high] = std::minmax_element(take.samples.begin(), take.samples.end());
    EXPECT_NEAR(20 * std::log10(std::max(-*low, *high) / 32767.0), -8, 2) << take.name;
    for (std::size_t i = 0; i < take.notes.size(); ++i) {
      const TakeNote& n = take.notes[i];
      EXPECT_GE(n.offset - n.onset, 0.119) << take.name << " note " << i;
      EXPECT_LE(n.offset - n.onset, 2.001) << take.name << " note " << i;
      EXPECT_LT(n.heldFrom, n.heldTo) << take.name << " note " << i;
      if (i > 0) {
        EXPECT_GE(n.onset, take.notes[i - 1].offset - 1e-9) << take.name << " note " << i;
      }
    }
    notes += take.notes.size();
  }
  EXPECT_GE(notes, 130u);
}

// An independent tracker hears every held part at its intended pitch, the vibratos at their
// depths, and breaths far under the voice.
TEST(SungTakes, HeldPartsAtTheirIntendedPitchAndBreathsQuiet) {
  for (const Take& take : Takes()) {
    const PitchTrack track = TrackPitch(take.samples, take.rate, 440 * std::exp2((take.lowest - 72) / 12.0),
                                        440 * std::exp2((take.highest - 66) / 12.0));
    double voice = 0;
    for (const TakeNote& n : take.notes) {
      voice = std::max(voice, Rms(take, n.heldFrom, n.heldTo));
      if (n.heldTo - n.heldFrom < 0.2) continue;
      const double centre = MeasureHeld(track, n.heldFrom + 0.02, n.heldTo - 0.02).centre;
      EXPECT_NEAR(centre, (n.midi - 21) * 100 + n.cents, 5) << take.name << " at " << n.onset;
      if (n.vibratoDepth > 0 && n.heldTo - n.vibratoStart > 0.6) {
        const double depth = MeasureHeld(track, n.vibratoStart + 0.2, n.heldTo).depth;
        EXPECT_NEAR(depth, n.vibratoDepth, 0.15 * n.vibratoDepth) << take.name << " at " << n.onset;
      }
    }
    double loudestBreath = 0;
    for (const auto& [from, to] : take.breaths) loudestBreath = std::max(loudestBreath, Rms(take, from, to));
    // The reverberant take carries a noise floor 35 dB under the voice's peak, and the tails.
    EXPECT_LT(20 * std::log10(loudestBreath / voice), take.name == "mezzo-reverb" ? -20 : -30) << take.name;
  }
}

TEST(SungTakes, ScoringNamesMisnamedSplitAndPhantomNotes) {
  const Take& take = Takes()[1];
  std::vector<FoundNote> found;
  for (const TakeNote& n : take.notes) found.push_back({n.onset, n.offset, n.midi});
  NoteScore score = ScoreNotes(take, found);
  EXPECT_EQ(std::tuple(score.onsetF, score.problems.empty()), std::tuple(1, true));
  found[3].midi += 12;
  const double middle = (take.notes[5].heldFrom + take.notes[5].heldTo) / 2;
  found.push_back({middle, found[5].offset, found[5].midi});
  found[5].offset = middle;
  found.push_back({take.breaths[0].first, take.breaths[0].second, 60});
  score = ScoreNotes(take, found);
  EXPECT_EQ(std::tuple(score.misnamed, score.phantoms), std::tuple(1, 2));
  EXPECT_NEAR(score.onsetF, 2.0 * take.notes.size() / (2 * take.notes.size() + 2), 1e-12);
  ASSERT_EQ(score.problems.size(), 3u);
  EXPECT_EQ(score.problems[0], "note 3 (D4 at 2.280 s) found as D5");
}

}  // namespace
}  // namespace vocara::test
