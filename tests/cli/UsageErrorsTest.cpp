// Every subcommand's usage errors, in one table: exit 2, the problem on stderr as
// "vocara-cli: ..." followed by the pointer to --help and nothing else, nothing on stdout, and
// no file written or changed. A row may also name the words its problem must contain.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "base/Settings.h"
#include "cli/Cli.h"
#include "support/Recordings.h"
#include "support/SettingsFiles.h"
#include "support/TempDir.h"
#include "support/WavFiles.h"

namespace vocara::test {
namespace {

constexpr const char* Pointer = "\nTry 'vocara-cli --help' for more information.\n";

class UsageErrorsTest : public ::testing::Test {
 protected:
  UsageErrorsTest() {
    const std::vector<std::int32_t> sung = SungMelody({{60, 0, 1.0}});
    samples = sung.size();
    wav = WriteFile(dir.File("in.wav"), CanonicalWav(Format(2), Samples(2, sung)));
    std::ostringstream out;
    std::ostringstream err;
    EXPECT_EQ(cli::RunCli({"build", wav, sas}, out, err), cli::ExitSuccess) << err.str();
    GeneralSettings corrupt;
    corrupt.lowestNote = 88;
    WriteFile(bad, SettingsFileBytes(corrupt, WindowLayout::Defaults()));
    good = WriteFile(dir.File("good.INI"), SettingsFileBytes(GeneralSettings{}, WindowLayout::Defaults()));
    WriteFile(shortFile, SettingsFileBytes(GeneralSettings{}).substr(0, 112));
    GeneralSettings longer;
    longer.noiseLength = 8192;
    WriteFile(long8192, SettingsFileBytes(longer, WindowLayout::Defaults()));
  }

  // Every file of the folder with its bytes.
  std::map<std::string, std::string> Folder() const {
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path()))
      files[entry.path().filename().string()] = ReadFile(entry.path().string());
    return files;
  }

  TempDir dir;
  std::size_t samples = 0;
  std::string wav;
  std::string sas = dir.File("in.sas");
  std::string out = dir.File("out.wav");
  std::string txt = dir.File("out.txt");
  std::string bad = dir.File("bad.INI");
  std::string good;
  std::string shortFile = dir.File("short.INI");
  std::string long8192 = dir.File("long.INI");
};

