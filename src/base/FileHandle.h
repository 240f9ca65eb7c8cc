// An open file owned by one document or one write operation, closed when the owner lets
// it go. Offsets and sizes are 64-bit whatever the widths of the fields inside the file.
//
// A WAV document's file is opened for reading only, a SAS document's for reading and writing
// in place; other programs can go on reading either. The desktop this runs on has no share
// modes that would keep them from writing it; the save operations refuse the open document as
// their target instead.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace vocara {

// Which file an open handle or a name denotes: the same identity is the same file, whatever
// names lead to it; a file renamed over the name has another.
struct FileIdentity {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

class FileHandle {
 public:
  FileHandle() = default;
  ~FileHandle() { Close(); }
  FileHandle(FileHandle&& other) noexcept;
  FileHandle& operator=(FileHandle&& other) noexcept;
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;

  // An existing regular file for reading; not open when it is missing, unreadable or not a
  // regular file (a directory or a device cannot be a document).
  static FileHandle OpenForReading(const std::string& path);
  // A new file for writing, replacing any file of that name.
  static FileHandle Create(const std::string& path);
  // An existing regular file for reading and writing in place (a SAS document); not open when
  // it is missing, not a regular file, or cannot be written.
  static FileHandle OpenForUpdate(const std::string& path);
  // A file of a name that must not exist yet, for writing (and reading back when `readable`),
  // with the given permission bits (the process's umask applies). Not open when the name exists
  // or cannot be created.
  static FileHandle CreateNew(const std::string& path, unsigned permissions, bool readable = false);

  // An existing regular file opened only to hold its lock: for reading, or for writing where
  // the user may not read it.
  static FileHandle OpenForLocking(const std::string& path);

  bool IsOpen() const { return file_ != nullptr; }
  void Close();

  // The size in bytes; 0 when it cannot be found.
  std::uint64_t Size();
  bool Seek(std::uint64_t offset);
  // Reads up to `bytes`; fewer only at the end of the file or on an error.
  std::size_t Read(void* destination, std::size_t bytes);
  bool Write(const void* source, std::size_t bytes);
  // Collects writes in a buffer of `bytes` before handing them to the system; to be asked for
  // before the first read or write.
  void BufferWrites(std::size_t bytes);
  // Hands written bytes to the system, so that other readers of the file see them.
  bool Flush();
  // Ends the file at `size` bytes, after flushing what was written.
  bool Truncate(std::uint64_t size);
  // Flushes and waits until the system has the bytes on the disk, so that a crash after this
  // cannot lose them.
  bool Sync();
  // Flushes and asks the system to start writing bytes offset .. offset + bytes - 1 to the disk
  // without waiting for them, so that a Sync later has less left to wait for.
  void StartWriting(std::uint64_t offset, std::uint64_t bytes);
  // Sets the permission bits (no umask).
  bool SetPermissions(unsigned permissions);
  // Gives the file to `group`; false where the user may not (not a member of it).
  bool SetGroup(std::uint64_t group);
  // Gives the file to `owner` and `group` (root only).
  bool SetOwner(std::uint64_t owner, std::uint64_t group);

  // The identity of the open file; nullopt when none is open.
  std::optional<FileIdentity> Identity() const;
  // Whether `path` names this open file now, not a file renamed over that name since.
  bool IsFileAt(const std::string& path) const;

  // An exclusive advisory lock on the file, shared by every Vocara process that changes it:
  // tried again every few milliseconds for up to `wait` while `keepWaiting` (if given) says so.
  // False when another holder kept it all that time. The lock ends with Unlock or Close.
  bool Lock(std::chrono::milliseconds wait, const std::function<bool()>& keepWaiting = {});
  void Unlock();

  // Replaces this file's bytes from the start with the first `bytes` bytes of `source` (the
  // system copies them without passing them through the process where it can). Both streams
  // are left at their start; false when any byte failed.
  bool CopyFrom(FileHandle& source, std::uint64_t bytes);

 private:
  explicit FileHandle(std::FILE* file) : file_(file) {}
  std::FILE* file_ = nullptr;
  std::unique_ptr<char[]> buffer_;
};

// The system's error number of the last Write, Flush, Truncate or Sync of this thread that
// failed (ENOSPC on a full disk, EFBIG past the file size limit), forgotten as it is taken; 0
// when none failed since. What a failed output tells the user as its reason.
int TakeWriteError();

// The identity of the file a name denotes (through links); nullopt when there is none.
std::optional<FileIdentity> IdentityOf(const std::string& path);

// Whether two names denote the same existing file (also through links or "." and ".."
// segments). Byte-equal names always count as the same.
bool SameFile(const std::string& a, const std::string& b);

}  // namespace vocara
