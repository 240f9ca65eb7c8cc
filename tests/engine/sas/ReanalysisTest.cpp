// Analysing frames again on a sung take built by the real Build: Re-analyse Range with the
// Build's own note range and with others, over part of the file, stopped part way and refused;
// the jumps Repair Octave Jumps looks for, and the repair of those a weak fundamental made.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "engine/sas/Reanalysis.h"
#include "engine/sas/SasBuild.h"
#include "engine/wav/WavDocument.h"
#include "support/Recordings.h"
#include "support/SasFiles.h"
#include "support/TempDir.h"
#include "support/WavFiles.h"

namespace vocara::test {
namespace {

constexpr std::uint32_t All = std::numeric_limits<std::uint32_t>::max();

class ReanalysisTest : public ::testing::Test {
 protected:
  // The take and its SAS as built, the targets then set by `edit` as a user's edits would.
  void Build(const std::vector<SungNote>& notes, const SungOptions& options,
             const std::function<void(std::size_t, SasFrame&)>& edit) {
    WriteWav16(dir.File("take.wav"), SungMelody(notes, options));
    ASSERT_EQ(WavOpenDocument(wav, dir.File("take.wav")).message, MessageId::None);
    ASSERT_EQ(SasBuildFile(wav, GeneralSettings{}, path, {}).result, LongOperationResult::Done);
    built = ReadSasFrames(path);
    for (std::size_t i = 0; i < built.size(); ++i) edit(i, built[i]);
    Restore();
  }
  // The SAS as `built`, open.
  void Restore() {
    WriteSasFile(path, ReadSasHeader(path), built, ReadSasLinks(path));
    sas = SasDocument{};
    ASSERT_EQ(SasOpenDocument(sas, path), MessageId::None);
  }
  // Every change the sink reports, checked against the record it replaces.
  FrameChangeSink Recorder() {
    changes.clear();
    return [this](std::uint32_t index, const SasFrame& was, const SasFrame& is) {
      EXPECT_EQ(was, built.at(index)) << index;
      changes.emplace_back(index, is);
    };
  }
  // The frames written are those the sink reported, the others as built.
  void ExpectFileHoldsTheReportedChanges() {
    std::vector<SasFrame> expected = built;
    for (const auto& [index, frame] : changes) expected.at(index) = frame;
    EXPECT_EQ(ReadSasFrames(path), expected);
  }

