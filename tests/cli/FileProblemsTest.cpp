// Which file and why: the program's message stays alone on the first line of stderr, and a
// second line names the file with the reason the system gives. Writes to standard output are
// checked as carefully as writes to files.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <filesystem>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

#include "cli/Cli.h"
#include "cli/FileProblems.h"
#include "engine/sas/SasDocument.h"
#include "engine/wav/WavDocument.h"
#include "support/ChildProcess.h"
#include "support/SasFiles.h"
#include "support/TempDir.h"
#include "support/WavFiles.h"

namespace vocara::test {
namespace {

namespace fs = std::filesystem;

class FileProblemsTest : public ::testing::Test {
 protected:
  FileProblemsTest() {
    fs::permissions(dir.Path(), fs::perms::all);  // the child that gives up root works here too
    std::vector<std::int32_t> tone(20000);
    for (std::size_t i = 0; i < tone.size(); ++i)
      tone[i] =
          static_cast<std::int32_t>(std::lround(12000 * std::sin(2 * 3.141592653589793 * 220.0 * i / 22050)));
    wav = WriteFile(dir.File("in.wav"), CanonicalWav(Format(2, 22050), Samples(2, tone)));
    WavDocument document;
    EXPECT_EQ(WavOpenDocument(document, wav).message, MessageId::None);
    sas =
        WriteSasFile(dir.File("in.sas"), SasHeaderFor(1000, 22050, document.checksum, 20),
                     std::vector<SasFrame>(20, FreshFrame(4800, -12000 << 16, 12000 << 16)), EndLinks(20000));
  }

