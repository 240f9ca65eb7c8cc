// The openers read files, so every fuzz input goes through a file of this process's own in
// the temporary folder.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <string>

namespace vocara::fuzz {

inline std::string TempName(const char* suffix) {
  return (std::filesystem::temp_directory_path() / ("vocara-fuzz-" + std::to_string(getpid()) + suffix))
      .string();
}

}  // namespace vocara::fuzz
