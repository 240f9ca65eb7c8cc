#include "base/OutputFile.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <string_view>
#include <system_error>

#include "base/FileJournal.h"

namespace vocara {

namespace {

namespace fs = std::filesystem;

// The names of the temporary files in progress, readable from a signal handler: fixed buffers,
// each published by its flag only once its name is complete.
constexpr int PendingSlots = 16;
constexpr std::size_t PendingNameCapacity = 4096;
std::array<std::array<char, PendingNameCapacity>, PendingSlots> pendingNames{};
std::array<std::atomic<int>, PendingSlots> pendingState{};  // 0 free, 1 claimed, 2 published

int ClaimSlot(const std::string& name) {
  if (name.size() >= PendingNameCapacity) return -1;
  for (int i = 0; i < PendingSlots; ++i) {
    int expected = 0;
    if (!pendingState[i].compare_exchange_strong(expected, 1)) continue;
    name.copy(pendingNames[i].data(), name.size());
    pendingNames[i][name.size()] = '\0';
    pendingState[i].store(2);
    return i;
  }
  return -1;  // more outputs at once than slots: this one is only not cleaned up on a signal
}

void FreeSlot(int slot) {
  if (slot >= 0) pendingState[slot].store(0);
}

constexpr std::string_view TemporaryInfix = ".vocara-";
constexpr std::string_view TemporarySuffix = ".tmp";

// Leaves room in a 255-byte file name for the dot, the infix, two numbers and the suffix.
constexpr std::size_t MaxKeptNameLength = 200;

std::string TemporaryPrefix(const fs::path& target) {
  std::string name = target.filename().string();
  if (name.size() > MaxKeptNameLength) name.resize(MaxKeptNameLength);
  return "." + name + std::string(TemporaryInfix);
}

// Temporary files in `folder` left by processes that no longer run (killed, crashed), whatever
// output they were for.
void RemoveStaleTemporaries(const fs::path& folder) {
  std::error_code ec;
  fs::directory_iterator it(folder.empty() ? fs::path(".") : folder, ec);
  for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (!name.starts_with('.') || !name.ends_with(TemporarySuffix)) continue;
    const std::size_t infix = name.rfind(TemporaryInfix);
    if (infix == std::string::npos) continue;
    const std::string rest = name.substr(infix + TemporaryInfix.size());
    char* end = nullptr;
    const long pid = std::strtol(rest.c_str(), &end, 10);
    if (end == nullptr || *end != '-') continue;
    if (pid <= 0 || pid == static_cast<long>(::getpid())) continue;
    if (::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) continue;  // still running
    std::error_code ignored;
    fs::remove(it->path(), ignored);
  }
}

void SyncFolder(const fs::path& folder) {
  const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

std::atomic<unsigned> temporaryCounter{0};
std::atomic<unsigned> committedCounter{0};

// A writer that finds its target replaced once it has the lock goes round again: more rounds
// only happen when writers keep replacing the file.
constexpr int LockRounds = 8;

std::function<bool()>& LockWaitHook() {
  static std::function<bool()> hook;
  return hook;
}

}  // namespace

std::string FollowLinks(const std::string& name) {
  fs::path path(name);
  for (int hop = 0; hop < 40; ++hop) {
    std::error_code ec;
    if (!fs::is_symlink(fs::symlink_status(path, ec))) break;
    const fs::path next = fs::read_symlink(path, ec);
    if (ec) break;
    path = next.is_absolute() ? next : path.parent_path() / next;
  }
  return path.string();
}

void SetLockWaitHook(std::function<bool()> keepWaiting) { LockWaitHook() = std::move(keepWaiting); }

bool KeepWaitingForLock() {
  const std::function<bool()>& hook = LockWaitHook();
  return !hook || hook();
}

MessageId OutputFile::Begin(const std::string& target, std::initializer_list<std::string_view> inputs) {
  for (const std::string_view input : inputs)
    if (!input.empty() && SameFile(target, std::string(input)))
      return MessageId::OpenedFileCanNotBeOverwritten;
  return Begin(target);
}

MessageId OutputFile::Finish(bool complete) {
  if (complete && Commit()) return MessageId::None;
  Abandon();
  return MessageId::OutputWriteFailed;
}

OutputFile::LongEnd OutputFile::FinishLong(bool written, bool stopped, bool keepWhenStopped) {
  LongEnd end;
  const bool keep = !stopped || keepWhenStopped;
  if (keep && written) written = Commit();
  Abandon();
  end.kept = keep && written;
  if (!written) {
    end.message = MessageId::OutputWriteFailed;
    end.result = LongOperationResult::Failed;
  } else if (stopped) {
    end.result = LongOperationResult::Cancelled;
  }
  return end;
}

MessageId OutputFile::Begin(const std::string& target, bool readable, OutputLock lock) {
  Abandon();
  // Follow a link to the file it names, so that the link survives the rename.
  const fs::path path(FollowLinks(target));
  if (path.filename().empty()) return MessageId::InvalidFileHandle;
  struct stat existing {};
  bool exists = false;
  for (int round = 0;; ++round) {
    exists = ::stat(path.c_str(), &existing) == 0;
    if (exists && !S_ISREG(existing.st_mode)) return MessageId::NotARegularFile;
    if (!exists || lock == OutputLock::None) break;
    // The target's lock, for as long as this output is open; where another writer renamed its
    // result over the name meanwhile, the lock goes to that file instead.
    FileHandle held = FileHandle::OpenForLocking(path.string());
    if (!held.IsOpen()) break;  // gone meanwhile, or unreadable and unwritable: refused below
    if (!held.Lock(WriterLockWait, [] { return KeepWaitingForLock(); })) return MessageId::FileBusy;
    if (held.IsFileAt(path.string())) {
      exists = ::stat(path.c_str(), &existing) == 0;
      lock_ = std::move(held);
      break;
    }
    if (round == LockRounds) return MessageId::FileBusy;
  }
  // Refused as opening it for writing would be: the user may not change this file.
  if (exists && ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0) {
    lock_.Close();
    return MessageId::InvalidFileHandle;
  }
  // A rename would give the new file this name only, leaving the other names on the old one.
  if (exists && existing.st_nlink > 1) {
    lock_.Close();
    return MessageId::HardLinkedTarget;
  }

  const fs::path folder = path.parent_path();
  RemoveStaleTemporaries(folder);
  const std::string name = TemporaryPrefix(path) + std::to_string(::getpid()) + "-" +
                           std::to_string(temporaryCounter.fetch_add(1)) + std::string(TemporarySuffix);
  const fs::path temporary = folder / name;
  FileHandle file = FileHandle::CreateNew(temporary.string(), 0666, readable);
  if (!file.IsOpen()) {
    lock_.Close();
    return MessageId::InvalidFileHandle;
  }
  // The replacement keeps the owner (where root replaces another user's file), the group and
  // the permissions the user gave the file it replaces (owner and group first: giving a file
  // away may clear its set-group bit).
  if (exists) {
    if (::geteuid() == 0 && existing.st_uid != 0)
      file.SetOwner(existing.st_uid, existing.st_gid);
    else if (existing.st_gid != ::getegid())
      file.SetGroup(existing.st_gid);
    file.SetPermissions(existing.st_mode & 07777);
  }

  file_ = std::move(file);
  target_ = path.string();
  temporary_ = temporary.string();
  slot_ = ClaimSlot(temporary_);
  return MessageId::None;
}

bool OutputFile::Commit(FileHandle* keep) {
  if (!file_.IsOpen()) return false;
  const bool synced = file_.Sync();
  if (!keep) file_.Close();
  if (!synced || std::rename(temporary_.c_str(), target_.c_str()) != 0) {
    Abandon();
    return false;
  }
  committedCounter.fetch_add(1);
  if (keep) *keep = std::move(file_);
  // A journal beside the target was written for the file just replaced; it must never be
  // applied to this one.
  ::unlink(JournalPath(target_).c_str());
  SyncFolder(fs::path(target_).parent_path());
  Release();
  return true;
}

void OutputFile::Abandon() {
  if (temporary_.empty()) return;
  file_.Close();
  ::unlink(temporary_.c_str());
  Release();
}

void OutputFile::Release() {
  lock_.Close();  // the file this output replaced, or the target left as it was: its lock ends
  FreeSlot(slot_);
  slot_ = -1;
  temporary_.clear();
  target_.clear();
}

unsigned CommittedOutputs() { return committedCounter.load(); }

void RemovePendingOutputs() noexcept {
  for (int i = 0; i < PendingSlots; ++i) {
    if (pendingState[i].load() == 2) ::unlink(pendingNames[i].data());
  }
}

}  // namespace vocara
