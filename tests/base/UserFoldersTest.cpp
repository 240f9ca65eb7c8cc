// The folder of temporary renders: the user's cache folder from XDG_CACHE_HOME or HOME, made
// for the user alone, else a private temporary folder; never the current folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <tuple>

#include "base/UserFolders.h"
#include "support/ChildProcess.h"
#include "support/Environment.h"
#include "support/TempDir.h"
#include "support/WavFiles.h"

namespace vocara::test {
namespace {

namespace fs = std::filesystem;

fs::perms Mode(const fs::path& path) { return fs::status(path).permissions() & fs::perms::mask; }

class RenderFolderTest : public ::testing::Test {
 protected:
  RenderFolderTest() {
    fs::create_directory(tmp);
    for (const fs::path& folder : {temp.Path(), tmp})
      fs::permissions(folder, fs::perms::all);  // for the child that gives up root
    environment.Set("TMPDIR", tmp.string());
    environment.Set("HOME", (temp.Path() / "home").string());
  }

  TempDir temp;
  const fs::path tmp = temp.Path() / "tmp";
  ScopedEnvironment environment;
};

// $XDG_CACHE_HOME/vocara when the variable is absolute, else ~/.cache/vocara; the folders made
// are the user's alone, and one that was there keeps its mode.
TEST_F(RenderFolderTest, TheCacheFolderIsMadeForTheUserAlone) {
  fs::create_directory(temp.Path() / "xdg");
  fs::permissions(temp.Path() / "xdg", fs::perms(0755));
  environment.Set("XDG_CACHE_HOME", (temp.Path() / "xdg" / "cache").string());
  RenderFolder folder = ChooseRenderFolder();
  EXPECT_EQ(folder.path, temp.Path() / "xdg" / "cache" / "vocara");
  EXPECT_FALSE(folder.temporary);
  EXPECT_EQ(Mode(temp.Path() / "xdg" / "cache"), fs::perms(0700));
  EXPECT_EQ(Mode(folder.path), fs::perms(0700));
  EXPECT_EQ(Mode(temp.Path() / "xdg"), fs::perms(0755));

  environment.Unset("XDG_CACHE_HOME");
  for (const char* xdg : {static_cast<const char*>(nullptr), "", "relative/cache"}) {
    if (xdg != nullptr) environment.Set("XDG_CACHE_HOME", xdg);
    folder = ChooseRenderFolder();
    EXPECT_EQ(folder.path, temp.Path() / "home" / ".cache" / "vocara") << (xdg ? xdg : "unset");
    EXPECT_FALSE(folder.temporary);
  }
  EXPECT_EQ(Mode(temp.Path() / "home" / ".cache"), fs::perms(0700));
}

// A cache folder that cannot be made (under a file) or does not take files (read-only, for a
// user who is not root) gives a private folder under TMPDIR, or under /tmp; never the current
// folder, even when every variable names a relative path.
TEST_F(RenderFolderTest, AnUnwritableCacheGivesAPrivateTemporaryFolder) {
  environment.Set("XDG_CACHE_HOME", WriteFile((temp.Path() / "file").string(), "not a folder"));
  RenderFolder folder = ChooseRenderFolder();
  EXPECT_EQ(std::tuple(folder.temporary, folder.path.parent_path()), std::tuple(true, tmp));
  EXPECT_TRUE(folder.path.filename().string().starts_with("vocara-"));
  EXPECT_EQ(Mode(folder.path), fs::perms(0700));
  EXPECT_NE(ChooseRenderFolder().path, folder.path) << "each a folder of its own";

  fs::create_directories(temp.Path() / "readonly" / "vocara");
  fs::permissions(temp.Path() / "readonly" / "vocara", fs::perms(0555));
  environment.Set("XDG_CACHE_HOME", (temp.Path() / "readonly").string());
  const ChildResult child = RunAsUser([](int& exitCode) {
    const RenderFolder chosen = ChooseRenderFolder();
    exitCode = chosen.temporary ? 0 : 1;
    return chosen.path.string();
  });
  EXPECT_EQ(child.exitCode, 0) << child.output;
  EXPECT_EQ(fs::path(child.output).parent_path(), tmp);

  const fs::path current = fs::current_path();
  fs::current_path(tmp);
  environment.Set("XDG_CACHE_HOME", "cache");
  environment.Set("HOME", "home");
  environment.Set("TMPDIR", "tmp");
  folder = ChooseRenderFolder();
  fs::current_path(current);
  EXPECT_EQ(std::tuple(folder.temporary, folder.path.parent_path()), std::tuple(true, "/tmp"));
  fs::remove_all(folder.path);
}

}  // namespace
}  // namespace vocara::test
