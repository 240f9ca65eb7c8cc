// The pitch out of the tool: pitch prints the SAS records frame by frame, plot draws the take as
// a well-formed SVG with its notes named, info --json says info's facts as one object, and the
// progress line shows on a terminal only, erased at the end.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <regex>
#include <string>
#include <vector>

#include "CliRun.h"
#include "support/Recordings.h"
#include "support/SasFiles.h"
#include "support/WavFiles.h"

namespace vocara::test {
namespace {

// Whether every tag of `xml` is closed in order (the XML declaration and self-closed tags aside).
bool TagsBalance(const std::string& xml) {
  std::vector<std::string> open;
  const std::regex tag("<(/?)([a-zA-Z]+)[^>]*?(/?)>");
  for (auto it = std::sregex_iterator(xml.begin(), xml.end(), tag); it != std::sregex_iterator(); ++it) {
    if ((*it)[3] == "/") continue;
    if ((*it)[1] == "") {
      open.push_back((*it)[2]);
    } else if (open.empty() || open.back() != (*it)[2]) {
      return false;
    } else {
      open.pop_back();
    }
  }
  return open.empty() && xml.find("<svg ") != std::string::npos;
}

// vocara-cli run with its stderr on a pseudo-terminal; what the terminal received.
std::string RunOnTerminal(const std::vector<std::string>& args) {
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  EXPECT_TRUE(master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0);
  const std::string terminal = ptsname(master);
  const pid_t pid = fork();
  if (pid == 0) {
    setsid();
    dup2(open(terminal.c_str(), O_RDWR), STDERR_FILENO);
    dup2(open("/dev/null", O_WRONLY), STDOUT_FILENO);
    std::vector<char*> argv{const_cast<char*>(VOCARA_CLI_PATH)};
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    execv(VOCARA_CLI_PATH, argv.data());
    _exit(127);
  }
  std::string text;
  char buffer[4096];
  for (ssize_t n; (n = read(master, buffer, sizeof buffer)) > 0;)
    text.append(buffer, static_cast<std::size_t>(n));
  int status = 0;
  waitpid(pid, &status, 0);
  close(master);
  EXPECT_EQ(WEXITSTATUS(status), 0) << text;
  return text;
}

class PitchCommandsTest : public CliFixture {};

TEST_F(PitchCommandsTest, PitchPrintsTheRecordsFrameByFrame) {
  std::vector<SasFrame> frames{FreshFrame(4812, -1073741824, 1073741823), FreshFrame(0, -10, 10),
                               FreshFrame(4800, -1073741824, 1073741823)};
  frames[2].targetPitch = 4900 | TimeCorrectionOffBit;  // A#4, and so not voiced
  const std::string sas =
      WriteSasFile(dir.File("a.sas"), SasHeaderFor(480, 48000, 1, frames.size()), frames, EndLinks(1440));
  ASSERT_EQ(Run({"pitch", sas, "--csv"}), cli::ExitSuccess) << err.str();
  EXPECT_EQ(
      out.str(),
      "time,frame,source_hz,source_note,source_cents,target_hz,target_note,target_cents,voiced,amplitude\n"
      "0.000000,0,443.06,A4,12,443.06,A4,12,1,50.0000\n"
      "0.010000,1,,,,,,,0,0.0000\n"
      "0.020000,2,440.00,A4,0,466.16,A#4,0,0,50.0000\n");
  ASSERT_EQ(Run({"pitch", sas, "--json", "--range", "1:2"}), cli::ExitSuccess) << err.str();
  EXPECT_EQ(
      out.str(),
      "[\n{\"time\": 0.010000, \"frame\": 1, \"source_hz\": null, \"source_note\": null, \"source_cents\": "
      "null, \"target_hz\": null, \"target_note\": null, \"target_cents\": null, \"voiced\": 0, "
      "\"amplitude\": 0.0000}\n]\n");
  ASSERT_EQ(Run({"pitch", sas, "--range", "3:3"}), cli::ExitSuccess);
  EXPECT_EQ(out.str(),
            "time\tframe\tsource_hz\tsource_note\tsource_cents\ttarget_hz\ttarget_note\ttarget_cents"
            "\tvoiced\tamplitude\n");
  EXPECT_EQ(Run({"pitch", sas, "--range", "2:4"}), cli::ExitUsage);

  // info --json: the same facts, one object.
  ASSERT_EQ(Run({"info", "--json", sas}), cli::ExitSuccess);
  EXPECT_TRUE(
      out.str().starts_with("{\"frames\": 3, \"links\": 2, \"frame_length\": 480, \"rate\": 48000, "
                            "\"wav_checksum\": \"0x00000001\", \"instrument\": 20,"))
      << out.str();
  EXPECT_TRUE(out.str().ends_with(", \"timeCorrection\": -1}\n"));
}

TEST_F(PitchCommandsTest, PlotDrawsTheNotesTheTargetsAndTheRenderingsPitch) {
  const std::string sas = Sing({{60, 30, 0.7}, {64, -40, 0.7}}), wav = dir.File("sung.wav");
  const std::string svg = dir.File("sung.svg");
  ASSERT_EQ(Run({"snap", sas, "--key", "C", "--scale", "major"}), cli::ExitSuccess) << err.str();
  ASSERT_EQ(Run({"correct", wav, sas, dir.File("in-tune.wav")}), cli::ExitSuccess) << err.str();
  ASSERT_EQ(Run({"plot", sas, svg, "--wav", wav, "--out", dir.File("in-tune.wav")}), cli::ExitSuccess)
      << err.str();
  const std::string picture = ReadFile(svg);
  EXPECT_TRUE(TagsBalance(picture));
  EXPECT_TRUE(std::regex_search(picture, std::regex(">C4 \\+(2[0-9]|3[0-9])</text>"))) << picture;
  EXPECT_TRUE(std::regex_search(picture, std::regex(">E4 -(3[0-9]|4[0-9])</text>")));
  EXPECT_NE(picture.find(">pitch of in-tune.wav</text>"), std::string::npos);
  EXPECT_EQ(std::regex_search(picture, std::regex("<path [^>]*d=\" M[0-9. L]{2000,}\"")), true);
  EXPECT_EQ(Run({"plot", sas, svg, "--out", wav}), cli::ExitUsage);

  // The progress line: on a terminal, erased at the end; not with -q, nor into a file.
  const int probe = posix_openpt(O_RDWR | O_NOCTTY);
  if (probe < 0) GTEST_SKIP() << "no pseudo-terminals here";
  close(probe);
  const std::string terminal = RunOnTerminal({"build", wav, sas});
  EXPECT_TRUE(std::regex_search(terminal, std::regex("^\rbuilding +[0-9]+%  0:00 elapsed"))) << terminal;
  EXPECT_TRUE(terminal.ends_with("\r\033[K")) << terminal;
  EXPECT_EQ(RunOnTerminal({"-q", "build", wav, sas}), "");
  const std::string errors = dir.File("errors.txt");
  EXPECT_EQ(WaitForProcess(StartCli({"build", wav, sas}, errors)), 0);
  EXPECT_EQ(ReadFile(errors), "");
}

}  // namespace
}  // namespace vocara::test
