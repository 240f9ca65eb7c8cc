// The range operations on the file: the clip limit of scaling (within a block, across a block
// boundary and at the end of the file), transposing, the time-correction thresholds and their
// order, Global Clear, link removal, the streaming in blocks with its clamped ends, the
// reported changes and their undo through SasWriteFrames, and Find on the page.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <limits>
#include <ostream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "engine/sas/SasRangeOps.h"
#include "support/SasFiles.h"
#include "support/TempDir.h"
#include "support/WavFiles.h"

namespace vocara::test {
namespace {

constexpr std::int32_t Min32 = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t Max32 = std::numeric_limits<std::int32_t>::max();

SasFrame Edited(SasFrame frame, std::uint16_t targetPitch, std::uint32_t targetAmplitude) {
  frame.targetPitch = targetPitch;
  frame.targetAmplitude = targetAmplitude;
  return frame;
}

// Whether the frame's samples stay in 32 bits scaled by target / amplitude, exactly: every
// product stays below 2^63.
bool Fits(const SasFrame& frame, std::int64_t target, std::int64_t amplitude) {
  return target * frame.maxSample <= Max32 * amplitude && target * frame.minSample >= Min32 * amplitude;
}

using Changes = std::vector<std::pair<std::uint32_t, SasFrame>>;

class SasRangeOpsTest : public ::testing::Test {
 protected:
  void Open(const std::vector<SasFrame>& frames, std::vector<TimeLink> links = {}) {
    if (links.empty()) links = EndLinks(static_cast<std::uint32_t>(frames.size() * 100));
    WriteSasFile(path, SasHeaderFor(100, 48000, 0x1234, frames.size(), links.size()), frames, links);
    sas = SasDocument{};
    ASSERT_EQ(SasOpenDocument(sas, path), MessageId::None);
    sas.shownFrameCount = sas.header.frameCount;
  }
  // Applies to a fresh file of `frames` and returns its frames afterwards; the changes reported
  // go to `before` and `after`.
  std::vector<SasFrame> Apply(const std::vector<SasFrame>& frames, std::uint32_t first, std::uint32_t end,
                              unsigned ops, const SasRangeParams& params) {
    Open(frames);
    before.clear();
    after.clear();
    EXPECT_TRUE(SasApplyRange(sas, first, end, ops, params, Recorder()));
    return ReadSasFrames(path);
  }
  FrameChangeSink Recorder() {
    return [this](std::uint32_t index, const SasFrame& was, const SasFrame& is) {
      before.emplace_back(index, was);
      after.emplace_back(index, is);
    };
  }

