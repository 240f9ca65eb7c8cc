// A change of the open SAS on a copy: abandoned, the file and the document are as before;
// committed, the document goes on with the new file under the same name; one writer at a time,
// and a writer that finds the file replaced follows it.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <thread>
#include <vector>

#include "engine/sas/SasChange.h"
#include "engine/sas/SasRangeOps.h"
#include "support/SasFiles.h"
#include "support/TempDir.h"
#include "support/WavFiles.h"

namespace vocara::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class SasChangeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::vector<SasFrame> frames;
    for (int i = 0; i < 3000; ++i)
      frames.push_back(FreshFrame(static_cast<std::uint16_t>(4000 + i % 300), -1000, 1000));
    path = WriteSasFile(dir.File("take.sas"), SasHeaderFor(100, 48000, 7, frames.size()), frames,
                        EndLinks(300000));
    ::chmod(path.c_str(), 0640);
    before = ReadFile(path);
    ASSERT_EQ(SasOpenDocument(sas, path), MessageId::None);
  }
  bool Transpose(SasDocument& document) {
    return SasApplyRange(document, 0, 3000, SasRangeOps::Transpose, {100, 50, 0, 100, 0});
  }
  // The take transposed on a copy that then takes the file's place.
  bool TransposeCommitted(SasChange& change) {
    return change.Begin(sas, true) == MessageId::None && Transpose(sas) && change.Commit();
  }
  TempDir dir;
  std::string path;
  std::string before;
  SasDocument sas;
};

TEST_F(SasChangeTest, AbandonedNothingChangedCommittedTheDocumentGoesOnWithTheNewFile) {
  {
    SasChange change;
    ASSERT_EQ(change.Begin(sas, true), MessageId::None);
    ASSERT_TRUE(Transpose(sas));
    EXPECT_EQ(ReadFile(path), before);  // the copy changed, not the file
  }                                     // dropped: abandoned
  EXPECT_TRUE(ReadFile(path) == before && sas.file.IsFileAt(path) && !sas.privateCopy);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 1);

  SasChange change;
  ASSERT_TRUE(TransposeCommitted(change));
  EXPECT_TRUE(ReadFile(path) != before && sas.file.IsFileAt(path));
  EXPECT_EQ(ReadSasFrames(path)[10].targetPitch, ReadSasFrames(path)[10].sourcePitch + 50);
  struct stat status {};
  ASSERT_EQ(::stat(path.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 07777, 0640u);  // the permissions the user gave the file
  // The document writes into the new file from now on: a second change sees the first.
  const std::string first = ReadFile(path);
  ASSERT_TRUE(TransposeCommitted(change));
  EXPECT_EQ(ReadFile(path), first);  // the same transpose from the source again
}

TEST_F(SasChangeTest, OneWriterAtATimeAndTheSecondFollowsAReplacedFile) {
  SasDocument other;
  ASSERT_EQ(SasOpenDocument(other, path), MessageId::None);
  SasChange change;
  ASSERT_EQ(change.Begin(sas, true), MessageId::None);
  SasChange second;
  EXPECT_EQ(second.Begin(other, true, 30ms), MessageId::SasBusy);  // the first holds the lock
  EXPECT_EQ(SasLockForChange(other, true, 30ms), MessageId::SasBusy);
  sas.links = {{0, 0}, {1000, 1200}, {300000, 300000}};
  ASSERT_TRUE(SasWriteRecords(sas, sas.header.settings));  // straight into the copy
  ASSERT_TRUE(Transpose(sas));
  ASSERT_TRUE(change.Commit());
  const std::string committed = ReadFile(path);

  // The other document still holds the file that was replaced; its next change follows the
  // name to the new one and takes its header and links.
  EXPECT_FALSE(other.file.IsFileAt(path));
  ASSERT_EQ(second.Begin(other, true, 1000ms), MessageId::None);
  EXPECT_EQ(other.links.size(), 3u);
  second.Abandon();
  EXPECT_TRUE(other.file.IsFileAt(path) && ReadFile(path) == committed);

  // A write-back waits for a change in progress to end, then writes into the file it left.
  ASSERT_EQ(change.Begin(sas, true), MessageId::None);
  const auto start = std::chrono::steady_clock::now();
  std::thread later([&change] {
    std::this_thread::sleep_for(100ms);
    change.Abandon();
  });
  other.links = {{0, 0}, {5, 5}, {300000, 300000}};
  EXPECT_TRUE(SasWriteRecords(other, other.header.settings));
  EXPECT_GE(std::chrono::steady_clock::now() - start, 100ms);
  later.join();
  EXPECT_EQ(ReadSasLinks(path).at(1).source, 5u);
}

// The program holds the take while vocara-cli changes it: its next page comes from the new file.
TEST_F(SasChangeTest, AHolderOfTheReplacedFileReadsItsPagesFromTheNewOne) {
  SasDocument holder;
  ASSERT_EQ(SasOpenDocument(holder, path), MessageId::None);
  holder.shownFrameCount = holder.header.frameCount;
  holder.pageLength = 100;
  EXPECT_FALSE(SasFollowReplacedFile(holder));  // nothing replaced yet
  SasChange change;
  ASSERT_TRUE(TransposeCommitted(change));
  EXPECT_TRUE(SasFollowReplacedFile(holder));
  ASSERT_TRUE(SasReadPageRecords(holder));
  EXPECT_TRUE(holder.page[10].targetPitch == holder.page[10].sourcePitch + 50 && holder.file.IsFileAt(path));
}

TEST_F(SasChangeTest, AFileThatCannotBeCopiedBesideItselfIsLeftAsItWas) {
  // A SAS of another frame count under the name: not followed.
  SasDocument other;
  ASSERT_EQ(SasOpenDocument(other, path), MessageId::None);
  const std::string replacement =
      WriteSasFile(dir.File("new.sas"), SasHeaderFor(100, 48000, 7, 10),
                   std::vector<SasFrame>(10, FreshFrame(4000, -1, 1)), EndLinks(1000));
  fs::rename(replacement, path);
  SasChange change;
  EXPECT_EQ(change.Begin(other, true, 0ms), MessageId::SasBusy);
  EXPECT_FALSE(change.Active());
  // A document open for reading only never starts a change.
  SasDocument readOnly;
  ASSERT_EQ(SasOpenDocument(readOnly, path, SasAccess::ReadOnly), MessageId::None);
  EXPECT_EQ(change.Begin(readOnly, true), MessageId::InvalidFileHandle);
}

}  // namespace
}  // namespace vocara::test
