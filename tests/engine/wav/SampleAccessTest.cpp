// Sample access against plain oracles: left alignment of every width, the block scan and the
// checksum across read-buffer pieces, the window read at both ends of the data, the RMS.
#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "engine/wav/SampleAccess.h"
#include "engine/wav/WavDocument.h"
#include "support/TempDir.h"
#include "support/WavFiles.h"

namespace vocara::test {
namespace {

constexpr std::int32_t Int32Min = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t Int32Max = std::numeric_limits<std::int32_t>::max();

class SampleAccessTest : public ::testing::Test {
 protected:
  void Open(unsigned blockAlign, const std::vector<std::int32_t>& stored, const std::string& before = {}) {
    const std::string chunks = before +
                               Chunk("fmt ", FormatBody(Format(static_cast<std::uint16_t>(blockAlign)))) +
                               Chunk("data", Samples(blockAlign, stored));
    ASSERT_EQ(WavOpenDocument(wav, WriteFile(dir.File("s.wav"), RiffFile(chunks))).message, MessageId::None);
  }

  TempDir dir;
  WavDocument wav;
};

std::int32_t LeftAligned(unsigned blockAlign, std::int32_t stored) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(stored) << (8 * (4 - blockAlign)));
}

TEST(LeftAlignedSampleTest, StoredBytesMoveToTheTop) {
  const std::uint8_t bytes16[] = {0, 0, 0x34, 0x12};
  EXPECT_EQ(LeftAlignedSample(bytes16 + 2, 2), 0x12340000);
  const std::uint8_t bytes24[] = {0xAA, 0x00, 0x00, 0x80};  // the byte in front is masked off
  EXPECT_EQ(LeftAlignedSample(bytes24 + 1, 3), Int32Min);
  EXPECT_DOUBLE_EQ(LeftAlignedSample(bytes24 + 1, 3) * PercentPerUnit, -100.0000000465661287);
  const std::uint8_t bytes32[] = {0x01, 0x02, 0x03, 0xF4};
  EXPECT_EQ(LeftAlignedSample(bytes32, 4), static_cast<std::int32_t>(0xF4030201u));
}

// A scan against a sample-by-sample oracle, over enough samples that the scan crosses pieces
// of the read buffer inside blocks (and the checksum wraps at 32 bits): 2, 3 and 4 bytes wide.
class ScanAcrossPiecesTest : public SampleAccessTest, public ::testing::WithParamInterface<unsigned> {};

TEST_P(ScanAcrossPiecesTest, MatchesAPlainSumMinimumAndMaximum) {
  const unsigned blockAlign = GetParam();
  const std::size_t count = SampleBuffer::PieceSamples(blockAlign) + 70001;  // many scan pieces
  std::mt19937 random(blockAlign);
  const std::int32_t top = static_cast<std::int32_t>((1ull << (8 * blockAlign - 1)) - 1);
  std::uniform_int_distribution<std::int32_t> value(-top - 1, top);
  std::vector<std::int32_t> stored(count);
  for (auto& v : stored) v = value(random);
  stored[count / 2] = -top - 1;  // full scale both ways, away from the block edges
  stored[count / 3] = top;
  Open(blockAlign, stored);

  std::uint32_t sum = 0;
  for (const std::int32_t v : stored) sum += static_cast<std::uint32_t>(LeftAligned(blockAlign, v));
  EXPECT_EQ(wav.checksum, sum);
  const std::size_t factor = wav.overviewFactor;
  ASSERT_EQ(wav.overviewLength, (count + factor - 1) / factor);
  for (std::size_t b = 0; b < wav.overviewLength; ++b) {
    const auto first = stored.begin() + static_cast<std::ptrdiff_t>(b * factor);
    const auto last = stored.begin() + static_cast<std::ptrdiff_t>(std::min(count, (b + 1) * factor));
    const auto [lo, hi] = std::minmax_element(first, last);
    ASSERT_EQ(wav.overview[b], (SamplePair{LeftAligned(blockAlign, *lo), LeftAligned(blockAlign, *hi)})) << b;
  }
  EXPECT_EQ(wav.overview[wav.overviewLength], SamplePair{});  // unused entries stay zero
}

INSTANTIATE_TEST_SUITE_P(EveryWidth, ScanAcrossPiecesTest, ::testing::Values(2u, 3u, 4u));