  TempDir dir;
  std::string path = dir.File("take.sas");
  WavDocument wav;
  SasDocument sas;
  std::vector<SasFrame> built;
  std::vector<std::pair<std::uint32_t, SasFrame>> changes;
};

TEST(ReanalysedFrameTest, TakesTheMeasurementAndMovesTheTargetWithTheSource) {
  const SasFrame measured = FreshFrame(5000, -40, 60);
  struct Case {
    std::uint16_t source, target, expectedTarget;
  } cases[] = {
      {3800, 3850, 5050},
      {3800, 3850 | TimeCorrectionOffBit, 5050 | TimeCorrectionOffBit},
      {4400, 8500, 8700},  // limited to the highest pitch
      {6000, 900 | TimeCorrectionOffBit, 0 | TimeCorrectionOffBit},
  };
  for (const Case& c : cases) {
    SasFrame old{c.source, c.target, -7, 9, 1234};
    const SasFrame frame = ReanalysedFrame(old, measured);
    EXPECT_EQ(frame, (SasFrame{5000, c.expectedTarget, -40, 60, 1234})) << c.source << " " << c.target;
  }
}

// C4 30 cents sharp, then G4 25 cents flat; the targets drawn 20 cents below the sources, and
// time correction off on every third frame: neither is the analysis's to change.
TEST_F(ReanalysisTest, TheBuildsOwnRangeGivesItsFramesAndOtherRangesMoveOnlyTheRangesFrames) {
  Build({{60, 30, 0.5}, {67, -25, 0.5}}, {}, [](std::size_t i, SasFrame& f) {
    f.targetPitch =
        static_cast<std::uint16_t>(std::max(f.sourcePitch - 20, 0) | (i % 3 ? 0 : TimeCorrectionOffBit));
  });
  const auto frameCount = static_cast<std::uint32_t>(built.size());
  ASSERT_GT(frameCount, 40u);
  const std::uint32_t held = frameCount / 5;  // ten frames of C4 as held from here
  struct Case {
    const char* name;
    std::uint32_t first, end;
    int lowest, highest;
    int shift;      // cents the range's frames move
    int tolerance;  // 0: the frames as built, exactly; below 0: not measured
  } cases[] = {
      {"the Build's range", 0, All, 38, 77, 0, 0},
      {"the Build's range upside down", 0, All, 77, 38, 0, 0},
      {"an octave above C4", held, held + 10, 50, 87, 1200, 100},
      {"the same upside down", held, held + 10, 87, 50, 1200, 100},
      {"a narrow range about C4", held, held + 10, 39, 41, 0, 10},
      {"every note", held, held + 10, 0, 87, 0, 10},
      {"the last frames, the end past the file", frameCount - 3, All, 50, 87, 0, -1},
      {"first after end", 20, 10, 50, 87, 0, 0},
      {"past the file", frameCount, All, 50, 87, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Restore();
    ASSERT_TRUE(SasReanalyse(wav, sas, c.first, c.end, c.lowest, c.highest, Recorder()));
    ExpectFileHoldsTheReportedChanges();
    const std::vector<SasFrame> after = ReadSasFrames(path);
    EXPECT_TRUE(c.tolerance != 0 || changes.empty());
    for (std::uint32_t i = 0; i < frameCount; ++i) {
      if (i < c.first || i >= c.end) {
        EXPECT_EQ(after[i], built[i]) << i;
        continue;
      }
      EXPECT_EQ(after[i], ReanalysedFrame(built[i], after[i])) << i;  // the target moved with the source
      if (c.tolerance >= 0) {
        EXPECT_NEAR(after[i].sourcePitch, built[i].sourcePitch + c.shift, c.tolerance) << i;
      }
    }
  }
}

// Stopped part way, the blocks measured by then stay written and reported, the rest as built;
// a document open for reading only is refused and left alone.
TEST_F(ReanalysisTest, StoppingKeepsWhatWasWrittenAndReadOnlyIsRefused) {
  Build({{60, 0, 1.0}}, {}, [](std::size_t, SasFrame&) {});
  std::vector<std::pair<std::uint64_t, std::uint64_t>> calls;
  const auto stopAtSecond = [&](std::uint64_t done, std::uint64_t total) {
    calls.emplace_back(done, total);
    return calls.size() < 2;
  };
  EXPECT_FALSE(SasReanalyse(wav, sas, 0, All, 50, 87, Recorder(), stopAtSecond));
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0], std::make_pair(std::uint64_t{0}, std::uint64_t{built.size()}));
  EXPECT_EQ(calls[1].second, built.size());
  ASSERT_TRUE(calls[1].first > 0 && calls[1].first < built.size()) << calls[1].first;
  ExpectFileHoldsTheReportedChanges();
  EXPECT_GT(changes.size(), calls[1].first / 2);
  for (const auto& change : changes) EXPECT_LT(change.first, calls[1].first);

  const std::string written = ReadFile(path);
  SasDocument readOnly;
  ASSERT_EQ(SasOpenDocument(readOnly, path, SasAccess::ReadOnly), MessageId::None);
  std::uint32_t repaired = 5;
  EXPECT_FALSE(SasReanalyse(wav, readOnly, 0, All, 50, 87));
  EXPECT_FALSE(SasRepairOctaveJumps(wav, readOnly, 0, All, {}, &repaired));
  EXPECT_EQ(std::pair(repaired, ReadFile(path)), std::pair(0u, written));
}

// A run of 4600 at 100 frames a second (250 ms: 25 frames) with `pattern` written from frame 10.
TEST(FindPitchJumpsTest, FindsShortRunsAnOctaveOrAFifthAwayThatComeBack) {
  struct Case {
    const char* name;
    std::vector<std::uint16_t> pattern;
    std::vector<std::uint32_t> jump;  // first, end, note; empty: none
  } cases[] = {
      {"an octave up", {5800, 5800, 5800, 5800}, {10, 14, 46}},
      {"a fifth down, back a little sharp", {3900, 3900, 3900, 4680}, {10, 13, 46}},
      {"an octave below, 90 cents off", {3490, 3490}, {10, 12, 46}},
      {"with two frames either side that saw both", {4900, 4950, 5800, 5800, 4900, 4850, 4650}, {10, 16, 46}},
      {"250 ms", std::vector<std::uint16_t>(25, 5800), {10, 35, 46}},
      {"a fourth", {4100, 4100, 4100}, {}},
      {"an octave off by 110 cents", {5910, 5910, 5910}, {}},
      {"longer than 250 ms", std::vector<std::uint16_t>(26, 5800), {}},
      {"the voice stops before it comes back", {5800, 5800, 5800, 0}, {}},
  };
  TempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<SasFrame> frames(60, FreshFrame(4600, -1000000000, 1000000000));
    for (std::size_t k = 0; k < c.pattern.size(); ++k) frames[10 + k].sourcePitch = c.pattern[k];
    WriteSasFile(dir.File("t.sas"), SasHeaderFor(480, 48000, 0, frames.size()), frames, EndLinks(28800));
    SasDocument sas;
    ASSERT_EQ(SasOpenDocument(sas, dir.File("t.sas"), SasAccess::ReadOnly), MessageId::None);
    std::vector<PitchJump> jumps;
    ASSERT_TRUE(FindPitchJumps(sas, 0, 60, jumps));
    std::vector<std::uint32_t> found;
    for (const PitchJump& j : jumps)
      found.insert(found.end(), {j.first, j.end, static_cast<std::uint32_t>(j.note)});
    EXPECT_EQ(found, c.jump);
  }
}

