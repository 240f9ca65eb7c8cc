// Opening and validating WAV files: one refusal per rule, each from a file that passes every
// earlier rule, the accepted boundaries, the chunk walks, and what a refusal leaves behind.
#include <gtest/gtest.h>

#include <filesystem>
#include <ostream>
#include <string>

#include "engine/wav/WavDocument.h"
#include "support/TempDir.h"
#include "support/WavFiles.h"

namespace vocara::test {
namespace {

class WavOpenTest : public ::testing::Test {
 protected:
  MessageId Open(const std::string& bytes) {
    return WavOpenDocument(wav, WriteFile(dir.File("t.wav"), bytes)).message;
  }

  TempDir dir;
  WavDocument wav;
};

const std::string FourSamples = Samples(2, {1, -1, 2, -2});

struct Refusal {
  const char* name;
  std::string bytes;
  MessageId expected;
};

// Test names show the case, not its bytes.
void PrintTo(const Refusal& refusal, std::ostream* os) { *os << refusal.name; }

class WavRefusalTest : public WavOpenTest, public ::testing::WithParamInterface<Refusal> {};

FormatFields With(FormatFields f, void (*change)(FormatFields&)) {
  change(f);
  return f;
}

const std::string Canonical = CanonicalWav(Format(2), FourSamples);

// In the order the checks run; every file passes all checks before its own.
INSTANTIATE_TEST_SUITE_P(
    EveryRuleInOrder, WavRefusalTest,
    ::testing::Values(
        Refusal{"ShorterThan44Bytes", Canonical.substr(0, 43), MessageId::WaveToShort},
        Refusal{"NotRiff", "RIFX" + Canonical.substr(4), MessageId::NotRiffFile},
        Refusal{"RiffSizeOneTooBig",
                RiffFile(Chunk("fmt ", FormatBody(Format(2))) + Chunk("data", FourSamples), 45),
                MessageId::RiffBiggerThanFileSize},
        Refusal{"NotWave", "RIFF" + Le32(44) + "AVI " + Canonical.substr(12), MessageId::NotWaveFile},
        Refusal{"NoFormatChunk", RiffFile(Chunk("LIST", "abcd") + Chunk("data", FourSamples + FourSamples)),
                MessageId::FormatChunkNotFound},
        Refusal{"ChunkOf2To31BytesBeforeFormat",
                RiffFile(Chunk("junk", 0x80000000u, "") + Chunk("fmt ", FormatBody(Format(2))) +
                         Chunk("data", FourSamples)),
                MessageId::FormatChunkNotFound},
        Refusal{"ChunkSizeThatWouldWrapA32BitOffset",
                RiffFile(Chunk("junk", 0xFFFFFFF4u, "") + Chunk("fmt ", FormatBody(Format(2))) +
                         Chunk("data", FourSamples)),
                MessageId::FormatChunkNotFound},
        Refusal{"ChunkPastTheEndBeforeFormat",
                RiffFile(Chunk("junk", 100, FourSamples + FourSamples + FourSamples + FourSamples)),
                MessageId::FormatChunkNotFound},
        Refusal{
            "FormatChunkCutByTheEnd",
            RiffFile(Chunk("LIST", FourSamples + FourSamples + "abcd") + Chunk("fmt ", Le16(1) + Le16(1))),
            MessageId::FormatChunkNotFound},
        Refusal{"FloatingPoint",
                CanonicalWav(With(Format(4), [](FormatFields& f) { f.formatTag = 3; }), FourSamples),
                MessageId::CompressionNotSupported},
        Refusal{
            "ExtensibleMonoPcm",
            RiffFile(Chunk("fmt ", FormatBody(With(Format(2), [](FormatFields& f) { f.formatTag = 0xFFFE; }),
                                              Le16(22) + std::string(22, '\0'))) +
                     Chunk("data", FourSamples)),
            MessageId::CompressionNotSupported},
        Refusal{"ExtensibleStereoReportsTheTagFirst",
                CanonicalWav(With(Format(4), [](FormatFields& f) { f.formatTag = 0xFFFE, f.channels = 2; }),
                             FourSamples),
                MessageId::CompressionNotSupported},
        Refusal{"Stereo", CanonicalWav(With(Format(4), [](FormatFields& f) { f.channels = 2; }), FourSamples),
                MessageId::NotMonoFile},
        Refusal{"StereoAndEightBitReportsChannelsFirst",
                CanonicalWav(With(Format(1), [](FormatFields& f) { f.channels = 2; }), FourSamples),
                MessageId::NotMonoFile},
        Refusal{"Rate21999", CanonicalWav(Format(2, 21999), FourSamples), MessageId::SampleRateToLow},
        Refusal{"EightBit", CanonicalWav(Format(1), FourSamples), MessageId::WrongBytesPerSample},
        Refusal{"FiveBytesPerSample",
                CanonicalWav(With(Format(4), [](FormatFields& f) { f.blockAlign = 5; }), FourSamples),
                MessageId::WrongBytesPerSample},
        Refusal{"FifteenBits",
                CanonicalWav(With(Format(2), [](FormatFields& f) { f.bitsPerSample = 15; }), FourSamples),
                MessageId::WrongBitsPerSample},
        Refusal{"ThirtyThreeBits",
                CanonicalWav(With(Format(4), [](FormatFields& f) { f.bitsPerSample = 33; }), FourSamples),
                MessageId::WrongBitsPerSample},
        Refusal{"NoDataChunk",
                RiffFile(Chunk("fmt ", FormatBody(Format(2))) + Chunk("LIST", FourSamples + FourSamples)),
                MessageId::DataChunkNotFound},
        Refusal{"DataBeforeFormat",
                RiffFile(Chunk("data", FourSamples) + Chunk("fmt ", FormatBody(Format(2))) +
                         Chunk("LIST", FourSamples)),
                MessageId::DataChunkNotFound},
        Refusal{"FormatChunkSizePastTheEnd",
                RiffFile(Chunk("fmt ", 1000, FormatBody(Format(2))) + Chunk("data", FourSamples)),
                MessageId::DataChunkNotFound},
        Refusal{"DataSizePastTheEnd",
                RiffFile(Chunk("fmt ", FormatBody(Format(2))) + Chunk("data", 9, FourSamples)),
                MessageId::FileToShort},
        Refusal{"DataPastTheEndBehindOtherChunks",
                // The data fits file size - 44 but not file size - dataOffset.
                RiffFile(Chunk("LIST", "abcdefgh") + Chunk("fmt ", FormatBody(Format(2))) +
                         Chunk("data", 16, FourSamples)),
                MessageId::FileToShort},
        Refusal{"ExactHeaderAndShortData",
                RiffFile(Chunk("fmt ", FormatBody(Format(2))) + Chunk("data", 4, Le16(1))),
                MessageId::FileToShort}),
    [](const ::testing::TestParamInfo<Refusal>& info) { return std::string(info.param.name); });

TEST_P(WavRefusalTest, RefusesWithItsMessageAndKeepsNoFileOpen) {
  EXPECT_EQ(MessageText(Open(GetParam().bytes)), MessageText(GetParam().expected));
  EXPECT_FALSE(wav.file.IsOpen());
  EXPECT_EQ(wav.path, dir.File("t.wav"));  // the refused name stays for the caller to show
}

TEST_F(WavOpenTest, MissingFilesAndDirectoriesGiveInvalidFileHandle) {
  EXPECT_EQ(WavOpenDocument(wav, dir.File("missing.wav")).message, MessageId::InvalidFileHandle);
  EXPECT_EQ(WavOpenDocument(wav, dir.Path().string()).message, MessageId::InvalidFileHandle);
}

std::size_t OpenDescriptors() {
  return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator("/proc/self/fd"),
                                                std::filesystem::directory_iterator()));
}

