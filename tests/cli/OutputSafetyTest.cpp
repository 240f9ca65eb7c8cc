// Every vocara-cli subcommand that writes, on a full disk, given a device, without the permission
// to write, killed at any moment, and stopped by SIGTERM: the target holds the previous file or
// the whole new one, never part of one, and no temporary file stays behind.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "CliRun.h"
#include "cli/TargetKind.h"
#include "engine/sas/SasDocument.h"
#include "engine/wav/WavDocument.h"
#include "support/ChildProcess.h"
#include "support/SasFiles.h"
#include "support/TempDir.h"
#include "support/WavFiles.h"

namespace vocara::test {
namespace {

constexpr std::string_view Previous = "the previous file, kept whatever happens";

std::vector<std::int32_t> Tone(std::size_t count, std::uint32_t rate) {
  std::vector<std::int32_t> values(count);
  for (std::size_t i = 0; i < count; ++i)
    values[i] =
        static_cast<std::int32_t>(std::lround(12000 * std::sin(2 * 3.141592653589793 * 220.0 * i / rate)));
  return values;
}

// A recording and a SAS that fits it (fresh frames of 1000 samples, frames 5 to 7 an octave up as
// repair finds them), for correct and the changes in place.
struct Inputs {
  Inputs(const TempDir& dir, std::size_t samples, std::uint32_t rate = 22050) {
    wav = WriteFile(dir.File("in.wav"), CanonicalWav(Format(2, rate), Samples(2, Tone(samples, rate))));
    WavDocument document;
    EXPECT_EQ(WavOpenDocument(document, wav).message, MessageId::None);
    const std::size_t frames = samples / 1000;
    std::vector<SasFrame> records(frames, FreshFrame(4800, -12000 << 16, 12000 << 16));
    for (std::size_t i = 5; i < 8 && i < frames; ++i)
      records[i] = FreshFrame(6000, -12000 << 16, 12000 << 16);
    sas = WriteSasFile(dir.File("in.sas"), SasHeaderFor(1000, rate, document.checksum, frames), records,
                       EndLinks(static_cast<std::uint32_t>(samples)));
  }
  std::string wav;
  std::string sas;
};

struct Writer {
  const char* name;
  std::vector<std::string> words;  // {wav} and {sas} the inputs, {out} the target
  bool inPlace = false;            // {out} is a copy of the SAS, changed where it stands
  std::vector<std::string> args(const Inputs& in, const std::string& out) const {
    return Filled(words, {{"{wav}", in.wav}, {"{sas}", in.sas}, {"{out}", out}});
  }
};

const Writer Writers[] = {
    {"save-range", {"save-range", "{wav}", "{out}", "0:20000"}},
    {"export-text", {"export-text", "{wav}", "{out}", "100:3000"}},
    {"build", {"build", "{wav}", "{out}"}},
    {"correct", {"correct", "{wav}", "{sas}", "{out}"}},
    {"correct-range", {"correct", "{wav}", "{sas}", "{out}", "--range", "1000:9000"}},
    {"denoise", {"denoise", "{wav}", "{out}", "--noise", "0:5000"}},
    {"edit", {"edit", "{out}", "--scale", "50", "--transpose", "30"}, true},
    {"snap", {"snap", "{out}", "--key", "C#", "--scale", "major"}, true},
    {"reanalyse", {"reanalyse", "{wav}", "{out}", "--lowest", "A2", "--highest", "C7"}, true},
    {"repair", {"repair", "{wav}", "{out}"}, true},
    {"note", {"note", "{out}", "--range", "0:10", "--move", "50"}, true},
};

// Every writer on a full disk (a file size limit cutting the output in its header, its data and
// its last block), given a device or a folder, and run by a user who may not write the target
// (or, changing in place, its folder): refused, and the target holds the previous file.
TEST(OutputSafetyTest, EveryWriterKeepsThePreviousFileWhenItCannotWriteTheWholeNewOne) {
  TempDir dir;
  std::filesystem::permissions(dir.Path(), std::filesystem::perms::all);  // for the child that gives up root
  const Inputs in(dir, 20000);
  const std::string out = dir.File("out");
  const auto r = std::filesystem::perms::owner_read | std::filesystem::perms::group_read |
                 std::filesystem::perms::others_read;
  const auto x = std::filesystem::perms::owner_exec | std::filesystem::perms::group_exec |
                 std::filesystem::perms::others_exec;
  const std::string locked = dir.File("locked");
  std::filesystem::create_directory(locked);
  for (const Writer& writer : Writers) {
    const std::string previous = writer.inPlace ? ReadFile(in.sas) : std::string(Previous);
    const std::string whole = dir.File("whole.out");
    WriteFile(whole, previous);
    std::string err;
    ASSERT_EQ(RunInProcess(writer.args(in, whole), &err), 0) << writer.name << err;
    ASSERT_NE(ReadFile(whole), previous) << writer.name << " changed nothing: the test would prove nothing";
    const std::uint64_t size = std::filesystem::file_size(whole);
    ASSERT_GT(size, 200u);
    for (const std::uint64_t limit : {std::uint64_t{20}, size / 2, size - 1}) {  // header, data, last block
      WriteFile(out, previous);
      const ChildResult child = RunCliWithFileSizeLimit(limit, writer.args(in, out));
      EXPECT_EQ(child.exitCode, 1) << writer.name << " limit " << limit;
      EXPECT_EQ(child.output.substr(0, child.output.find('\n')), "vocara-cli: could not write " + out)
          << writer.name << " limit " << limit;
      EXPECT_EQ(ReadFile(out), previous) << writer.name << " limit " << limit;
      EXPECT_EQ(TemporaryFileCount(dir.Path().string()), 0) << writer.name << " limit " << limit;
    }
    WriteFile(out, previous);
    const ChildResult roomEnough = RunCliWithFileSizeLimit(size, writer.args(in, out));
    EXPECT_EQ(roomEnough.exitCode, 0) << writer.name << roomEnough.output;
    EXPECT_TRUE(ReadFile(out) == ReadFile(whole)) << writer.name;

    for (const std::string& target :
         {std::string("/dev/null"), std::string("/dev/full"), dir.Path().string()}) {
      if (writer.inPlace) break;
      EXPECT_EQ(RunInProcess(writer.args(in, target), &err), 1) << writer.name << " " << target;
      EXPECT_EQ(err, "The target is not a regular file\nvocara-cli: " + target + ": " +
                         (target.starts_with("/dev") ? "not a regular file\n" : "Is a directory\n"))
          << writer.name << " " << target;
    }

    // As a user: a target of someone else's, where a rename would go through; a file anyone may
    // write in a folder nobody may write into, where no copy can be made beside it.
    const std::string theirs = WriteFile(dir.File("theirs"), previous);
    std::filesystem::permissions(theirs, r);
    ChildResult child = RunCliAsUser(writer.args(in, theirs));
    EXPECT_EQ(child.exitCode, 1) << writer.name;
    EXPECT_EQ(child.output, "Invalid File Handle\nvocara-cli: " + theirs + ": Permission denied\n")
        << writer.name;
    EXPECT_EQ(ReadFile(theirs), previous) << writer.name;
    if (!writer.inPlace) continue;
    const std::string inLocked = WriteFile(locked + "/take.sas", previous);
    std::filesystem::permissions(inLocked, std::filesystem::perms::all);
    std::filesystem::permissions(locked, r | x);
    child = RunCliAsUser(writer.args(in, inLocked));
    std::filesystem::permissions(locked, std::filesystem::perms::all);
    EXPECT_EQ(child.exitCode, 1) << writer.name;
    EXPECT_EQ(child.output,
              "Invalid File Handle\nvocara-cli: " + inLocked + ": its folder: Permission denied\n")
        << writer.name;
    EXPECT_EQ(ReadFile(inLocked), previous) << writer.name;
  }
  EXPECT_TRUE(std::filesystem::is_character_file("/dev/null"));
  EXPECT_TRUE(std::filesystem::is_character_file("/dev/full"));
  EXPECT_EQ(TemporaryFileCount(dir.Path().string()), 0);

  // An input the user may not read is named; one the user may only read is enough.
  const std::string secret = WriteFile(dir.File("secret.wav"), ReadFile(in.wav));
  std::filesystem::permissions(secret, std::filesystem::perms::none);
  std::filesystem::permissions(in.sas, r);
  EXPECT_EQ(RunCliAsUser({"info", secret}).output,
            "Invalid File Handle\nvocara-cli: " + secret + ": Permission denied\n");
  EXPECT_EQ(RunCliAsUser({"report", in.wav, in.sas}).exitCode, 0);
}

// A link is written through to the file it names, and the replaced file keeps its permission bits.
TEST(OutputSafetyTest, ALinkIsFollowedAndTheReplacementKeepsThePermissions) {
  TempDir dir;
  const Inputs in(dir, 20000);
  const std::string mine = WriteFile(dir.File("mine"), Previous);
  std::filesystem::permissions(mine, std::filesystem::perms::owner_read |
                                         std::filesystem::perms::owner_write |
                                         std::filesystem::perms::group_read);
  const std::string link = dir.File("link");
  const std::string dangling = dir.File("dangling");
  std::filesystem::create_symlink("mine", link);
  std::filesystem::create_symlink("not-yet", dangling);
  std::string err;
  for (const std::string& target : {link, dangling}) {
    ASSERT_EQ(RunInProcess(Writers[0].args(in, target), &err), 0) << err;
    EXPECT_TRUE(std::filesystem::is_symlink(target)) << target;
  }
  EXPECT_NE(ReadFile(mine), Previous);
  EXPECT_TRUE(std::filesystem::is_regular_file(dir.File("not-yet")));
  EXPECT_EQ(std::filesystem::status(mine).permissions(), std::filesystem::perms::owner_read |
                                                             std::filesystem::perms::owner_write |
                                                             std::filesystem::perms::group_read);
}

TEST(OutputSafetyTest, AKilledBuildOrCorrectLeavesThePreviousFileOrTheWholeNewOne) {
  TempDir dir;
  const Inputs in(dir, 48000 * 60, 48000);  // a minute: long enough to be killed part way
  for (const Writer& writer : Writers) {
    if (std::string_view(writer.name) != "build" && std::string_view(writer.name) != "correct") continue;
    const std::string whole = dir.File(std::string("whole.") + writer.name);  // a SAS, then a WAV
    std::string err;
    ASSERT_EQ(RunInProcess(writer.args(in, whole), &err), 0) << writer.name << err;
    const std::string expected = ReadFile(whole);
    const std::string out = dir.File("out");
    for (const int milliseconds : {0, 5, 20, 60, 150, 400}) {
      WriteFile(out, Previous);
      const pid_t pid = StartCli(writer.args(in, out));
      std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
      ::kill(pid, SIGKILL);
      const int status = WaitForProcess(pid);
      const std::string content = ReadFile(out);
      // A kill that lands after the rename (while the process closes down) finds the new file.
      const bool previous = content == Previous;
      const bool whole = content == expected;
      if (WIFEXITED(status)) {
        EXPECT_TRUE(whole) << writer.name << " finished before " << milliseconds << " ms";
      } else {
        EXPECT_TRUE(previous || whole)
            << writer.name << " killed at " << milliseconds << " ms: " << content.size()
            << " bytes, neither the previous file nor the new one";
      }
    }
    // A later run of the same output clears what the killed ones left.
    ASSERT_EQ(RunInProcess(writer.args(in, out), &err), 0);
    EXPECT_TRUE(ReadFile(out) == expected) << writer.name;
    EXPECT_EQ(TemporaryFileCount(dir.Path().string()), 0) << writer.name;
  }
}

TEST(OutputSafetyTest, SigtermAndCtrlCStopLikeEscAndKeepThePreviousFile) {
  TempDir dir;
  const Inputs in(dir, 48000 * 60, 48000);
  const std::string out = dir.File("out.sas");
  for (const int signal : {SIGTERM, SIGINT}) {
    WriteFile(out, Previous);
    const pid_t pid = StartCli({"build", in.wav, out});
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    ::kill(pid, signal);
    const int status = WaitForProcess(pid);
    // Stopped at a frame (exit 1), ended by the signal before the build began, or done before
    // the signal came.
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) continue;
    EXPECT_TRUE(WIFSIGNALED(status) || WEXITSTATUS(status) == 1) << signal;
    EXPECT_EQ(ReadFile(out), Previous) << signal;
    EXPECT_EQ(TemporaryFileCount(dir.Path().string()), 0) << signal;
  }
}

// A typo does not replace a take by a file of another kind; a file of the same kind, or of no
// kind the tool knows, is replaced as before.
TEST(OutputKindTest, AnOutputDoesNotReplaceAFileOfAnotherKind) {
  const TempDir dir;
  const Inputs in(dir, 4000);
  const std::string sas = ReadFile(in.sas);
  const std::string wav = ReadFile(in.wav);
  std::string err;
  EXPECT_EQ(RunInProcess({"save-range", in.wav, in.sas, "0:100"}, &err), cli::ExitFailure);
  EXPECT_EQ(err, "vocara-cli: " + in.sas +
                     " is a SAS file; save-range writes a WAV recording and will not "
                     "replace it\n");
  EXPECT_EQ(RunInProcess({"midi", in.sas, in.wav}, &err), cli::ExitFailure);
  EXPECT_EQ(err, "vocara-cli: " + in.wav +
                     " is a WAV recording; midi writes a MIDI file and will not replace it\n");
  const std::string text = WriteFile(dir.File("shape.txt"), "1.5\t-2\r\n-0.003\r\n");
  EXPECT_EQ(RunInProcess({"generate", text, "--duration", "1"}), cli::ExitFailure);
  EXPECT_EQ(std::tuple(ReadFile(in.sas), ReadFile(in.wav), ReadFile(text)),
            std::tuple(sas, wav, std::string("1.5\t-2\r\n-0.003\r\n")));

  const std::string copy = WriteFile(dir.File("copy.wav"), wav);
  const std::string notes = WriteFile(dir.File("notes.md"), "# my notes\n");
  EXPECT_EQ(RunInProcess({"save-range", in.wav, copy, "0:100"}), cli::ExitSuccess);
  EXPECT_EQ(RunInProcess({"export-text", in.wav, text, "0:3"}), cli::ExitSuccess);
  EXPECT_EQ(RunInProcess({"generate", notes, "--duration", "1"}), cli::ExitSuccess);
  WavDocument document;
  EXPECT_EQ(WavOpenDocument(document, copy).message, MessageId::None);
  EXPECT_EQ(std::tuple(document.sampleCount, cli::KindOfFile(text), cli::KindOfFile(notes)),
            std::tuple(100u, cli::TargetKind::Text, cli::TargetKind::Wav));
}

}  // namespace
}  // namespace vocara::test
