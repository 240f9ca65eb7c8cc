#include "program/shell/App.h"

#include <filesystem>
#include <system_error>

#include "program/commands/SasCommands.h"
#include "program/commands/WavCommands.h"
#include "program/shell/WindowProcedure.h"
#include "program/views/SpectrumViews.h"

namespace vocara {

App::App(platform::Platform& platformPorts)
    : ports(platformPorts),
      commands(MakeCommandTable()),
      layout(WindowLayout::Defaults()),
      status(DefaultStatusFields()) {
  // The documents install their openers first, so that a front end or a test can replace them.
  InstallWavDocument(*this);
  InstallSasDocument(*this);
  InstallSpectrumViews(*this);
}

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

std::intptr_t WindowProcedureSink::Dispatch(int view, const platform::Message& message) {
  return WindowProcedure(app_, view, message);
}

}  // namespace vocara
