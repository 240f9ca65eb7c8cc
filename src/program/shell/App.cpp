#include "program/shell/App.h"

#include <filesystem>
#include <system_error>

namespace vocara {

App::App(platform::Platform& platformPorts) : ports(platformPorts) { commands.table = MakeCommandTable(); }

App::~App() {
  if (!docs.renderFolder.temporary) return;
  std::error_code ignored;
  std::filesystem::remove_all(docs.renderFolder.path, ignored);
}

std::optional<std::string> TemporaryRenderPath(OpenDocuments& docs, const char* name) {
  std::error_code error;
  if (docs.renderFolder.path.empty() || !std::filesystem::is_directory(docs.renderFolder.path, error)) {
    docs.renderFolder = ChooseRenderFolder();
  }
  if (docs.renderFolder.path.empty()) return std::nullopt;
  return (docs.renderFolder.path / name).string();
}

}  // namespace vocara