TEST_F(WavOpenTest, ARefusedFileLeavesNoDescriptorOpen) {
  const std::size_t before = OpenDescriptors();
  for (int i = 0; i < 20; ++i) Open(CanonicalWav(Format(2, 8000), FourSamples));
  EXPECT_EQ(OpenDescriptors(), before);
  ASSERT_EQ(Open(Canonical), MessageId::None);
  EXPECT_EQ(OpenDescriptors(), before + 1);  // the document keeps the accepted file open
}

// Rates no recorder delivers are refused with the low-rate message: the frame length and the
// analysis buffers grow with the rate a header claims.
TEST_F(WavOpenTest, RatesFromTheMinimumToTheFastestRecorderOpen) {
  const struct {
    std::uint32_t rate;
    MessageId expected;
  } cases[] = {{21999, MessageId::SampleRateToLow},
               {22000, MessageId::None},
               {768000, MessageId::None},
               {768001, MessageId::SampleRateToLow},
               {4294967295u, MessageId::SampleRateToLow}};
  for (const auto& [rate, expected] : cases) {
    EXPECT_EQ(Open(CanonicalWav(Format(2, rate), FourSamples)), expected) << rate;
    EXPECT_EQ(wav.file.IsOpen(), expected == MessageId::None) << rate;
    wav.file.Close();
  }
}

