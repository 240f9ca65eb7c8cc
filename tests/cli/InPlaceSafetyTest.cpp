// The subcommands that change a SAS file in place (edit, snap, reanalyse, repair) against
// everything that can stop them: SIGKILL at spread moments, Ctrl-C, SIGTERM and SIGHUP, file
// size limits, a folder the user may not write, a stale journal, and a second writer. The file
// always opens and is always exactly the take before or exactly the take after.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "CliRun.h"
#include "base/FileJournal.h"
#include "engine/sas/SasDocument.h"
#include "support/ChildProcess.h"
#include "support/Recordings.h"
#include "support/TempDir.h"
#include "support/WavFiles.h"

namespace vocara::test {
namespace {

namespace fs = std::filesystem;

// A sung take of about twenty seconds, some notes off, a weak fundamental now and then (so
// that repair finds jumps), analysed into a SAS.
struct Take {
  explicit Take(const TempDir& dir) {
    std::vector<SungNote> notes;
    for (int round = 0; round < 4; ++round)
      for (const SungNote note : {SungNote{60, 30, 0.6},
                                  {62, -25, 0.6},
                                  {64, 40, 0.6},
                                  {65, -20, 0.6},
                                  {67, 10, 0.6},
                                  {69, 35, 0.6},
                                  {71, -30, 0.6},
                                  {72, 15, 0.6}})
        notes.push_back(note);
    SungOptions options;
    options.weakFrom = 1.0;
    options.weakTo = 1.15;
    options.weakEvery = 2.4;
    options.fundamental = 0.05;
    wav = WriteFile(dir.File("take.wav"),
                    CanonicalWav(Format(2, 48000), Samples(2, SungMelody(notes, options))));
    sas = dir.File("take.sas");
    EXPECT_EQ(RunInProcess({"build", wav, sas, "--lowest", "C3", "--highest", "C6"}), 0);
    before = ReadFile(sas);
  }
  std::string wav;
  std::string sas;
  std::string before;
};

struct InPlace {
  const char* name;
  std::vector<std::string> words;  // {wav} the take's recording, {sas} the SAS changed
  std::vector<std::string> args(const Take& take, const std::string& sas) const {
    return Filled(words, {{"{wav}", take.wav}, {"{sas}", sas}});
  }
};

const InPlace Operations[] = {
    {"edit", {"edit", "{sas}", "--scale", "50", "--transpose", "30"}},
    {"snap", {"snap", "{sas}", "--key", "C", "--scale", "major"}},
    {"reanalyse", {"reanalyse", "{wav}", "{sas}", "--lowest", "A2", "--highest", "C7"}},
    {"repair", {"repair", "{wav}", "{sas}"}},
    {"note", {"note", "{sas}", "--range", "0:2000", "--move", "50", "--vibrato", "50"}},
};

// What each operation makes of the take, run to its end in this process.
std::map<std::string, std::string> Afters(const TempDir& dir, const Take& take) {
  std::map<std::string, std::string> afters;
  const std::string copy = dir.File("after.sas");
  for (const InPlace& op : Operations) {
    WriteFile(copy, take.before);
    EXPECT_EQ(RunInProcess(op.args(take, copy)), 0) << op.name;
    afters[op.name] = ReadFile(copy);
    EXPECT_NE(afters[op.name], take.before) << op.name << " changed nothing: the test would prove nothing";
  }
  fs::remove(copy);
  return afters;
}

bool Opens(const std::string& path) {
  SasDocument document;
  return SasOpenDocument(document, path, SasAccess::ReadOnly) == MessageId::None;
}

class InPlaceSafetyTest : public ::testing::Test {
 protected:
  TempDir dir;
  Take take{dir};
  std::map<std::string, std::string> afters = Afters(dir, take);
  std::string work = dir.File("work.sas");
  std::string err = dir.File("err.txt");
};

TEST_F(InPlaceSafetyTest, AKillAtAnyMomentLeavesTheTakeBeforeOrAfter) {
  for (const InPlace& op : Operations) {
    int before = 0;
    int after = 0;
    for (const int microseconds :
         {0, 500, 1000, 2000, 3000, 5000, 8000, 12000, 20000, 35000, 60000, 100000}) {
      WriteFile(work, take.before);
      const pid_t pid = StartCli(op.args(take, work), err);
      std::this_thread::sleep_for(std::chrono::microseconds(microseconds));
      ::kill(pid, SIGKILL);
      WaitForProcess(pid);
      const std::string now = ReadFile(work);
      EXPECT_TRUE(now == take.before || now == afters[op.name])
          << op.name << " killed after " << microseconds << " us: neither before nor after";
      EXPECT_TRUE(Opens(work)) << op.name << " " << microseconds;
      before += now == take.before;
      after += now == afters[op.name];
    }
    std::cout << op.name << ": " << before << " kills found the take before, " << after << " after\n";
    // The next run writing into the folder clears what the killed ones left.
    WriteFile(work, take.before);
    ASSERT_EQ(RunInProcess(op.args(take, work)), 0) << op.name;
    EXPECT_EQ(ReadFile(work), afters[op.name]) << op.name;
    EXPECT_EQ(TemporaryFileCount(dir.Path().string()), 0) << op.name;
  }
}

TEST_F(InPlaceSafetyTest, CtrlCSigtermAndSighupAtAnyMomentSayTheTakeWasNotChanged) {
  for (const InPlace& op : Operations) {
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
      for (const int milliseconds : {1, 5, 50, 300}) {
        WriteFile(work, take.before);
        const pid_t pid = StartCli(op.args(take, work), err);
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
        ::kill(pid, signal);
        const int status = WaitForProcess(pid);
        const std::string where = std::string(op.name) + " signal " + std::to_string(signal) + " at " +
                                  std::to_string(milliseconds) + " ms";
        EXPECT_EQ(TemporaryFileCount(dir.Path().string()), 0) << where;
        // Never ended by the signal itself, whatever the moment: the run says what became of the take.
        ASSERT_TRUE(WIFEXITED(status)) << where;
        if (WEXITSTATUS(status) == 0) {  // done before the signal came
          EXPECT_EQ(ReadFile(work), afters[op.name]) << where;
          continue;
        }
        EXPECT_EQ(WEXITSTATUS(status), 1) << where;
        EXPECT_EQ(ReadFile(work), take.before) << where;
        EXPECT_EQ(ReadFile(err), "vocara-cli: interrupted; " + work + " was not changed\n") << where;
      }
    }
  }
}

TEST_F(InPlaceSafetyTest, AStaleJournalIsNeverAppliedToAnotherFile) {
  // A journal written for the take (a change of frames 100-149 cut short before it began).
  const auto leaveJournal = [this] {
    WriteFile(work, take.before);
    FileHandle file = FileHandle::OpenForUpdate(work);
    FileChanges changes;
    changes.writes.push_back({0, std::vector<std::uint8_t>(take.before.begin(), take.before.begin() + 136)});
    changes.writes.push_back({136 + 16 * 100, std::vector<std::uint8_t>(16 * 50, 0)});
    changes.length = take.before.size();
    ASSERT_FALSE(ChangeFileSafely(work, file, changes, 1));  // the journal written, nothing applied
    ASSERT_TRUE(fs::exists(JournalPath(work)));
  };
  const std::string edited = afters["edit"];  // the take after an edit: the same header
  // Copied over in place (the same inode), removed and copied again (the inode may come back),
  // and the take built again: the journal is set aside, never applied.
  const std::vector<std::function<void()>> replacements = {
      [&] { WriteFile(work, edited); },
      [&] {
        fs::remove(work);
        WriteFile(work, edited);
      },
      [&] {
        ASSERT_EQ(RunInProcess({"build", take.wav, work, "--lowest", "C3", "--highest", "C6"}), 0);
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
  EXPECT_EQ(said, "");
  EXPECT_EQ(ReadFile(work).substr(136 + 1600, 800), std::string(800, '\0'));
  EXPECT_FALSE(fs::exists(JournalPath(work)));
}

TEST_F(InPlaceSafetyTest, AWholeFileWriterWaitsForAChangeInProgress) {
  const std::vector<std::string> build = {"build", take.wav, work, "--lowest", "A2", "--highest", "C7"};
  WriteFile(work, take.before);
  ASSERT_EQ(RunInProcess(build), 0);
  const std::string built = ReadFile(work);
  // An in-place change first, the build while it runs: the build waits and has the last word.
  for (int round = 0; round < 3; ++round) {
    WriteFile(work, take.before);
    const pid_t change = StartCli(Operations[2].args(take, work), err);
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
  // A lock held by another program (flock): the writer waits until it ends.
  WriteFile(work, take.before);
  const int held = ::open(work.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_EQ(::flock(held, LOCK_EX), 0);
  const pid_t builder = StartCli(build, err);
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_EQ(ReadFile(work), take.before);  // still waiting
  ::close(held);
  const int status = WaitForProcess(builder);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << ReadFile(err);
  EXPECT_EQ(ReadFile(work), built);
}

TEST_F(InPlaceSafetyTest, AFullStandardOutputDoesNotTurnALandedChangeIntoAFailure) {
  WriteFile(work, take.before);
  const int pid = StartProcess("/bin/sh", {"-c", std::string(VOCARA_CLI_PATH) + " repair " + take.wav + " " +
                                                     work + " > /dev/full 2> " + err});
  const int status = WaitForProcess(pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(ReadFile(work), afters["repair"]);
  EXPECT_NE(ReadFile(err).find("could not write to standard output"), std::string::npos);
}

TEST_F(InPlaceSafetyTest, TwoWritersNeverInterleave) {
  // Both orders of snap and edit, run to their ends one after the other.
  const std::string copy = dir.File("order.sas");
  WriteFile(copy, take.before);
  ASSERT_EQ(RunInProcess(Operations[1].args(take, copy)), 0);
  ASSERT_EQ(RunInProcess(Operations[0].args(take, copy)), 0);
  const std::string snapThenEdit = ReadFile(copy);
  WriteFile(copy, take.before);
  ASSERT_EQ(RunInProcess(Operations[0].args(take, copy)), 0);
  ASSERT_EQ(RunInProcess(Operations[1].args(take, copy)), 0);
  const std::string editThenSnap = ReadFile(copy);
  ASSERT_NE(snapThenEdit, editThenSnap);
  for (int round = 0; round < 12; ++round) {
    WriteFile(work, take.before);
    const pid_t snap = StartCli(Operations[1].args(take, work), err);
    if (round % 3 != 0) std::this_thread::sleep_for(std::chrono::microseconds(round * 300));
    const pid_t edit = StartCli(Operations[0].args(take, work), dir.File("err2.txt"));
    const int snapStatus = WaitForProcess(snap);
    const int editStatus = WaitForProcess(edit);
    EXPECT_TRUE(WIFEXITED(snapStatus) && WEXITSTATUS(snapStatus) == 0) << round;
    EXPECT_TRUE(WIFEXITED(editStatus) && WEXITSTATUS(editStatus) == 0) << round;
    const std::string now = ReadFile(work);
    EXPECT_TRUE(now == snapThenEdit || now == editThenSnap) << "round " << round << ": neither order";
  }
}

}  // namespace
}  // namespace vocara::test
