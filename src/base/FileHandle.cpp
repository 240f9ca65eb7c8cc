#include "base/FileHandle.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <filesystem>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace vocara {

// std::fseek and std::ftell take a long; 64-bit offsets need it to be 64 bits wide.
static_assert(sizeof(long) >= 8, "file offsets are 64-bit");

FileHandle::FileHandle(FileHandle&& other) noexcept
    : file_(std::exchange(other.file_, nullptr)), buffer_(std::move(other.buffer_)) {}

FileHandle& FileHandle::operator=(FileHandle&& other) noexcept {
  if (this != &other) {
    Close();
    file_ = std::exchange(other.file_, nullptr);
    buffer_ = std::move(other.buffer_);
  }
  return *this;
}

namespace {

// Opens without waiting and keeps the file only when it is a regular file. A named pipe opened
// for reading waits for a writer, and a device may wait for its hardware; with O_NONBLOCK the
// open returns at once and fstat tells what was opened. Checking the name before a blocking
// open would not do: the name can be replaced by a pipe between the check and the open.
// The descriptor goes back to blocking reads before it is handed to the stream.
std::FILE* OpenRegularFile(const std::string& path, int access, const char* mode) {
  const int fd = ::open(path.c_str(), access | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct stat status {};
  const int flags = ::fcntl(fd, F_GETFL);
  if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || flags < 0 ||
      ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
    ::close(fd);
    return nullptr;
  }
  std::FILE* file = ::fdopen(fd, mode);
  if (file == nullptr) ::close(fd);
  return file;
}

}  // namespace

namespace {

// The system's reason for the last write of this thread that failed, kept for the message that
// reports the failure: by then the temporary file is gone and the disk may have room again.
thread_local int lastWriteError = 0;

bool NoteWrite(bool done) {
  if (!done && errno != 0) lastWriteError = errno;
  return done;
}

}  // namespace

FileHandle FileHandle::OpenForReading(const std::string& path) {
  return FileHandle(OpenRegularFile(path, O_RDONLY, "rb"));
}

FileHandle FileHandle::OpenForLocking(const std::string& path) {
  if (std::FILE* file = OpenRegularFile(path, O_RDONLY, "rb")) return FileHandle(file);
  return FileHandle(OpenRegularFile(path, O_WRONLY, "wb"));
}

FileHandle FileHandle::Create(const std::string& path) { return FileHandle(std::fopen(path.c_str(), "wb")); }

FileHandle FileHandle::OpenForUpdate(const std::string& path) {
  return FileHandle(OpenRegularFile(path, O_RDWR, "r+b"));
}

FileHandle FileHandle::CreateNew(const std::string& path, unsigned permissions, bool readable) {
  const int fd = ::open(path.c_str(), (readable ? O_RDWR : O_WRONLY) | O_CREAT | O_EXCL | O_CLOEXEC,
                        static_cast<mode_t>(permissions));
  if (fd < 0) {
    // Why the file could not be made (a full disk, a name too long); a name taken is the
    // caller's to handle.
    if (errno != EEXIST) NoteWrite(false);
    return {};
  }
  std::FILE* file = ::fdopen(fd, readable ? "w+b" : "wb");
  if (file == nullptr) ::close(fd);
  return FileHandle(file);
}

void FileHandle::Close() {
  if (file_ != nullptr) std::fclose(std::exchange(file_, nullptr));
  buffer_.reset();
}

std::uint64_t FileHandle::Size() {
  if (file_ == nullptr) return 0;
  const long position = std::ftell(file_);
  if (std::fseek(file_, 0, SEEK_END) != 0) return 0;
  const long size = std::ftell(file_);
  std::fseek(file_, position < 0 ? 0 : position, SEEK_SET);
  return size < 0 ? 0 : static_cast<std::uint64_t>(size);
}

bool FileHandle::Seek(std::uint64_t offset) {
  if (file_ == nullptr || offset > static_cast<std::uint64_t>(LONG_MAX)) return false;
  errno = 0;
  const bool moved = std::fseek(file_, static_cast<long>(offset), SEEK_SET) == 0;
  // A seek first writes out what is buffered: a full disk or the size limit shows up here.
  if (!moved && (errno == ENOSPC || errno == EFBIG || errno == EDQUOT)) NoteWrite(false);
  return moved;
}

std::size_t FileHandle::Read(void* destination, std::size_t bytes) {
  if (file_ == nullptr || bytes == 0) return 0;
  return std::fread(destination, 1, bytes, file_);
}

void FileHandle::BufferWrites(std::size_t bytes) {
  if (file_ == nullptr) return;
  auto buffer = std::make_unique<char[]>(bytes);
  if (std::setvbuf(file_, buffer.get(), _IOFBF, bytes) == 0) buffer_ = std::move(buffer);
}

int TakeWriteError() { return std::exchange(lastWriteError, 0); }

