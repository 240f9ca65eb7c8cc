// The vocara-cli contract: exit codes, the message alone on one line of stderr, the usage
// text, the key=value lines of info and the files of save-range and export-text.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <future>
#include <sstream>
#include <string>
#include <vector>

#include "CliRun.h"
#include "support/TempDir.h"
#include "support/WavFiles.h"

namespace vocara::test {
namespace {

using CliTest = CliFixture;

TEST_F(CliTest, HelpListsTheSubcommandsOnStdout) {
  EXPECT_EQ(Run({"--help"}), 0);
  for (const char* command : {"info", "save-range", "export-text", "--version"})
    EXPECT_NE(out.str().find(command), std::string::npos) << command;
  EXPECT_EQ(err.str(), "");
}

TEST_F(CliTest, InfoPrintsTheFormatAndTheChecksum) {
  FormatFields f = Format(3, 44100);
  const std::string wav = WriteFile(
      dir.File("a.wav"),
      RiffFile(Chunk("LIST", "INFO") + Chunk("fmt ", FormatBody(f)) + Chunk("data", Samples(3, {1, -1}))));
  EXPECT_EQ(Run({"info", wav}), 0);
  EXPECT_EQ(out.str(),
            "format=1\nchannels=1\nrate=44100\nblock_align=3\nbits=24\ndata_offset=56\nsamples=2\n"
            "checksum=0x00000000\n");
  EXPECT_EQ(err.str(), "");
  WriteFile(wav, CanonicalWav(Format(2), Samples(2, {1})));
  EXPECT_EQ(Run({"info", wav}), 0);
  EXPECT_NE(out.str().find("checksum=0x00010000\n"), std::string::npos);
}

TEST_F(CliTest, AFailureIsTheMessageThenTheFileAndWhy) {
  FormatFields stereo = Format(4);
  stereo.channels = 2;
  const std::string wav = WriteFile(dir.File("s.wav"), CanonicalWav(stereo, Samples(4, {1, 2})));
  EXPECT_EQ(Run({"info", wav}), 1);
  EXPECT_EQ(err.str(), "Not a mono file\nvocara-cli: " + wav +
                           ": a 32-bit stereo WAV file; vocara-cli import " + wav +
                           " OUT.wav converts it (the mean of the channels, or --channel N)\n");
  EXPECT_EQ(out.str(), "");
  EXPECT_EQ(Run({"export-text", dir.File("missing.wav"), dir.File("o.txt"), "0:1"}), 1);
  EXPECT_EQ(err.str(),
            "Invalid File Handle\nvocara-cli: " + dir.File("missing.wav") + ": No such file or directory\n");
  EXPECT_EQ(Run({"info", WriteFile(dir.File("short.wav"), "RIFF")}), 1);
  EXPECT_EQ(err.str(), "WAVE to short\nvocara-cli: " + dir.File("short.wav") +
                           ": 4 bytes, shorter than the 44-byte header of a WAV file\n");
}

// A named pipe or a device as an input is refused at once by every subcommand, never waited
// on. A call still waiting after 5 s fails; the pipe's writing end is then opened and closed
// so that the waiting reader sees the end of the pipe and the test can finish.
TEST_F(CliTest, APipeOrADeviceAsAnInputIsRefusedWithoutWaiting) {
  const std::string fifo = dir.File("pipe");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::string wav = WriteFile(dir.File("a.wav"), CanonicalWav(Format(2), Samples(2, {1, 2, 3})));
  const std::string output = dir.File("o.wav");
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"info", fifo},
           {"info", "/dev/zero"},
           {"save-range", fifo, output, "0:1"},
           {"export-text", fifo, dir.File("o.txt"), "0:1"},
           {"build", fifo, dir.File("o.sas")},
           {"notes", fifo, "--at", "0"},
           {"correct", wav, fifo, output},
           {"build", wav, dir.File("o.sas"), "--settings", fifo},
       }) {
    std::future<int> call = std::async(std::launch::async, [&] { return Run(args); });
    const bool returned = call.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
    while (call.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready) {
      const int writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
      if (writer >= 0) ::close(writer);
    }
    EXPECT_TRUE(returned) << ::testing::PrintToString(args) << " waited on its input";
    EXPECT_NE(call.get(), 0) << ::testing::PrintToString(args);
    EXPECT_FALSE(std::filesystem::exists(output));
  }
}

// The files' contents are the core's (RangeExportTest); here, that A:B reaches them as [A, B).
TEST_F(CliTest, SaveRangeAndExportTextWriteSamplesAToBAndRefuseTheInput) {
  const std::string wav = WriteFile(dir.File("a.wav"), CanonicalWav(Format(2), Samples(2, {5, 6, 16384, 8})));
  const std::string target = WriteFile(dir.File("b.wav"), std::string(500, 'x'));
  EXPECT_EQ(Run({"save-range", wav, target, "1:3"}), 0);
  EXPECT_EQ(ReadFile(target), CanonicalWav(Format(2), Samples(2, {6, 16384})));
  const std::string text = dir.File("a.txt");
  EXPECT_EQ(Run({"export-text", wav, text, "2:3"}), 0);
  EXPECT_EQ(ReadFile(text), "50\r\n");
  EXPECT_EQ(Run({"export-text", wav, text, "2:2"}), 0);  // an empty range is an empty file
  EXPECT_EQ(ReadFile(text), "");
  EXPECT_EQ(Run({"save-range", wav, wav, "1:3"}), 1);
  EXPECT_EQ(err.str(), "Opened file can not be overwritten\n");
  EXPECT_EQ(Run({"export-text", wav, wav, "1:3"}), 1);
  EXPECT_EQ(err.str(), "Opened file can not be overwritten\n");
  EXPECT_EQ(ReadFile(wav), CanonicalWav(Format(2), Samples(2, {5, 6, 16384, 8})));
}

}  // namespace
}  // namespace vocara::test
