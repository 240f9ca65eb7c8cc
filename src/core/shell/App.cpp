#include "shell/App.h"

#include "shell/WindowProcedure.h"

namespace vocara {

App::App(platform::Platform& platformPorts)
    : ports(platformPorts),
      commands(MakeCommandTable()),
      layout(WindowLayout::Defaults()),
      status(DefaultStatusFields()) {}

std::intptr_t WindowProcedureSink::Dispatch(int view, const platform::Message& message) {
  return WindowProcedure(app_, view, message);
}

}  // namespace vocara
