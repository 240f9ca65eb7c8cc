// The road a singer takes: build, snap, correct, report, on a sung melody with vibrato and
// glides whose notes are 20 to 45 cents off C major. Snap writes the engine's snap for its
// options; report says what the rendering did, and refuses a file that is not one. Repair and
// re-analyse change the file in place and say what they did.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "CliRun.h"
#include "engine/processing/CorrectionReport.h"
#include "engine/sas/NoteShift.h"
#include "engine/sas/SasDocument.h"
#include "engine/sas/ScaleSnap.h"
#include "engine/wav/WavDocument.h"
#include "support/Recordings.h"
#include "support/SasFiles.h"
#include "support/TakeNotes.h"
#include "support/TempDir.h"
#include "support/WavFiles.h"

namespace vocara::test {
namespace {

// Off by 20 to 45 cents, but never so far towards a semitone neighbour of the scale that the
// vibrato crosses into it: a per-frame snap would then flip between the two notes.
const std::vector<SungNote> Melody{{60, 30, 0.7}, {62, -25, 0.7}, {64, -40, 0.7}, {67, -35, 0.7},
                                   {69, 20, 0.7}, {72, 40, 0.7},  {67, 35, 0.7},  {64, -20, 0.7},
                                   {62, 45, 0.7}, {60, 35, 0.9}};

class CliInTuneTest : public CliFixture {
 protected:
  std::string wav = dir.File("sung.wav");

  // `command` with `options` run on a copy of the take `sung`, and `engine` on another copy opened
  // as a document: the command changes the file, and into the engine's bytes.
  template <typename Engine>
  void ExpectTheEnginesBytes(const std::string& sung, const char* command,
                             const std::vector<std::string>& options, Engine engine) {
    SCOPED_TRACE(::testing::PrintToString(options));
    const std::string byCli = dir.File("cli.sas"), byEngine = dir.File("engine.sas");
    std::vector<std::string> args = {command, WriteFile(byCli, ReadFile(sung))};
    args.insert(args.end(), options.begin(), options.end());
    ASSERT_EQ(Run(args), cli::ExitSuccess) << err.str();
    SasDocument document;
    ASSERT_EQ(SasOpenDocument(document, WriteFile(byEngine, ReadFile(sung))), MessageId::None);
    ASSERT_TRUE(engine(document));
    SasCloseDocument(document);
    EXPECT_TRUE(ReadFile(byCli) != ReadFile(sung));
    EXPECT_TRUE(ReadFile(byCli) == ReadFile(byEngine));
  }

