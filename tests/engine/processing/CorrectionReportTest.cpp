// The report measures what an independent listener's analysis would: on sung takes with a
// known vibrato, the depth and rate before and after correction are the sung ones whether the
// render stretched the take (a pitch shift without time correction), kept it on the time links,
// or covered only a range; notes a range cuts are marked, and a note too short to measure has
// no figure rather than a wrong one. Its JSON form is JSON whatever the figures.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <string>
#include <tuple>
#include <vector>

#include "base/Instruments.h"
#include "base/Settings.h"
#include "engine/processing/Correct.h"
#include "engine/processing/CorrectionReport.h"
#include "engine/sas/NoteRangeDetection.h"
#include "engine/sas/NoteSegments.h"
#include "engine/sas/NoteShift.h"
#include "engine/sas/SasBuild.h"
#include "engine/sas/SasDocument.h"
#include "engine/sas/ScaleSnap.h"
#include "engine/wav/WavDocument.h"
#include "support/Recordings.h"
#include "support/SoundFiles.h"
#include "support/TempDir.h"
#include "support/WavFiles.h"

namespace vocara {
namespace {

using test::SungNote;
using test::SungOptions;

constexpr double Rate = 48000;

TEST(CorrectionReportTest, JsonWritesNumbersThatAreNotFiniteAsNull) {
  constexpr double Inf = std::numeric_limits<double>::infinity();
  for (const auto& [value, v, start] :
       {std::tuple{std::numeric_limits<double>::quiet_NaN(), "null", "null"}, std::tuple{Inf, "null", "null"},
        std::tuple{-Inf, "null", "null"}, std::tuple{-12.5, "-12.50", "-12.500"}}) {
    NoteReport note{.startSeconds = value, .lengthSeconds = value, .note = 39, .targetCents = value};
    note.endFrame = 19;
    note.achieved = true;
    note.achievedCents = note.errorCents = note.vibratoBefore = note.rateBefore = value;
    note.vibratoAfter = note.rateAfter = value;
    const CorrectionReport report{{note}, value, value};
    const std::string s = v;
    EXPECT_EQ(ReportJson(report),
              std::string("{\"notes\": [\n  {\"start\": ") + start + ", \"length\": " + start +
                  ", \"note\": \"C4\", \"partial\": false, \"target\": " + s + ", \"achieved\": " + s +
                  ", \"error\": " + s + ", \"vibratoBefore\": " + s + ", \"rateBefore\": " + s +
                  ", \"vibratoAfter\": " + s + ", \"rateAfter\": " + s +
                  ", \"firstFrame\": 0, \"endFrame\": 19}\n], \"meanAbsError\": " + s +
                  ", \"p95AbsError\": " + s + "}\n")
        << value;
    EXPECT_NE(ReportText(report).find("            0         19\n"), std::string::npos) << value;
  }
}

// The pitch the singer sang (cents above A0) at t seconds, as SungMelody makes it.
double SungCents(const std::vector<SungNote>& notes, const SungOptions& options, double t) {
  std::size_t k = 0;
  double start = 0;
  while (k + 1 < notes.size() && t >= start + notes[k].seconds) start += notes[k++].seconds;
  const double into = t - start;
  const auto cents = [&notes](std::size_t i) { return (notes[i].key - 21) * 100.0 + notes[i].cents; };
  double c = cents(k);
  if (k > 0 && into < 0.07) c = cents(k - 1) + (c - cents(k - 1)) * into / 0.07;
  return c + options.vibratoCents * std::min(1.0, into / 0.3) *
                 std::sin(2 * std::numbers::pi * options.vibratoHz * t);
}

// The test's own pitch measure, sharing nothing with the Build's analysis: YIN's difference
// function over a whole held stretch at once (over whole cycles a vibrato spreads its dip evenly
// around the mean period), its first dip under 0.15 of the cumulative mean refined by a parabola.
// Cents above A0 over seconds from <= t < to, the period between 60 and 1500 Hz; NaN for none.
double HeldCentre(const std::vector<std::int32_t>& values, double from, double to) {
  const auto first = static_cast<std::size_t>(from * Rate), end = static_cast<std::size_t>(to * Rate);
  const auto maxLag = static_cast<std::size_t>(Rate / 60);
  std::vector<double> d(maxLag + 2);
  double sum = 0;
  for (std::size_t tau = 1; tau <= maxLag + 1 && end + maxLag + 2 <= values.size(); ++tau) {
    for (std::size_t j = first; j < end; ++j) d[tau] += std::pow(double(values[j]) - values[j + tau], 2);
    sum += d[tau];
    if (tau < Rate / 1500 + 2 || d[tau - 1] * (tau - 1) >= 0.15 * sum || d[tau] < d[tau - 1]) continue;
    const double a = d[tau - 2], b = d[tau - 1], c = d[tau];
    return 1200 * std::log2(Rate / (tau - 1 + 0.5 * (a - c) / (a - 2 * b + c)) / 27.5);
  }
  return NAN;
}

class CorrectionReportTakeTest : public ::testing::Test {
 protected:
  // The take built into a SAS, snapped to C major when asked.
  void Take(const std::vector<SungNote>& notes, const SungOptions& options, bool snap,
            bool findRange = false) {
    melody = notes;
    sung = options;
    ASSERT_EQ(
        WavOpenDocument(
            wav, test::WriteFile(
                     dir.File("take.wav"),
                     test::CanonicalWav(test::Format(2), test::Samples(2, test::SungMelody(notes, options)))))
            .message,
        MessageId::None);
    GeneralSettings settings;  // with findRange over the range sung in it (build --instrument auto)
    const NoteRangeResult range = findRange ? DetectNoteRange(wav, settings) : NoteRangeResult{};
    if (range.found)
      std::tie(settings.lowestNote, settings.highestNote) = std::tie(range.lowestNote, range.highestNote);
    ASSERT_EQ(SasBuildFile(wav, settings, dir.File("take.sas"), {}).message, MessageId::None);
    ASSERT_EQ(SasOpenDocument(sas, dir.File("take.sas"), SasAccess::ReadWrite), MessageId::None);
    if (snap) {
      ASSERT_TRUE(SasSnapToScale(sas, 0, sas.header.frameCount, ScaleSnapParams{}));
    }
  }
  // Corrected over start .. end, then reported.
  CorrectionReport Report(bool timeCorrection, std::uint32_t start = 0, std::uint32_t end = 0) {
    const ReportRequest request{start, end ? end : wav.sampleCount, timeCorrection};
    const std::string out = dir.File(timeCorrection ? "on.wav" : "off.wav");
    EXPECT_EQ(Correct(wav, sas, {request.start, request.end, timeCorrection}, out, {}).message,
              MessageId::None);
    WavDocument corrected;
    EXPECT_EQ(WavOpenDocument(corrected, out).message, MessageId::None);
    EXPECT_EQ(CorrectedFileMismatch(wav, sas, request, corrected), "");
    CorrectionReport report;
    EXPECT_TRUE(MakeCorrectionReport(sas, corrected, request, report));
    return report;
  }
  // The vibrato as sung over the note's held part, measured the way the report measures.
  VibratoFigures Sung(const NoteReport& note) {
    const double frameRate = SasFrameRate(sas.header);
    std::vector<double> pitch;
    for (std::uint32_t f = note.firstFrame; f < note.endFrame; ++f)
      pitch.push_back(SungCents(melody, sung, (f + 0.5) * sas.header.frameLength / Rate));
    std::vector<double> work;
    return NoteVibrato(pitch, note.heldFirst - note.firstFrame, note.heldEnd - note.firstFrame, frameRate,
                       work);
  }

