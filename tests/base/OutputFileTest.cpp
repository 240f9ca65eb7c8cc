// Outputs that appear whole or not at all, and the journal of changes made in place.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "base/FileJournal.h"
#include "base/OutputFile.h"
#include "support/ChildProcess.h"
#include "support/TempDir.h"
#include "support/WavFiles.h"

namespace vocara::test {
namespace {

namespace fs = std::filesystem;

bool WriteAll(OutputFile& output, const std::string& text) {
  return output.File().Write(text.data(), text.size());
}

TEST(OutputFileTest, TheTargetChangesOnlyOnCommitAndAbandonKeepsThePreviousFile) {
  TempDir dir;
  const std::string target = WriteFile(dir.File("take.wav"), "previous");
  {
    OutputFile output;
    ASSERT_EQ(output.Begin(target), MessageId::None);
    ASSERT_TRUE(WriteAll(output, "half"));
    EXPECT_EQ(ReadFile(target), "previous");
    EXPECT_EQ(TemporaryFileCount(dir.Path().string()), 1);
    output.Abandon();
  }
  EXPECT_EQ(ReadFile(target), "previous");
  {
    OutputFile output;  // destroyed without Commit: the same as Abandon
    ASSERT_EQ(output.Begin(target), MessageId::None);
    WriteAll(output, "half");
  }
  EXPECT_EQ(std::tuple(ReadFile(target), TemporaryFileCount(dir.Path().string())), std::tuple("previous", 0));

  OutputFile output;
  ASSERT_EQ(output.Begin(target), MessageId::None);
  ASSERT_TRUE(WriteAll(output, "new and whole"));
  ASSERT_TRUE(output.Commit());
  EXPECT_EQ(ReadFile(target), "new and whole");
  EXPECT_EQ(TemporaryFileCount(dir.Path().string()), 0);
}

TEST(OutputFileTest, DevicesPipesAndFoldersAreRefusedAndLeftAlone) {
  TempDir dir;
  const std::string fifo = dir.File("pipe");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  for (const std::string& target : {std::string("/dev/null"), fifo, dir.Path().string()}) {
    OutputFile output;
    EXPECT_EQ(output.Begin(target), MessageId::NotARegularFile) << target;
    EXPECT_FALSE(output.IsOpen());
  }
  EXPECT_EQ(std::tuple(fs::is_fifo(fifo), fs::is_character_file("/dev/null")), std::tuple(true, true));
  OutputFile output;
  EXPECT_EQ(output.Begin(dir.File("no/such/folder/out.wav")), MessageId::InvalidFileHandle);
}

TEST(OutputFileTest, ALinkIsFollowedAndTheReplacementKeepsThePermissions) {
  TempDir dir;
  const std::string real = WriteFile(dir.File("real.sas"), "old");
  ::chmod(real.c_str(), 0640);
  fs::create_symlink(real, dir.File("link.sas"));
  OutputFile output;
  ASSERT_EQ(output.Begin(dir.File("link.sas")), MessageId::None);
  WriteAll(output, "new");
  ASSERT_TRUE(output.Commit());
  EXPECT_EQ(std::tuple(fs::is_symlink(dir.File("link.sas")), ReadFile(real),
                       fs::status(real).permissions() & fs::perms::all),
            std::tuple(true, "new", fs::perms(0640)));
  // A link to a file not there yet makes that file.
  fs::create_symlink("not-yet.sas", dir.File("dangling.sas"));
  OutputFile made;
  ASSERT_EQ(made.Begin(dir.File("dangling.sas")), MessageId::None);
  ASSERT_TRUE(WriteAll(made, "made") && made.Commit());
  EXPECT_TRUE(fs::is_symlink(dir.File("dangling.sas")) && ReadFile(dir.File("not-yet.sas")) == "made");
}

TEST(OutputFileTest, TemporariesOfEndedProcessesAreRemovedAndPendingOnesOnRequest) {
  TempDir dir;
  const pid_t ended = ::fork();
  if (ended == 0) ::_exit(0);
  ::waitpid(ended, nullptr, 0);
  const std::string stale = WriteFile(dir.File(".out.wav.vocara-" + std::to_string(ended) + "-0.tmp"), "x");
  // Any output's leftovers in the folder go, not only this target's; a running process's stay.
  const std::string otherTarget =
      WriteFile(dir.File(".other.wav.vocara-" + std::to_string(ended) + "-0.tmp"), "x");
  const std::string running =
      WriteFile(dir.File(".other.wav.vocara-" + std::to_string(::getppid()) + "-0.tmp"), "x");
  const std::string notOurs = WriteFile(dir.File(".notes.vocara-" + std::to_string(ended) + ".tmp"), "x");
  OutputFile output;
  ASSERT_EQ(output.Begin(dir.File("out.wav")), MessageId::None);
  EXPECT_EQ(std::tuple(fs::exists(stale), fs::exists(otherTarget), fs::exists(running), fs::exists(notOurs)),
            std::tuple(false, false, true, true));
  ASSERT_TRUE(fs::exists(output.TemporaryPath()));
  RemovePendingOutputs();  // what the signal handlers do
  EXPECT_FALSE(fs::exists(output.TemporaryPath()));
}

TEST(OutputFileTest, AFullDiskFailsTheWriteOrTheCommitAndLeavesThePreviousFile) {
  TempDir dir;
  const std::string target = WriteFile(dir.File("out.txt"), "previous");
  const ChildResult child = RunWithFileSizeLimit(1000, [&](int& exitCode) {
    OutputFile output;
    output.Begin(target);
    const std::string block(4096, 'x');  // buffered: the failure may show only at the commit
    const bool written = WriteAll(output, block);
    exitCode = written && output.Commit() ? 0 : 1;
    return std::string();
  });
  EXPECT_EQ(std::tuple(child.exitCode, ReadFile(target), TemporaryFileCount(dir.Path().string())),
            std::tuple(1, "previous", 0));
}

FileChanges SomeChanges() {
  FileChanges changes;
  changes.writes.push_back({0, {'N', 'E', 'W'}});
  changes.writes.push_back({10, {'!', '!'}});
  changes.length = 12;
  return changes;
}

TEST(FileJournalTest, OnlyAWholeJournalWithItsChecksumParses) {
  const std::vector<std::uint8_t> bytes = SerialiseJournal(SomeChanges());
  FileChanges parsed;
  ASSERT_TRUE(ParseJournal(bytes, parsed));
  EXPECT_EQ(parsed.length, 12u);
  ASSERT_EQ(parsed.writes.size(), 2u);
  EXPECT_EQ(parsed.writes[1].offset, 10u);
  EXPECT_EQ(parsed.writes[1].bytes, (std::vector<std::uint8_t>{'!', '!'}));
  for (std::size_t cut = 0; cut < bytes.size(); ++cut) {
    EXPECT_FALSE(ParseJournal(std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + cut), parsed)) << cut;
  }
  for (std::size_t flip = 0; flip < bytes.size(); ++flip) {
    std::vector<std::uint8_t> damaged = bytes;
    damaged[flip] ^= 0x10;
    EXPECT_FALSE(ParseJournal(damaged, parsed)) << flip;
  }
}

TEST(FileJournalTest, AChangeCutAtAnyStepEndsOldOrNewAfterRecovery) {
  const std::string before = "old content of a file";
  const std::string after = "NEW conten!!";
  for (int steps = 0; steps < 8; ++steps) {
    TempDir dir;
    const std::string path = WriteFile(dir.File("take.sas"), before);
    {
      FileHandle file = FileHandle::OpenForUpdate(path);
      EXPECT_EQ(ChangeFileSafely(path, file, SomeChanges(), steps), steps >= 6) << steps;
    }  // the process "crashes" here
    FileHandle file = FileHandle::OpenForUpdate(path);
    const JournalRecovery recovery = RecoverFileChanges(path, file);
    file.Close();
    const std::string content = ReadFile(path);
    EXPECT_TRUE(content == before || content == after) << steps << ": " << content;
    EXPECT_EQ(content == after, steps >= 1) << steps;  // once journalled, the change completes
    EXPECT_EQ(recovery == JournalRecovery::Completed, steps >= 1 && steps < 6) << steps;
    EXPECT_FALSE(fs::exists(JournalPath(path)));
  }
}

TEST(FileJournalTest, ADamagedJournalIsSetAsideAndTheFileLeftAsItIs) {
  TempDir dir;
  const std::string path = WriteFile(dir.File("take.sas"), "untouched");
  std::vector<std::uint8_t> bytes = SerialiseJournal(SomeChanges());
  bytes.pop_back();
  WriteFile(JournalPath(path), std::string(bytes.begin(), bytes.end()));
  for (const std::string suffix : {".stale", ".stale-2"}) {
    if (suffix != ".stale") WriteFile(JournalPath(path), std::string(bytes.begin(), bytes.end()));
    FileHandle file = FileHandle::OpenForUpdate(path);
    std::string where;
    EXPECT_EQ(RecoverFileChanges(path, file, &where), JournalRecovery::Discarded);
    EXPECT_EQ(std::pair(where, ReadFile(where).size()), std::pair(JournalPath(path) + suffix, bytes.size()));
  }
  EXPECT_EQ(std::tuple(ReadFile(path), fs::exists(JournalPath(path))), std::tuple("untouched", false));
}

TEST(OutputFileTest, AWriterWaitsForTheTargetsLockAndKeepsOwnerAndLinks) {
  TempDir dir;
  const std::string target = WriteFile(dir.File("take.sas"), "previous");
  const int held = ::open(target.c_str(), O_RDONLY);
  ASSERT_EQ(::flock(held, LOCK_EX), 0);
  std::thread release([held] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ::close(held);
  });
  const auto start = std::chrono::steady_clock::now();
  OutputFile output;
  EXPECT_EQ(output.Begin(target), MessageId::None);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(250));
  release.join();
  // While the output is open, the target is locked for every other writer.
  const int other = ::open(target.c_str(), O_RDONLY);
  EXPECT_NE(::flock(other, LOCK_EX | LOCK_NB), 0);
  ASSERT_TRUE(WriteAll(output, "new") && output.Commit());
  EXPECT_EQ(::flock(other, LOCK_EX | LOCK_NB), 0);  // the old file's lock ended with the output
  ::close(other);

  // A second name for the file: a rename would leave it on the old file.
  const std::string twin = dir.File("twin.sas");
  fs::create_hard_link(target, twin);
  OutputFile linked;
  EXPECT_EQ(linked.Begin(target), MessageId::HardLinkedTarget);
  EXPECT_EQ(ReadFile(twin), "new");
  fs::remove(twin);
  // Root replacing a user's file gives the new one to that user.
  if (::geteuid() == 0) {
    ASSERT_EQ(::chown(target.c_str(), 4321, 4322), 0);
    OutputFile replaced;
    ASSERT_EQ(replaced.Begin(target), MessageId::None);
    ASSERT_TRUE(replaced.Commit());
    struct stat status {};
    ASSERT_EQ(::stat(target.c_str(), &status), 0);
    EXPECT_EQ(std::pair(status.st_uid, status.st_gid), std::pair(4321u, 4322u));
  }
}

}  // namespace
}  // namespace vocara::test