  // report with `args` prints `report` as text, and with --json as JSON.
  void Prints(std::vector<std::string> args, const CorrectionReport& report) {
    ASSERT_EQ(Run(args), cli::ExitSuccess) << err.str();
    EXPECT_EQ(out.str(), ReportText(report));
    args.push_back("--json");
    ASSERT_EQ(Run(args), cli::ExitSuccess) << err.str();
    EXPECT_EQ(out.str(), ReportJson(report));
  }
};

// What the snap does to a take is the engine's (ScaleSnapTest; the sung road in SungTakesRoadTest);
// here each option reaches it: the file snap writes is the engine's snap with those values.
TEST_F(CliInTuneTest, SnapWritesTheEnginesSnapForItsOptions) {
  const std::string sung = Sing(Melody);
  const struct {
    std::vector<std::string> options;
    ScaleSnapParams params;
    std::uint32_t first = 0, end = 0;  // frames; 0, 0 the whole take
  } cases[] = {
      {{"--key", "C", "--scale", "major"}, {}},
      {{"--key", "Bb", "--scale", "harmonic-minor", "--centre", "50", "--drift", "30"},
       {.key = 10, .scale = ScaleKind::HarmonicMinor, .centre = 50, .drift = 30}},
      {{"--key", "d", "--scale", "custom:0,4,7", "--reference", "430", "--retune", "300", "--range", "20:90"},
       {.key = 2, .scale = ScaleKind::Custom, .custom = 0x0091, .reference = 430, .retuneMs = 300},
       20,
       90},
      {{"--key", "A", "--scale", "minor"}, {.key = 9, .scale = ScaleKind::NaturalMinor}},
      {{"--key", "F#", "--scale", "chromatic"}, {.key = 6, .scale = ScaleKind::Chromatic}},
  };
  for (const auto& c : cases)
    ExpectTheEnginesBytes(sung, "snap", c.options, [&](SasDocument& document) {
      return SasSnapToScale(document, c.first, c.end ? c.end : document.header.frameCount, c.params);
    });
}

// report prints the engine's report as text or JSON: without a rendering the take's notes as
// sung (the range's cut ones marked), with one what the rendering did to them.
TEST_F(CliInTuneTest, ReportPrintsTheTakesNotesOrWhatTheRenderingDidAsTextAndJson) {
  const std::string sas = Sing({{60, 30, 0.7}, {64, -25, 0.7}});
  SasDocument document;
  ASSERT_EQ(SasOpenDocument(document, sas, SasAccess::ReadOnly), MessageId::None);
  for (const auto& [range, start, end] :
       {std::tuple{"0:67200", 0u, 67200u}, std::tuple{"12000:48000", 12000u, 48000u}}) {
    CorrectionReport listing;
    ASSERT_TRUE(ListNotes(document, {start, end, false}, listing));
    Prints({"report", wav, sas, "--range", range}, listing);
  }
  SasCloseDocument(document);
  ASSERT_EQ(Run({"report", wav, sas}), cli::ExitSuccess) << err.str();
  EXPECT_NE(out.str().find("  C4      +"), std::string::npos) << out.str();
  EXPECT_NE(out.str().find("  E4      -"), std::string::npos) << out.str();

  ASSERT_EQ(Run({"snap", sas, "--key", "C", "--scale", "custom:0,4,7"}), cli::ExitSuccess) << err.str();
  ASSERT_EQ(Run({"correct", wav, sas, dir.File("out.wav")}), cli::ExitSuccess) << err.str();
  const CorrectionReport report = RenderingReport(wav, sas, dir.File("out.wav"));
  Prints({"report", wav, sas, dir.File("out.wav")}, report);
}

// A file of the rendering's length that is not one (noise, the rendering played backwards) is
// refused, naming it; a genuine rendering is reported with the options it was made with (that
// every render, time correction on or off and a range measure: CorrectionReportTest).
TEST_F(CliInTuneTest, ReportRefusesNoiseAndABackwardsRenderingOfTheRightLength) {
  const std::string sas = Sing({{57, 20, 0.7}, {60, -30, 0.7}, {64, 25, 0.7}, {69, -35, 0.7}});
  ASSERT_EQ(Run({"snap", sas, "--key", "A", "--scale", "custom:0,3,7"}), cli::ExitSuccess) << err.str();
  const std::string corrected = dir.File("out.wav");
  ASSERT_EQ(Run({"correct", wav, sas, corrected, "--formants", "keep", "--time-correction", "off"}),
            cli::ExitSuccess);
  EXPECT_EQ(Run({"report", wav, sas, corrected, "--time-correction", "off"}), cli::ExitSuccess) << err.str();
  ASSERT_EQ(Run({"correct", wav, sas, corrected, "--range", "20000:110000"}), cli::ExitSuccess);
  EXPECT_EQ(Run({"report", wav, sas, corrected, "--range", "20000:110000"}), cli::ExitSuccess) << err.str();

  ASSERT_EQ(Run({"correct", wav, sas, corrected}), cli::ExitSuccess);
  const std::string rendering = ReadFile(corrected);
  std::string backwards = rendering.substr(0, 44);
  for (std::size_t i = rendering.size(); i >= 46; i -= 2) backwards += rendering.substr(i - 2, 2);
  const std::vector<std::int32_t> noise = UniformNoise((rendering.size() - 44) / 2, 15, 12345);
  for (const std::string& bytes : {backwards, CanonicalWav(Format(2), Samples(2, noise))}) {
    WriteFile(corrected, bytes);
    EXPECT_EQ(Run({"report", wav, sas, corrected}), cli::ExitFailure);
    EXPECT_EQ(out.str(), "");
    EXPECT_EQ(err.str().substr(0, err.str().find('\n') + 1),
              "vocara-cli: " + corrected + " is not the corrected rendering of " + wav + "\n");
    EXPECT_NE(err.str().find("\nvocara-cli: " + corrected + ": its pitch follows the targets at only "),
              std::string::npos)
        << err.str();
  }
}

// What the repair and the re-analysis measure is the engine's (ReanalysisTest); here the
// arguments, the words printed and the file changed in place.
TEST_F(CliInTuneTest, RepairChangesTheFileInPlaceAndSaysWhatItRepaired) {
  // G4 held for 2 s; for 120 ms in the middle its fundamental drops to a tenth.
  const std::string sas = Sing({{67, 0, 2.0}}, {.weakFrom = 1.0, .weakTo = 1.12, .fundamental = 0.1});
  const std::vector<SasFrame> built = ReadSasFrames(sas);
  ASSERT_EQ(Run({"repair", wav, sas}), cli::ExitSuccess) << err.str();
  const std::vector<SasFrame> repaired = ReadSasFrames(sas);
  int changed = 0;
  for (std::size_t i = 0; i < built.size(); ++i) changed += repaired[i] != built[i];
  EXPECT_GT(changed, 2);
  EXPECT_EQ(out.str(), "repaired " + std::to_string(changed) + " frames in 1 jumps\n");
  ASSERT_EQ(Run({"repair", wav, sas, "--range", "0:10"}), cli::ExitSuccess) << err.str();
  EXPECT_EQ(out.str(), "repaired 0 frames in 0 jumps\n");
}

TEST_F(CliInTuneTest, ReanalyseTakesNotesByNameOrNumberAndChangesOnlyTheRange) {
  const std::string sas = Sing({{60, 30, 0.5}, {67, -25, 0.5}});
  const std::string built = ReadFile(sas);
  // B3 .. D7 is the Build's own range.
  ASSERT_EQ(Run({"reanalyse", wav, sas, "--lowest", "B3", "--highest", "D7"}), cli::ExitSuccess) << err.str();
  EXPECT_EQ(std::tuple(ReadFile(sas), out.str()), std::tuple(built, ""));
  const std::vector<SasFrame> before = ReadSasFrames(sas);
  ASSERT_EQ(Run({"reanalyse", wav, sas, "--lowest", "50", "--highest", "87", "--range", "10:20"}),
            cli::ExitSuccess)
      << err.str();
  const std::vector<SasFrame> after = ReadSasFrames(sas);
  std::vector<std::size_t> changed;
  for (std::size_t i = 0; i < after.size(); ++i)
    if (after[i] != before[i]) changed.push_back(i);
  EXPECT_EQ(changed, (std::vector<std::size_t>{10, 11, 12, 13, 14, 15, 16, 17, 18, 19}));
}

// note: the third note of the melody (E4 sung 40 cents flat) put on F4, or moved and reshaped,
// through the command line is the engine's shift (and shape) of that note, byte for byte (what
// they do to the frames: NoteShiftTest). No note at a frame changes nothing.
TEST_F(CliInTuneTest, NoteMovesAndShapesOneNoteAsTheEngineDoes) {
  const std::string sung = Sing(Melody);
  const CorrectionReport listing = ListedNotes(sung);
  ASSERT_EQ(listing.notes.size(), Melody.size());
  const NoteReport third = listing.notes[2];
  const std::string inside = std::to_string((third.heldFirst + third.heldEnd) / 2);
  const std::string starts = std::to_string(third.firstFrame) + ":" + std::to_string(third.firstFrame + 1);
  const double toF4 = 4400 - (third.note * 100.0 + third.targetCents);  // F4 is 44 semitones above A0
  const struct {
    double cents, drift, vibrato, retune;
    std::vector<std::string> options;
  } cases[] = {
      {toF4, 0, 100, 60, {"--at", inside, "--to", "F4", "--retune", "60"}},
      {-30, 20, 0, 40, {"--range", starts, "--move", "-30", "--vibrato", "0", "--drift", "20"}},
  };
  for (const auto& c : cases) {
    ExpectTheEnginesBytes(sung, "note", c.options, [&](SasDocument& document) {
      const std::vector<NoteShift> note = {{{third.firstFrame, third.endFrame}, c.cents}};
      return (c.vibrato == 100 || SasShapeNotes(document, note, c.drift, c.vibrato)) &&
             SasShiftNotes(document, note, c.retune);
    });
  }
  const std::string kept = ReadFile(sung);
  EXPECT_EQ(Run({"note", sung, "--at", "0", "--move", "10"}), cli::ExitFailure);  // silence before the first
  EXPECT_EQ(ReadFile(sung), kept);
}

}  // namespace
}  // namespace vocara::test
