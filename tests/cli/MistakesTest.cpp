// A mistake on the command line harms nothing and is named: a value a dialog would clamp is
// clamped and said, a permission the user lacks is named, and a failed write to standard output
// fails the run.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

#include "CliRun.h"
#include "support/SasFiles.h"
#include "support/WavFiles.h"

namespace vocara::test {
namespace {

namespace fs = std::filesystem;
using Args = std::vector<std::string>;

struct Case {
  Args args;
  std::string err;  // the whole of stderr
};

// "EXIT\nstderr", so that a run in a child process comes back whole.
std::string Outcome(const Args& args) {
  std::string err;
  const int exit = RunInProcess(args, &err);
  return std::to_string(exit) + "\n" + err;
}

std::string Refused(const std::string& first, const std::string& path, const std::string& reason) {
  return "1\n" + first + "\nvocara-cli: " + path + ": " + reason + "\n";
}

class MistakesTest : public ::testing::Test {
 protected:
  MistakesTest() {
    fs::permissions(dir.Path(), fs::perms::all);  // for the child that gives up root
    wav = WriteWav16(dir.File("in.wav"), std::vector(20000, 1000), 22050);
    sas = WriteSasFile(dir.File("in.sas"), SasHeaderFor(1000, 22050, WavChecksum(wav), 20),
                       std::vector<SasFrame>(20, FreshFrame(4800, -1000, 1000)), EndLinks(20000));
  }
  TempDir dir;
  std::string wav, sas, output = dir.File("out.any");
};

TEST_F(MistakesTest, AClampedValueIsUsedAndSaidAfterTheRun) {
  const std::vector<Case> cases{
      {{"generate", output, "--duration", "0.5", "--sine", "30000,50", "--square", "100,5,0,101"},
       "--duration 0.5 is below 1; using 1\n--sine frequency 30000 is above 20000; using 20000\n"
       "--square duty 101 is above 100; using 100\n"},
      {{"build", wav, output, "--instrument", "99", "--lowest", "-3", "--chunk", "9"},
       "--instrument 99 is above 68; using 68\n--lowest -3 is below 0; using 0\n--chunk 9 is above 5; using "
       "5\n"},
      {{"edit", sas, "--scale", "2000", "--transpose", "-5000.5"},
       "--scale 2000 is above 1000; using 1000\n--transpose -5000.5 is below -1200; using -1200\n"},
      {{"denoise", wav, output, "--noise", "0:8192", "--gain", "9"}, "--gain 9 is above 5; using 5\n"},
      {{"notes", wav, "--at", "100", "--highest", "99"}, "--highest 99 is above 87; using 87\n"},
      {{"edit", sas, "--transpose", "12.5", "--silence-below", "100"}, ""},  // whole cents: the field's rule
  };
  for (const Case& c : cases) {
    fs::remove(output);  // a WAV, then a SAS: neither replaces the other
    std::string expected = "0\n";
    std::istringstream lines(c.err);
    for (std::string line; std::getline(lines, line);) expected += "vocara-cli: " + line + "\n";
    EXPECT_EQ(Outcome(c.args), expected) << ::testing::PrintToString(c.args);
  }
  // A failure keeps its first line.
  const std::string missing = dir.File("missing.wav");
  EXPECT_EQ(Outcome({"build", missing, output, "--chunk", "9"}),
            Refused("Invalid File Handle", missing, "No such file or directory") +
                "vocara-cli: --chunk 9 is above 5; using 5\n");
}

// Refuses every write as a full disk does, or takes them and fails when flushed.
class FullBuffer : public std::streambuf {
 public:
  explicit FullBuffer(bool atFlush) : atFlush_(atFlush) {}

 protected:
  int_type overflow(int_type c) override {
    return atFlush_ ? traits_type::not_eof(c) : Full(traits_type::eof());
  }
  std::streamsize xsputn(const char*, std::streamsize n) override { return atFlush_ ? n : Full(0); }
  int sync() override { return atFlush_ ? Full(-1) : 0; }

 private:
  template <typename T>
  static T Full(T result) {
    errno = ENOSPC;
    return result;
  }
  bool atFlush_;
};

TEST_F(MistakesTest, AFailedWriteToStandardOutputFailsTheRun) {
  const std::string said = "vocara-cli: could not write to standard output: No space left on device\n";
  for (const Args& args : std::vector<Args>{{"--help"},
                                            {"info", wav},
                                            {"info", sas},
                                            {"spectrum", wav, "--at", "100"},
                                            {"notes", wav, "--at", "100"},
                                            {"report", wav, sas, wav, "--json"}}) {
    for (const bool atFlush : {false, true}) {
      FullBuffer buffer(atFlush);
      std::ostream out(&buffer);
      std::ostringstream err;
      EXPECT_EQ(cli::RunCli(args, out, err), cli::ExitFailure) << args[0] << atFlush;
      EXPECT_EQ(err.str(), said) << args[0] << atFlush;
    }
    // The process itself, its standard output on a full device.
    const ChildResult child = RunWithFileSizeLimit(std::uint64_t{1} << 40, [&args](int& exitCode) {
      const int full = ::open("/dev/full", O_WRONLY);
      if (full < 0 || ::dup2(full, STDOUT_FILENO) < 0) return std::string("no /dev/full");
      std::ostringstream err;
      exitCode = cli::RunProcess(args, err);
      return err.str();
    });
    EXPECT_EQ(child.exitCode, cli::ExitFailure) << args[0];
    EXPECT_EQ(child.output, said) << args[0];
  }
}

}  // namespace
}  // namespace vocara::test
