// The key=value lines of info, for a WAV and a SAS, and the files of save-range and export-text.
#include <gtest/gtest.h>

#include <string>

#include "CliRun.h"
#include "support/SasFiles.h"
#include "support/TempDir.h"
#include "support/WavFiles.h"

namespace vocara::test {
namespace {

using CliTest = CliFixture;

TEST_F(CliTest, InfoPrintsTheFormatAndTheChecksumOfAWavOrASas) {
  FormatFields f = Format(3, 44100);
  const std::string wav = WriteFile(
      dir.File("a.wav"),
      RiffFile(Chunk("LIST", "INFO") + Chunk("fmt ", FormatBody(f)) + Chunk("data", Samples(3, {1, -1}))));
  EXPECT_EQ(Run({"info", wav}), 0);
  EXPECT_EQ(out.str(),
            "format=1\nchannels=1\nrate=44100\nblock_align=3\nbits=24\ndata_offset=56\nsamples=2\n"
            "checksum=0x00000000\n");
  EXPECT_EQ(err.str(), "");
  WriteWav16(wav, {1});
  EXPECT_EQ(Run({"info", wav}), 0);
  EXPECT_NE(out.str().find("checksum=0x00010000\n"), std::string::npos);

  // A SAS file, told from a WAV by its first bytes: its counts, hop, rate, checksum and every
  // setting by name, in a fixed order.
  const SasHeader header = SasHeaderFor(1102, 44100, 0xABC, 0, 3, {.tempo = 97.25, .noiseGain = 0.1});
  ASSERT_EQ(Run({"info", WriteSasFile(dir.File("a.sas"), header, {}, {{0, 0}, {1, 1}, {2, 2}})}), 0)
      << err.str();
  EXPECT_EQ(out.str(),
            "frames=0\nlinks=3\nframe_length=1102\nrate=44100\nwav_checksum=0x00000abc\n"
            "instrument=20\nlowestNote=38\nhighestNote=77\nchunkPeriods=1\nbaseNoteThreshold=20\n"
            "beatsPerBar=4\nbeatUnit=4\ndivisions=4\ntempo=97.25\nrulerOrigin=0\noriginBar=0\n"
            "whiteNoise=0\nnoiseGain=0.1\nnoiseLength=1024\nselectThreshold=2\nsilenceThreshold=2\n"
            "timeCorrection=-1\n");
}

// The files' contents are the core's (RangeExportTest); here, that A:B reaches them as [A, B).
TEST_F(CliTest, SaveRangeAndExportTextWriteSamplesAToB) {
  const std::string wav = WriteWav16(dir.File("a.wav"), {5, 6, 16384, 8});
  const std::string target = WriteFile(dir.File("b.wav"), std::string(500, 'x'));
  EXPECT_EQ(Run({"save-range", wav, target, "1:3"}), 0);
  EXPECT_EQ(ReadFile(target), CanonicalWav(Format(2), Samples(2, {6, 16384})));
  const std::string text = dir.File("a.txt");
  EXPECT_EQ(Run({"export-text", wav, text, "2:3"}), 0);
  EXPECT_EQ(ReadFile(text), "50\r\n");
  EXPECT_EQ(Run({"export-text", wav, text, "2:2"}), 0);  // an empty range is an empty file
  EXPECT_EQ(ReadFile(text), "");
}

}  // namespace
}  // namespace vocara::test
