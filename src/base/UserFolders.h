// The user's own folders: whether a folder takes new files, and the folder the program's
// temporary renders go to. Standard library only, and mkdtemp for a private temporary folder.
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

}  // namespace vocara
