#include "cli/FileProblems.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "cli/Cli.h"
#include "engine/sas/SasRecords.h"

namespace vocara::cli {
namespace {

std::string SystemText(int error) { return std::strerror(error); }

// The folder a name lives in: "." for a bare name.
std::string FolderOf(const std::string& path) {
  const std::filesystem::path folder = std::filesystem::path(path).parent_path();
  return folder.empty() ? std::string(".") : folder.string();
}

// What the first bytes say the file is: "RIFF" size "WAVE", or "SAS ".
FileKind KindByContent(const std::string& path) {
  std::array<char, 12> start{};
  std::ifstream file(path, std::ios::binary);
  file.read(start.data(), start.size());
  const std::streamsize got = file.gcount();
  if (got >= 4 && std::equal(SasMagic.begin(), SasMagic.end(), start.begin())) return FileKind::Sas;
  if (got == 12 && std::memcmp(start.data(), "RIFF", 4) == 0 && std::memcmp(start.data() + 8, "WAVE", 4) == 0)
    return FileKind::Wav;
  return FileKind::Any;
}

// The folder of a file that is to appear or be replaced there, as the way to it fails.
std::optional<std::string> FolderProblem(const std::string& path) {
  const std::string folder = FolderOf(path);
  struct stat info {};
  if (::stat(folder.c_str(), &info) != 0) return SystemText(errno);
  if (!S_ISDIR(info.st_mode)) return SystemText(ENOTDIR);
  if (::access(folder.c_str(), W_OK | X_OK) != 0) return SystemText(errno);
  return std::nullopt;
}

}  // namespace

std::optional<std::string> InputProblem(const std::string& path, FileKind expected, FileUse use) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return SystemText(errno);
  if (S_ISDIR(info.st_mode)) return SystemText(EISDIR);
  if (!S_ISREG(info.st_mode)) return "not a regular file";
  if (::access(path.c_str(), use == FileUse::Change ? R_OK | W_OK : R_OK) != 0) return SystemText(errno);
  if (use == FileUse::Change) {
    if (const std::optional<std::string> folder = FolderProblem(path)) return "its folder: " + *folder;
  }
  const FileKind found = KindByContent(path);
  if (expected == FileKind::Sas && found == FileKind::Wav) return "a WAV recording, not a SAS file";
  if (expected == FileKind::Wav && found == FileKind::Sas) return "a SAS file, not a WAV recording";
  return std::nullopt;
}

std::optional<std::string> OutputProblem(const std::string& path) {
  // A missing folder on the way reads as the name's own ENOENT, as the shell says it.
  if (std::optional<std::string> folder = FolderProblem(path)) return folder;
  struct stat info {};
  if (::stat(path.c_str(), &info) == 0) {
    if (S_ISDIR(info.st_mode)) return SystemText(EISDIR);
    if (!S_ISREG(info.st_mode)) return "not a regular file";
    // Refused as cp would refuse it, though the folder would let a rename replace it.
    if (::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0) return SystemText(EACCES);
  }
  struct statvfs space {};
  if (::statvfs(FolderOf(path).c_str(), &space) == 0 && space.f_bavail == 0) return SystemText(ENOSPC);
  return std::nullopt;
}

void ExplainInput(std::ostream& err, const std::string& path, FileKind expected, FileUse use) {
  err << "vocara-cli: " << path << ": " << InputProblem(path, expected, use).value_or("could not be opened")
      << '\n';
}

void ExplainOutput(std::ostream& err, const std::string& path) {
  err << "vocara-cli: " << path << ": " << OutputProblem(path).value_or("could not be written") << '\n';
}

int InputRefused(std::ostream& err, MessageId message, const std::string& path, FileKind expected,
                 FileUse use) {
  err << MessageText(message) << '\n';
  const std::optional<std::string> problem = InputProblem(path, expected, use);
  if (problem) {
    err << "vocara-cli: " << path << ": " << *problem << '\n';
  } else if (message == MessageId::InvalidFileHandle) {
    ExplainInput(err, path, expected, use);
  }
  return ExitFailure;
}

}  // namespace vocara::cli