  test::TempDir dir;
  WavDocument wav;
  SasDocument sas;
  std::vector<SungNote> melody;
  SungOptions sung;
};

const std::vector<SungNote> Phrase{{64, 30, 1.0}, {67, -25, 1.0}, {72, 20, 1.0}, {65, -35, 1.2}};

TEST_F(CorrectionReportTakeTest, VibratoIsTheSungOneBeforeAndAfterHoweverTheRenderPlacedTheNotes) {
  struct Case {
    const char* name;
    double depth;
    double hz;
    bool snap;
    bool timeCorrection;
  };
  for (const Case& c : {Case{"snapped, time correction on", 30, 5.5, true, true},
                        Case{"snapped, time correction off (the render stretches)", 30, 5.5, true, false},
                        Case{"as sung, time correction off", 30, 5.5, false, false},
                        Case{"shallow and fast, snapped, time correction on", 15, 6.5, true, true},
                        Case{"slow, snapped, time correction off", 40, 4.5, true, false}}) {
    SCOPED_TRACE(c.name);
    Take(Phrase, {.vibratoHz = c.hz, .vibratoCents = c.depth}, c.snap);
    const CorrectionReport report = Report(c.timeCorrection);
    ASSERT_EQ(report.notes.size(), Phrase.size());
    for (std::size_t k = 0; k < Phrase.size(); ++k) {
      const NoteReport& note = report.notes[k];
      const VibratoFigures expected = Sung(note);
      ASSERT_TRUE(note.achieved) << k;
      EXPECT_FALSE(note.partial) << k;
      EXPECT_EQ(note.note, Phrase[k].key - 21) << k;
      EXPECT_NEAR(note.errorCents, 0, c.snap ? 5 : 8) << k;
      EXPECT_NEAR(note.vibratoBefore, expected.depth, 0.15 * expected.depth) << k;
      EXPECT_NEAR(note.vibratoAfter, expected.depth, 0.15 * expected.depth) << k;
      EXPECT_NEAR(note.rateBefore, c.hz, 0.5) << k;
      EXPECT_NEAR(note.rateAfter, c.hz, 0.5) << k;
    }
    EXPECT_LE(report.p95AbsError, c.snap ? 5 : 8);
    SasCloseDocument(sas);
  }
}

TEST_F(CorrectionReportTakeTest, AnIdentityCorrectionMeasuresTheSameWithTimeCorrectionOnAndOff) {
  Take(Phrase, {}, false);
  const CorrectionReport on = Report(true);
  const CorrectionReport off = Report(false);
  ASSERT_EQ(on.notes.size(), off.notes.size());
  for (std::size_t k = 0; k < on.notes.size(); ++k) {
    EXPECT_DOUBLE_EQ(on.notes[k].vibratoAfter, off.notes[k].vibratoAfter) << k;
    EXPECT_DOUBLE_EQ(on.notes[k].rateAfter, off.notes[k].rateAfter) << k;
    EXPECT_DOUBLE_EQ(on.notes[k].vibratoAfter, on.notes[k].vibratoBefore) << k;
  }
}

// A range from the middle of the first note to 40 ms into the third: the first is measured on
// its part inside, the second whole, the third is too short to measure and says so.
TEST_F(CorrectionReportTakeTest, ARangeMarksTheNotesItCutsAndATooShortPartHasNoFigure) {
  Take(Phrase, {}, true);
  const auto sample = [](double seconds) { return static_cast<std::uint32_t>(seconds * Rate); };
  const CorrectionReport whole = Report(true);
  const CorrectionReport report = Report(true, sample(0.4), sample(2.04));
  ASSERT_EQ(report.notes.size(), 3u);
  const NoteReport& cutAtStart = report.notes[0];
  const NoteReport& inside = report.notes[1];
  const NoteReport& tooShort = report.notes[2];
  EXPECT_EQ(std::tuple(cutAtStart.partial, inside.partial, tooShort.partial, inside.firstFrame),
            std::tuple(true, false, true, whole.notes[1].firstFrame));
  ASSERT_TRUE(cutAtStart.achieved);
  EXPECT_NEAR(cutAtStart.vibratoAfter, Sung(cutAtStart).depth, 0.15 * Sung(cutAtStart).depth);
  EXPECT_NEAR(inside.vibratoAfter, whole.notes[1].vibratoAfter, 0.1 * whole.notes[1].vibratoAfter);
  EXPECT_TRUE(!tooShort.achieved && std::isnan(tooShort.vibratoBefore) && std::isnan(tooShort.vibratoAfter));
  // The note without a figure stays out of the summary.
  EXPECT_DOUBLE_EQ(report.meanAbsError, (std::abs(cutAtStart.errorCents) + std::abs(inside.errorCents)) / 2);
  const std::string text = ReportText(report);
  EXPECT_NE(text.find("  E4~ "), std::string::npos) << text;
  EXPECT_NE(text.find("  G4  "), std::string::npos) << text;
  // Cut 40 ms in, the third is mostly its glide: whatever note that names, it is marked.
  EXPECT_NE(text.find("  " + std::string(NoteName(tooShort.note)) + "~"), std::string::npos) << text;
  EXPECT_NE(text.find("        -         -"), std::string::npos) << text;
  const std::string json = ReportJson(report);
  EXPECT_NE(json.find("\"note\": \"" + std::string(NoteName(tooShort.note)) + "\", \"partial\": true"),
            std::string::npos)
      << json;
  EXPECT_NE(json.find("\"achieved\": null, \"error\": null, \"vibratoBefore\": null"), std::string::npos)
      << json;
}

// Without a corrected file: the take's notes as sung.
TEST_F(CorrectionReportTakeTest, TheListingGivesEachNoteAsSung) {
  Take(Phrase, {.vibratoHz = 5}, false);
  CorrectionReport report;
  ASSERT_TRUE(ListNotes(sas, {0, wav.sampleCount, false}, report));
  EXPECT_FALSE(report.corrected);
  ASSERT_EQ(report.notes.size(), Phrase.size());
  double start = 0;
  for (std::size_t k = 0; k < Phrase.size(); ++k) {
    const NoteReport& note = report.notes[k];
    EXPECT_EQ(note.note, Phrase[k].key - 21) << k;
    EXPECT_NEAR(note.centreCents, Phrase[k].cents, 8) << k;
    EXPECT_NEAR(note.driftCents, 0, 8) << k;
    EXPECT_NEAR(note.startSeconds, start, 0.1) << k;
    EXPECT_NEAR(note.lengthSeconds, Phrase[k].seconds, 0.1) << k;
    EXPECT_NEAR(note.vibratoBefore, Sung(note).depth, 0.15 * Sung(note).depth) << k;
    EXPECT_NEAR(note.rateBefore, 5, 0.5) << k;
    start += Phrase[k].seconds;
  }
  const std::string text = ReportText(report);
  EXPECT_EQ(text.substr(0, text.find('\n')),
            "   start  length  note    centre   drift  vibrato   rate  first-frame  end-frame");
  EXPECT_EQ(ReportJson(report).find("meanAbsError"), std::string::npos);
}

// The achieved centre against the test's own analysis of the corrected file (over whole vibrato
// cycles of the held part) wherever the report gives one, for the phrase moved a fifth past the
// range it was built with and a low voice. Over B3 to D7 the low voice is read an octave or more
// up and snapped there; the render leaves it where it was sung, and no note has a figure.
TEST_F(CorrectionReportTakeTest, EveryFigureIsWhatAnIndependentAnalysisHears) {
  const std::vector<SungNote> low{{40, 25, 0.8},  {43, -30, 0.8}, {45, 20, 0.8},
                                  {47, -15, 0.8}, {52, 10, 0.8},  {40, 10, 0.9}};
  // The notes, the cents moved, whether the range sung was found, whether the notes are measured.
  using Case = std::tuple<std::vector<SungNote>, double, bool, bool>;
  for (const auto& [notes, move, findRange, measured] :
       {Case{Phrase, 0, false, true}, Case{Phrase, 700, false, true}, Case{Phrase, -700, false, true},
        Case{low, 0, true, true}, Case{low, 0, false, false}}) {
    SCOPED_TRACE(testing::Message() << notes[0].key << " moved " << move << ", range found " << findRange);
    Take(notes, {}, true, findRange);
    ASSERT_TRUE(SasShiftNotes(sas, {{{0, sas.header.frameCount}, move}}, 0));
    const CorrectionReport report = Report(true);
    ASSERT_EQ(report.notes.size(), notes.size());
    const std::vector<std::int32_t> heard = test::ReadImportedWav(dir.File("on.wav")).samples;
    const double seconds = sas.header.frameLength / Rate;
    for (const NoteReport& note : report.notes) {
      EXPECT_EQ(note.achieved, measured) << note.startSeconds;
      if (!note.achieved) continue;
      const double from = note.heldFirst * seconds, hz = sung.vibratoHz;  // over whole cycles
      const double to = from + std::floor((note.heldEnd - note.heldFirst) * seconds * hz) / hz;
      EXPECT_NEAR(note.note * 100 + note.achievedCents, HeldCentre(heard, from, to), 3) << from;
    }
    SasCloseDocument(sas);
  }
}

}  // namespace
}  // namespace vocara
