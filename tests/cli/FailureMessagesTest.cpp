// What vocara-cli says when it fails (its message, then the file and why); pipes refused at once.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <limits>

#include "CliRun.h"
#include "support/Recordings.h"
#include "support/SasFiles.h"
#include "support/SettingsFiles.h"
#include "support/SoundFiles.h"
#include "support/WavFiles.h"

namespace vocara::test {
namespace {

std::vector<std::string> Split(const std::string& line, char separator = ' ') {
  std::vector<std::string> words;
  std::istringstream in(line);
  for (std::string word; std::getline(in, word, separator);) words.push_back(word);
  return words;
}

class FailureMessagesTest : public CliFixture {
 protected:
  // Half a second sung on `key`, as a WAV the program opens.
  std::string Sung(const std::string& name, int key) {
    return WriteWav16(dir.File(name), SungMelody({{key, 0, 0.5}}));
  }
  // Each "{name}" in `text` replaced by the path of that file in the test's folder.
  std::string Fill(std::string text) {
    for (std::size_t open; (open = text.find('{')) != std::string::npos;) {
      const std::size_t close = text.find('}', open);
      text.replace(open, close + 1 - open, dir.File(text.substr(open + 1, close - open - 1)));
    }
    return text;
  }
  const std::string take = Sung("take.wav", 60);
  const std::string sas = dir.File("take.sas");
  void SetUp() override { ASSERT_EQ(Run({"build", take, sas}), 0) << err.str(); }
};

TEST_F(FailureMessagesTest, EveryFailureGivesTheMessageThenTheFileAndTheReason) {
  std::filesystem::create_symlink(dir.File("missing/x.sas"), dir.File("link.sas"));
  std::filesystem::create_directory(dir.File("folder"));
  WriteFile(dir.File("short.wav"), "RIFF123");
  WriteSound(dir.File("x24.wav"), SF_FORMAT_WAVEX | SF_FORMAT_PCM_24, 1, 48000, 24, {1, 2});
  WriteFloatSound(dir.File("f.wav"), SF_FORMAT_WAV | SF_FORMAT_FLOAT, 1, 48000, {0.5f});
  WriteSound(dir.File("st.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 48000, 16, {1, 2});
  FormatFields stereo = Format(4);
  stereo.channels = 2;
  WriteFile(dir.File("st32.wav"), CanonicalWav(stereo, Samples(4, {1, 2})));
  WriteSound(dir.File("u8.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_U8, 1, 48000, 8, {1, 2});
  WriteSound(dir.File("a.flac"), SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 1, 48000, 16, {1, 2});
  WriteWav16(dir.File("fast.wav"), {1, 2}, 1000000);
  WriteFile(dir.File("cut.sas"), ReadFile(sas).substr(0, 500));
  Sung("other.wav", 62);
  const std::string invalid = "Invalid File Handle\nvocara-cli: ",
                    opened = "Opened file can not be overwritten\n";
  const std::string notSas = "File to short\nvocara-cli: {take.wav}: a WAV recording, not a SAS file\n";
  // Each case: the command, then both lines whole or up to the start of the reason's end; usage
  // errors exit 2, the rest 1.
  const std::vector<std::pair<std::string, std::string>> cases{
      {"info {short.wav}",
       "WAVE to short\nvocara-cli: {short.wav}: 7 bytes, shorter than the 44-byte header of a WAV file\n"},
      {"build {x24.wav} {o}",
       "Compression not supported\nvocara-cli: {x24.wav}: a 24-bit mono "
       "WAVE_FORMAT_EXTENSIBLE WAV file; vocara-cli import {x24.wav} OUT.wav converts it\n"},
      {"info {f.wav}",
       "Compression not supported\nvocara-cli: {f.wav}: a 32-bit mono floating-point WAV file; "
       "vocara-cli import {f.wav} OUT.wav converts it\n"},
      {"info {st.wav}",
       "Not a mono file\nvocara-cli: {st.wav}: a 16-bit stereo WAV file; vocara-cli import "
       "{st.wav} OUT.wav converts it (the mean of the channels, or --channel N)\n"},
      {"correct {st32.wav} {take.sas} {o}",
       "Not a mono file\nvocara-cli: {st32.wav}: a 32-bit stereo WAV file; vocara-cli import {st32.wav} "
       "OUT.wav "
       "converts it (the mean of the channels, or --channel N)\n"},
      {"info {u8.wav}",
       "Wrong number bytes per sample\nvocara-cli: {u8.wav}: an 8-bit mono WAV file; "
       "vocara-cli import {u8.wav} OUT.wav converts it\n"},
      {"correct {a.flac} {take.sas} {o}",
       "Not a RIFF file\nvocara-cli: {a.flac}: a FLAC file, not a WAV file; "
       "vocara-cli import {a.flac} OUT.wav converts it\n"},
      {"info {fast.wav}",
       "Sample rate to low\nvocara-cli: {fast.wav}: sample rate 1000000 Hz is above 768000; "},
      {"repair {other.wav} {take.sas}",
       "WAV and SAS files does not fit.\nvocara-cli: {take.sas}: made from "
       "another recording than {other.wav} (its WAV checksum 0x"},
      {"reanalyse {other.wav} {take.sas} --lowest B3 --highest C5", "WAV and SAS files does not fit.\n"},
      {"build {take.wav} {link.sas}",
       invalid + "{link.sas}: No such file or directory (it links to {missing/x.sas})\n"},
      {"info {cut.sas}", "File to short\nvocara-cli: {cut.sas}: its header counts "},
      {"info {folder}", invalid + "{folder}: Is a directory\n"},
      {"info /dev/null", invalid + "/dev/null: not a regular file\n"},
      {"export-text {missing.wav} {o} 0:1", invalid + "{missing.wav}: No such file or directory\n"},
      {"correct {take.wav} {missing.sas} {o}", invalid + "{missing.sas}: No such file or directory\n"},
      {"snap {missing.sas} --key C --scale major", invalid + "{missing.sas}: No such file or directory\n"},
      {"edit {missing.sas} --clear", invalid + "{missing.sas}: No such file or directory\n"},
      {"report {take.wav} {take.sas} {folder}", invalid + "{folder}: Is a directory\n"},
      {"correct {take.wav} {take.wav} {o}", notSas},
      {"edit {take.wav} --clear", notSas},
      {"repair {take.sas} {take.sas}",
       "Not a RIFF file\nvocara-cli: {take.sas}: a SAS file, not a WAV recording\n"},
      {"save-range {take.wav} {no/x.wav} 0:10", invalid + "{no/x.wav}: No such file or directory\n"},
      {"build {take.wav} {no/x.sas}", invalid + "{no/x.sas}: No such file or directory\n"},
      {"generate {no/x.wav} --noise 5", invalid + "{no/x.wav}: No such file or directory\n"},
      {"peaks {take.wav} {take.wav}/x.txt --at 0", invalid + "{take.wav}/x.txt: Not a directory\n"},
      // The recording itself as the output.
      {"save-range {take.wav} {take.wav} 1:3", opened},
      {"export-text {take.wav} {take.wav} 1:3", opened},
      {"build {take.wav} {take.wav}", opened},
      {"correct {take.wav} {take.sas} {take.sas}", opened},
      {"denoise {take.wav} {take.wav} --noise 0:4800", opened},
      {"peaks {take.wav} {take.wav} --at 0", opened},
      {"reanalyse {take.wav} {take.sas} --lowest x --highest C5",
       "vocara-cli: --lowest: 'x' is not a note; notes are 0..87 or A0 .. C8\nTry"},
      {"reanalyse {take.wav} {take.sas} --lowest C6 --highest A2",
       "vocara-cli: --lowest C6 is above --highest A2\nTry"}};
  const std::string wavBytes = ReadFile(take), sasBytes = ReadFile(sas);
  for (const auto& [command, said] : cases) {
    const std::string lines = Fill(said);
    EXPECT_EQ(Run(Split(Fill(command))), lines.starts_with("vocara-cli") ? 2 : 1) << command;
    const std::string text = err.str();
    EXPECT_TRUE(text.starts_with(lines)) << text;
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), lines == Fill(opened) ? 1 : 2) << text;
    EXPECT_EQ(out.str(), "") << command;
    EXPECT_TRUE(ReadFile(take) == wavBytes && ReadFile(sas) == sasBytes &&
                !std::filesystem::exists(dir.File("o")))
        << command;
  }
  // A write stopped by the file size limit: the system's reason after the program's line, from a
  // new file and from a change in place.
  EXPECT_EQ(
      RunCliWithFileSizeLimit(100, {"build", take, dir.File("o")}).output,
      Fill("vocara-cli: could not write {o}\nvocara-cli: {o}: stopped by the file size limit (100 bytes)\n"));
  const ChildResult edit = RunCliWithFileSizeLimit(100, {"edit", sas, "--clear"});
  EXPECT_EQ(edit.exitCode, cli::ExitFailure);
  EXPECT_EQ(edit.output, "vocara-cli: could not write " + sas + "\nvocara-cli: " + sas +
                             ": stopped by the file size limit (100 bytes)\n");
}

// A named pipe as any file a subcommand names, input or output, is refused at once, naming it.
TEST_F(FailureMessagesTest, APipeAsAnyFileOfAnySubcommandIsRefusedWithinASecond) {
  const std::string fifo = dir.File("pipe");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  WriteFile(dir.File("s.ini"), SettingsFileBytes(GeneralSettings{}, WindowLayout::Defaults()));
  const std::string commands =
      "info {take.wav};info {take.sas};save-range {take.wav} {o} 0:9;export-text {take.wav} {o} 0:9;"
      "correct {take.wav} {take.sas} {o};build {take.wav} {o} --settings {s.ini};edit {take.sas} --clear;"
      "denoise {take.wav} {o} --noise 0:4096 --settings {s.ini};spectrum {take.wav} --at 0;"
      "peaks {take.wav} {o} --at 0 --settings {s.ini};notes {take.wav} --at 0 --settings {s.ini};"
      "pulse {take.wav} {o} 100;generate {o};snap {take.sas} --key C --scale major;midi {take.sas} {o};"
      "note {take.sas} --at 0 --move 10;guide {take.sas} {take.wav};repair {take.wav} {take.sas};"
      "reanalyse {take.wav} {take.sas} --lowest B3 --highest D7;report {take.wav} {take.sas} {take.wav};"
      "import {take.wav} {o}";
  for (const std::string& command : Split(commands, ';')) {
    const std::vector<std::string> words = Split(command);
    for (std::size_t at = 1; at < words.size(); ++at) {
      if (!words[at].starts_with("{")) continue;
      std::vector<std::string> args = Split(Fill(command));
      args[at] = fifo;
      // In a child whose alarm ends it after a second: a run that waits on the pipe fails the test.
      const ChildResult child = RunWithFileSizeLimit(1u << 30, [&args](int& exitCode) {
        ::alarm(1);
        std::string text;
        exitCode = RunInProcess(args, &text);
        return text;
      });
      EXPECT_GT(child.exitCode, 0) << command << " at " << at << "\n" << child.output;
      EXPECT_NE(child.output.find(fifo), std::string::npos) << command << " at " << at << "\n"
                                                            << child.output;
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
           {1e308, 100, "1e+308 is above 100; using 100"}}) {
    // As a damaged file holds it: the record as written never holds a value that is no number.
    std::string bytes = SettingsFileBytes(GeneralSettings{}, WindowLayout::Defaults());
    WriteFile(settings, bytes.replace(64, 8, reinterpret_cast<const char*>(&given), 8));
    ASSERT_EQ(Run({"build", take, out, "--settings", settings}), 0) << err.str();
    EXPECT_EQ(err.str(), "vocara-cli: settings " + settings + ": whiteNoise " + said + "\n");
    EXPECT_EQ(ReadSasHeader(out).settings.whiteNoise, used);
  }
}

}  // namespace
}  // namespace vocara::test
