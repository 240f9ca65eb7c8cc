#include "base/UserFolders.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <system_error>

namespace vocara {
namespace {

namespace fs = std::filesystem;

// An environment variable that holds an absolute path; empty otherwise (a relative one would
// depend on the current folder, which is the one place renders must never go).
fs::path AbsoluteFromEnvironment(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || value[0] != '/') return {};
  return fs::path(value);
}

fs::path MakeTemporaryFolder(const fs::path& under) {
  std::string name = (under / "vocara-XXXXXX").string();
  if (::mkdtemp(name.data()) == nullptr) return {};
  return fs::path(name);
}

}  // namespace

bool MakePrivateFolders(const fs::path& folder) {
  std::error_code error;
  if (fs::is_directory(folder, error)) return true;
  const fs::path parent = folder.parent_path();
  if (parent != folder && !parent.empty() && !MakePrivateFolders(parent)) return false;
  if (!fs::create_directory(folder, error)) return !error && fs::is_directory(folder, error);
  fs::permissions(folder, fs::perms::owner_all, fs::perm_options::replace, error);
  return !error;
}

bool DirectoryWritable(const fs::path& directory) {
  std::random_device random;
  for (int attempt = 0; attempt < 4; ++attempt) {
    const fs::path probe =
        directory / (".vocara-write-probe-" + std::to_string(random()) + std::to_string(random()));
    // "x": never open (and truncate) a file that happens to exist under the probe name.
    std::FILE* file = std::fopen(probe.c_str(), "wbx");
    if (file != nullptr) {
      std::fclose(file);
      std::error_code ignored;
      fs::remove(probe, ignored);
      return true;
    }
    if (errno != EEXIST) return false;
  }
  return false;
}

RenderFolder ChooseRenderFolder() {
  fs::path cache = AbsoluteFromEnvironment("XDG_CACHE_HOME");
  if (cache.empty()) {
    const fs::path home = AbsoluteFromEnvironment("HOME");
    if (!home.empty()) cache = home / ".cache";
  }
  if (!cache.empty()) {
    const fs::path folder = cache / "vocara";
    if (MakePrivateFolders(folder) && DirectoryWritable(folder)) return {folder, false};
  }
  for (const fs::path& under : {AbsoluteFromEnvironment("TMPDIR"), fs::path("/tmp")}) {
    if (under.empty()) continue;
    if (fs::path folder = MakeTemporaryFolder(under); !folder.empty()) return {folder, true};
  }
  return {};
}

}  // namespace vocara