// A scan from an inner sample reads only its blocks and writes no pair beyond them; blocks past
// the data have no samples, and no blocks give the empty extremes.
TEST_F(SampleAccessTest, ScanFromAnInnerSampleReadsOnlyItsBlocks) {
  Open(2, {9, 9, 1, -2, 3, -4, 5, 9, 9});
  std::vector<SamplePair> pairs(4, SamplePair{7, 7});
  const ScanResult result = WavScanBlocks(wav, 2, 2, 2, pairs);
  EXPECT_EQ(pairs, (std::vector<SamplePair>{{-2 << 16, 1 << 16}, {-4 << 16, 3 << 16}, {7, 7}, {7, 7}}));
  EXPECT_EQ(std::tuple(result.checksum, result.dataMin, result.dataMax),
            std::tuple(static_cast<std::uint32_t>((1 - 2 + 3 - 4) * 65536), -4.0 * 65536, 3.0 * 65536));
  WavScanBlocks(wav, 6, 2, 3, pairs);
  EXPECT_EQ(std::vector(pairs.begin(), pairs.begin() + 3),
            (std::vector<SamplePair>{{5 << 16, 9 << 16}, {9 << 16, 9 << 16}, {Int32Max, Int32Min}}));
  const ScanResult none = WavScanBlocks(wav, 0, 1, 0, pairs);
  EXPECT_EQ(std::tuple(none.checksum, none.dataMin, none.dataMax),
            std::tuple(0u, 2147483647.0, -2147483648.0));
}

class WindowTest : public SampleAccessTest {
 protected:
  void SetUp() override {
    stored.resize(2000);
    for (std::size_t i = 0; i < stored.size(); ++i) stored[i] = static_cast<std::int32_t>(i) + 1;
    // A LIST chunk moves the data off offset 44.
    Open(3, stored, Chunk("LIST", "INFO"));
  }
  double Value(std::size_t i) const { return LeftAligned(3, stored[i]); }
  std::vector<std::int32_t> stored;
};

// The window of n values at p holds samples p - n / 2 onwards, n rounded down to even of them,
// zeros where they lie outside the data: leading zeros at the start, trailing at the end, an odd
// length one sample less, a window wholly outside all zeros.
TEST_F(WindowTest, HoldsTheSamplesAroundItsPositionAndZerosOutsideTheData) {
  const struct {
    std::uint32_t at;
    std::size_t length, returned;
  } cases[] = {{0, 1024, 512}, {1990, 64, 42}, {100, 8, 8}, {5000, 8, 0}, {10, 5, 4}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.length << " values at " << c.at);
    std::vector<double> values(c.length, -1.0);
    EXPECT_EQ(WavReadWindow(wav, c.at, values), c.returned);
    const std::int64_t first = static_cast<std::int64_t>(c.at) - static_cast<std::int64_t>(c.length / 2);
    for (std::size_t i = 0; i < c.length; ++i) {
      const std::int64_t n = first + static_cast<std::int64_t>(i);
      const bool inside = i < c.length - c.length % 2 && n >= 0 && n < 2000;
      ASSERT_EQ(values[i], inside ? Value(static_cast<std::size_t>(n)) : 0.0) << i;
    }
  }
}

TEST_F(SampleAccessTest, RangeRmsInPercentOfFullScale) {
  Open(2, {-32768, 16384, -16384, 32767, 0});
  EXPECT_EQ(std::tuple(WavRangeRms(wav, 2, 2), WavRangeRms(wav, 3, 2)), std::tuple(0.0, 0.0));
  EXPECT_DOUBLE_EQ(WavRangeRms(wav, 1, 2), 16384.0 * 65536 * PercentPerUnit);  // one sample: its level
  EXPECT_DOUBLE_EQ(WavRangeRms(wav, 2, 3), 16384.0 * 65536 * PercentPerUnit);
  // A full-scale square wave reads 100 (to the constant's 1/(2^31 - 1)).
  EXPECT_NEAR(WavRangeRms(wav, 0, 1), 100.0, 1e-6);
  EXPECT_DOUBLE_EQ(WavRangeRms(wav, 1, 3), 50.0 * 2147483648.0 * 4.656612875245797e-10);
}

}  // namespace
}  // namespace vocara::test
