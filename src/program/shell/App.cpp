#include "program/shell/App.h"

#include <filesystem>
#include <system_error>

namespace vocara {

App::App(platform::Platform& platformPorts) : ports(platformPorts), commands(MakeCommandTable()) {}

App::~App() {
  if (!docs.renderFolder.temporary) return;
  std::error_code ignored;
  std::filesystem::remove_all(docs.renderFolder.path, ignored);
}

std::optional<std::string> TemporaryRenderPath(App& app, const char* name) {
  std::error_code error;
  if (app.docs.renderFolder.path.empty() ||
      !std::filesystem::is_directory(app.docs.renderFolder.path, error)) {
    app.docs.renderFolder = ChooseRenderFolder();
  }
  if (app.docs.renderFolder.path.empty()) return std::nullopt;
  return (app.docs.renderFolder.path / name).string();
}

}  // namespace vocara