// G4 held for 2 s whose fundamental drops to a tenth for 120 ms every second: the Build reads those
// stretches an octave up. The user has drawn the target flat, 40 cents above G4.
TEST_F(ReanalysisTest, RepairTakesBackTheFramesAWeakFundamentalSentAnOctaveUp) {
  const SungOptions breathy{.weakFrom = 0.5, .weakTo = 0.62, .fundamental = 0.1, .weakEvery = 1.0};
  Build({{67, 0, 2.0}}, breathy, [](std::size_t, SasFrame& f) { f.targetPitch = 4640; });
  const auto octaveAway = [](const std::vector<SasFrame>& frames) {  // or a fifth
    int away = 0;
    for (const SasFrame& f : frames) away += f.sourcePitch > 0 && std::abs(f.sourcePitch - 4600) > 600;
    return away;
  };
  ASSERT_GT(octaveAway(built), 4) << "the Build should read the weak stretches an octave up";
  std::vector<PitchJump> jumps;
  ASSERT_TRUE(FindPitchJumps(sas, 0, All, jumps));
  ASSERT_EQ(jumps.size(), 2u);

  // Stopped before the second jump: the first stays repaired, the second as built.
  std::vector<std::pair<std::uint64_t, std::uint64_t>> calls;
  std::uint32_t repaired = 0;
  EXPECT_FALSE(SasRepairOctaveJumps(wav, sas, 0, All, Recorder(), &repaired,
                                    [&](std::uint64_t done, std::uint64_t total) {
                                      calls.emplace_back(done, total);
                                      return calls.size() < 2;
                                    }));
  EXPECT_EQ(calls, (std::vector<std::pair<std::uint64_t, std::uint64_t>>{{jumps[0].first, All},
                                                                         {jumps[1].first, All}}));
  ExpectFileHoldsTheReportedChanges();
  EXPECT_TRUE(repaired == changes.size() && repaired > 0) << repaired;
  for (const auto& change : changes)
    EXPECT_TRUE(change.first >= jumps[0].first && change.first < jumps[0].end);

  // To the end: each repaired frame measured near G4, its target the new source plus the mean
  // correction of the neighbours either side of its jump; no other frame changed.
  Restore();
  ASSERT_TRUE(SasRepairOctaveJumps(wav, sas, 0, All, Recorder(), &repaired));
  ExpectFileHoldsTheReportedChanges();
  EXPECT_EQ(repaired, changes.size());
  const std::vector<SasFrame> after = ReadSasFrames(path);
  EXPECT_EQ(octaveAway(after), 0);
  for (const auto& [index, frame] : changes) {
    const auto jump =
        std::find_if(jumps.begin(), jumps.end(), [&](const PitchJump& j) { return index < j.end; });
    ASSERT_TRUE(jump != jumps.end() && index >= jump->first) << index;
    const auto correction = [&](std::uint32_t i) { return built[i].TargetPitch() - built[i].sourcePitch; };
    EXPECT_NEAR(frame.sourcePitch, 4600, 150) << index;
    EXPECT_NEAR(frame.TargetPitch(),
                frame.sourcePitch + (correction(jump->first - 1) + correction(jump->end)) / 2.0, 0.5)
        << index;
  }

  // A second repair finds nothing to take back.
  const std::string repairedFile = ReadFile(path);
  ASSERT_TRUE(SasRepairOctaveJumps(wav, sas, 0, All, {}, &repaired));
  EXPECT_EQ(std::pair(repaired, ReadFile(path)), std::pair(0u, repairedFile));
}

}  // namespace
}  // namespace vocara::test
