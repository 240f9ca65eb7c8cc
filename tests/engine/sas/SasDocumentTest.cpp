// The SAS document on its own: one refusal per validation rule (each file passing every earlier
// rule), the accepted boundaries, the fit test, paging, write-back and the copy of Save As.
#include <gtest/gtest.h>

#include <filesystem>
#include <limits>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include "engine/sas/SasDocument.h"
#include "engine/wav/WavDocument.h"
#include "support/ChildProcess.h"
#include "support/SasFiles.h"
#include "support/TempDir.h"
#include "support/WavFiles.h"

namespace vocara::test {
namespace {

// Frame i has source pitch 1000 + i, so every record says where it came from.
std::vector<SasFrame> NumberedFrames(std::size_t count) {
  std::vector<SasFrame> frames;
  for (std::size_t i = 0; i < count; ++i)
    frames.push_back(FreshFrame(static_cast<std::uint16_t>(1000 + i), 0, 7));
  return frames;
}

std::string SoundFile(std::size_t frames, GeneralSettings settings = {}) {
  SasHeader header = SasHeaderFor(100, 48000, 0x1234, frames);
  header.settings = settings;
  return SasBytes(header, NumberedFrames(frames), EndLinks(static_cast<std::uint32_t>(frames * 100)));
}

std::string Patch32(std::string bytes, std::size_t offset, std::uint32_t value) {
  return bytes.replace(offset, 4, Le32(value));
}

std::string WithSettings(void (*change)(GeneralSettings&)) {
  GeneralSettings settings;
  change(settings);
  return SoundFile(0, settings);
}

class SasDocumentTest : public ::testing::Test {
 protected:
  MessageId Open(const std::string& bytes) { return SasOpenDocument(sas, WriteFile(path, bytes)); }
  void OpenFrames(std::size_t frames) {
    ASSERT_EQ(Open(SoundFile(frames)), MessageId::None);
    sas.shownFrameCount = sas.header.frameCount;
  }
  bool Page(std::int32_t first, std::int32_t length) {
    sas.firstFrame = first;
    sas.pageLength = length;
    return SasReadPageRecords(sas);
  }
  std::uint64_t Size() const { return std::filesystem::file_size(path); }

