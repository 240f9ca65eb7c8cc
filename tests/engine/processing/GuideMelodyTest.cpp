// The take's notes and a guide melody: a guide's chords reduced to the melody, the notes out as
// MIDI notes, and a guide followed through the SAS file: each paired note's centre on its guide
// note, unpaired notes left alone and listed, time links that move only the late note (those of
// the range replaced, those outside kept), and the link limit.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>
#include <tuple>
#include <vector>

#include "engine/processing/CorrectionReport.h"
#include "engine/processing/GuideMelody.h"
#include "engine/sas/SasDocument.h"
#include "support/SasFiles.h"
#include "support/TakeNotes.h"
#include "support/TempDir.h"

namespace vocara::test {
namespace {

constexpr std::uint32_t Hop = 480;  // 100 frames a second at 48 kHz
constexpr std::uint32_t Rate = 48000;
constexpr std::uint32_t NoteFrames = 50;
constexpr std::uint32_t Frames = 300;  // four notes, then silence
// C4 +30, D4 -25, E4 -40, F4 +35 in cents above A0.
constexpr double Sung[] = {3930, 4075, 4260, 4435};

std::vector<SasFrame> Take() {
  std::vector<SasFrame> frames;
  for (std::uint32_t i = 0; i < Frames; ++i) {
    const std::uint32_t note = i / NoteFrames;
    if (note >= 4) {
      frames.push_back(FreshFrame(0, -10, 10));
      continue;
    }
    const double into = i % NoteFrames;
    const double from = note == 0 ? Sung[0] : Sung[note - 1];
    const double level = into < 5 ? from + (Sung[note] - from) * into / 5 : Sung[note];
    const double pitch = level + 20 * std::sin(2 * std::numbers::pi * 5.5 * i / 100.0);
    frames.push_back(FreshFrame(static_cast<std::uint16_t>(std::lround(pitch)), -1000000000, 1000000000));
  }
  return frames;
}

MidiNote Guide(double start, double end, int key) { return {start, end, key, 100, 0, 0}; }

class GuideMelodyTest : public ::testing::Test {
 protected:
  void SetUp() override { Write(EndLinks(Frames * Hop)); }
  void Write(const std::vector<TimeLink>& links) {
    path =
        WriteSasFile(dir.File("take.sas"), SasHeaderFor(Hop, Rate, 0, Frames, links.size()), Take(), links);
  }
  CorrectionReport Listing() { return ListedNotes(path); }
  GuideOutcome Follow(const std::vector<MidiNote>& melody, const GuideParams& params,
                      std::uint32_t end = Frames) {
    SasDocument sas;
    EXPECT_EQ(SasOpenDocument(sas, path), MessageId::None);
    GuideOutcome outcome;
    EXPECT_TRUE(SasFollowGuide(sas, melody, 0, end, params, outcome));
    return outcome;
  }
  // The guide C4 D4 Eb4 F4 at the sung notes' times.
  std::vector<MidiNote> InTime() {
    const CorrectionReport listing = Listing();
    const int keys[] = {60, 62, 63, 65};
    std::vector<MidiNote> melody;
    for (std::size_t n = 0; n < listing.notes.size() && n < 4; ++n) {
      const NoteReport& note = listing.notes[n];
      melody.push_back(Guide(note.startSeconds, note.startSeconds + note.lengthSeconds, keys[n]));
    }
    return melody;
  }

