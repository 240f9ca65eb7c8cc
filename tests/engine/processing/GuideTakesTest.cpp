// The guide on takes that sound like singing: the guide is the take's own notes as listed, each on
// its sung pitch rounded to the semitone, with one note 65 ms later and one 70 ms earlier. Followed
// with timing 100 and rendered with time correction, an analysis of its own (the level envelope
// where a note starts from near silence, a pitch tracker where it follows another) finds those two
// notes where the guide has them, every other note where it was sung, and each breath starting
// where it did and as loud as it was.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "engine/midi/StandardMidiFile.h"
#include "engine/processing/Correct.h"
#include "engine/processing/GuideMelody.h"
#include "engine/sas/NoteRangeDetection.h"
#include "engine/sas/SasDocument.h"
#include "engine/wav/WavDocument.h"
#include "support/PitchTrack.h"
#include "support/SoundFiles.h"
#include "support/SungTakes.h"
#include "support/TempDir.h"
#include "support/WavFiles.h"

namespace vocara::test {
namespace {

// The take's notes (by index) the guide moves: `late` 65 ms later, `early` 70 ms earlier.
struct Moves {
  const char* take;
  std::size_t late, early;
};
constexpr Moves Cases[] = {
    {"tenor", 13, 10}, {"repeated", 9, 5}, {"tenor-scoops", 7, 10}, {"baritone", 7, 16}};
constexpr double Late = 0.065, Early = -0.070;

double Hz(double midi) { return 440 * std::pow(2.0, (midi - 69) / 12); }

// The level (dB) of values over [from, to) seconds.
double Level(const std::vector<std::int32_t>& values, double rate, double from, double to) {
  double sum = 0, count = 0;
  for (auto n = static_cast<std::size_t>(from * rate); n < to * rate && n < values.size(); ++n, ++count)
    sum += 1.0 * values[n] * values[n];
  return 10 * std::log10(sum / std::max(count, 1.0) + 1);
}

// Where each sung note begins in `values`, looked for from `shifts` past where it was sung. After
// an unvoiced stretch the voice starts from near silence: the first millisecond where the level
// over 5 ms comes within 10 dB of the loudest 5 ms of the note's start. From the note before, as a
// pitch tracker hears it: the first of 20 ms past the middle between the two notes.
std::vector<double> Onsets(const Take& take, const std::vector<std::int32_t>& values,
                           const std::vector<double>& shifts) {
  const PitchTrack track = TrackPitch(values, take.rate, Hz(take.lowest - 3), Hz(take.highest + 2));
  std::vector<double> onsets;
  for (std::size_t i = 0; i < take.notes.size(); ++i) {
    const TakeNote& note = take.notes[i];
    const double from = note.onset + shifts[i] - (note.legato ? 0.06 : 0.03);
    if (!note.legato) {
      double loudest = 0;
      for (double t = from; t < from + 0.15; t += 0.001)
        loudest = std::max(loudest, Level(values, take.rate, t, t + 0.005));
      double t = from;
      while (Level(values, take.rate, t, t + 0.005) < loudest - 10) t += 0.001;
      onsets.push_back(t);
      continue;
    }
    const double to = (note.midi - 21) * 100.0;
    const double middle = (to + (take.notes[i - 1].midi - 21) * 100.0) / 2;
    const auto on = [&](std::size_t k) {
      return track.cents[k] > 0 && (track.cents[k] - middle) * (to - middle) > 0;
    };
    auto k = static_cast<std::size_t>(from / track.hop);
    while (k + 4 < track.cents.size() && !(on(k) && on(k + 1) && on(k + 2) && on(k + 3))) ++k;
    onsets.push_back(static_cast<double>(k) * track.hop);
  }
  return onsets;
}

TEST(GuideTakesTest, OnlyTheNotesOffTheGuideMoveAndBreathsKeepTheirLevel) {
  TempDir dir;
  const std::vector<Take> takes = RealisticTakes();
  for (const Moves& c : Cases) {
    const Take& take =
        *std::find_if(takes.begin(), takes.end(), [&](const Take& t) { return t.name == c.take; });
    SCOPED_TRACE(take.name);
    WavDocument wav;
    SasDocument sas;
    const NoteRangeResult range =
        BuildTake(take, dir.File(take.name + ".wav"), dir.File(take.name + ".sas"), wav, sas);
    ASSERT_TRUE(range.found);

    // The guide: the notes as listed (where each is heard to begin, its pitch to the semitone), the
    // two nearest the chosen sung notes moved, the note before each ending where it begins.
    std::vector<MidiOutNote> guide;
    ASSERT_TRUE(TakeNotesAsMidi(sas, 0, sas.header.frameCount, guide));
    for (MidiOutNote& note : guide) note.bendCents = 0;
    // A sung note the list merged into its neighbour (a low voice's 120 ms notes are one glide to
    // the detector) has no guide note of its own to hold it.
    std::vector<bool> own(take.notes.size());
    for (std::size_t i = 0; i < take.notes.size(); ++i)
      own[i] = std::any_of(guide.begin(), guide.end(), [&](const MidiOutNote& g) {
        return std::abs(g.start - take.notes[i].onset) <= 0.05 && g.key == take.notes[i].midi;
      });
    std::vector<double> shifts(take.notes.size(), 0.0);
    for (const auto& [sung, shift] : {std::pair{c.late, Late}, std::pair{c.early, Early}}) {
      const auto nearest =
          std::min_element(guide.begin(), guide.end(), [&](const MidiOutNote& a, const MidiOutNote& b) {
            return std::abs(a.start - take.notes[sung].onset) < std::abs(b.start - take.notes[sung].onset);
          });
      ASSERT_NEAR(nearest->start, take.notes[sung].onset, 0.05) << "note " << sung << " listed";
      ASSERT_TRUE(nearest != guide.begin() && nearest + 1 != guide.end());
      nearest->start += shift;
      std::prev(nearest)->end = std::min(std::prev(nearest)->end, nearest->start);
      shifts[sung] = shift;
    }
    const std::vector<std::uint8_t> bytes = StandardMidiFileBytes(guide, false);
    const std::string midPath =
        WriteFile(dir.File(take.name + ".mid"), std::string(bytes.begin(), bytes.end()));
    const MidiFileRead read = ReadStandardMidiFile(midPath);
    ASSERT_EQ(read.problem, "");
    GuideOutcome outcome;
    ASSERT_TRUE(SasFollowGuide(sas, GuideMelodyLine(read.notes), 0, sas.header.frameCount, {100, 0, 40, 100},
                               outcome));
    EXPECT_TRUE(outcome.unpairedSung.empty() && outcome.unpairedGuide.empty());
    EXPECT_EQ(outcome.untimed, 0);
    const std::string outPath = dir.File(take.name + "-guided.wav");
    ASSERT_EQ(Correct(wav, sas, {0, wav.sampleCount, true}, outPath, {}).message, MessageId::None);
    const double frameSeconds = static_cast<double>(sas.header.frameLength) / sas.header.sampleRate;
    SasCloseDocument(sas);
    const std::vector<std::int32_t> output = ReadImportedWav(outPath).samples;

    const std::vector<double> before = Onsets(take, take.samples, std::vector<double>(shifts.size(), 0.0));
    const std::vector<double> after = Onsets(take, output, shifts);
    double late = 0, early = 0, keptWorst = 0, breathWorst = 0;
    for (std::size_t i = 0; i < take.notes.size(); ++i) {
      if (!own[i] && shifts[i] == 0) continue;
      const double error = after[i] - before[i] - shifts[i];
      // The render drops or repeats a whole period, at a frame's boundary, once its drift from the
      // links passes a period: a low voice's note can land a period and a frame from its place.
      const double period = 1 / (440 * std::exp2((take.notes[i].midi - 69) / 12.0));
      EXPECT_NEAR(error, 0, shifts[i] != 0 ? 0.015 : std::max(0.010, period + frameSeconds))
          << "note " << i << " " << MidiName(take.notes[i].midi);
      if (i == c.late) late = error;
      if (i == c.early) early = error;
      if (shifts[i] == 0) keptWorst = std::max(keptWorst, std::abs(error));
    }
    // A breath starts where it did, where the voice before it falls to near its level; the note
    // after it, moved, takes the stretch from the end of the note before to its own start along.
    double breathMoved = 0;
    for (const auto& [from, to] : take.breaths) {
      const std::size_t next = std::find_if(take.notes.begin(), take.notes.end(),
                                            [&](const TakeNote& n) { return n.onset >= to; }) -
                               take.notes.begin();
      const double gapStart = take.notes[next - 1].offset, gap = take.notes[next].onset - gapStart;
      const auto mapped = [&](double t) { return gapStart + (t - gapStart) * (gap + shifts[next]) / gap; };
      const double was = Level(take.samples, take.rate, from + 0.01, to - 0.01);
      const double change = Level(output, take.rate, mapped(from) + 0.01, mapped(to) - 0.01) - was;
      const auto voiceEnd = [&](const std::vector<std::int32_t>& values) {
        double t = from - 0.15;
        while (Level(values, take.rate, t, t + 0.005) > was + 6) t += 0.001;
        return t;
      };
      const double moved = voiceEnd(output) - voiceEnd(take.samples);
      EXPECT_NEAR(change, 0, 1.0) << "breath at " << from << " s";
      EXPECT_NEAR(moved, 0, 0.010) << "breath at " << from << " s";
      breathWorst = std::max(breathWorst, std::abs(change));
      breathMoved = std::max(breathMoved, std::abs(moved));
    }
    std::printf(
        "[ guided   ] %-14s notes %2zu  +65 ms note off by %+5.1f ms, -70 ms note by %+5.1f ms  others worst "
        "%4.1f ms  breaths worst %.2f dB, %.1f ms\n",
        take.name.c_str(), take.notes.size(), 1000 * late, 1000 * early, 1000 * keptWorst, breathWorst,
        1000 * breathMoved);
  }
}

}  // namespace
}  // namespace vocara::test