  TempDir dir;
  std::string path = dir.File("t.sas");
  SasDocument sas;
};

struct Refusal {
  const char* name;
  std::string bytes;
  MessageId expected;
};

void PrintTo(const Refusal& refusal, std::ostream* os) { *os << refusal.name; }

class SasRefusalTest : public SasDocumentTest, public ::testing::WithParamInterface<Refusal> {};

TEST_P(SasRefusalTest, GivesItsMessageAndLeavesTheDocumentClosed) {
  EXPECT_EQ(Open(GetParam().bytes), GetParam().expected);
  EXPECT_TRUE(!sas.file.IsOpen() && sas.links.empty());
}

const std::string Minimal = SoundFile(0);  // 152 bytes

INSTANTIATE_TEST_SUITE_P(
    EveryRuleInOrder, SasRefusalTest,
    ::testing::Values(
        Refusal{"ShorterThan152Bytes", Minimal.substr(0, 151), MessageId::FileToShort},
        Refusal{"OneByteShortOfItsCounts", SoundFile(3).substr(0, 136 + 48 + 15), MessageId::FileToShort},
        // 16 x 2^28 and 8 x (2^32 - 2 + 2 x (2^31 + 1)) both wrap to sizes the file has in 32 bits.
        Refusal{"FrameCountThatWraps32Bits", Patch32(Minimal, 4, 0x10000000), MessageId::FileToShort},
        Refusal{"LinkCountThatWraps32Bits", Patch32(Patch32(Minimal, 8, 0xFFFFFFFE), 4, 0x80000001),
                MessageId::FileToShort},
        Refusal{"GarbageCountsBeforeTheMagic", "RIFF\xff\xff\xff\xff" + Minimal.substr(8),
                MessageId::FileToShort},
        Refusal{"LowerCaseMagic", "sas " + Minimal.substr(4), MessageId::NotSasFile},
        Refusal{"NoLinks", Patch32(Minimal, 8, 0), MessageId::LinksCorrupted},
        Refusal{"OneLink", Patch32(Minimal, 8, 1), MessageId::LinksCorrupted},
        Refusal{"MoreLinksThanTheTableHolds",
                SasBytes(SasHeaderFor(100, 48000, 0, 0, 1001), {}, std::vector<TimeLink>(1001)),
                MessageId::LinksCorrupted},
        Refusal{"LowestNote88", WithSettings([](GeneralSettings& s) { s.lowestNote = 88; }),
                MessageId::SasSettingsCorrupted},
        Refusal{"ChunkPeriods6", WithSettings([](GeneralSettings& s) { s.chunkPeriods = 6.0; }),
                MessageId::SasSettingsCorrupted},
        Refusal{"NegativeInstrument", WithSettings([](GeneralSettings& s) { s.instrument = -1; }),
                MessageId::SasSettingsCorrupted},
        // Patched in as a damaged file holds it: no record is ever written with a NaN.
        Refusal{"TempoNaN", Patch32(Patch32(Minimal, 24 + 48, 0), 24 + 52, 0x7FF80000),
                MessageId::SasSettingsCorrupted},
        Refusal{"FrameLength0", Patch32(SoundFile(2), 12, 0), MessageId::SasSettingsCorrupted}),
    [](const ::testing::TestParamInfo<Refusal>& info) { return std::string(info.param.name); });

TEST_F(SasDocumentTest, OpensTheMinimalFileAndAThousandLinks) {
  EXPECT_EQ(SasOpenDocument(sas, dir.File("missing.sas")), MessageId::InvalidFileHandle);
  ASSERT_EQ(Minimal.size(), 152u);
  ASSERT_EQ(Open(Minimal), MessageId::None);
  EXPECT_EQ(std::pair(sas.header.frameLength, sas.links), std::pair(100u, EndLinks(0)));
  sas = {};
  ASSERT_EQ(Open(SasBytes(SasHeaderFor(100, 48000, 0, 0, 1000), {}, std::vector<TimeLink>(1000))),
            MessageId::None);
  EXPECT_EQ(sas.links.size(), 1000u);
}

TEST_F(SasDocumentTest, FitsAWavByChecksumRateAndFrameCount) {
  std::vector<std::int32_t> samples(1050);
  for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<std::int32_t>(i % 50) - 20;
  WavDocument wav;
  ASSERT_EQ(WavOpenDocument(wav, WriteWav16(dir.File("a.wav"), samples)).message, MessageId::None);
  SasHeader header = SasHeaderFor(100, 48000, wav.checksum, 10);  // 1050 / 100 = 10
  EXPECT_TRUE(SasFitsWav(header, wav));
  header.frameCount = 11;  // the partial last hop makes no frame; the WAV side does not count frames
  EXPECT_EQ(std::pair(SasFitsWav(header, wav), SasBuiltFromWav(header, wav)), std::pair(false, true));
  header.sampleRate = 44100;
  EXPECT_FALSE(SasBuiltFromWav(header, wav));
  header = SasHeaderFor(100, 48000, wav.checksum + 1, 10);
  EXPECT_FALSE(SasFitsWav(header, wav));
}

TEST_F(SasDocumentTest, PagingNeverReadsPastTheLastFrameNorBeyondThePage) {
  OpenFrames(3000);
  ASSERT_TRUE(Page(2900, 640));  // scrolled to the end: the last column shows the last frame
  EXPECT_EQ(std::tuple(sas.firstFrame, sas.page[639].sourcePitch, sas.page[640]),
            std::tuple(3000 - 640, 1000 + 2999, SasFrame{}));
  ASSERT_TRUE(Page(-5, 640));  // a negative position reads one page from frame 0, not every frame
  EXPECT_EQ(std::pair(sas.firstFrame, sas.pageCount), std::pair(0, 640));
  sas = {};
  OpenFrames(100);
  ASSERT_TRUE(Page(50, 640));  // fewer frames than columns
  EXPECT_EQ(std::pair(sas.firstFrame, sas.pageCount), std::pair(0, 100));
}

TEST_F(SasDocumentTest, WriteBackRefreshesOnlyTheRulerEditAndCorrectionSettings) {
  OpenFrames(1);
  GeneralSettings live;
  live.instrument = 2, live.lowestNote = 10, live.chunkPeriods = 2.5, live.noiseGain = 2,
  live.noiseLength = 4096;
  live.beatsPerBar = 3, live.tempo = 88.5, live.rulerOrigin = 12345, live.silenceThreshold = 9;
  live.timeCorrection = 0;
  ASSERT_TRUE(SasWriteRecords(sas, live));
  GeneralSettings expected = live;
  expected.instrument = 20, expected.lowestNote = 38, expected.chunkPeriods = 1, expected.noiseGain = 1;
  expected.noiseLength = 1024;
  EXPECT_EQ(ReadSasHeader(path).settings, expected);
}

// The file is long enough that what opening read of its end is not still buffered at its start.
TEST_F(SasDocumentTest, AShortPageReadIsReportedAndNeverWritesZerosOverFrames) {
  OpenFrames(3000);
  const std::string whole = ReadFile(path);
  std::filesystem::resize_file(path, 136 + 16 * 40 + 5);  // cut behind the document's back
  EXPECT_FALSE(Page(0, 640));
  EXPECT_EQ(sas.pageCount, 40);
  WriteFile(path, whole);
  ASSERT_TRUE(SasWriteRecords(sas, GeneralSettings{}));
  EXPECT_EQ(ReadSasFrames(path), NumberedFrames(3000));
}

TEST_F(SasDocumentTest, DamagedLinksAndAnAbsurdHopNeverCutFrames) {
  const std::vector<TimeLink> links{{0, 0}, {0xFFFFFFFF, 3}, {5, 0xFFFFFFF0}, {7, 7}};
  ASSERT_EQ(Open(SasBytes(SasHeaderFor(0xFFFFFFFF, 48000, 0, 30, 4), NumberedFrames(30), links)),
            MessageId::None);
  sas.shownFrameCount = 30;
  Page(std::numeric_limits<std::int32_t>::max(), 640);
  ASSERT_TRUE(SasWriteRecords(sas, GeneralSettings{}));
  EXPECT_EQ(std::tuple(ReadSasFrames(path), ReadSasLinks(path), Size()),
            std::tuple(NumberedFrames(30), links, 136u + 16 * 30 + 8 * 4));
}

TEST_F(SasDocumentTest, CopyRefusesTheOpenFileByAnyNameAndReplacesOthers) {
  ASSERT_EQ(Open(SoundFile(5)), MessageId::None);
  EXPECT_EQ(SasCopyFile(sas, (dir.Path() / "." / "t.sas").string()),
            MessageId::OpenedFileCanNotBeOverwritten);
  EXPECT_EQ(ReadFile(path), SoundFile(5));
  const std::string copy = WriteFile(dir.File("copy.sas"), "an older, longer file than nothing");
  EXPECT_EQ(SasCopyFile(sas, copy), MessageId::None);
  EXPECT_EQ(ReadFile(copy), SoundFile(5));
  EXPECT_EQ(SasCopyFile(sas, dir.File("no/such/folder.sas")), MessageId::InvalidFileHandle);

  // On a full disk the copy fails whole and the file of that name stays as it was.
  WriteFile(copy, "an older file");
  const ChildResult child = RunWithFileSizeLimit(100, [&](int& exitCode) {
    exitCode = static_cast<int>(SasCopyFile(sas, copy));
    return std::string();
  });
  EXPECT_EQ(std::tuple(child.exitCode, ReadFile(copy), TemporaryFileCount(dir.Path().string())),
            std::tuple(static_cast<int>(MessageId::OutputWriteFailed), "an older file", 0));
}

// A crash at any point of a write-back (cut here by stopping it after n steps) leaves a file that
// opens, with either all of the old records or all of the new ones: links added, links removed.
// Done, the file holds exactly the header, the frames and the links, whatever trailed them.
TEST_F(SasDocumentTest, AWriteBackCutAtAnyStepOpensOldOrNew) {
  const std::vector<TimeLink> fourLinks{{0, 0}, {500, 400}, {1000, 1100}, {2000, 2000}};
  for (const bool addLinks : {true, false}) {
    const std::string before = SasBytes(SasHeaderFor(100, 48000, 1, 20, addLinks ? 2 : 4), NumberedFrames(20),
                                        addLinks ? EndLinks(2000) : fourLinks) +
                               "trailing";
    const std::vector<TimeLink> newLinks = addLinks ? fourLinks : EndLinks(2000);
    std::vector<std::string> contents;  // after each cut, once reopened
    for (int steps = 0;; ++steps) {
      sas = {};
      ASSERT_EQ(Open(before), MessageId::None);
      sas.shownFrameCount = 20;
      Page(5, 10);
      sas.page[0].targetPitch = 4321;
      sas.page[9].targetAmplitude = 77;
      sas.links = newLinks;
      GeneralSettings live;
      live.tempo = 99;
      const bool done = SasWriteRecords(sas, live, steps);
      sas.file.Close();  // the crash: nothing more happens to the file

      SasDocument reopened;
      ASSERT_EQ(SasOpenDocument(reopened, path), MessageId::None) << steps;
      reopened.file.Close();
      contents.push_back(ReadFile(path));
      EXPECT_FALSE(std::filesystem::exists(JournalPath(path)));
      if (done) break;
    }
    ASSERT_GE(contents.size(), 6u);  // journal, three writes, length, sync, journal removed
    EXPECT_EQ(contents.front(), before);
    for (std::size_t i = 1; i < contents.size(); ++i) EXPECT_EQ(contents[i], contents.back()) << i;
    EXPECT_EQ(ReadSasLinks(path), newLinks);
    std::vector<SasFrame> frames = NumberedFrames(20);
    frames[5].targetPitch = 4321;
    frames[14].targetAmplitude = 77;
    EXPECT_EQ(std::tuple(ReadSasFrames(path), Size(), ReadSasHeader(path).settings.tempo),
              std::tuple(frames, 136u + 16 * 20 + 8 * newLinks.size(), 99.0));
  }
}

}  // namespace
}  // namespace vocara::test
