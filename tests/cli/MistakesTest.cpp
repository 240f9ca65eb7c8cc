// A mistake on the command line harms nothing and is named: a number that is not whole is a
// usage error, a value a dialog would clamp is clamped and said, snap and reanalyse refuse
// values outside their dialogs' ranges, a file that cannot be used is named with the reason,
// and a failed write to standard output fails the run.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

#include "cli/Cli.h"
#include "engine/sas/SasDocument.h"
#include "engine/wav/WavDocument.h"
#include "support/ChildProcess.h"
#include "support/SasFiles.h"
#include "support/TempDir.h"
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
  std::ostringstream out, err;
  const int exit = cli::RunCli(args, out, err);
  return std::to_string(exit) + "\n" + err.str();
}

std::string Usage(const std::string& problem) {
  return "2\nvocara-cli: " + problem + "\nTry 'vocara-cli --help' for more information.\n";
}

std::string Refused(const std::string& first, const std::string& path, const std::string& reason) {
  return "1\n" + first + "\nvocara-cli: " + path + ": " + reason + "\n";
}

class MistakesTest : public ::testing::Test {
 protected:
  MistakesTest() {
    fs::permissions(dir.Path(), fs::perms::all);  // for the child that gives up root
    wav = WriteFile(dir.File("in.wav"), CanonicalWav(Format(2, 22050), Samples(2, std::vector(20000, 1000))));
    WavDocument document;
    EXPECT_EQ(WavOpenDocument(document, wav).message, MessageId::None);
    sas = WriteSasFile(dir.File("in.sas"), SasHeaderFor(1000, 22050, document.checksum, 20),
                       std::vector<SasFrame>(20, FreshFrame(4800, -1000, 1000)), EndLinks(20000));
  }
  Args Snap(const std::string& option, const std::string& value) const {
    return {"snap", sas, "--key", "C", "--scale", "major", option, value};
  }

  TempDir dir;
  std::string wav, sas, output = dir.File("out.any");
};

TEST_F(MistakesTest, ANumberNotWholeOrOutOfRangeIsAUsageErrorThatChangesNothing) {
  const std::vector<Case> cases{
      // Fields once read as the dialogs read them, where text that was no number read as 0.
      {Snap("--reference", "44O"), Usage("--reference: '44O' is not a number")},
      {Snap("--centre", ""), Usage("--centre: '' is not a number")},
      {Snap("--drift", "nan"), Usage("--drift: 'nan' is not a number")},
      {Snap("--retune", "4e2"), Usage("--retune: '4e2' is not a number")},
      {{"edit", sas, "--scale", "x"}, Usage("--scale: 'x' is not a number")},
      {{"edit", sas, "--transpose", "12-3"}, Usage("--transpose: '12-3' is not a number")},
      {{"edit", sas, "--enable-below", "-inf"}, Usage("--enable-below: '-inf' is not a number")},
      // Our own subcommands refuse what their dialogs would limit.
      {Snap("--centre", "150"), Usage("--centre: 150 is outside 0 .. 100")},
      {Snap("--drift", "-0.5"), Usage("--drift: -0.5 is outside 0 .. 100")},
      {Snap("--retune", "1000.5"), Usage("--retune: 1000.5 is outside 0 .. 1000")},
      {Snap("--reference", "414.99"), Usage("--reference: 414.99 is outside 415 .. 466")},
      {{"reanalyse", wav, sas, "--lowest", "88", "--highest", "C5"},
       Usage("--lowest: 88 is outside 0 .. 87")},
      // Options read whole already keep their messages.
      {{"build", wav, output, "--chunk", "3x"}, Usage("--chunk takes a number, not '3x'")},
      {{"denoise", wav, output, "--noise", "0:8192", "--gain", "inf"},
       Usage("--gain takes a number, not 'inf'")},
      {{"generate", output, "--sine", "440,5x"}, Usage("--sine takes F,A[,PHASE], not '440,5x'")},
      {{"spectrum", wav, "--at", "5.5"}, Usage("--at takes a sample index, not '5.5'")},
      {{"peaks", wav, output, "--at", "0", "--mark", "nan"},
       Usage("--mark takes a bin from 1 to 511, not 'nan'")},
      {{"notes", wav, "--at", ""}, Usage("--at takes a sample index, not ''")},
      {{"pulse", wav, output, "12x"}, Usage("position '12x' is not a whole sample number")},
      {{"correct", wav, sas, output, "--range", "0:1e3"},
       Usage("range '0:1e3' is not A:B with whole numbers A <= B")},
      {{"report", wav, sas, wav, "--range", "0:"}, Usage("range '0:' is not A:B with whole numbers A <= B")},
  };
  const std::string wavBytes = ReadFile(wav), sasBytes = ReadFile(sas);
  for (const Case& c : cases) {
    EXPECT_EQ(Outcome(c.args), c.err) << ::testing::PrintToString(c.args);
    EXPECT_TRUE(ReadFile(wav) == wavBytes && ReadFile(sas) == sasBytes && !fs::exists(output));
  }
  // The dialog's own texts still work: a sign, a bare point, the bounds.
  EXPECT_EQ(Outcome({"snap", sas, "--key", "C", "--scale", "major", "--reference", "+415", "--centre", ".5",
                     "--drift", "100.", "--retune", "1000"}),
            "0\n");
}

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
  // A failure keeps its first line; a usage error says only the problem.
  const std::string missing = dir.File("missing.wav");
  EXPECT_EQ(Outcome({"build", missing, output, "--chunk", "9"}),
            Refused("Invalid File Handle", missing, "No such file or directory") +
                "vocara-cli: --chunk 9 is above 5; using 5\n");
  EXPECT_EQ(Outcome({"build", wav, output, "--chunk", "9", "--x"}), Usage("unknown option '--x'"));
}

