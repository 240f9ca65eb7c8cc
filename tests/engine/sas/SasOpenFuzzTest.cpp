// A short deterministic fuzz run of the SAS opener, part of every test run and of the sanitizer
// build: mutations of valid files (counts and hop set to edge values, bytes changed, cut,
// grown) are refused with a message or open with counts that fit the file; paging from any
// position and a write-back after edits then stay inside the page and never cut a frame away.
#include <gtest/gtest.h>

#include <limits>
#include <random>
#include <string>
#include <vector>

#include "engine/sas/SasDocument.h"
#include "support/SasFiles.h"
#include "support/TempDir.h"
#include "support/WavFiles.h"

namespace vocara::test {
namespace {

std::string Mutate(std::string bytes, std::mt19937& random) {
  static const std::uint32_t edges[] = {0,    1,          2,          999,        1000,
                                        1001, 0x0FFFFFFF, 0x10000000, 0x80000000, 0xFFFFFFFF};
  for (int c = 1 + static_cast<int>(random() % 3); c > 0 && !bytes.empty(); --c) {
    const std::size_t at = random() % bytes.size();
    switch (random() % 4) {
      case 0:  // frameCount, linkCount or frameLength
        bytes.replace(4 + 4 * (random() % 3), 4, Le32(edges[random() % std::size(edges)]));
        break;
      case 1:
        bytes[at] = static_cast<char>(random());
        break;
      case 2:
        bytes.resize(at);
        break;
      default:
        bytes.append(random() % 80, static_cast<char>(random()));
        break;
    }
    if (bytes.size() < 16) break;
  }
  return bytes;
}

TEST(SasOpenFuzzTest, MutatedFilesAreRefusedOrPageAndWriteBackSafely) {
  TempDir dir;
  const std::string path = dir.File("fuzz.sas");
  std::vector<SasFrame> frames;
  for (int i = 0; i < 40; ++i) frames.push_back(FreshFrame(static_cast<std::uint16_t>(3000 + i), -i, i));
  const std::string seeds[] = {
      SasBytes(SasHeaderFor(100, 48000, 0, 0), {}, EndLinks(0)),
      SasBytes(SasHeaderFor(441, 44100, 9, 40, 4), frames, {{0, 0}, {441, 882}, {882, 900}, {17640, 17640}}),
  };
  const std::int32_t firsts[] = {std::numeric_limits<std::int32_t>::min(), -1, 0, 17, 39, 40, 1 << 30};
  std::mt19937 random(20261207);
  int opened = 0;
  for (int run = 0; run < 3000; ++run) {
    const std::string bytes = Mutate(seeds[run % 2], random);
    SasDocument sas;
    if (const MessageId refused = SasOpenDocument(sas, WriteFile(path, bytes)); refused != MessageId::None) {
      ASSERT_FALSE(sas.file.IsOpen()) << run;
      continue;
    }
    ++opened;
    const SasHeader& h = sas.header;
    ASSERT_GE(bytes.size(), SasLinksOffset(h.frameCount) + 8 * std::uint64_t{h.linkCount}) << run;
    ASSERT_EQ(sas.links.size(), h.linkCount) << run;

    sas.shownFrameCount = h.frameCount;
    sas.firstFrame = firsts[random() % std::size(firsts)];
    sas.pageLength = static_cast<std::int32_t>(random() % 1400);
    ASSERT_TRUE(SasReadPageRecords(sas)) << run;
    ASSERT_LE(std::uint64_t(sas.firstFrame) + std::uint64_t(sas.pageCount), h.frameCount) << run;
    ASSERT_LE(sas.pageCount, MaxSasPageLength) << run;

    std::string expected = bytes.substr(136, 16 * std::size_t{h.frameCount});
    for (int i = 0; i < sas.pageCount; ++i) {
      sas.page[static_cast<std::size_t>(i)].targetPitch ^= TimeCorrectionOffBit;
      expected[16 * static_cast<std::size_t>(sas.firstFrame + i) + 3] ^= '\x80';
    }
    if (sas.links.size() > 2) sas.links.pop_back();
    ASSERT_TRUE(SasWriteRecords(sas, GeneralSettings{})) << run;
    const std::string after = ReadFile(path);
    ASSERT_EQ(after.size(), 136 + expected.size() + 8 * sas.links.size()) << run;
    ASSERT_EQ(after.substr(136, expected.size()), expected) << run;  // only the page changed
  }
  EXPECT_GT(opened, 300);  // the mutations must also reach the accepting paths
}

}  // namespace
}  // namespace vocara::test
