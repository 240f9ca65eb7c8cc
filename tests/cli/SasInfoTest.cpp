// vocara-cli info on SAS files: told from WAV files by their first bytes, validated as the
// program opens them, and printed as key=value lines in a fixed order.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "cli/Cli.h"
#include "support/SasFiles.h"
#include "support/TempDir.h"
#include "support/WavFiles.h"

namespace vocara::test {
namespace {

TEST(SasInfoTest, PrintsCountsHopRateChecksumAndEverySettingByName) {
  TempDir dir;
  SasHeader header = SasHeaderFor(1102, 44100, 0xABC, 0, 3);
  header.settings.tempo = 97.25;
  header.settings.noiseGain = 0.1;
  const std::string path = WriteSasFile(dir.File("a.sas"), header, {}, {{0, 0}, {1, 1}, {2, 2}});
  std::ostringstream out, err;
  ASSERT_EQ(cli::RunCli({"info", path}, out, err), 0) << err.str();
  EXPECT_EQ(out.str(),
            "frames=0\nlinks=3\nframe_length=1102\nrate=44100\nwav_checksum=0x00000abc\n"
            "instrument=20\nlowestNote=38\nhighestNote=77\nchunkPeriods=1\nbaseNoteThreshold=20\n"
            "beatsPerBar=4\nbeatUnit=4\ndivisions=4\ntempo=97.25\nrulerOrigin=0\noriginBar=0\n"
            "whiteNoise=0\nnoiseGain=0.1\nnoiseLength=1024\nselectThreshold=2\nsilenceThreshold=2\n"
            "timeCorrection=-1\n");
}

}  // namespace
}  // namespace vocara::test
