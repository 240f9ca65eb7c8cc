// The user's own folders: whether a folder takes new files, the folder the program's
// temporary renders go to and the one its preferences live in. Standard library only, and
// mkdtemp for a private temporary folder.
#pragma once

#include <filesystem>

namespace vocara {

// True when a new file can be created in `directory`; the probe file is removed again.
bool DirectoryWritable(const std::filesystem::path& directory);

struct RenderFolder {
  std::filesystem::path path;  // empty when no folder could be had
  bool temporary = false;      // made for this run alone; whoever chose it removes it at the end
};

// Where temporary renders (Play Corrected's and the synthesiser's) go: $XDG_CACHE_HOME/vocara
// when XDG_CACHE_HOME is an absolute path, otherwise ~/.cache/vocara; the folders that are
// missing are created for the user alone (mode 0700). When that folder cannot be made or does
// not take files, a private folder made by mkdtemp under $TMPDIR (an absolute path) or /tmp,
// marked temporary. Never the current folder, so that no file of the user's there is replaced.
RenderFolder ChooseRenderFolder();

// Creates `folder` and the folders above it that are missing, each for the user alone (mode
// 0700). A folder that exists keeps its mode: the user may have chosen it. True when `folder`
// is a folder at the end.
bool MakePrivateFolders(const std::filesystem::path& folder);

}  // namespace vocara
