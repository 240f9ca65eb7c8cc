#include "program/shell/App.h"

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

std::intptr_t WindowProcedureSink::Dispatch(int view, const platform::Message& message) {
  return WindowProcedure(app_, view, message);
}

}  // namespace vocara
