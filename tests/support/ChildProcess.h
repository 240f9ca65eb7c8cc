// Running a piece of a test in a child process: with a file size limit, so that writes fail
// part way as on a full disk (no privileges or small file systems needed), and what the child
// printed comes back to the test.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

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

// The files of `folder` whose names start with "." and contain ".vocara-": temporary outputs.
int TemporaryFileCount(const std::string& folder);

}  // namespace vocara::test
