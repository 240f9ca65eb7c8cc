// The subcommands that change a SAS file in place (edit, snap, reanalyse, repair) against
// everything that can stop them: SIGKILL at spread moments, Ctrl-C, SIGTERM and SIGHUP, file
// size limits, a folder the user may not write, a stale journal, and a second writer. The file
// always opens and is always exactly the take before or exactly the take after.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
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

TEST_F(InPlaceSafetyTest, CtrlCSigtermAndSighupStopWithTheTakeAsItWas) {
  for (const InPlace& op : Operations) {
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
      for (const int milliseconds : {5, 30}) {
        WriteFile(work, take.before);
        const pid_t pid = StartCli(op.args(take, work), err);
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
        ::kill(pid, signal);
        const int status = WaitForProcess(pid);
        const std::string where = std::string(op.name) + " signal " + std::to_string(signal) + " at " +
                                  std::to_string(milliseconds) + " ms";
        EXPECT_EQ(TemporaryFileCount(dir.Path().string()), 0) << where;
        if (WIFEXITED(status) && WEXITSTATUS(status) == 0) {  // done before the signal came
          EXPECT_EQ(ReadFile(work), afters[op.name]) << where;
          continue;
        }
        EXPECT_EQ(ReadFile(work), take.before) << where;
        // Stopped inside the change (exit 1 and the message), or ended by the signal before
        // the change began (still starting up).
        if (WIFEXITED(status)) {
          EXPECT_EQ(WEXITSTATUS(status), 1) << where;
          EXPECT_EQ(ReadFile(err), "vocara-cli: interrupted; " + work + " was not changed\n") << where;
        } else {
          EXPECT_TRUE(WIFSIGNALED(status)) << where;
        }
      }
    }
  }
}

TEST_F(InPlaceSafetyTest, AFileSizeLimitOrAFolderNotWritableChangesNothing) {
  const std::uint64_t size = take.before.size();
  for (const InPlace& op : Operations) {
    for (const std::uint64_t limit : {std::uint64_t{1}, std::uint64_t{200}, size / 2, size - 1}) {
      WriteFile(work, take.before);
      const ChildResult child = RunCliWithFileSizeLimit(limit, op.args(take, work));
      EXPECT_EQ(child.exitCode, 1) << op.name << " limit " << limit;
      EXPECT_EQ(child.output.substr(0, child.output.find('\n')), "vocara-cli: could not write " + work)
          << op.name << " limit " << limit;
      EXPECT_EQ(ReadFile(work), take.before) << op.name << " limit " << limit;
      EXPECT_EQ(TemporaryFileCount(dir.Path().string()), 0) << op.name << " limit " << limit;
    }
  }
  // A file anyone may write, in a folder nobody may write into: no copy can be made beside it.
  const std::string locked = dir.File("locked");
  fs::create_directory(locked);
  const std::string inLocked = WriteFile(locked + "/take.sas", take.before);
  fs::permissions(inLocked, fs::perms::all);
  fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                              fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
  for (const InPlace& op : Operations) {
    const ChildResult child = RunCliAsUser(op.args(take, inLocked));
    EXPECT_EQ(child.exitCode, 1) << op.name;
    EXPECT_EQ(child.output,
              "Invalid File Handle\nvocara-cli: " + inLocked + ": its folder: Permission denied\n")
        << op.name;
    EXPECT_EQ(ReadFile(inLocked), take.before) << op.name;
  }
  fs::permissions(locked, fs::perms::all);
}

TEST_F(InPlaceSafetyTest, AStaleJournalIsNeverAppliedToAnotherFile) {
  // A journal written for the take (a write-back cut short), then the take built again.
  WriteFile(work, take.before);
  {
    FileHandle file = FileHandle::OpenForUpdate(work);
    FileChanges changes;
    changes.writes.push_back({0, std::vector<std::uint8_t>(136, 0)});
    changes.length = 1000;
    ASSERT_FALSE(ChangeFileSafely(work, file, changes, 1));  // the journal written, nothing applied
  }
  ASSERT_TRUE(fs::exists(JournalPath(work)));
  const std::string stale = ReadFile(JournalPath(work));
  ASSERT_EQ(RunInProcess({"build", take.wav, work, "--lowest", "C3", "--highest", "C6"}), 0);
  EXPECT_FALSE(fs::exists(JournalPath(work)));  // the build removed it
  // Put back beside the rebuilt file (another program copied it there): still not applied.
  WriteFile(JournalPath(work), stale);
  ASSERT_EQ(RunInProcess(Operations[0].args(take, work)), 0);
  EXPECT_EQ(ReadFile(work), afters["edit"]);
  EXPECT_FALSE(fs::exists(JournalPath(work)));
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
