// Numbers on the command line: read whole by every subcommand (a slip is a usage error that
// changes nothing), a value a dialog would clamp clamped and said, and snap and reanalyse
// refusing values outside their dialogs' ranges.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "cli/Cli.h"
#include "engine/wav/WavDocument.h"
#include "support/SasFiles.h"
#include "support/TempDir.h"
#include "support/WavFiles.h"

namespace vocara::test {
namespace {

std::string FirstLine(const std::string& text) { return text.substr(0, text.find('\n')); }

class NumberArgumentsTest : public ::testing::Test {
 protected:
  NumberArgumentsTest() {
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
  int Run(const std::vector<std::string>& args) {
    out.str("");
    err.str("");
    return cli::RunCli(args, out, err);
  }

  TempDir dir;
  std::string wav;
  std::string sas;
  std::string output = dir.File("out.any");
  std::ostringstream out;
  std::ostringstream err;
};

TEST_F(NumberArgumentsTest, ANumberThatIsNotWholeOrOutOfRangeIsAUsageErrorThatChangesNothing) {
  const std::vector<std::string> snap = {"snap", sas, "--key", "C", "--scale", "major"};
  const auto Snap = [&snap](std::vector<std::string> more) {
    std::vector<std::string> args = snap;
    args.insert(args.end(), more.begin(), more.end());
    return args;
  };
  struct Case {
    std::vector<std::string> args;
    std::string first;  // the first line of stderr
  };
  const std::vector<Case> cases{
      // Fields the dialogs read leniently: text that was no number once read as 0.
      {Snap({"--reference", "44O"}), "vocara-cli: --reference: '44O' is not a number"},
      {Snap({"--centre", "abc"}), "vocara-cli: --centre: 'abc' is not a number"},
      {Snap({"--drift", ""}), "vocara-cli: --drift: '' is not a number"},
      {Snap({"--retune", "nan"}), "vocara-cli: --retune: 'nan' is not a number"},
      {Snap({"--retune", "inf"}), "vocara-cli: --retune: 'inf' is not a number"},
      {Snap({"--reference", "4.4e2"}), "vocara-cli: --reference: '4.4e2' is not a number"},
      {Snap({"--centre", "5 0"}), "vocara-cli: --centre: '5 0' is not a number"},
      {Snap({"--centre", "."}), "vocara-cli: --centre: '.' is not a number"},
      {{"edit", sas, "--scale", "x"}, "vocara-cli: --scale: 'x' is not a number"},
      {{"edit", sas, "--transpose", "abc"}, "vocara-cli: --transpose: 'abc' is not a number"},
      {{"edit", sas, "--transpose", "12-3"}, "vocara-cli: --transpose: '12-3' is not a number"},
      {{"edit", sas, "--disable-above", "1.2.3"}, "vocara-cli: --disable-above: '1.2.3' is not a number"},
      {{"edit", sas, "--enable-below", "-inf"}, "vocara-cli: --enable-below: '-inf' is not a number"},
      {{"edit", sas, "--silence-below", ""}, "vocara-cli: --silence-below: '' is not a number"},
      // Our own subcommands refuse what their dialogs would limit.
      {Snap({"--centre", "150"}), "vocara-cli: --centre: 150 is outside 0 .. 100"},
      {Snap({"--drift", "-0.5"}), "vocara-cli: --drift: -0.5 is outside 0 .. 100"},
      {Snap({"--retune", "1000.5"}), "vocara-cli: --retune: 1000.5 is outside 0 .. 1000"},
      {Snap({"--reference", "414.99"}), "vocara-cli: --reference: 414.99 is outside 415 .. 466"},
      {Snap({"--reference", "467"}), "vocara-cli: --reference: 467 is outside 415 .. 466"},
      {{"reanalyse", wav, sas, "--lowest", "88", "--highest", "C5"},
       "vocara-cli: --lowest: 88 is outside 0 .. 87"},
      {{"reanalyse", wav, sas, "--lowest", "B3", "--highest", "-1"},
       "vocara-cli: --highest: -1 is outside 0 .. 87"},
      // Numbers that were read whole already keep their messages.
      {{"build", wav, output, "--chunk", "3x"}, "vocara-cli: --chunk takes a number, not '3x'"},
      {{"build", wav, output, "--threshold", ""}, "vocara-cli: --threshold takes a number, not ''"},
      {{"build", wav, output, "--lowest", "inf"},
       "vocara-cli: 'inf' is not a note index 0..87 or a note name A0 .. C8"},
      {{"denoise", wav, output, "--noise", "0:8192", "--gain", "inf"},
       "vocara-cli: --gain takes a number, not 'inf'"},
      {{"denoise", wav, output, "--noise", "0:8192", "--noise-length", "2048x"},
       "vocara-cli: --noise-length takes a number, not '2048x'"},
      {{"generate", output, "--duration", "nan"}, "vocara-cli: --duration takes a number, not 'nan'"},
      {{"generate", output, "--sine", "440,5x"}, "vocara-cli: --sine takes F,A[,PHASE], not '440,5x'"},
      {{"generate", output, "--noise", "-inf"}, "vocara-cli: --noise takes a number, not '-inf'"},
      {{"spectrum", wav, "--at", "5.5"}, "vocara-cli: --at takes a sample index, not '5.5'"},
      {{"spectrum", wav, "--at", "0", "--fft", "4096x"},
       "vocara-cli: --fft takes a power of two from 1024 to 1048576, not '4096x'"},
      {{"spectrum", wav, "--at", "0", "--window", "nan"}, "vocara-cli: --window takes 0 .. 7, not 'nan'"},
      {{"peaks", wav, output, "--at", "0", "--mark", "3x"},
       "vocara-cli: --mark takes a bin from 1 to 511, not '3x'"},
      {{"notes", wav, "--at", ""}, "vocara-cli: --at takes a sample index, not ''"},
      {{"pulse", wav, output, "100", "12x"}, "vocara-cli: position '12x' is not a whole sample number"},
      {{"save-range", wav, output, "1:2x"}, "vocara-cli: range '1:2x' is not A:B with whole numbers A <= B"},
      {{"correct", wav, sas, output, "--range", "0:1e3"},
       "vocara-cli: range '0:1e3' is not A:B with whole numbers A <= B"},
      {{"repair", wav, sas, "--range", "0:"}, "vocara-cli: range '0:' is not A:B with whole numbers A <= B"},
      {{"report", wav, sas, wav, "--range", "x"},
       "vocara-cli: range 'x' is not A:B with whole numbers A <= B"},
  };
  const std::string wavBytes = ReadFile(wav);
  const std::string sasBytes = ReadFile(sas);
  for (const Case& c : cases) {
    const std::string shown = ::testing::PrintToString(c.args);
    EXPECT_EQ(Run(c.args), cli::ExitUsage) << shown;
    EXPECT_EQ(err.str(), c.first + "\nTry 'vocara-cli --help' for more information.\n") << shown;
    EXPECT_EQ(out.str(), "") << shown;
    EXPECT_EQ(ReadFile(wav), wavBytes) << shown;
    EXPECT_EQ(ReadFile(sas), sasBytes) << shown;
    EXPECT_FALSE(std::filesystem::exists(output)) << shown;
  }
}

TEST_F(NumberArgumentsTest, ValuesInRangeAndDialogTextStillWork) {
  const std::string before = ReadFile(sas);
  // The dialog's own reading: a sign and a bare point are fine, the bounds are inside.
  for (const std::vector<std::string>& numbers : std::vector<std::vector<std::string>>{
           {"--reference", "415", "--centre", "+100", "--drift", "0.", "--retune", "1000"},
           {"--reference", "466", "--centre", ".5", "--drift", "100", "--retune", "0"},
       }) {
    std::vector<std::string> args = {"snap", sas, "--key", "C", "--scale", "major"};
    args.insert(args.end(), numbers.begin(), numbers.end());
    EXPECT_EQ(Run(args), cli::ExitSuccess) << err.str();
    EXPECT_EQ(err.str(), "");
  }
  EXPECT_EQ(Run({"reanalyse", wav, sas, "--lowest", "0", "--highest", "87"}), cli::ExitSuccess) << err.str();
  EXPECT_EQ(Run({"edit", sas, "--transpose", "-12.5", "--scale", "+50"}), cli::ExitSuccess);
  EXPECT_EQ(err.str(), "");  // whole cents are the field's own rule, not a clamp
  EXPECT_NE(ReadFile(sas), before);
}

TEST_F(NumberArgumentsTest, AClampedValueIsUsedAndSaidAfterTheRun) {
  struct Case {
    std::vector<std::string> args;
    std::string said;
  };
  const std::vector<Case> cases{
      {{"generate", output, "--duration", "0.5"}, "--duration 0.5 is below 1; using 1\n"},
      {{"generate", output, "--duration", "1", "--sine", "30000,150,-400", "--square", "100,5,0,101"},
       "--sine frequency 30000 is above 20000; using 20000\n"
       "vocara-cli: --sine amplitude 150 is above 100; using 100\n"
       "vocara-cli: --sine phase -400 is below -360; using -360\n"
       "vocara-cli: --square duty 101 is above 100; using 100\n"},
      {{"build", wav, output, "--chunk", "9", "--threshold", "1"},
       "--chunk 9 is above 5; using 5\nvocara-cli: --threshold 1 is below 5; using 5\n"},
      {{"build", wav, output, "--instrument", "99", "--lowest", "-3"},
       "--instrument 99 is above 68; using 68\nvocara-cli: --lowest -3 is below 0; using 0\n"},
      {{"edit", sas, "--scale", "2000", "--transpose", "-5000", "--silence-below", "101"},
       "--scale 2000 is above 1000; using 1000\n"
       "vocara-cli: --transpose -5000 is below -1200; using -1200\n"
       "vocara-cli: --silence-below 101 is above 100; using 100\n"},
      {{"denoise", wav, output, "--noise", "0:8192", "--gain", "9", "--white-noise", "-1"},
       "--white-noise -1 is below 0; using 0\nvocara-cli: --gain 9 is above 5; using 5\n"},
      {{"notes", wav, "--at", "100", "--highest", "99"}, "--highest 99 is above 87; using 87\n"},
  };
  for (const Case& c : cases) {
    const std::string shown = ::testing::PrintToString(c.args);
    EXPECT_EQ(Run(c.args), cli::ExitSuccess) << shown << err.str();
    EXPECT_EQ(err.str(), "vocara-cli: " + c.said) << shown;
  }
  // The same values in range: nothing to say.
  EXPECT_EQ(Run({"build", wav, output, "--chunk", "5", "--threshold", "5", "--lowest", "0"}),
            cli::ExitSuccess);
  EXPECT_EQ(err.str(), "");
}

TEST_F(NumberArgumentsTest, AFailureKeepsItsFirstLineAndTheClampIsSaidAfter) {
  const std::string missing = dir.File("missing.wav");
  EXPECT_EQ(Run({"build", missing, output, "--chunk", "9"}), cli::ExitFailure);
  EXPECT_EQ(err.str(), "Invalid File Handle\nvocara-cli: " + missing +
                           ": No such file or directory\nvocara-cli: --chunk 9 is above 5; using 5\n");
  // A usage error says only the problem.
  EXPECT_EQ(Run({"build", wav, output, "--chunk", "9", "--frobnicate"}), cli::ExitUsage);
  EXPECT_EQ(FirstLine(err.str()), "vocara-cli: unknown option '--frobnicate'");
  EXPECT_EQ(err.str().find("using"), std::string::npos);
}

TEST_F(NumberArgumentsTest, HelpGivesEveryRangeWithinOneHundredColumns) {
  ASSERT_EQ(Run({"--help"}), cli::ExitSuccess);
  std::istringstream lines(out.str());
  for (std::string line; std::getline(lines, line);) EXPECT_LE(line.size(), 100u) << line;
  for (const char* range :
       {"0 .. 68", "A0 .. C8", "chunk 1 .. 5", "threshold 5 .. 100", "scale 0 .. 1000", "-1200 .. 1200",
        "0 .. 32768", "gain 0 .. 5", "1024 .. 1048576", "K 0..7", "1 .. N/2 - 1", "S 1 .. 60", "F 0 .. 20000",
        "-360 .. 360", "415 .. 466", "(0 .. 1000, 40)", "(0 .. 87"})
    EXPECT_NE(out.str().find(range), std::string::npos) << range;
}

}  // namespace
}  // namespace vocara::test
