// A recording at the format's limit: 4 GiB of data (a sparse file, so it costs no disk). It
// opens, and its last samples are read, measured and exported exactly, with every position
// past 2^31 samples and every byte offset past 2^32.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine/wav/RangeExport.h"
#include "engine/wav/SampleAccess.h"
#include "engine/wav/WavDocument.h"
#include "support/TempDir.h"
#include "support/WavFiles.h"

namespace vocara::test {
namespace {

TEST(LargeFileTest, AFourGigabyteRecordingOpensAndItsEndIsReadExactly) {
  TempDir dir;
  // The largest data a RIFF size can count, in whole 16-bit samples.
  const std::uint32_t dataSize = (0xFFFFFFFFu - 36) & ~1u;
  const std::uint32_t count = dataSize / 2;
  const std::string path = dir.File("huge.wav");
  {
    std::ofstream file(path, std::ios::binary);
    file << CanonicalWav(Format(2), "").substr(0, 40) << Le32(dataSize);
  }
  std::filesystem::resize_file(path, 44 + std::uint64_t{dataSize});
  {
    std::fstream file(path, std::ios::binary | std::ios::in | std::ios::out);
    file.seekp(static_cast<std::streamoff>(44 + std::uint64_t{dataSize} - 4));
    file << Samples(2, {1000, -2000});  // the last two samples
  }
  std::fstream(path, std::ios::binary | std::ios::in | std::ios::out).seekp(4) << Le32(36 + dataSize);

  WavDocument wav;
  ASSERT_EQ(WavOpenDocument(wav, path).message, MessageId::None);
  EXPECT_EQ(wav.sampleCount, count);
  EXPECT_LE(wav.overviewLength, OverviewCapacity);

  std::vector<double> window(8);
  WavReadWindow(wav, count - 2, window);
  EXPECT_NE(window[4], 0.0);  // the window is centred on the sample before the last
  EXPECT_GT(WavRangeRms(wav, count - 2, count), 0.0);

  const std::string tail = dir.File("tail.wav");
  ASSERT_EQ(WriteRangeAsWav(wav, tail, count - 3, count), MessageId::None);
  EXPECT_EQ(ReadFile(tail), CanonicalWav(Format(2), Samples(2, {0, 1000, -2000})));
  const std::string text = dir.File("tail.txt");
  ASSERT_EQ(WriteRangeAsText(wav, text, count - 2, count), MessageId::None);
  EXPECT_EQ(ReadFile(text), SampleText(1000 << 16) + "\r\n" + SampleText(-2000 << 16) + "\r\n");
}

}  // namespace
}  // namespace vocara::test
