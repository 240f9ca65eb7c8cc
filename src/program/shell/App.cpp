#include "program/shell/App.h"

#include <filesystem>
#include <system_error>

namespace vocara {

App::App(platform::Platform& platformPorts) : ports(platformPorts), commands(MakeCommandTable()) {}

App::~App() {
  if (!renderFolder.temporary) return;
  std::error_code ignored;
  std::filesystem::remove_all(renderFolder.path, ignored);
}

std::optional<std::string> TemporaryRenderPath(App& app, const char* name) {
  std::error_code error;
  if (app.renderFolder.path.empty() || !std::filesystem::is_directory(app.renderFolder.path, error)) {
    app.renderFolder = ChooseRenderFolder();
  }
  if (app.renderFolder.path.empty()) return std::nullopt;
  return (app.renderFolder.path / name).string();
}

}  // namespace vocara
