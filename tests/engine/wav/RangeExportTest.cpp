// Range save and text export: exact bytes of the files written, and the open file refused as a
// target however it is named.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "engine/wav/RangeExport.h"
#include "engine/wav/WavDocument.h"
#include "support/TempDir.h"
#include "support/WavFiles.h"

namespace vocara::test {
namespace {

class RangeExportTest : public ::testing::Test {
 protected:
  void Open(const std::string& bytes) {
    source = WriteFile(dir.File("source.wav"), bytes);
    ASSERT_EQ(WavOpenDocument(wav, source).message, MessageId::None);
  }

  TempDir dir;
  WavDocument wav;
  std::string source;
};

// The exact bytes of a range: a WAV is the canonical file of its samples, a text one percentage
// with three decimals and CR LF a line; a range past the data is cut to it.
TEST_F(RangeExportTest, ARangeWritesExactlyItsSamples) {
  const std::vector<std::int32_t> levels{16384, -8192, 1, 0, -1, 32767, -32768};
  const struct {
    const char* name;
    std::uint16_t width;
    std::vector<std::int32_t> stored;
    bool text;
    std::uint32_t first, end;
    std::string expected;
  } cases[] = {
      {"one sample", 2, {10, 20, 30}, false, 1, 2, CanonicalWav(Format(2), Samples(2, {20}))},
      {"past the data", 2, {1, 2}, false, 1, 50, CanonicalWav(Format(2), Samples(2, {2}))},
      {"16-bit text", 2, levels, true, 0, 7, "50\r\n-25\r\n0.003\r\n0\r\n-0.003\r\n99.997\r\n-100\r\n"},
      {"one line of text", 2, levels, true, 2, 3, "0.003\r\n"},
      {"24-bit full scale", 3, {0x800000, 0x7FFFFF, 0x000100}, true, 0, 3, "-100\r\n100\r\n0.003\r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    wav = WavDocument{};
    Open(CanonicalWav(Format(c.width), Samples(c.width, c.stored)));
    const std::string out = dir.File(c.text ? "range.txt" : "range.wav");
    ASSERT_EQ((c.text ? WriteRangeAsText : WriteRangeAsWav)(wav, out, c.first, c.end), MessageId::None);
    EXPECT_EQ(ReadFile(out), c.expected);
  }
}

TEST_F(RangeExportTest, TheCopyKeepsTheSourceFormatAndSkipsItsOtherChunks) {
  FormatFields format = Format(3, 44100);
  format.bytesPerSecond = 7;  // kept as read, even when wrong
  const std::vector<std::int32_t> stored{0x800000, 0x7FFFFF, 1, -1, 0x123456};
  Open(RiffFile(Chunk("LIST", "INFOabc") + Chunk("fmt ", FormatBody(format, Le16(0))) +
                Chunk("data", Samples(3, stored)) + Chunk("LIST", "tail")));
  ASSERT_NE(wav.dataOffset, 44u);
  const std::string out = dir.File("range.wav");
  ASSERT_EQ(WriteRangeAsWav(wav, out, 0, 4), MessageId::None);
  EXPECT_EQ(ReadFile(out), CanonicalWav(format, Samples(3, {0x800000, 0x7FFFFF, 1, -1})));
}

TEST_F(RangeExportTest, TheOpenFileIsNeverATarget) {
  Open(CanonicalWav(Format(2), Samples(2, {1, 2, 3})));
  const std::string original = ReadFile(source);
  std::filesystem::create_symlink(source, dir.File("link.wav"));
  for (const std::string& name : {source, dir.File("./source.wav"), dir.File("link.wav")}) {
    EXPECT_EQ(WriteRangeAsWav(wav, name, 0, 1), MessageId::OpenedFileCanNotBeOverwritten) << name;
    EXPECT_EQ(WriteRangeAsText(wav, name, 0, 1), MessageId::OpenedFileCanNotBeOverwritten) << name;
  }
  EXPECT_EQ(ReadFile(source), original);
}

TEST(SampleTextTest, RoundsHalfAwayFromZero) {
  // 99.99695% rounds up, 99.99924% down, 99.9998% up to 100 with its zeros trimmed.
  EXPECT_EQ(std::tuple(SampleText(0x7FFF0000), SampleText(0x7FFFC000)), std::tuple("99.997", "99.999"));
  EXPECT_EQ(std::tuple(SampleText(0x7FFFF000), SampleText(-0x7FFFF000)), std::tuple("100", "-100"));
  EXPECT_EQ(SampleText(10737), "0");      // 0.0004999...%
  EXPECT_EQ(SampleText(10738), "0.001");  // 0.00050003...%
}

}  // namespace
}  // namespace vocara::test