bool FileHandle::Write(const void* source, std::size_t bytes) {
  if (file_ == nullptr) return false;
  errno = 0;
  return NoteWrite(bytes == 0 || std::fwrite(source, 1, bytes, file_) == bytes);
}

bool FileHandle::Flush() {
  errno = 0;
  return file_ != nullptr && NoteWrite(std::fflush(file_) == 0);
}

bool FileHandle::Truncate(std::uint64_t size) {
  if (!Flush() || size > static_cast<std::uint64_t>(LONG_MAX)) return false;
  return NoteWrite(::ftruncate(::fileno(file_), static_cast<off_t>(size)) == 0);
}

bool FileHandle::Sync() { return Flush() && NoteWrite(::fsync(::fileno(file_)) == 0); }

bool FileHandle::SetPermissions(unsigned permissions) {
  return file_ != nullptr && ::fchmod(::fileno(file_), static_cast<mode_t>(permissions)) == 0;
}

void FileHandle::StartWriting(std::uint64_t offset, std::uint64_t bytes) {
  if (!Flush()) return;
  ::sync_file_range(::fileno(file_), static_cast<off64_t>(offset), static_cast<off64_t>(bytes),
                    SYNC_FILE_RANGE_WRITE);
}

bool FileHandle::SetGroup(std::uint64_t group) {
  return file_ != nullptr &&
         ::fchown(::fileno(file_), static_cast<uid_t>(-1), static_cast<gid_t>(group)) == 0;
}

bool FileHandle::SetOwner(std::uint64_t owner, std::uint64_t group) {
  return file_ != nullptr &&
         ::fchown(::fileno(file_), static_cast<uid_t>(owner), static_cast<gid_t>(group)) == 0;
}

std::optional<FileIdentity> FileHandle::Identity() const {
  struct stat status {};
  if (file_ == nullptr || ::fstat(::fileno(file_), &status) != 0) return std::nullopt;
  return FileIdentity{static_cast<std::uint64_t>(status.st_dev), static_cast<std::uint64_t>(status.st_ino)};
}

bool FileHandle::IsFileAt(const std::string& path) const {
  const std::optional<FileIdentity> mine = Identity();
  return mine && mine == IdentityOf(path);
}

bool FileHandle::Lock(std::chrono::milliseconds wait, const std::function<bool()>& keepWaiting) {
  if (file_ == nullptr) return false;
  const auto deadline = std::chrono::steady_clock::now() + wait;
  for (;;) {
    if (::flock(::fileno(file_), LOCK_EX | LOCK_NB) == 0) return true;
    if (errno != EWOULDBLOCK && errno != EINTR) return false;
    if (std::chrono::steady_clock::now() >= deadline || (keepWaiting && !keepWaiting())) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

void FileHandle::Unlock() {
  if (file_ != nullptr) ::flock(::fileno(file_), LOCK_UN);
}

bool FileHandle::CopyFrom(FileHandle& source, std::uint64_t bytes) {
  if (file_ == nullptr || source.file_ == nullptr || !source.Flush() || !Flush()) return false;
  const int in = ::fileno(source.file_);
  const int out = ::fileno(file_);
  loff_t from = 0;
  loff_t to = 0;
  std::uint64_t left = bytes;
  // The kernel's copy: no pass through user memory, and a shared extent where the file system
  // offers one.
  while (left > 0) {
    const ssize_t copied = ::copy_file_range(
        in, &from, out, &to, static_cast<std::size_t>(std::min<std::uint64_t>(left, 1u << 30)), 0);
    if (copied <= 0) break;
    left -= static_cast<std::uint64_t>(copied);
  }
  // Where the system cannot (another file system, an old kernel), large pieces through memory.
  if (left > 0) {
    std::vector<char> piece(std::size_t{1} << 20);
    while (left > 0) {
      const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(left, piece.size()));
      const ssize_t got = ::pread(in, piece.data(), n, from);
      if (got <= 0) return false;
      for (ssize_t done = 0; done < got;) {
        const ssize_t put = ::pwrite(out, piece.data() + done, static_cast<std::size_t>(got - done), to);
        if (put <= 0) return NoteWrite(false);
        done += put;
        to += put;
      }
      from += got;
      left -= static_cast<std::uint64_t>(got);
    }
  }
  // The FILE streams still think they are where they were; move them to a known place.
  std::fseek(source.file_, 0, SEEK_SET);
  return std::fseek(file_, 0, SEEK_SET) == 0;
}

std::optional<FileIdentity> IdentityOf(const std::string& path) {
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) return std::nullopt;
  return FileIdentity{static_cast<std::uint64_t>(status.st_dev), static_cast<std::uint64_t>(status.st_ino)};
}

bool SameFile(const std::string& a, const std::string& b) {
  if (a == b) return true;
  std::error_code ec;
  return std::filesystem::equivalent(a, b, ec) && !ec;
}

}  // namespace vocara