TEST_F(MistakesTest, TheSecondLineNamesTheFileAndTheReason) {
  const std::string missing = dir.File("missing.sas"), folder = dir.File("take");
  const std::string noFolder = dir.File("out/x.wav"), underFile = wav + "/x.wav";
  fs::create_directory(folder);
  SasDocument asSas;
  const std::string wavAsSas(MessageText(SasOpenDocument(asSas, wav, SasAccess::ReadOnly)));
  WavDocument asWav;
  const std::string sasAsWav(MessageText(WavOpenDocument(asWav, sas).message));
  const std::string notSas = "a WAV recording, not a SAS file", invalid = "Invalid File Handle";
  const std::vector<Case> cases{
      {{"info", folder}, Refused(invalid, folder, "Is a directory")},
      {{"info", "/dev/null"}, Refused(invalid, "/dev/null", "not a regular file")},
      {{"correct", wav, missing, output}, Refused(invalid, missing, "No such file or directory")},
      {{"report", wav, sas, folder}, Refused(invalid, folder, "Is a directory")},
      {{"correct", wav, wav, output}, Refused(wavAsSas, wav, notSas)},
      {{"edit", wav, "--clear"}, Refused(wavAsSas, wav, notSas)},
      {{"repair", sas, sas}, Refused(sasAsWav, sas, "a SAS file, not a WAV recording")},
      {{"save-range", wav, noFolder, "0:10"}, Refused(invalid, noFolder, "No such file or directory")},
      {{"build", wav, noFolder}, Refused(invalid, noFolder, "No such file or directory")},
      {{"peaks", wav, underFile, "--at", "0"}, Refused(invalid, underFile, "Not a directory")},
  };
  const std::string wavBytes = ReadFile(wav), sasBytes = ReadFile(sas);
  for (const Case& c : cases) {
    EXPECT_EQ(Outcome(c.args), c.err) << ::testing::PrintToString(c.args);
    EXPECT_TRUE(ReadFile(wav) == wavBytes && ReadFile(sas) == sasBytes && !fs::exists(output));
  }
  // A refusal of a file's contents says what the file is, and what converts it.
  FormatFields twoChannels = Format(4);
  twoChannels.channels = 2;
  const std::string stereo = WriteFile(dir.File("s.wav"), CanonicalWav(twoChannels, Samples(4, {1, 2})));
  EXPECT_EQ(Outcome({"correct", stereo, sas, output}),
            "1\nNot a mono file\nvocara-cli: " + stereo + ": a 32-bit stereo WAV file; vocara-cli import " +
                stereo + " OUT.wav converts it (the mean of the channels, or --channel N)\n");
}

TEST_F(MistakesTest, PermissionsAreNamedForAUserWhoLacksThem) {
  const std::string locked = dir.File("locked");
  fs::create_directory(locked);
  const std::string target = WriteFile(locked + "/x.wav", "previous");
  const std::string readOnly = WriteFile(dir.File("ro.sas"), ReadFile(sas));
  const std::string secret = WriteFile(dir.File("secret.wav"), ReadFile(wav));
  const auto r = fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read;
  const auto x = fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec;
  fs::permissions(target, r);
  fs::permissions(locked, r | x);
  fs::permissions(readOnly, r);
  fs::permissions(secret, fs::perms::none);
  const std::string denied = "Permission denied", invalid = "Invalid File Handle";
  const std::vector<Case> cases{
      {{"save-range", wav, target, "0:10"}, Refused(invalid, target, denied)},  // and its folder read-only
      {{"edit", readOnly, "--transpose", "100"}, Refused(invalid, readOnly, denied)},
      {{"info", secret}, Refused(invalid, secret, denied)},
      {{"report", wav, readOnly, wav}, "0\n"},  // reading it is enough
  };
  for (const Case& c : cases)
    EXPECT_EQ(RunAsUser([&c](int&) { return Outcome(c.args); }).output, c.err)
        << ::testing::PrintToString(c.args);
  fs::permissions(locked, fs::perms::all);
  EXPECT_EQ(ReadFile(target), "previous");
  EXPECT_EQ(ReadFile(readOnly), ReadFile(sas));
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