TEST_F(UsageErrorsTest, EverySubcommandSaysTheProblemAndWritesNothing) {
  std::vector<std::string> elevenSines = {"generate", out};
  for (int i = 0; i < 11; ++i) elevenSines.insert(elevenSines.end(), {"--sine", "100,1"});
  struct Row {
    std::vector<std::string> args;
    std::string problem;  // words the problem must contain, when a row names them
  };
  const std::vector<Row> rows = {
      {{}, ""},
      {{"frobnicate"}, ""},
      {{"info"}, ""},
      {{"info", wav, "extra"}, ""},
      {{"save-range", wav, out}, ""},
      {{"build", wav, out, "--lowest"}, ""},
      {{"build", wav, out, "--highest", "C9"}, ""},
      {{"build", wav, out, "--instrument", "kazoo"}, ""},
      {{"build", wav, out, "--instrument", "auto", "--lowest", "H2"}, ""},  // before the recording is read
      {{"build", wav, out, "--threshold", "nan"}, ""},
      {{"build", wav, out, "--settings", bad}, ""},
      {{"build", wav, out, "--settings", shortFile}, ""},
      {{"build", wav, out, "--settings", good, "--settings", good}, ""},
      {{"build", wav, out, "--frobnicate", "1"}, ""},
      {{"build", wav, out, "extra.sas"}, ""},
      {{"correct", wav, sas}, ""},
      {{"correct", wav, sas, out, "--time-correction", "yes"}, ""},
      {{"correct", wav, sas, out, "--speed", "2"}, ""},
      {{"denoise", wav, out}, ""},                                                 // no --noise
      {{"denoise", wav, out, "--noise", "0:1000"}, ""},                            // shorter than 1024
      {{"denoise", wav, out, "--noise", "0:4000", "--noise-length", "4096"}, ""},  // shorter than 4096
      {{"denoise", wav, out, "--noise", "0:5000", "--settings", long8192}, ""},    // shorter than 8192
      {{"denoise", wav, out, "--noise", "0:5000", "--gain", "x"}, ""},
      {{"denoise", wav, out, "--noise", "0:5000", "--settings", wav}, ""},  // not a settings file
      {{"edit", sas, "other.sas"}, ""},
      {{"edit", sas, "--scale"}, ""},
      {{"edit", sas, "--scale", "abc"}, ""},  // not read as 0
      {{"edit", sas, "--scale", "1 5 0"}, ""},
      {{"edit", sas, "--speed", "2"}, ""},
      {{"edit", sas, "--silence", "--clear"}, ""},
      {{"edit", sas, "--silence", "--scale", "50"}, ""},
      {{"edit", sas, "--clear", "--range", "0:6"}, ""},
      {{"generate"}, ""},
      {{"generate", out, "other.wav"}, ""},
      {{"generate", out, "--sine", "100"}, ""},
      {{"generate", out, "--sine", "100,1,2,3"}, ""},
      {{"generate", out, "--square", "1,2,3,4,5"}, ""},
      {{"generate", out, "--noise", "x"}, ""},
      {{"generate", out, "--noise", "1", "--noise", "2"}, ""},
      {{"generate", out, "--duration"}, ""},
      {{"generate", out, "--volume", "3"}, ""},
      {elevenSines, ""},
      {{"import", wav}, "import takes IN OUT.wav"},
      {{"import", wav, out, "--bits", "20"}, "--bits takes 16, 24 or 32, not '20'"},
      {{"import", wav, out, "--channel", "centre"}, "--channel takes left, right, mix or a channel number"},
      {{"import", wav, out, "--rate", "8000"}, "--rate"},
      {{"pulse", wav, txt}, ""},
      {{"pulse", wav, txt, "-4"}, ""},
      {{"spectrum", wav}, ""},
      {{"spectrum", wav, "--at", "-1"}, ""},
      {{"spectrum", wav, "--at", std::to_string(samples + 1)}, ""},
      {{"spectrum", wav, "--at", "0", "--fft", "1000"}, ""},
      {{"spectrum", wav, "--at", "0", "--fft", "512"}, ""},
      {{"spectrum", wav, "--at", "0", "--window", "8"}, ""},
      {{"spectrum", wav, "--at", "0", "--mark", "3"}, ""},
      {{"peaks", wav, "--at", "0"}, ""},
      {{"peaks", wav, txt, "--at", "0", "--mark", "0"}, ""},
      {{"peaks", wav, txt, "--at", "0", "--mark", "512"}, ""},
      {{"peaks", wav, txt, "--at", "0", "--fft", "2048", "--mark", "1024"}, ""},
      {{"notes", wav, "--at", "0", "--lowest", "H2"}, ""},
      {{"notes", wav, "--at", "0", "--settings", wav}, ""},
      {{"snap", sas, "--scale", "major"}, "needs --key and --scale"},
      {{"snap", sas, "--key", "H", "--scale", "major"}, "key 'H'"},
      {{"snap", sas, "--key", "C", "--scale", "custom:0,12"}, "scale 'custom:0,12'"},
      {{"snap", sas, "--key", "C", "--scale", "major", "--drift"}, "--drift needs a value"},
      {{"note", sas, "--move", "10"}, "note needs --at FRAME or --range A:B"},
      {{"note", sas, "--at", "0", "--range", "0:1", "--move", "10"}, "note needs --at FRAME or --range A:B"},
      {{"note", sas, "--at", "0", "--move", "10", "--to", "C4"}, "note needs --move CENTS or --to NOTE"},
      {{"note", sas, "--at", "x", "--move", "10"}, "--at: 'x' is not a frame number"},
      {{"note", sas, "--at", "0", "--to", "Q9"}, "--to: 'Q9' is not a note"},
      {{"note", sas, "--at", "0", "--move", "10", "--drift", "101"}, "--drift: 101 is outside"},
      {{"midi", sas}, "midi takes IN.sas and OUT.mid"},
      {{"midi", sas, out, "--bend", "2"}, "midi takes IN.sas and OUT.mid"},
      {{"guide", sas}, "guide takes IN.sas and GUIDE.mid"},
      {{"guide", sas, "guide.mid", "--timing", "101"}, "--timing: 101 is outside"},
      {{"guide", sas, "guide.mid", "--centre", "x"}, "--centre: 'x' is not a number"},
      {{"guide", sas, "guide.mid", "--track", "0"}, "--track: 0 is outside"},
      {{"guide", sas, "guide.mid", "--channel", "1.5"}, "--channel: '1.5' is not a whole number"},
      {{"guide", sas, "guide.mid", "--channel", "17"}, "--channel: 17 is outside"},
      {{"reanalyse", wav, sas, "--lowest", "B3"}, "needs --lowest and --highest"},
      {{"reanalyse", wav, sas, "--lowest", "B3", "--highest", "Q9"}, "notes are"},
      {{"repair", wav}, "repair takes"},
      {{"report", wav, sas, wav, "--time-correction", "maybe"}, "on or off"},
      {{"report", wav, sas, "--time-correction", "on"}, "OUT.wav, which is not given"},
      {{"report", wav, sas, wav, "--formants", "both"}, "keep or shift, not 'both'"},
      {{"report", wav, sas, "--formants", "keep"}, "OUT.wav, which is not given"},
      {{"correct", wav, sas, "out.wav", "--formants", "both"}, "keep or shift, not 'both'"},
      {{"report", wav}, "report takes IN.wav and IN.sas"},
  };
  const auto before = Folder();
  for (const Row& row : rows) {
    std::ostringstream stdoutText;
    std::ostringstream stderrText;
    const std::string args = ::testing::PrintToString(row.args);
    EXPECT_EQ(cli::RunCli(row.args, stdoutText, stderrText), cli::ExitUsage) << args;
    const std::string text = stderrText.str();
    EXPECT_TRUE(text.starts_with("vocara-cli: ")) << args << '\n' << text;
    EXPECT_NE(text.find(row.problem), std::string::npos) << args << '\n' << text;
    // The problem and the pointer, not the whole usage text.
    EXPECT_TRUE(text.ends_with(Pointer)) << args << '\n' << text;
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2) << args << '\n' << text;
    EXPECT_EQ(stdoutText.str(), "") << args;
  }
  EXPECT_EQ(Folder(), before);
}