  TempDir dir;
  std::string wav;
  std::string sas;
};

// "EXIT\nstderr", so that a run in a child process comes back whole.
std::string Outcome(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  const int exit = cli::RunCli(args, out, err);
  return std::to_string(exit) + "\n" + err.str();
}

std::string Lines(int exit, const std::string& first, const std::string& path, const std::string& reason) {
  return std::to_string(exit) + "\n" + first + "\nvocara-cli: " + path + ": " + reason + "\n";
}

TEST_F(FileProblemsTest, TheSecondLineNamesTheFileAndTheReason) {
  const std::string missing = dir.File("missing.sas");
  const std::string folder = dir.File("take");
  fs::create_directory(folder);
  const std::string noFolder = dir.File("out/x.wav");
  const std::string underFile = wav + "/x.wav";
  const std::string output = dir.File("o.wav");
  SasDocument asSas;
  const std::string wavAsSas(MessageText(SasOpenDocument(asSas, wav, SasAccess::ReadOnly)));
  WavDocument asWav;
  const std::string sasAsWav(MessageText(WavOpenDocument(asWav, sas).message));
  ASSERT_FALSE(wavAsSas.empty());
  ASSERT_FALSE(sasAsWav.empty());
  struct Case {
    std::vector<std::string> args;
    std::string expected;
  };
  const std::vector<Case> cases{
      {{"info", missing}, Lines(1, "Invalid File Handle", missing, "No such file or directory")},
      {{"info", folder}, Lines(1, "Invalid File Handle", folder, "Is a directory")},
      {{"info", underFile}, Lines(1, "Invalid File Handle", underFile, "Not a directory")},
      {{"info", "/dev/null"}, Lines(1, "Invalid File Handle", "/dev/null", "not a regular file")},
      // Which of three files: the SAS.
      {{"correct", wav, missing, output},
       Lines(1, "Invalid File Handle", missing, "No such file or directory")},
      {{"report", wav, sas, folder}, Lines(1, "Invalid File Handle", folder, "Is a directory")},
      {{"correct", wav, wav, output}, Lines(1, wavAsSas, wav, "a WAV recording, not a SAS file")},
      {{"edit", wav, "--clear"}, Lines(1, wavAsSas, wav, "a WAV recording, not a SAS file")},
      {{"snap", wav, "--key", "C", "--scale", "major"},
       Lines(1, wavAsSas, wav, "a WAV recording, not a SAS file")},
      {{"build", sas, output}, Lines(1, sasAsWav, sas, "a SAS file, not a WAV recording")},
      {{"repair", sas, sas}, Lines(1, sasAsWav, sas, "a SAS file, not a WAV recording")},
      // Outputs whose folder is missing or is a file.
      {{"save-range", wav, noFolder, "0:10"},
       Lines(1, "Invalid File Handle", noFolder, "No such file or directory")},
      {{"generate", noFolder}, Lines(1, "Invalid File Handle", noFolder, "No such file or directory")},
      {{"build", wav, noFolder}, Lines(1, "Invalid File Handle", noFolder, "No such file or directory")},
      {{"pulse", wav, underFile, "100"}, Lines(1, "Invalid File Handle", underFile, "Not a directory")},
  };
  const std::string wavBytes = ReadFile(wav);
  const std::string sasBytes = ReadFile(sas);
  for (const Case& c : cases) {
    EXPECT_EQ(Outcome(c.args), c.expected) << ::testing::PrintToString(c.args);
    EXPECT_EQ(ReadFile(wav), wavBytes);
    EXPECT_EQ(ReadFile(sas), sasBytes);
    EXPECT_FALSE(fs::exists(output));
    EXPECT_FALSE(fs::exists(dir.File("out")));
  }
}

TEST_F(FileProblemsTest, PermissionsAreNamedForAUserWhoLacksThem) {
  // A read-only output in a read-only folder, a read-only SAS to change, an unreadable input.
  const std::string locked = dir.File("locked");
  fs::create_directory(locked);
  const std::string target = WriteFile(locked + "/x.wav", "previous");
  fs::permissions(target, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                              fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
  const std::string readOnlySas = WriteFile(dir.File("ro.sas"), ReadFile(sas));
  fs::permissions(readOnlySas, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  const std::string unreadable = WriteFile(dir.File("secret.wav"), ReadFile(wav));
  fs::permissions(unreadable, fs::perms::none);
  struct Case {
    std::vector<std::string> args;
    std::string expected;
  };
  const std::vector<Case> cases{
      {{"save-range", wav, target, "0:10"}, Lines(1, "Invalid File Handle", target, "Permission denied")},
      {{"generate", target}, Lines(1, "Invalid File Handle", target, "Permission denied")},
      {{"edit", readOnlySas, "--transpose", "100"},
       Lines(1, "Invalid File Handle", readOnlySas, "Permission denied")},
      {{"snap", readOnlySas, "--key", "C", "--scale", "major"},
       Lines(1, "Invalid File Handle", readOnlySas, "Permission denied")},
      {{"info", unreadable}, Lines(1, "Invalid File Handle", unreadable, "Permission denied")},
      {{"report", wav, readOnlySas, wav}, "0\n"},  // reading it is enough
  };
  for (const Case& c : cases) {
    const ChildResult child = RunAsUser([&c](int& exitCode) {
      exitCode = 0;
      return Outcome(c.args);
    });
    EXPECT_EQ(child.output, c.expected) << ::testing::PrintToString(c.args);
  }
  fs::permissions(locked, fs::perms::all);
  EXPECT_EQ(ReadFile(target), "previous");
  EXPECT_EQ(ReadFile(readOnlySas), ReadFile(sas));
}

TEST_F(FileProblemsTest, TheHelpersSayNothingAboutASoundFileAndAlwaysOneLineWhenAsked) {
  EXPECT_EQ(cli::InputProblem(wav, cli::FileKind::Wav), std::nullopt);
  EXPECT_EQ(cli::InputProblem(sas, cli::FileKind::Sas, cli::FileUse::Change), std::nullopt);
  EXPECT_EQ(cli::InputProblem(wav, cli::FileKind::Any), std::nullopt);
  EXPECT_EQ(cli::OutputProblem(dir.File("new.wav")), std::nullopt);
  EXPECT_EQ(cli::OutputProblem(wav), std::nullopt);  // replaced whole
  std::ostringstream err;
  cli::ExplainInput(err, wav, cli::FileKind::Wav);
  cli::ExplainOutput(err, wav);
  EXPECT_EQ(err.str(),
            "vocara-cli: " + wav + ": could not be opened\nvocara-cli: " + wav + ": could not be written\n");
  // A refusal of the contents of a file of the right kind is the message alone.
  err.str("");
  EXPECT_EQ(cli::InputRefused(err, MessageId::NotMonoFile, wav, cli::FileKind::Wav), cli::ExitFailure);
  EXPECT_EQ(err.str(), "Not a mono file\n");
}

// A stream buffer that refuses every write (as a full disk does), or takes the writes and fails
// when flushed.
class FailingBuffer : public std::streambuf {
 public:
  explicit FailingBuffer(bool failAtFlush) : failAtFlush_(failAtFlush) {}

 protected:
  int_type overflow(int_type c) override {
    if (failAtFlush_) return traits_type::not_eof(c);
    errno = ENOSPC;
    return traits_type::eof();
  }
  std::streamsize xsputn(const char*, std::streamsize n) override {
    if (failAtFlush_) return n;
    errno = ENOSPC;
    return 0;
  }
  int sync() override {
    if (!failAtFlush_) return 0;
    errno = ENOSPC;
    return -1;
  }

 private:
  bool failAtFlush_;
};

TEST_F(FileProblemsTest, AFailedWriteToStandardOutputFailsTheRun) {
  const std::string said = "vocara-cli: could not write to standard output: No space left on device\n";
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"--help"},
           {"info", wav},
           {"info", sas},
           {"spectrum", wav, "--at", "100"},
           {"notes", wav, "--at", "100"},
           {"report", wav, sas, wav},
           {"report", wav, sas, wav, "--json"},
           {"repair", wav, sas},
       }) {
    for (const bool atFlush : {false, true}) {
      FailingBuffer buffer(atFlush);
      std::ostream out(&buffer);
      std::ostringstream err;
      EXPECT_EQ(cli::RunCli(args, out, err), cli::ExitFailure) << ::testing::PrintToString(args) << atFlush;
      EXPECT_EQ(err.str(), said) << ::testing::PrintToString(args) << atFlush;
    }
  }
  // A run that failed already keeps its exit code.
  FailingBuffer buffer(true);
  std::ostream out(&buffer);
  std::ostringstream err;
  EXPECT_EQ(cli::RunCli({"info"}, out, err), cli::ExitUsage);
}

TEST_F(FileProblemsTest, TheProcessReportsAFullStandardOutput) {
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{"--help"}, {"info", wav}, {"spectrum", wav, "--at", "0"}}) {
    const ChildResult child = RunWithFileSizeLimit(std::uint64_t{1} << 40, [&args](int& exitCode) {
      const int full = ::open("/dev/full", O_WRONLY);
      if (full < 0 || ::dup2(full, STDOUT_FILENO) < 0) return std::string("no /dev/full");
      std::ostringstream err;
      exitCode = cli::RunProcess(args, err);
      return err.str();
    });
    EXPECT_EQ(child.exitCode, cli::ExitFailure) << args[0];
    EXPECT_EQ(child.output, "vocara-cli: could not write to standard output: No space left on device\n")
        << args[0];
  }
}

}  // namespace
}  // namespace vocara::test
