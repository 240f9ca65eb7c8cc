// A short deterministic fuzz run of the WAV opener, part of every test run and of the
// sanitizer build: mutations of valid files (bytes flipped, sizes rewritten, cut, grown) must
// each be refused with a message or opened with a consistent document, never crash, read out
// of bounds or leave a file open.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "engine/wav/RangeExport.h"
#include "engine/wav/WavDocument.h"
#include "support/TempDir.h"
#include "support/WavFiles.h"

namespace vocara::test {
namespace {

std::vector<std::string> Seeds() {
  FormatFields extensible = Format(2);
  extensible.formatTag = 0xFFFE;
  return {
      CanonicalWav(Format(2), Samples(2, {1, -1, 300, -300, 32767, -32768})),
      CanonicalWav(Format(3, 44100), Samples(3, {0x800000, 0x7FFFFF, 5})),
      CanonicalWav(Format(4, 96000), Samples(4, {1, 2, 3})),
      RiffFile(Chunk("LIST", "INFOodd") + Chunk("fmt ", FormatBody(Format(2), Le16(0))) + Chunk("junk", "x") +
               Chunk("data", Samples(2, {4, 5, 6}))),
      RiffFile(Chunk("fmt ", FormatBody(extensible, Le16(22) + std::string(22, '\1'))) +
               Chunk("data", "abcd")),
  };
}

std::string Mutate(std::string bytes, std::mt19937& random) {
  std::uniform_int_distribution<int> kind(0, 5);
  std::uniform_int_distribution<int> byte(0, 255);
  const int changes = 1 + static_cast<int>(random() % 4);
  for (int c = 0; c < changes && !bytes.empty(); ++c) {
    const std::size_t at = random() % bytes.size();
    switch (kind(random)) {
      case 0:  // one byte
        bytes[at] = static_cast<char>(byte(random));
        break;
      case 1:  // a 32-bit field, often a size, to an edge value
      {
        static const std::uint32_t edges[] = {0,          1,          15,         16,        17,
                                              0x7FFFFFFF, 0x80000000, 0xFFFFFFF8, 0xFFFFFFFF};
        const std::string v = Le32(edges[random() % std::size(edges)]);
        bytes.replace(at, std::min<std::size_t>(4, bytes.size() - at), v.substr(0, bytes.size() - at));
        break;
      }
      case 2:  // cut
        bytes.resize(at);
        break;
      case 3:  // grow
        bytes.append(random() % 64, static_cast<char>(byte(random)));
        break;
      case 4:  // a chunk identifier
      {
        static const char* ids[] = {"data", "fmt ", "LIST", "RIFF", "WAVE"};
        const std::string id = ids[random() % std::size(ids)];
        bytes.replace(at, std::min<std::size_t>(4, bytes.size() - at), id.substr(0, bytes.size() - at));
        break;
      }
      default:  // a byte flipped in the header
        bytes[at % 44 % bytes.size()] ^= static_cast<char>(1 << (random() % 8));
        break;
    }
  }
  return bytes;
}

TEST(WavOpenFuzzTest, MutatedFilesAreRefusedOrOpenConsistently) {
  TempDir dir;
  const std::string path = dir.File("fuzz.wav");
  const std::string out = dir.File("out.wav");
  std::mt19937 random(20261206);
  const std::vector<std::string> seeds = Seeds();
  int opened = 0;
  for (int run = 0; run < 3000; ++run) {
    const std::string bytes = Mutate(seeds[static_cast<std::size_t>(run) % seeds.size()], random);
    WriteFile(path, bytes);
    WavDocument wav;
    const WavOpenResult result = WavOpenDocument(wav, path);
    if (result.message != MessageId::None) {
      ASSERT_FALSE(wav.file.IsOpen()) << run;
      ASSERT_FALSE(MessageText(result.message).empty());
      continue;
    }
    ++opened;
    const unsigned align = wav.BlockAlign();
    ASSERT_TRUE(align >= 2 && align <= 4) << run;
    ASSERT_LE(wav.dataOffset + std::uint64_t{wav.sampleCount} * align, bytes.size()) << run;
    ASSERT_LE(wav.overviewLength, OverviewCapacity) << run;
    ASSERT_GE(std::uint64_t{wav.overviewLength} * wav.overviewFactor, wav.sampleCount) << run;
    // The samples the document claims are there to be copied.
    ASSERT_EQ(WriteRangeAsWav(wav, out, 0, wav.sampleCount), MessageId::None);
    ASSERT_EQ(std::filesystem::file_size(out), 44 + std::uint64_t{wav.sampleCount} * align) << run;
  }
  EXPECT_GT(opened, 100);  // the mutations must also reach the accepting paths
}

}  // namespace
}  // namespace vocara::test