  TempDir dir;
  std::string path;
};

TEST_F(GuideMelodyTest, ChordsGiveTheirHighestNoteAndVelocityFollowsTheLevel) {
  // A C major chord with G4 over its first half; a legato line whose next note starts early.
  const std::vector<MidiNote> melody =
      GuideMelodyLine({Guide(0, 1, 60), Guide(0, 1, 64), Guide(0, 0.5, 67), Guide(1, 2.05, 65),
                       Guide(2, 3, 69), Guide(2.5, 3.4, 57), Guide(4, 4, 70)});
  // Three notes of one length struck together: the top one alone.
  const std::vector<MidiNote> chord = GuideMelodyLine({Guide(5, 6, 60), Guide(5, 6, 64), Guide(5, 6, 67)});
  ASSERT_EQ(chord.size(), 1u);
  EXPECT_EQ(chord[0].key, 67);
  ASSERT_EQ(melody.size(), 5u);
  const double expected[][3] = {{0, 0.5, 67}, {0.5, 1, 64}, {1, 2, 65}, {2, 3, 69}};
  for (std::size_t i = 0; i < 4; ++i)
    EXPECT_EQ(std::tuple(melody[i].start, melody[i].end, melody[i].key),
              std::tuple(expected[i][0], expected[i][1], static_cast<int>(expected[i][2])))
        << i;
  EXPECT_EQ(melody[4].start, 3.0) << "the lower note under A4 sounds on after it";
  EXPECT_EQ(std::tuple(MidiVelocity(4294967296.0), MidiVelocity(4294967296.0 / std::pow(10, 24 / 20.0)),
                       MidiVelocity(1000), MidiVelocity(0)),
            std::tuple(127, 64, 1, 1));
}

TEST_F(GuideMelodyTest, NotesOutAsMidiNotes) {
  SasDocument sas;
  ASSERT_EQ(SasOpenDocument(sas, path, SasAccess::ReadOnly), MessageId::None);
  std::vector<MidiOutNote> notes;
  ASSERT_TRUE(TakeNotesAsMidi(sas, 0, Frames, notes));
  ASSERT_EQ(notes.size(), 4u);
  const int keys[] = {60, 62, 64, 65};
  const double bends[] = {30, -25, -40, 35};
  for (std::size_t n = 0; n < 4; ++n) {
    SCOPED_TRACE(n);
    EXPECT_EQ(std::pair(notes[n].key, notes[n].velocity), std::pair(keys[n], MidiVelocity(2000000000.0)));
    EXPECT_NEAR(notes[n].bendCents, bends[n], 3);
    EXPECT_NEAR(notes[n].start, n * 0.5, 0.06);
  }
}

TEST_F(GuideMelodyTest, PairedNotesGoToTheGuideAndUnpairedOnesStay) {
  // The guide without D4, and with a note in the silence after the take.
  std::vector<MidiNote> melody = InTime();
  ASSERT_EQ(melody.size(), 4u);
  melody.erase(melody.begin() + 1);
  melody.push_back(Guide(2.4, 2.8, 72));
  const std::vector<SasFrame> before = ReadSasFrames(path);
  const GuideOutcome outcome = Follow(melody, {});
  EXPECT_EQ(outcome.paired, 3);
  ASSERT_EQ(outcome.unpairedSung.size(), 1u);
  EXPECT_EQ(outcome.unpairedSung[0].note, 41);  // D4
  ASSERT_EQ(outcome.unpairedGuide.size(), 1u);
  EXPECT_EQ(outcome.unpairedGuide[0].key, 72);
  const CorrectionReport after = Listing();
  const double guides[] = {3900, 0, 4200, 4400};
  for (std::size_t n : {0u, 2u, 3u}) {
    EXPECT_NEAR(after.notes[n].note * 100 + after.notes[n].targetCents, guides[n], 1.5) << n;
  }
  const std::vector<SasFrame> frames = ReadSasFrames(path);
  for (std::uint32_t i = NoteFrames + 10; i < 2 * NoteFrames - 10; ++i) EXPECT_EQ(frames[i], before[i]) << i;
  EXPECT_EQ(ReadSasLinks(path), EndLinks(Frames * Hop)) << "no timing asked for";

  // Half the centre share: halfway from as sung.
  Write(EndLinks(Frames * Hop));
  Follow(InTime(), {50, 0, 40, 0});
  EXPECT_NEAR(Listing().notes[2].note * 100 + Listing().notes[2].targetCents, (4260 + 4200) / 2.0, 1.5);
}

TEST_F(GuideMelodyTest, TimingLinksMoveTheLateNoteAndKeepTheOthers) {
  // A link inside the range and one outside it.
  const TimeLink inside{100 * Hop, 100 * Hop + 500};
  const TimeLink outside{250 * Hop, 250 * Hop};
  Write({{0, 0}, inside, outside, {Frames * Hop, Frames * Hop}});
  std::vector<MidiNote> melody = InTime();
  melody[2].start += 0.060;
  GuideParams params{.timing = 50};
  const GuideOutcome outcome = Follow(melody, params, 210);
  // The first note starts at 0, where the end link is.
  EXPECT_EQ(std::pair(outcome.timed, outcome.untimed), std::pair(3, 1));
  // A link where each of notes 1 to 3 begins (within the glide into it); the third's takes it
  // half the way to its guide note, the others stay.
  const CorrectionReport listing = Listing();
  const std::vector<TimeLink> links = ReadSasLinks(path);
  ASSERT_EQ(links.size(), 6u);
  EXPECT_EQ(std::pair(links.front(), links[4]), std::pair(TimeLink{0, 0}, outside));
  for (std::size_t n = 1; n < 4; ++n) {
    SCOPED_TRACE(n);
    const TimeLink& link = links[n];
    EXPECT_NEAR(static_cast<double>(link.source), listing.notes[n].firstFrame * Hop, 5.0 * Hop);
    const double shift = static_cast<double>(link.target) - link.source;
    EXPECT_NEAR(shift, n == 2 ? 0.5 * (melody[2].start * Rate - link.source) : 0.0, 1.0);
  }
  EXPECT_GT(static_cast<double>(links[2].target) - links[2].source, 1000.0);

  // In time already: the links stay as they are.
  Write({{0, 0}, inside, {Frames * Hop, Frames * Hop}});
  params.timing = 100;
  EXPECT_EQ(Follow(InTime(), params).timed, 0);
  EXPECT_EQ(ReadSasLinks(path), (std::vector<TimeLink>{{0, 0}, inside, {Frames * Hop, Frames * Hop}}));

  // A table full with links outside the range takes no more; nothing else changes in it.
  std::vector<TimeLink> full{{0, 0}};
  for (std::uint32_t k = 0; k < MaxTimeLinks - 2; ++k)
    full.push_back({220 * Hop + 38 * k, 220 * Hop + 38 * k});
  full.push_back({Frames * Hop, Frames * Hop});
  Write(full);
  const GuideOutcome limited = Follow(melody, params, 210);
  EXPECT_EQ(std::tuple(limited.timed, limited.untimed, ReadSasLinks(path)), std::tuple(0, 4, full));
}

// A held note the analysis splits in two (the singer slid up 80 cents half way) is sung over
// one guide note: both parts go to it, and only the first gets a time link.
TEST_F(GuideMelodyTest, ALongGuideNoteTakesEveryPartOfASplitNote) {
  std::vector<SasFrame> frames = Take();
  for (std::uint32_t i = 125; i < 150; ++i)
    frames[i] = FreshFrame(static_cast<std::uint16_t>(frames[i].sourcePitch + 80), -1000000000, 1000000000);
  path =
      WriteSasFile(dir.File("split.sas"), SasHeaderFor(Hop, Rate, 0, Frames), frames, EndLinks(Frames * Hop));
  const CorrectionReport sung = Listing();
  ASSERT_EQ(sung.notes.size(), 5u) << "the third note in two";
  std::vector<MidiNote> melody = InTime();
  melody = {melody[0], melody[1], Guide(sung.notes[2].startSeconds + 0.05, sung.notes[4].startSeconds, 63),
            Guide(sung.notes[4].startSeconds, sung.notes[4].startSeconds + sung.notes[4].lengthSeconds, 65)};
  const GuideOutcome outcome = Follow(melody, {.timing = 100});
  EXPECT_TRUE(outcome.paired == 5 && outcome.unpairedSung.empty()) << outcome.paired;
  const CorrectionReport after = Listing();
  EXPECT_NEAR(after.notes[2].note * 100 + after.notes[2].targetCents, 4200, 1.5);
  EXPECT_NEAR(after.notes[3].note * 100 + after.notes[3].targetCents, 4200, 1.5);
  EXPECT_EQ(outcome.timed + outcome.untimed, 4) << "one link for the two parts";
}

}  // namespace
}  // namespace vocara::test
