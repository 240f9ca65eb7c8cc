// Every usage error of every subcommand, in one table: exit 2, the problem on stderr as
// "vocara-cli: ..." (and "did you mean" on a line of its own) followed by the pointer to --help
// and nothing else, nothing on stdout, and no file written or changed. A row may also name the
// words its problem must contain: numbers that are not whole or lie outside a dialog's range,
// options read whole, mistyped names.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "CliRun.h"
#include "base/Settings.h"
#include "support/Recordings.h"
#include "support/SettingsFiles.h"
#include "support/TempDir.h"
#include "support/WavFiles.h"

namespace vocara::test {
namespace {

constexpr const char* Pointer = "\nTry 'vocara-cli --help' for more information.\n";

class UsageErrorsTest : public CliFixture {
 protected:
  UsageErrorsTest() {
    const std::vector<std::int32_t> sung = SungMelody({{60, 0, 1.0}});
    samples = sung.size();
    wav = WriteWav16(dir.File("in.wav"), sung);
    EXPECT_EQ(Run({"build", wav, sas}), cli::ExitSuccess) << err.str();
    WriteFile(bad, SettingsFileBytes({.lowestNote = 88}, WindowLayout::Defaults()));
    good = WriteFile(dir.File("good.INI"), SettingsFileBytes(GeneralSettings{}, WindowLayout::Defaults()));
    WriteFile(shortFile, SettingsFileBytes(GeneralSettings{}).substr(0, 112));
    WriteFile(long8192, SettingsFileBytes({.noiseLength = 8192}, WindowLayout::Defaults()));
  }

  // Every file of the folder with its bytes.
  std::map<std::string, std::string> Folder() const {
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path()))
      files[entry.path().filename().string()] = ReadFile(entry.path().string());
    return files;
  }

  std::size_t samples = 0;
  std::string wav;
  std::string sas = dir.File("in.sas");
  std::string output = dir.File("out.wav");
  std::string txt = dir.File("out.txt");
  std::string bad = dir.File("bad.INI");
  std::string good;
  std::string shortFile = dir.File("short.INI");
  std::string long8192 = dir.File("long.INI");
};