// Files that open: where the data starts, the whole samples counted and summed (a partial one at
// the end neither), the format as read; a longer format chunk is skipped and kept as 16 bytes.
TEST_F(WavOpenTest, AcceptedFilesGiveTheirDataOffsetSamplesAndChecksum) {
  FormatFields odd = Format(2);
  odd.bytesPerSecond = 12345;  // not checked, kept as read
  FormatFields padded = Format(4);
  padded.bitsPerSample = 24;  // block align and bits are checked apart
  const struct {
    const char* name;
    std::string bytes;
    std::uint32_t dataOffset, samples, checksum;
    FormatFields fields;
  } cases[] = {
      {"RIFF size = file size - 8",
       RiffFile(Chunk("fmt ", FormatBody(Format(2))) + Chunk("data", FourSamples), 44), 44, 4, 0, Format(2)},
      {"empty data", CanonicalWav(Format(2), ""), 44, 0, 0, Format(2)},
      {"an odd chunk before fmt, a LIST between",
       RiffFile(Chunk("junk", "odd") + Chunk("fmt ", FormatBody(Format(3, 44100))) +
                Chunk("LIST", "INFOISFT") + Chunk("data", Samples(3, {0x123456, -1}))),
       12 + 11 + 24 + 16 + 8, 2, 0x12345600u + 0xFFFFFF00u, Format(3, 44100)},
      {"a longer format chunk",
       RiffFile(Chunk("fmt ", FormatBody(odd, Le16(0))) + Chunk("data", FourSamples)), 46, 4, 0, odd},
      {"a partial sample at the end", CanonicalWav(Format(3), Samples(3, {1, 2}) + "\x7F\x7F"), 44, 2, 0x300,
       Format(3)},
      {"24 bits in 4 bytes", CanonicalWav(padded, FourSamples), 44, 2, 0xFFFF0001u + 0xFFFE0002u, padded},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(Open(c.bytes), MessageId::None);
    EXPECT_EQ(
        std::tuple(wav.dataOffset, wav.sampleCount, wav.checksum, wav.overviewFactor, wav.overviewLength),
        std::tuple(c.dataOffset, c.samples, c.checksum, 1u, c.samples));
    EXPECT_EQ(std::tuple(wav.header.fields, wav.header.format.size, wav.header.data.size),
              std::tuple(c.fields, 16u, static_cast<std::uint32_t>(c.bytes.size() - c.dataOffset)));
    wav.file.Close();
  }
  EXPECT_DOUBLE_EQ(wav.amplitudeScale, 100.0 / 16777216.0);
}

// At most 65536 overview entries; the last block is cut at the end of the data (here its one
// sample, the only one not silent).
TEST_F(WavOpenTest, OverviewHasAtMost65536Entries) {
  struct Case {
    std::uint32_t samples, factor, length;
  };
  for (const Case c : {Case{65536, 1, 65536}, Case{65537, 2, 32769}, Case{131074, 3, 43692}}) {
    ASSERT_EQ(Open(CanonicalWav(Format(2), std::string(2 * c.samples - 2, '\0') + Samples(2, {-5}))),
              MessageId::None);
    EXPECT_EQ(std::tuple(wav.overviewFactor, wav.overviewLength), std::tuple(c.factor, c.length))
        << c.samples;
    EXPECT_EQ(wav.overview[c.length - 2], (SamplePair{0, 0})) << c.samples;
    EXPECT_EQ(wav.overview[c.length - 1], (SamplePair{-5 * 65536, -5 * 65536})) << c.samples;
    wav.file.Close();
  }
}

}  // namespace
}  // namespace vocara::test
