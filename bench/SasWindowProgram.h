// The program the SAS window benchmarks drive: started on the fake platform, its SAS window
// Columns wide and 1024 rows high, the SAS file at `path` open; mouse and command messages go
// through the window procedure as the platform would send them.
#pragma once

#include <string>

#include "program/dispatch/StartUp.h"
#include "program/dispatch/WindowProcedure.h"
#include "program/shell/App.h"
#include "program/views/ViewLayout.h"
#include "support/FakePlatform.h"

namespace vocara::bench {

inline constexpr int SasColumns = 1280;

struct SasWindowProgram {
  test::FakePlatform fake;
  App app{fake.ports};
  WindowProcedureSink sink{app};

  explicit SasWindowProgram(const std::string& path) {
    ProgramStart(app, "");
    fake.windows.views[SasView].clientSize = {SasColumns + ScrollControlWidth, 1024};
    ResizeView(app.windows, app.session, app.docs, app.ports, SasView);
    OpenDocumentByName(app, path);
  }
  void Mouse(platform::MessageKind kind, int x, int y) {
    platform::Message message;
    message.kind = kind;
    message.pos = {x, y};
    sink.Dispatch(SasView, message);
  }
  void Command(int id) {
    platform::Message message;
    message.kind = platform::MessageKind::Command;
    message.command = id;
    sink.Dispatch(SasView, message);
  }
  // The recorded cursors, presented rectangles and invalidations would grow without end.
  void Forget() {
    fake.windows.cursors.clear();
    fake.windows.views[SasView].presented.clear();
    fake.windows.views[SasView].invalidated.clear();
  }
};

}  // namespace vocara::bench
