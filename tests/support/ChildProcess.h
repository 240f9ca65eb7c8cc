// Running a piece of a test in a child process: with a file size limit, so that writes fail
// part way as on a full disk (no privileges or small file systems needed), and what the child
// printed comes back to the test.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vocara::test {

struct ChildResult {
  int exitCode = -1;   // -1 when the child did not exit normally
  std::string output;  // what the child returned as its text
};

// Forks; the child lowers RLIMIT_FSIZE to `fileSizeLimit` bytes, ignores SIGXFSZ (so a write
// past the limit fails with EFBIG instead of killing it), runs `body`, sends the text it
// returns back through a pipe and exits with `exitCode` as `body` set it.
ChildResult RunWithFileSizeLimit(std::uint64_t fileSizeLimit,
                                 const std::function<std::string(int& exitCode)>& body);

// Forks; the child gives up root (becomes "nobody") when it runs as root, so that file
// permissions hold for it as for a user, runs `body` and reports as above.
ChildResult RunAsUser(const std::function<std::string(int& exitCode)>& body);

// Starts `program` with `args` as a process of its own, so that a kill or a signal ends a real
// process; its standard output and error go to the files named (or /dev/null).
int StartProcess(const std::string& program, const std::vector<std::string>& args,
                 const std::string& errorFile = "/dev/null");
// Waits for it; the status as waitpid gives it.
int WaitForProcess(int pid);

// The files of `folder` whose names start with "." and contain ".vocara-": temporary outputs.
int TemporaryFileCount(const std::string& folder);

}  // namespace vocara::test
