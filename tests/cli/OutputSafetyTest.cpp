// Every vocara-cli subcommand that writes, a new file or a SAS changed in place, on a full disk,
// given a device, without the permission to write, killed at any moment, and stopped by Ctrl-C,
// SIGTERM or SIGHUP: the target holds the previous file or the whole new one, never part of one,
// and no temporary file stays behind. A change in place meets a stale journal, a second writer and
// a full standard output too.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <iostream>
#include <stdexcept>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "CliRun.h"
#include "base/FileJournal.h"
#include "cli/TargetKind.h"
#include "engine/sas/SasDocument.h"
#include "engine/wav/WavDocument.h"
#include "support/ChildProcess.h"
#include "support/SasFiles.h"
#include "support/SoundFiles.h"
#include "support/TempDir.h"
#include "support/WavFiles.h"

namespace vocara::test {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view Previous = "the previous file, kept whatever happens";

// A recording and a SAS that fits it (fresh frames of 1000 samples, frames 5 to 7 an octave up as
// repair finds them), for correct and the changes in place.
struct Inputs {
  Inputs(const TempDir& dir, std::size_t samples, std::uint32_t rate = 22050) {
    wav = WriteWav16(dir.File("in.wav"),
                     Sine16(220, static_cast<int>(rate), static_cast<double>(samples) / rate), rate);
    const std::size_t frames = samples / 1000;
    std::vector<SasFrame> records(frames, FreshFrame(4800, -12000 << 16, 12000 << 16));
    for (std::size_t i = 5; i < 8 && i < frames; ++i)
      records[i] = FreshFrame(6000, -12000 << 16, 12000 << 16);
    sas = WriteSasFile(dir.File("in.sas"), SasHeaderFor(1000, rate, WavChecksum(wav), frames), records,
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
  fs::permissions(dir.Path(), fs::perms::all);  // for the child that gives up root
  const Inputs in(dir, 20000);
  const std::string out = dir.File("out");
  const auto r = fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read;
  const auto x = fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec;
  const std::string locked = dir.File("locked");
  fs::create_directory(locked);
  for (const Writer& writer : Writers) {
    SCOPED_TRACE(writer.name);
    const std::string previous = writer.inPlace ? ReadFile(in.sas) : std::string(Previous);
    const std::string whole = dir.File("whole.out");
    WriteFile(whole, previous);
    std::string err;
    ASSERT_EQ(RunInProcess(writer.args(in, whole), &err), 0) << err;
    ASSERT_NE(ReadFile(whole), previous) << "changed nothing: the test would prove nothing";
    const std::uint64_t size = fs::file_size(whole);
    ASSERT_GT(size, 200u);
    for (const std::uint64_t limit : {std::uint64_t{20}, size / 2, size - 1}) {  // header, data, last block
      SCOPED_TRACE(testing::Message() << "limit " << limit);
      WriteFile(out, previous);
      const ChildResult child = RunCliWithFileSizeLimit(limit, writer.args(in, out));
      EXPECT_EQ(std::tuple(child.exitCode, child.output.substr(0, child.output.find('\n')), ReadFile(out),
                           TemporaryFileCount(dir.Path().string())),
                std::tuple(1, "vocara-cli: could not write " + out, previous, 0));
    }
    WriteFile(out, previous);
    const ChildResult roomEnough = RunCliWithFileSizeLimit(size, writer.args(in, out));
    EXPECT_EQ(roomEnough.exitCode, 0) << roomEnough.output;
    EXPECT_TRUE(ReadFile(out) == ReadFile(whole));

    for (const std::string& target :
         {std::string("/dev/null"), std::string("/dev/full"), dir.Path().string()}) {
      if (writer.inPlace) break;
      EXPECT_EQ(RunInProcess(writer.args(in, target), &err), 1) << target;
      EXPECT_EQ(err, "The target is not a regular file\nvocara-cli: " + target + ": " +
                         (target.starts_with("/dev") ? "not a regular file\n" : "Is a directory\n"));
    }

    // As a user: a target of someone else's, where a rename would go through; a file anyone may
    // write in a folder nobody may write into, where no copy can be made beside it.
    const std::string theirs = WriteFile(dir.File("theirs"), previous);
    fs::permissions(theirs, r);
    ChildResult child = RunCliAsUser(writer.args(in, theirs));
    EXPECT_EQ(
        std::tuple(child.exitCode, child.output, ReadFile(theirs)),
        std::tuple(1, "Invalid File Handle\nvocara-cli: " + theirs + ": Permission denied\n", previous));
    if (!writer.inPlace) continue;
    const std::string inLocked = WriteFile(locked + "/take.sas", previous);
    fs::permissions(inLocked, fs::perms::all);
    fs::permissions(locked, r | x);
    child = RunCliAsUser(writer.args(in, inLocked));
    fs::permissions(locked, fs::perms::all);
    EXPECT_EQ(
        std::tuple(child.exitCode, child.output, ReadFile(inLocked)),
        std::tuple(1, "Invalid File Handle\nvocara-cli: " + inLocked + ": its folder: Permission denied\n",
                   previous));
  }
  EXPECT_TRUE(fs::is_character_file("/dev/null") && fs::is_character_file("/dev/full"));
  EXPECT_EQ(TemporaryFileCount(dir.Path().string()), 0);

  // An input the user may not read is named; one the user may only read is enough.
  const std::string secret = WriteFile(dir.File("secret.wav"), ReadFile(in.wav));
  fs::permissions(secret, fs::perms::none);
  fs::permissions(in.sas, r);
  EXPECT_EQ(RunCliAsUser({"info", secret}).output,
            "Invalid File Handle\nvocara-cli: " + secret + ": Permission denied\n");
  EXPECT_EQ(RunCliAsUser({"report", in.wav, in.sas}).exitCode, 0);
}

// The writers that run long enough to be stopped part way: the changes in place, build and correct.
bool Stoppable(const Writer& writer) {
  return writer.inPlace || std::string_view(writer.name) == "build" ||
         std::string_view(writer.name) == "correct";
}

const Writer& Named(std::string_view name) {
  for (const Writer& writer : Writers)
    if (writer.name == name) return writer;
  throw std::logic_error("no writer " + std::string(name));
}

bool Opens(const std::string& path) {
  SasDocument document;
  return SasOpenDocument(document, path, SasAccess::ReadOnly) == MessageId::None;
}

// A minute of recording, long enough to be stopped part way, its SAS, and the file a writer
// writes or changes; what each writer makes of it, run to its end in this process.
class StoppedWriterTest : public ::testing::Test {
 protected:
  StoppedWriterTest() { fs::permissions(dir.Path(), fs::perms::all); }
  std::string Previous(const Writer& writer) const {
    return writer.inPlace ? before : std::string(test::Previous);
  }
  std::string After(std::string_view name) {
    const Writer& writer = Named(name);
    const std::string copy = WriteFile(dir.File("after"), Previous(writer));
    std::string said;
    EXPECT_EQ(RunInProcess(writer.args(in, copy), &said), 0) << name << said;
    EXPECT_NE(ReadFile(copy), Previous(writer)) << name << " changed nothing: the test would prove nothing";
    return ReadFile(copy);
  }

  TempDir dir;
  Inputs in{dir, 48000 * 60, 48000};
  std::string before = ReadFile(in.sas);
  std::string work = dir.File("work");
  std::string err = dir.File("err.txt");
};

TEST_F(StoppedWriterTest, AKillAtAnyMomentLeavesThePreviousFileOrTheWholeNewOne) {
  for (const Writer& writer : Writers) {
    if (!Stoppable(writer)) continue;
    const std::string previous = Previous(writer), whole = After(writer.name);
    int kept = 0, replaced = 0;
    for (const int microseconds : {0, 1000, 3000, 8000, 20000, 60000, 150000, 400000}) {
      WriteFile(work, previous);
      const pid_t pid = StartCli(writer.args(in, work));
      std::this_thread::sleep_for(std::chrono::microseconds(microseconds));
      ::kill(pid, SIGKILL);
      const int status = WaitForProcess(pid);
      const std::string now = ReadFile(work);
      // A kill that lands after the rename (while the process closes down) finds the new file.
      EXPECT_TRUE(now == whole || (now == previous && !WIFEXITED(status)))
          << writer.name << " killed after " << microseconds << " us: " << now.size()
          << " bytes, neither the previous file nor the new one";
      EXPECT_TRUE(!writer.inPlace || Opens(work)) << writer.name << " " << microseconds;
      kept += now == previous;
      replaced += now == whole;
    }
    std::cout << writer.name << ": " << kept << " kills found the previous file, " << replaced
              << " the new one" << std::endl;
    // The next run writing into the folder clears what the killed ones left.
    WriteFile(work, previous);
    ASSERT_EQ(RunInProcess(writer.args(in, work)), 0) << writer.name;
    EXPECT_TRUE(ReadFile(work) == whole) << writer.name;
    EXPECT_EQ(TemporaryFileCount(dir.Path().string()), 0) << writer.name;
  }
}

// Ctrl-C, SIGTERM and SIGHUP stop a writer as Esc does: the previous file stays. A change in
// place is never ended by the signal itself, whatever the moment: it says the take was not changed.
TEST_F(StoppedWriterTest, CtrlCSigtermAndSighupStopAWriterAndKeepThePreviousFile) {
  for (const Writer& writer : Writers) {
    if (!Stoppable(writer) || std::string_view(writer.name) == "correct") continue;
    const std::string previous = Previous(writer), whole = After(writer.name);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
      if (!writer.inPlace && signal == SIGHUP) continue;
      for (const int milliseconds : {1, 5, 50, 300}) {
        WriteFile(work, previous);
        const pid_t pid = StartCli(writer.args(in, work), err);
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
        ::kill(pid, signal);
        const int status = WaitForProcess(pid);
        const std::string where = std::string(writer.name) + " signal " + std::to_string(signal) + " at " +
                                  std::to_string(milliseconds) + " ms";
        EXPECT_EQ(TemporaryFileCount(dir.Path().string()), 0) << where;
        if (WIFEXITED(status) && WEXITSTATUS(status) == 0) {  // done before the signal came
          EXPECT_TRUE(ReadFile(work) == whole) << where;
          continue;
        }
        EXPECT_TRUE(ReadFile(work) == previous) << where;
        if (!writer.inPlace) {  // stopped at a frame, or ended by the signal before the build began
          EXPECT_TRUE(WIFSIGNALED(status) || WEXITSTATUS(status) == 1) << where;
          continue;
        }
        ASSERT_TRUE(WIFEXITED(status)) << where;
        EXPECT_EQ(WEXITSTATUS(status), 1) << where;
        EXPECT_EQ(ReadFile(err), "vocara-cli: interrupted; " + work + " was not changed\n") << where;
      }
    }
  }
}

using ChangeInPlaceTest = StoppedWriterTest;

TEST_F(ChangeInPlaceTest, AStaleJournalIsNeverAppliedToAnotherFile) {
  // A journal written for the take (a change of frames 100-149 cut short before it began).
  const auto leaveJournal = [this] {
    WriteFile(work, before);
    FileHandle file = FileHandle::OpenForUpdate(work);
    FileChanges changes;
    changes.writes.push_back({0, std::vector<std::uint8_t>(before.begin(), before.begin() + 136)});
    changes.writes.push_back({136 + 16 * 100, std::vector<std::uint8_t>(16 * 50, 0)});
    changes.length = before.size();
    ASSERT_FALSE(ChangeFileSafely(work, file, changes, 1));  // the journal written, nothing applied
    ASSERT_TRUE(fs::exists(JournalPath(work)));
  };
  const std::string edited = After("edit");  // the take after an edit: the same header
  // Copied over in place (the same inode), removed and copied again (the inode may come back),
  // and the take built again: the journal is set aside, never applied.
  const std::vector<std::function<void()>> replacements = {
      [&] { WriteFile(work, edited); },
      [&] {
        fs::remove(work);
        WriteFile(work, edited);
      },
      [&] {
        ASSERT_EQ(RunInProcess({"build", in.wav, work}), 0);
      }};
  for (std::size_t i = 0; i < replacements.size(); ++i) {
    leaveJournal();
    const std::string journal = ReadFile(JournalPath(work));
    replacements[i]();
    if (!fs::exists(JournalPath(work))) WriteFile(JournalPath(work), journal);  // the build removed it
    const std::string now = ReadFile(work);
    std::string said;
    ASSERT_EQ(RunInProcess({"info", work}, &said), 0) << i;
    EXPECT_EQ(ReadFile(work), now) << i;
    EXPECT_NE(said.find("set aside unapplied as " + JournalPath(work) + ".stale"), std::string::npos) << said;
    EXPECT_EQ(ReadFile(JournalPath(work) + ".stale"), journal) << i;
    fs::remove(JournalPath(work) + ".stale");
  }
  // The file it was written for: completed before anything reads it.
  leaveJournal();
  std::string said;
  ASSERT_EQ(RunInProcess({"info", work}, &said), 0);
  EXPECT_EQ(std::tuple(said, ReadFile(work).substr(136 + 1600, 800), fs::exists(JournalPath(work))),
            std::tuple("", std::string(800, '\0'), false));
}

TEST_F(ChangeInPlaceTest, AWholeFileWriterWaitsForAChangeInProgress) {
  const std::vector<std::string> build = {"build", in.wav, work};
  WriteFile(work, before);
  ASSERT_EQ(RunInProcess(build), 0);
  const std::string built = ReadFile(work);
  // An in-place change first, the build while it runs: the build waits and has the last word.
  for (int round = 0; round < 3; ++round) {
    WriteFile(work, before);
    const pid_t change = StartCli(Named("reanalyse").args(in, work), err);
    // The build starts once the change holds the file (its journal is there) or has ended: a
    // child slow to start (under the sanitizers) would otherwise meet the build's lock first.
    int changeStatus = 0;
    bool changeEnded = false;
    for (int waited = 0; waited < 10000 && !fs::exists(JournalPath(work)); ++waited) {
      if (::waitpid(change, &changeStatus, WNOHANG) == change) {
        changeEnded = true;
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(40 * round));
    const pid_t builder = StartCli(build, dir.File("err2.txt"));
    if (!changeEnded) changeStatus = WaitForProcess(change);
    const int buildStatus = WaitForProcess(builder);
    EXPECT_TRUE(WIFEXITED(changeStatus) && WEXITSTATUS(changeStatus) == 0) << round;
    EXPECT_TRUE(WIFEXITED(buildStatus) && WEXITSTATUS(buildStatus) == 0) << round;
    EXPECT_EQ(ReadFile(work), built) << "round " << round << ": the build's file was lost";
  }
}

TEST_F(ChangeInPlaceTest, AFullStandardOutputDoesNotTurnALandedChangeIntoAFailure) {
  WriteFile(work, before);
  const int pid = StartProcess("/bin/sh", {"-c", std::string(VOCARA_CLI_PATH) + " repair " + in.wav + " " +
                                                     work + " > /dev/full 2> " + err});
  const int status = WaitForProcess(pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_EQ(ReadFile(work), After("repair"));
  EXPECT_NE(ReadFile(err).find("could not write to standard output"), std::string::npos);
}

TEST_F(ChangeInPlaceTest, TwoWritersNeverInterleave) {
  // Both orders of snap and edit, run to their ends one after the other.
  const std::string copy = dir.File("order.sas");
  WriteFile(copy, before);
  ASSERT_EQ(RunInProcess(Named("snap").args(in, copy)), 0);
  ASSERT_EQ(RunInProcess(Named("edit").args(in, copy)), 0);
  const std::string snapThenEdit = ReadFile(copy);
  WriteFile(copy, before);
  ASSERT_EQ(RunInProcess(Named("edit").args(in, copy)), 0);
  ASSERT_EQ(RunInProcess(Named("snap").args(in, copy)), 0);
  const std::string editThenSnap = ReadFile(copy);
  ASSERT_NE(snapThenEdit, editThenSnap);
  for (int round = 0; round < 12; ++round) {
    WriteFile(work, before);
    const pid_t snap = StartCli(Named("snap").args(in, work), err);
    if (round % 3 != 0) std::this_thread::sleep_for(std::chrono::microseconds(round * 300));
    const pid_t edit = StartCli(Named("edit").args(in, work), dir.File("err2.txt"));
    const int snapStatus = WaitForProcess(snap);
    const int editStatus = WaitForProcess(edit);
    EXPECT_TRUE(WIFEXITED(snapStatus) && WEXITSTATUS(snapStatus) == 0) << round;
    EXPECT_TRUE(WIFEXITED(editStatus) && WEXITSTATUS(editStatus) == 0) << round;
    const std::string now = ReadFile(work);
    EXPECT_TRUE(now == snapThenEdit || now == editThenSnap) << "round " << round << ": neither order";
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
