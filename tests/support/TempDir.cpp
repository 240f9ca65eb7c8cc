#include "support/TempDir.h"

#include <atomic>
#include <random>
#include <system_error>

namespace vocara::test {

TempDir::TempDir() {
  static std::atomic<int> counter{0};
  std::random_device seed;
  const auto base = std::filesystem::temp_directory_path();
  for (;;) {
    path_ = base / ("vocara-test-" + std::to_string(seed()) + "-" + std::to_string(counter++));
    if (std::filesystem::create_directory(path_)) break;
  }
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

}  // namespace vocara::test