// The parts of a text joined (an ostringstream: GCC 12 warns wrongly on some string sums).
std::string Join(std::initializer_list<std::string_view> parts) {
  std::ostringstream text;
  for (const std::string_view part : parts) text << part;
  return text.str();
}

// The range problems word for word, from every command that takes a range: text that is not a
// range (no colon, A > B, not whole numbers, signs, nothing) is quoted; an end past the data is
// said against the file it was checked against, in samples of a WAV or frames of a SAS, and
// correct and report leave the range unquoted. Nothing is written or changed.
TEST_F(UsageErrorsTest, EveryCommandSaysARangeProblemInTheSameWords) {
  std::ostringstream info;
  std::ostringstream infoErr;
  ASSERT_EQ(cli::RunCli({"info", sas}, info, infoErr), cli::ExitSuccess);
  const std::string infoText = info.str();
  const std::size_t at = infoText.find("frames=") + 7;
  const std::string frames = infoText.substr(at, infoText.find('\n', at) - at);
  const std::string pastFrames = Join({"0:", std::to_string(std::stoul(frames) + 1)});
  const std::string pastSamples = Join({"0:", std::to_string(samples + 1)});
  const std::string inSamples = Join({std::to_string(samples), " samples of ", wav});
  const std::string inFrames = Join({frames, " frames of ", sas});
  const std::string quotedSamples = Join({"'", pastSamples, "' ends past the ", inSamples});
  const std::string quotedFrames = Join({"'", pastFrames, "' ends past the ", inFrames});
  const std::string unquotedSamples = Join({"ends past the ", inSamples});
  struct Command {
    std::vector<std::string> args;  // the range goes last
    std::string past;               // the range that ends past the data
    std::string pastProblem;        // what is said of it, after "range "
  };
  const std::vector<Command> commands = {
      {{"save-range", wav, out}, pastSamples, quotedSamples},
      {{"export-text", wav, txt}, pastSamples, quotedSamples},
      {{"correct", wav, sas, out, "--range"}, pastSamples, unquotedSamples},
      {{"edit", sas, "--range"}, pastFrames, quotedFrames},
      {{"denoise", wav, out, "--noise"}, pastSamples, quotedSamples},
      {{"denoise", wav, out, "--noise", "0:5000", "--add"}, pastSamples, quotedSamples},
      {{"snap", sas, "--key", "C", "--scale", "major", "--range"}, pastFrames, quotedFrames},
      {{"note", sas, "--move", "10", "--range"}, pastFrames, quotedFrames},
      {{"guide", sas, "guide.mid", "--range"}, pastFrames, quotedFrames},
      {{"reanalyse", wav, sas, "--lowest", "B3", "--highest", "D7", "--range"}, pastFrames, quotedFrames},
      {{"repair", wav, sas, "--range"}, pastFrames, quotedFrames},
      {{"report", wav, sas, "--range"}, pastSamples, unquotedSamples},
      {{"report", wav, sas, "--json", "--range"}, pastSamples, unquotedSamples},
      {{"report", wav, sas, wav, "--range"}, pastSamples, unquotedSamples},
  };
  const auto before = Folder();
  for (const Command& command : commands) {
    std::vector<std::pair<std::string, std::string>> cases = {{command.past, command.pastProblem}};
    for (const char* text :
         {"2", "20:10", "a:b", "1:x", "0:1e3", "-1:5", "+1:5", "", ":", "5:", "1:2:3", "0:4294967296"})
      cases.emplace_back(text, Join({"'", text, "' is not A:B with whole numbers A <= B"}));
    for (const auto& [range, problem] : cases) {
      std::vector<std::string> args = command.args;
      args.push_back(range);
      std::ostringstream stdoutText;
      std::ostringstream stderrText;
      const std::string printed = ::testing::PrintToString(args);
      EXPECT_EQ(cli::RunCli(args, stdoutText, stderrText), cli::ExitUsage) << printed;
      EXPECT_EQ(stderrText.str(), Join({"vocara-cli: range ", problem, Pointer})) << printed;
      EXPECT_EQ(stdoutText.str(), "") << printed;
    }
  }
  EXPECT_EQ(Folder(), before);
}

}  // namespace
}  // namespace vocara::test
