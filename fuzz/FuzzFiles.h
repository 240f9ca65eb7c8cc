// The files a fuzz target feeds its input through and writes its outputs to.
//
// The openers take a path, so every input has to be a file. Writing a new file on disk per
// input cost more than the openers themselves; instead each target makes one file when it
// starts and refills it in place for every input. Preferably that is an anonymous memory file
// (memfd) opened by its "/proc/self/fd/<n>" name: fopen on that name opens the same regular
// file afresh, so the opener runs exactly the code it runs for any other file.
//
// Outputs (range copies, SAS copies, the command-line tool's files) need real names, since an
// output is written beside its target and renamed over it, and so does a file that keeps a
// journal beside it. They go to a folder of this process's own in /dev/shm, a memory file
// system, or in the temporary folder where there is none; the folder is removed when the
// process ends normally.
#pragma once

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <utility>

namespace vocara::fuzz {

// Stops the run: a fuzz target that cannot set up its files would report nothing but noise.
[[noreturn]] inline void SetupFailed(const char* what) {
  std::perror(what);
  std::abort();
}

namespace detail {
// Never destroyed: the exit handler that removes the folder may run after static destructors.
inline std::filesystem::path* scratchFolder = nullptr;
inline void RemoveScratchFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(*scratchFolder, ignored);
}
}  // namespace detail

// The process's own output folder, made on first use.
inline const std::filesystem::path& ScratchFolder() {
  static const bool made = [] {
    std::error_code error;
    std::filesystem::path base = "/dev/shm";
    if (!std::filesystem::is_directory(base, error) || ::access(base.c_str(), W_OK) != 0)
      base = std::filesystem::temp_directory_path();
    detail::scratchFolder = new std::filesystem::path(base / ("vocara-fuzz-" + std::to_string(::getpid())));
    std::filesystem::remove_all(*detail::scratchFolder, error);  // a folder left by a process of that id
    if (!std::filesystem::create_directories(*detail::scratchFolder, error))
      SetupFailed(detail::scratchFolder->c_str());
    std::atexit(detail::RemoveScratchFolder);
    return true;
  }();
  static_cast<void>(made);
  return *detail::scratchFolder;
}

inline std::string ScratchPath(const char* name) { return (ScratchFolder() / name).string(); }

// The file one fuzz input is written to, made once and refilled for every input.
class InputFile {
 public:
  // An anonymous memory file, opened by its /proc/self/fd name.
  static InputFile Memory(const char* name) {
    const int fd = ::memfd_create(name, MFD_CLOEXEC);
    if (fd < 0) SetupFailed("memfd_create");
    return InputFile(fd, "/proc/self/fd/" + std::to_string(fd));
  }
  // A named file in the output folder, for openers that need the file's folder too (a SAS
  // opened for writing keeps its journal beside it).
  static InputFile Named(const char* name) {
    std::string path = ScratchPath(name);
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) SetupFailed(path.c_str());
    return InputFile(fd, std::move(path));
  }

  InputFile(InputFile&& other) noexcept : fd_(std::exchange(other.fd_, -1)), path_(std::move(other.path_)) {}
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;
  ~InputFile() {
    if (fd_ >= 0) ::close(fd_);
  }

  // The name to open the file by.
  const std::string& Path() const { return path_; }

  // Makes the file hold exactly these bytes.
  void Fill(const void* data, std::size_t size) {
    if (::ftruncate(fd_, static_cast<off_t>(size)) != 0) SetupFailed("ftruncate");
    if (size > 0 && ::pwrite(fd_, data, size, 0) != static_cast<ssize_t>(size)) SetupFailed("pwrite");
  }

  std::uint64_t Size() const {
    struct stat status {};
    if (::fstat(fd_, &status) != 0) SetupFailed("fstat");
    return static_cast<std::uint64_t>(status.st_size);
  }

  // The whole content, as the code under test left it.
  std::string Read() const {
    std::string bytes(Size(), '\0');
    if (!bytes.empty() && ::pread(fd_, bytes.data(), bytes.size(), 0) != static_cast<ssize_t>(bytes.size()))
      SetupFailed("pread");
    return bytes;
  }

 private:
  InputFile(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}

  int fd_;
  std::string path_;
};

}  // namespace vocara::fuzz