  TempDir dir;
  std::string path = dir.File("t.sas");
  SasDocument sas;
  Changes before;
  Changes after;
};

TEST(ClipLimitedFactorTest, LimitsByTheMaximaThenTheMinimaOfTheFrameAndTheNext) {
  const SasFrame quiet = FreshFrame(0, -1000, 1000);
  const SasFrame highMax = FreshFrame(0, -1000, 1 << 30);   // doubles at most
  const SasFrame lowMin = FreshFrame(0, -(1 << 29), 1000);  // quadruples at most
  struct Case {
    double f;
    SasFrame frame;
    const SasFrame* next;
    double expected;
  } cases[] = {
      {3.0, quiet, &quiet, 3.0},
      {3.0, highMax, nullptr, 2147483647.0 / (1 << 30)},
      {3.0, quiet, &highMax, 2147483647.0 / (1 << 30)},
      {8.0, lowMin, nullptr, 4.0},
      {8.0, quiet, &lowMin, 4.0},
      {3.0, lowMin, &highMax, 2147483647.0 / (1 << 30)},  // the maximum's limit already fits the minimum
      {0.5, highMax, &lowMin, 0.5},
  };
  for (const Case& c : cases) EXPECT_EQ(ClipLimitedFactor(c.f, c.frame, c.next), c.expected) << c.f;
}

TEST(ClampSasRangeParamsTest, ClampsEachFieldAndTruncatesTheTranspose) {
  EXPECT_EQ(ClampSasRangeParams({}), SasRangeParams{});
  EXPECT_EQ(ClampSasRangeParams({-5, 5000, -1, 150, 100.5}), (SasRangeParams{0, 1200, 0, 100, 100}));
  EXPECT_EQ(ClampSasRangeParams({2000, -1300.7, 42.25, 0, 3}), (SasRangeParams{1000, -1200, 42.25, 0, 3}));
  EXPECT_EQ(ClampSasRangeParams({50, 12.9, 0, 0, 0}).transpose, 12);
  EXPECT_EQ(ClampSasRangeParams({50, -12.9, 0, 0, 0}).transpose, -12);
}

TEST_F(SasRangeOpsTest, ScalingTakesTheLargestAmplitudeThatKeepsThisFrameAndTheNextFromClipping) {
  const std::vector<SasFrame> frames{
      Edited(FreshFrame(0, -(1 << 29), 1 << 30), 0, 7),  // limited by the next frame's maximum
      FreshFrame(0, -(1 << 28), 3 << 29),                // by its own maximum
      FreshFrame(0, -(3 << 29), 1 << 28),                // by its own minimum
      FreshFrame(0, -100, 100),
  };
  const auto result = Apply(frames, 0, 3, SasRangeOps::ScaleAmplitude, {1000});
  for (std::size_t i = 0; i < 3; ++i) {
    const auto amplitude = static_cast<std::int64_t>(frames[i].Amplitude());
    const std::int64_t kept = result[i].targetAmplitude;
    EXPECT_TRUE(Fits(frames[i], kept, amplitude) && Fits(frames[i + 1], kept, amplitude)) << i;
    EXPECT_FALSE(Fits(frames[i], kept + 1, amplitude) && Fits(frames[i + 1], kept + 1, amplitude)) << i;
  }
  EXPECT_EQ(result[3], frames[3]);
  // Relative to the analysed amplitude: 50 % of it, whatever the target was.
  EXPECT_EQ(Apply(frames, 0, 1, SasRangeOps::ScaleAmplitude, {50})[0].targetAmplitude, 3u << 28);
}

TEST_F(SasRangeOpsTest, TransposeStartsFromTheSourcePitchKeepsBit15AndStaysIn0To8700) {
  struct Case {
    std::uint16_t source, target;
    int cents;
    std::uint16_t expected;
  } cases[] = {
      {500, 500, -1200, 0},    {8000, 8000 | TimeCorrectionOffBit, 1200, 8700 | TimeCorrectionOffBit},
      {3600, 3000, 250, 3850}, {8796, 8796, 0, 8700},
      {40000, 0, 0, 0},  // wraps negative in 16 bits
  };
  for (const Case& c : cases) {
    SasFrame frame = FreshFrame(c.source, -10, 10);
    frame.targetPitch = c.target;
    EXPECT_EQ(Apply({frame}, 0, 1, SasRangeOps::Transpose, {100, c.cents})[0].targetPitch, c.expected)
        << c.source << " " << c.cents;
  }
}

TEST_F(SasRangeOpsTest, ThresholdsCompareTheAmplitudeWithAPercentOfFullScaleInTheDialogsOrder) {
  constexpr auto Off = TimeCorrectionOffBit;
  const std::vector<SasFrame> frames{FreshFrame(100, 5, 5), FreshFrame(100, -10, 10),
                                     FreshFrame(100, -(1 << 30), 1 << 30), FreshFrame(100, Min32, Max32)};
  const auto pitches = [](const std::vector<SasFrame>& result) {
    std::vector<int> bits;
    for (const SasFrame& frame : result) bits.push_back(frame.TimeCorrectionOff());
    return bits;
  };
  EXPECT_EQ(pitches(Apply(frames, 0, 4, SasRangeOps::DisableTimeCorrection, {})), (std::vector{0, 1, 1, 1}));
  std::vector<SasFrame> disabled = frames;
  for (SasFrame& frame : disabled) frame.targetPitch |= Off;
  EXPECT_EQ(pitches(Apply(disabled, 0, 4, SasRangeOps::EnableTimeCorrection, {})), (std::vector{0, 0, 0, 1}));
  // Disabling comes first, so enabling has the last word below its threshold.
  EXPECT_EQ(
      pitches(Apply(frames, 0, 4, SasRangeOps::DisableTimeCorrection | SasRangeOps::EnableTimeCorrection,
                    {100, 0, 0, 100})),
      (std::vector{0, 0, 0, 1}));
  // 2^31 is just above 50 % of 4294967295, so the third frame keeps its amplitude.
  const auto silenced = Apply(frames, 0, 4, SasRangeOps::Silence, {100, 0, 0, 100, 50});
  EXPECT_EQ(std::pair(silenced[1].targetAmplitude, silenced[2].targetAmplitude), std::pair(0u, 1u << 31));
}

TEST_F(SasRangeOpsTest, GlobalClearRestoresTheAnalysisLeavesTwoLinksAndReportsOnlyTheChangedRecords) {
  std::vector<SasFrame> analysed;
  for (int i = 0; i < 6; ++i)
    analysed.push_back(FreshFrame(static_cast<std::uint16_t>(1000 + i), -i * 100, i * 300));
  analysed[5] = FreshFrame(1005, Min32, Max32);
  analysed[5].targetPitch |= TimeCorrectionOffBit;  // at full scale time correction stays off
  std::vector<SasFrame> edited = analysed;
  edited[1] = Edited(edited[1], 1200 | TimeCorrectionOffBit, 5);
  edited[4].targetAmplitude = 0;
  const SasHeader header = SasHeaderFor(100, 48000, 0x1234, 6, 5, {.tempo = 97});
  const std::vector<TimeLink> links{{0, 0}, {100, 150}, {200, 260}, {300, 330}, {600, 600}};
  WriteSasFile(path, header, edited, links);
  ASSERT_EQ(SasOpenDocument(sas, path), MessageId::None);

  const unsigned clear = SasRangeOps::ScaleAmplitude | SasRangeOps::Transpose |
                         SasRangeOps::EnableTimeCorrection | SasRangeOps::RemoveLinks;
  ASSERT_TRUE(SasApplyRange(sas, 0, 6, clear, {}, Recorder()));
  EXPECT_EQ(std::tuple(ReadSasFrames(path), ReadSasLinks(path), sas.links, ReadSasHeader(path).settings,
                       std::filesystem::file_size(path)),
            std::tuple(analysed, EndLinks(600), EndLinks(600), header.settings,
                       SasLinksOffset(6) + 2 * TimeLink::ByteSize));
  EXPECT_EQ(std::pair(before, after),
            std::pair(Changes{{1, edited[1]}, {4, edited[4]}}, Changes{{1, analysed[1]}, {4, analysed[4]}}));
}

TEST_F(SasRangeOpsTest, RemovingLinksTakesEveryInteriorLinkThatReachesIntoTheRange) {
  const std::vector<SasFrame> frames(30, FreshFrame(100, -5, 5));
  // Hop 100: frames [10, 20) are the positions 1000 .. 2000.
  const std::vector<TimeLink> links{{0, 0},       {300, 400},   {800, 1500}, {950, 2500},
                                    {2000, 2550}, {2100, 2600}, {3000, 3000}};
  Open(frames, links);
  ASSERT_TRUE(SasApplyRange(sas, 10, 20, SasRangeOps::RemoveLinks, {}));
  const std::vector<TimeLink> kept{{0, 0}, {300, 400}, {2100, 2600}, {3000, 3000}};
  EXPECT_EQ(std::tuple(ReadSasLinks(path), ReadSasHeader(path).linkCount, ReadSasFrames(path)),
            std::tuple(kept, 4u, frames));
  // An empty range still takes the links that touch its one position; the end links stay.
  Open(frames, {{0, 0}, {500, 1000}, {1000, 1200}, {1100, 1300}, {3000, 3000}});
  ASSERT_TRUE(SasApplyRange(sas, 10, 10, SasRangeOps::RemoveLinks, {}));
  EXPECT_EQ(ReadSasLinks(path), (std::vector<TimeLink>{{0, 0}, {1100, 1300}, {3000, 3000}}));
  ASSERT_TRUE(SasApplyRange(sas, 0, 30, SasRangeOps::RemoveLinks, {}));
  EXPECT_EQ(ReadSasLinks(path), EndLinks(3000));
}

struct BlockCase {
  std::uint32_t frameCount, first, end;
};

void PrintTo(const BlockCase& c, std::ostream* os) {
  *os << c.frameCount << " frames, [" << c.first << ", " << c.end << ")";
}

class SasRangeBlocksTest : public SasRangeOpsTest, public ::testing::WithParamInterface<BlockCase> {};

// Every 640th frame nearly clips, so scaling 150 % limits it and the frame before it, among
// them the last frame of each block (1279, 2559) through the first frame of the next block.
TEST_P(SasRangeBlocksTest, EveryRecordIsProcessedOnceWithTheFollowingFrameOfTheFile) {
  const auto [count, first, end] = GetParam();
  std::vector<SasFrame> frames;
  for (std::int32_t i = 0; i < static_cast<std::int32_t>(count); ++i) {
    const std::int32_t top = i % 640 == 0 ? Max32 - i : (1 << 29) + i * 1000;
    const auto pitch = static_cast<std::uint16_t>(100 + i * 37 % 8000);
    frames.push_back(Edited(FreshFrame(pitch, -(1 << 28) - i * 1000, top), 7, 7));
  }
  ASSERT_LT(ClipLimitedFactor(1.5, frames[1279], &frames[1280]), 1.5);
  const auto result =
      Apply(frames, first, end, SasRangeOps::ScaleAmplitude | SasRangeOps::Transpose, {150, 100});
  ASSERT_EQ(result.size(), count);
  std::size_t changed = 0;
  for (std::uint32_t i = 0; i < count; ++i) {
    SasFrame expected = frames[i];
    if (i >= first && i < std::min(end, count)) {
      const SasFrame* next = i + 1 < count ? &frames[i + 1] : nullptr;
      expected.targetAmplitude =
          static_cast<std::uint32_t>(ClipLimitedFactor(1.5, frames[i], next) * frames[i].Amplitude());
      expected.targetPitch = static_cast<std::uint16_t>(frames[i].sourcePitch + 100);
      ++changed;
    }
    ASSERT_EQ(result[i], expected) << i;
  }
  EXPECT_EQ(std::tuple(after.size(), ReadSasLinks(path), std::filesystem::file_size(path)),
            std::tuple(changed, EndLinks(count * 100), SasLinksOffset(count) + 2 * TimeLink::ByteSize));
}

INSTANTIATE_TEST_SUITE_P(Ranges, SasRangeBlocksTest,
                         ::testing::Values(BlockCase{3000, 0, 3000}, BlockCase{2560, 0, 2560},
                                           BlockCase{3000, 1000, 2560}, BlockCase{3000, 1279, 1280},
                                           BlockCase{3000, 2990, 9000}, BlockCase{3000, 5, 5},
                                           BlockCase{3000, 4000, 5000}));

TEST_F(SasRangeOpsTest, TimeCorrectionThroughTheFileIsUndoneByWritingTheReportedRecordsBack) {
  std::vector<SasFrame> frames;
  for (std::uint16_t i = 0; i < 3000; ++i) frames.push_back(FreshFrame(i, -i, i));
  frames[2000].targetPitch |= TimeCorrectionOffBit;
  Open(frames);
  const std::string original = ReadFile(path);
  ASSERT_TRUE(SasSetTimeCorrection(sas, 1000, 2700, true, Recorder()));
  EXPECT_EQ(before.size(), 1699u);
  const auto changed = ReadSasFrames(path);
  for (std::uint32_t i = 0; i < 3000; ++i)
    ASSERT_EQ(changed[i].TimeCorrectionOff(), (i >= 1000 && i < 2700) || i == 2000) << i;
  before.emplace_back(3000, SasFrame{});  // past the frames: skipped
  ASSERT_TRUE(SasWriteFrames(sas, before));
  EXPECT_EQ(ReadFile(path), original);
  after.clear();
  ASSERT_TRUE(SasSetTimeCorrection(sas, 0, 3000, false, Recorder()));
  EXPECT_EQ(after, (Changes{{2000, FreshFrame(2000, -2000, 2000)}}));
}

TEST_F(SasRangeOpsTest, AFileThatCannotBeReadOrWrittenFails) {
  Open(std::vector<SasFrame>(3000, FreshFrame(100, -5, 5)));
  sas.readOnly = true;
  EXPECT_FALSE(SasApplyRange(sas, 0, 3000, SasRangeOps::Transpose, {}));
  EXPECT_FALSE(SasWriteFrames(sas, Changes{{0, SasFrame{}}}));
  sas.readOnly = false;
  std::filesystem::resize_file(path, SasLinksOffset(2000));
  EXPECT_FALSE(SasApplyRange(sas, 0, 3000, SasRangeOps::Transpose, {}));
}

TEST(SasFindRangeTest, SelectsTheLoudRunAroundTheCursorWithinTheFramesOfThePage) {
  SasDocument sas;
  const auto page = [&sas](const std::string& pattern, std::int32_t first, std::uint32_t shown) {
    for (std::size_t k = 0; k < pattern.size(); ++k)
      sas.page[k] = pattern[k] == 'L' ? FreshFrame(100, -(1 << 27), 1 << 27) : FreshFrame(100, -500, 500);
    sas.firstFrame = first;
    sas.pageCount = static_cast<std::int32_t>(pattern.size());
    sas.pageLength = 1280;
    sas.shownFrameCount = shown;
  };
  struct Case {
    int cursor;
    std::int32_t left, right;
  };
  page("LL.LLL.LLL", 100, 110);
  for (const Case c : {Case{4, 102, 106}, Case{1, 100, 102}, Case{2, 102, 102}, Case{9, 106, 110},
                       Case{12, 110, 110}, Case{-3, 100, 100}}) {
    const SasRange range = SasFindRange(sas, c.cursor, 2.0);
    EXPECT_EQ(std::pair(range.left, range.right), std::pair(c.left, c.right)) << c.cursor;
  }
  page("LLL", 0, 3);  // a short file: the page holds all of it
  EXPECT_EQ(std::pair(SasFindRange(sas, 1, 2.0).right, SasFindRange(sas, 500, 2.0).left), std::pair(3, 3));
}

}  // namespace
}  // namespace vocara::test
