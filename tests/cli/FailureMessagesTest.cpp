// What vocara-cli says when it fails: the program's message on the first line, then the file and
// the reason on the second; and inputs that are no regular file refused at once, never waited on.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <bit>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <limits>
#include <thread>

#include "CliRun.h"
#include "support/SasFiles.h"
#include "support/SettingsFiles.h"
#include "support/SoundFiles.h"
#include "support/WavFiles.h"

namespace vocara::test {
namespace {

class FailureMessagesTest : public CliFixture {
 protected:
  // A 0.5 s tone as a WAV the program opens.
  std::string Tone(const std::string& name, double frequency) {
    std::vector<std::int32_t> values(24000);
    for (std::size_t i = 0; i < values.size(); ++i)
      values[i] = static_cast<std::int32_t>(9000 * std::sin(2 * 3.141592653589793 * frequency * i / 48000));
    return WriteFile(dir.File(name), CanonicalWav(Format(2), Samples(2, values)));
  }
  std::string Built(const std::string& wav, const std::string& name) {
    EXPECT_EQ(Run({"build", wav, dir.File(name)}), 0) << err.str();
    return dir.File(name);
  }
  const std::string take = Tone("take.wav", 220);
  const std::string sas = Built(take, "take.sas");
};

TEST_F(FailureMessagesTest, EveryFailureGivesTheMessageThenTheFileAndTheReason) {
  const auto file = [this](const std::string& name) { return dir.File(name); };
  const std::string other = Tone("other.wav", 330), link = file("link.sas");
  std::filesystem::create_symlink(file("missing/x.sas"), link);
  const std::string cut = WriteFile(file("cut.sas"), ReadFile(sas).substr(0, 500));
  const std::map<std::string, std::string> names{
      {"short", WriteFile(file("short.wav"), "RIFF123")},
      {"x24", WriteSound(file("x24.wav"), SF_FORMAT_WAVEX | SF_FORMAT_PCM_24, 1, 48000, 24, {1, 2})},
      {"float", WriteFloatSound(file("f.wav"), SF_FORMAT_WAV | SF_FORMAT_FLOAT, 1, 48000, {0.5f})},
      {"stereo", WriteSound(file("st.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 48000, 16, {1, 2})},
      {"u8", WriteSound(file("u8.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_U8, 1, 48000, 8, {1, 2})},
      {"flac", WriteSound(file("a.flac"), SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 1, 48000, 16, {1, 2})},
      {"fast", WriteFile(file("fast.wav"), CanonicalWav(Format(2, 1000000), Samples(2, {1, 2})))},
      {"take", take},
      {"sas", sas},
      {"other", other},
      {"link", link},
      {"cut", cut},
      {"o.sas", file("o.sas")},
      {"o.wav", file("o.wav")}};
  const auto converts = [](const std::string& path) { return "; vocara-cli import " + path + " OUT.wav"; };
  struct Case {
    std::vector<std::string> args;
    int exit;
    std::string lines;  // both lines whole, or the start of the second
  };
  const std::vector<Case> cases{
      {{"info", "short"},
       1,
       "WAVE to short\nvocara-cli: " + file("short.wav") +
           ": 7 bytes, shorter than the 44-byte header of a WAV file\n"},
      {{"build", "x24", "o.sas"},
       1,
       "Compression not supported\nvocara-cli: " + file("x24.wav") +
           ": a 24-bit mono WAVE_FORMAT_EXTENSIBLE WAV file" + converts(file("x24.wav"))},
      {{"info", "float"},
       1,
       "Compression not supported\nvocara-cli: " + file("f.wav") + ": a 32-bit mono floating-point WAV file" +
           converts(file("f.wav"))},
      {{"info", "stereo"},
       1,
       "Not a mono file\nvocara-cli: " + file("st.wav") + ": a 16-bit stereo WAV file" +
           converts(file("st.wav"))},
      {{"info", "u8"},
       1,
       "Wrong number bytes per sample\nvocara-cli: " + file("u8.wav") + ": an 8-bit mono WAV file" +
           converts(file("u8.wav"))},
      {{"correct", "flac", "sas", "o.wav"},
       1,
       "Not a RIFF file\nvocara-cli: " + file("a.flac") + ": a FLAC file, not a WAV file" +
           converts(file("a.flac"))},
      {{"info", "fast"},
       1,
       "Sample rate to low\nvocara-cli: " + file("fast.wav") + ": sample rate 1000000 Hz is above 768000"},
      {{"repair", "other", "sas"},
       1,
       "WAV and SAS files does not fit.\nvocara-cli: " + sas + ": made from another recording than " + other +
           " ("},
      {{"build", "take", "link"},
       1,
       "Invalid File Handle\nvocara-cli: " + link + ": No such file or directory (it links to " +
           file("missing/x.sas") + ")\n"},
      {{"info", "cut"}, 1, "File to short\nvocara-cli: " + cut + ": its header counts "},
      {{"reanalyse", "take", "sas", "--lowest", "x", "--highest", "C5"},
       2,
       "vocara-cli: --lowest: 'x' is not a note; notes are 0..87 or A0 .. C8\nTry"},
      {{"reanalyse", "take", "sas", "--lowest", "C6", "--highest", "A2"},
       2,
       "vocara-cli: --lowest C6 is above --highest A2\nTry"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Run(Filled(c.args, names)), c.exit) << c.args[1];
    const std::string text = err.str();
    EXPECT_TRUE(text.starts_with(c.lines)) << text;
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2) << text;
  }
  // A write stopped by the file size limit: the system's reason after the program's line.
  const std::string out = file("w.sas");
  EXPECT_EQ(RunCliWithFileSizeLimit(100, {"build", take, out}).output,
            "vocara-cli: could not write " + out + "\nvocara-cli: " + out +
                ": stopped by the file size limit (100 bytes)\n");
}

// A named pipe as any file a subcommand names, input or output, is refused at once: the run (a
// process of its own, killed when it hangs) ends within a second, saying which file.
TEST_F(FailureMessagesTest, APipeAsAnyFileOfAnySubcommandIsRefusedWithinASecond) {
  const std::string fifo = dir.File("pipe");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::map<std::string, std::string> files{
      {"{wav}", take},
      {"{sas}", sas},
      {"{out}", dir.File("o")},
      {"{mid}", WriteFile(dir.File("g.mid"), "x")},
      {"{settings}",
       WriteFile(dir.File("s.ini"), SettingsFileBytes(GeneralSettings{}, WindowLayout::Defaults()))}};
  const std::vector<std::vector<std::string>> commands{
      {"info", "{wav}"},
      {"info", "{sas}"},
      {"save-range", "{wav}", "{out}", "0:9"},
      {"export-text", "{wav}", "{out}", "0:9"},
      {"correct", "{wav}", "{sas}", "{out}"},
      {"build", "{wav}", "{out}", "--settings", "{settings}"},
      {"edit", "{sas}", "--clear"},
      {"denoise", "{wav}", "{out}", "--noise", "0:4096", "--settings", "{settings}"},
      {"spectrum", "{wav}", "--at", "0"},
      {"peaks", "{wav}", "{out}", "--at", "0", "--settings", "{settings}"},
      {"notes", "{wav}", "--at", "0", "--settings", "{settings}"},
      {"pulse", "{wav}", "{out}", "100"},
      {"generate", "{out}"},
      {"snap", "{sas}", "--key", "C", "--scale", "major"},
      {"note", "{sas}", "--at", "0", "--move", "10"},
      {"midi", "{sas}", "{out}"},
      {"guide", "{sas}", "{mid}"},
      {"reanalyse", "{wav}", "{sas}", "--lowest", "B3", "--highest", "D7"},
      {"repair", "{wav}", "{sas}"},
      {"report", "{wav}", "{sas}", "{wav}"},
      {"import", "{wav}", "{out}"}};
  const std::string errors = dir.File("errors");
  for (const std::vector<std::string>& command : commands) {
    for (std::size_t at = 1; at < command.size(); ++at) {
      if (!files.contains(command[at])) continue;
      std::vector<std::string> args = Filled(command, files);
      args[at] = fifo;
      const int pid = StartCli(args, errors);
      int status = 0;
      const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
      while (::waitpid(pid, &status, WNOHANG) == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      const bool ended = ::kill(pid, 0) != 0;
      if (!ended) ::kill(pid, SIGKILL), ::waitpid(pid, &status, 0);
      const std::string said = ::testing::PrintToString(args) + "\n" + ReadFile(errors);
      EXPECT_TRUE(ended) << said;
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) != 0) << said;
      EXPECT_NE(ReadFile(errors).find(fifo), std::string::npos) << said;
    }
  }
}

// A settings file whose white-noise floor the dialog would not keep is used as the dialog limits
// it, each change said, and the SAS built with it holds the limited value.
TEST_F(FailureMessagesTest, ASettingsFloorOutsideTheDialogIsLimitedAndSaid) {
  const std::string settings = dir.File("s.ini"), out = dir.File("o.sas");
  for (const auto& [given, used, said] : std::vector<std::tuple<double, double, std::string>>{
           {std::numeric_limits<double>::quiet_NaN(), 0, "nan is not a number; using 0"},
           {-std::numeric_limits<double>::infinity(), 0, "-inf is not a finite number; using 0"},
           {-5, 0, "-5 is below 0; using 0"},
           {1e308, 100, "1e+308 is above 100; using 100"}}) {
    // As a damaged file holds it: the record as written never holds a value that is no number.
    std::string bytes = SettingsFileBytes(GeneralSettings{}, WindowLayout::Defaults());
    bytes.replace(64, 8,
                  Le32(std::bit_cast<std::uint64_t>(given) & 0xffffffff) +
                      Le32(std::bit_cast<std::uint64_t>(given) >> 32));
    WriteFile(settings, bytes);
    ASSERT_EQ(Run({"build", take, out, "--settings", settings}), 0) << err.str();
    EXPECT_EQ(err.str(), "vocara-cli: settings " + settings + ": whiteNoise " + said + "\n");
    EXPECT_EQ(ReadSasHeader(out).settings.whiteNoise, used);
  }
}

}  // namespace
}  // namespace vocara::test