TEST_F(UsageErrorsTest, EverySubcommandSaysTheProblemAndWritesNothing) {
  std::vector<std::string> elevenSines = {"generate", output};
  for (int i = 0; i < 11; ++i) elevenSines.insert(elevenSines.end(), {"--sine", "100,1"});
  struct Row {
    std::vector<std::string> args;
    std::string problem;  // words the problem must contain, when a row names them
  };
  const auto Snap = [this](const std::string& option, const std::string& value) {
    return std::vector<std::string>{"snap", sas, "--key", "C", "--scale", "major", option, value};
  };
  const auto Instrument = [this](const std::string& name) {
    return std::vector<std::string>{"build", wav, output, "--instrument", name};
  };
  const auto Unknown = [](const std::string& name) {
    return "unknown instrument '" + name + "' (vocara-cli instruments lists them)";
  };
  const std::vector<Row> rows = {
      {{}, ""},
      {{"info"}, ""},
      {{"info", wav, "extra"}, ""},
      {{"save-range", wav, output}, ""},
      {{"build", wav, output, "--lowest"}, ""},
      {{"build", wav, output, "--highest", "C9"}, ""},
      {{"build", wav, output, "--instrument", "auto", "--lowest", "H2"}, ""},  // before the recording is read
      {{"build", wav, output, "--threshold", "nan"}, ""},
      {{"build", wav, output, "--settings", bad}, ""},
      {{"build", wav, output, "--settings", shortFile}, ""},
      {{"build", wav, output, "--settings", good, "--settings", good}, ""},
      {{"build", wav, output, "--frobnicate", "1"}, ""},
      {{"build", wav, output, "extra.sas"}, ""},
      {{"correct", wav, sas}, ""},
      {{"correct", wav, sas, output, "--time-correction", "yes"}, ""},
      {{"correct", wav, sas, output, "--speed", "2"}, ""},
      {{"denoise", wav, output}, ""},                                                 // no --noise
      {{"denoise", wav, output, "--noise", "0:1000"}, ""},                            // shorter than 1024
      {{"denoise", wav, output, "--noise", "0:4000", "--noise-length", "4096"}, ""},  // shorter than 4096
      {{"denoise", wav, output, "--noise", "0:5000", "--settings", long8192}, ""},    // shorter than 8192
      {{"denoise", wav, output, "--noise", "0:5000", "--gain", "x"}, ""},
      {{"denoise", wav, output, "--noise", "0:5000", "--settings", wav}, ""},  // not a settings file
      {{"edit", sas, "other.sas"}, ""},
      {{"edit", sas, "--scale"}, ""},
      {{"edit", sas, "--scale", "abc"}, ""},  // not read as 0
      {{"edit", sas, "--scale", "1 5 0"}, ""},
      {{"edit", sas, "--speed", "2"}, ""},
      {{"edit", sas, "--silence", "--clear"}, ""},
      {{"edit", sas, "--silence", "--scale", "50"}, ""},
      {{"edit", sas, "--clear", "--range", "0:6"}, ""},
      {{"generate"}, ""},
      {{"generate", output, "other.wav"}, ""},
      {{"generate", output, "--sine", "100"}, ""},
      {{"generate", output, "--sine", "100,1,2,3"}, ""},
      {{"generate", output, "--square", "1,2,3,4,5"}, ""},
      {{"generate", output, "--noise", "x"}, ""},
      {{"generate", output, "--noise", "1", "--noise", "2"}, ""},
      {{"generate", output, "--duration"}, ""},
      {{"generate", output, "--volume", "3"}, ""},
      {elevenSines, ""},
      {{"import", wav}, "import takes IN OUT.wav"},
      {{"import", wav, output, "--bits", "20"}, "--bits takes 16, 24 or 32, not '20'"},
      {{"import", wav, output, "--channel", "centre"},
       "--channel takes left, right, mix or a channel number"},
      {{"import", wav, output, "--rate", "8000"}, "--rate"},
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
      {{"note", sas, "--at", "99999999", "--move", "10"}, "99999999"},
      {{"note", sas, "--at", "0", "--move", "1300"}, "--move: 1300 is outside"},
      {{"note", sas, "--at", "0", "--move", "10", "--vibrato", "250"}, "--vibrato: 250 is outside"},
      {{"note", sas, "--at", "0"}, "note needs --move CENTS or --to NOTE"},
      {{"midi", sas}, "midi takes IN.sas and OUT.mid"},
      {{"midi", sas, output, "--bend", "2"}, "midi takes IN.sas and OUT.mid"},
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
      // Fields once read as the dialogs read them, where text that was no number read as 0.
      {Snap("--reference", "44O"), "--reference: '44O' is not a number"},
      {Snap("--centre", ""), "--centre: '' is not a number"},
      {Snap("--drift", "nan"), "--drift: 'nan' is not a number"},
      {Snap("--retune", "4e2"), "--retune: '4e2' is not a number"},
      {{"edit", sas, "--scale", "x"}, "--scale: 'x' is not a number"},
      {{"edit", sas, "--transpose", "12-3"}, "--transpose: '12-3' is not a number"},
      {{"edit", sas, "--enable-below", "-inf"}, "--enable-below: '-inf' is not a number"},
      // Our own subcommands refuse what their dialogs would limit.
      {Snap("--centre", "150"), "--centre: 150 is outside 0 .. 100"},
      {Snap("--drift", "-0.5"), "--drift: -0.5 is outside 0 .. 100"},
      {Snap("--retune", "1000.5"), "--retune: 1000.5 is outside 0 .. 1000"},
      {Snap("--reference", "414.99"), "--reference: 414.99 is outside 415 .. 466"},
      {{"reanalyse", wav, sas, "--lowest", "88", "--highest", "C5"}, "--lowest: 88 is outside 0 .. 87"},
      // Options read whole already keep their messages.
      {{"build", wav, output, "--chunk", "3x"}, "--chunk takes a number, not '3x'"},
      {{"build", wav, output, "--chunk", "9", "--x"}, "unknown option '--x'"},  // no clamp said
      {{"denoise", wav, output, "--noise", "0:8192", "--gain", "inf"}, "--gain takes a number, not 'inf'"},
      {{"generate", output, "--sine", "440,5x"}, "--sine takes F,A[,PHASE], not '440,5x'"},
      {{"spectrum", wav, "--at", "5.5"}, "--at takes a sample index, not '5.5'"},
      {{"peaks", wav, txt, "--at", "0", "--mark", "nan"}, "--mark takes a bin from 1 to 511, not 'nan'"},
      {{"notes", wav, "--at", ""}, "--at takes a sample index, not ''"},
      {{"pulse", wav, txt, "12x"}, "position '12x' is not a whole sample number"},
      // A mistyped name is answered with the closest on the next line.
      {{"biuld", "a.wav"}, "unknown command 'biuld'\nvocara-cli: did you mean 'build'?"},
      {{"help", "snpa"}, "unknown command 'snpa'\nvocara-cli: did you mean 'snap'?"},
      {{"re"}, "unknown command 're'\nvocara-cli: did you mean 'reanalyse', 'repair' or 'report'?"},
      {{"--verison"}, "unknown command '--verison'\nvocara-cli: did you mean '--version'?"},
      {{"Notes"}, "unknown command 'Notes'\nvocara-cli: did you mean 'notes'?"},
      {{"frobnicate"}, "unknown command 'frobnicate'"},
      {{"snap", sas, "--rnage", "0:1"}, "unknown option '--rnage'\nvocara-cli: did you mean '--range'?"},
      {{"help", "build", "snap"}, "help takes one command"},
      {Instrument("Tenor"), Unknown("Tenor") + "\nvocara-cli: did you mean 'Vocal Tenor'?"},
      {Instrument("tenor vocal"), Unknown("tenor vocal") + "\nvocara-cli: did you mean 'Vocal Tenor'?"},
      {Instrument("Vocal Tenr"), Unknown("Vocal Tenr") + "\nvocara-cli: did you mean 'Vocal Tenor'?"},
      {Instrument("violn"),
       Unknown("violn") + "\nvocara-cli: did you mean 'Viola', 'Viola d'Amore' or 'Violin'?"},
      {Instrument("sax"), Unknown("sax") +
                              "\nvocara-cli: did you mean 'Saxophone Alto', 'Saxophone Baritone' "
                              "or 'Saxophone Bass'?"},
      {Instrument("kazoo"), Unknown("kazoo")},
  };
  const auto before = Folder();
  for (const Row& row : rows) {
    const std::string args = ::testing::PrintToString(row.args);
    EXPECT_EQ(Run(row.args), cli::ExitUsage) << args;
    const std::string text = err.str();
    EXPECT_TRUE(text.starts_with("vocara-cli: ")) << args << '\n' << text;
    EXPECT_NE(text.find(row.problem), std::string::npos) << args << '\n' << text;
    // The problem and the pointer, not the whole usage text.
    EXPECT_TRUE(text.ends_with(Pointer)) << args << '\n' << text;
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'),
              2 + std::count(row.problem.begin(), row.problem.end(), '\n'))
        << args << '\n'
        << text;
    EXPECT_EQ(out.str(), "") << args;
  }
  EXPECT_EQ(Folder(), before);
  // The dialogs' own texts still work: a sign, a bare point, the bounds.
  EXPECT_EQ(Run({"snap", sas, "--key", "C", "--scale", "major", "--reference", "+415", "--centre", ".5",
                 "--drift", "100.", "--retune", "1000"}),
            cli::ExitSuccess)
      << err.str();
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
  ASSERT_EQ(Run({"info", sas}), cli::ExitSuccess);
  const std::string infoText = out.str();
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
      {{"save-range", wav, output}, pastSamples, quotedSamples},
      {{"export-text", wav, txt}, pastSamples, quotedSamples},
      {{"correct", wav, sas, output, "--range"}, pastSamples, unquotedSamples},
      {{"edit", sas, "--range"}, pastFrames, quotedFrames},
      {{"denoise", wav, output, "--noise"}, pastSamples, quotedSamples},
      {{"denoise", wav, output, "--noise", "0:5000", "--add"}, pastSamples, quotedSamples},
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
      const std::string printed = ::testing::PrintToString(args);
      EXPECT_EQ(Run(args), cli::ExitUsage) << printed;
      EXPECT_EQ(err.str(), Join({"vocara-cli: range ", problem, Pointer})) << printed;
      EXPECT_EQ(out.str(), "") << printed;
    }
  }
  EXPECT_EQ(Folder(), before);
}

}  // namespace
}  // namespace vocara::test
