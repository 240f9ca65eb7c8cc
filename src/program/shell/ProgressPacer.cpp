#include "program/shell/ProgressPacer.h"

#include "program/shell/App.h"
#include "program/shell/AppFlags.h"
#include "program/views/Render.h"

namespace vocara {

ProgressPacer::ProgressPacer(App& app, bool moveCursor)
    : app_(app), moveCursor_(moveCursor), lastPump_(app.ports.pump.Now()) {}

ProgressPacer::~ProgressPacer() {
  if (reported_) app_.ports.pump.PumpOneMessage();
}

ProgressCallback ProgressPacer::Callback() {
  return [this](std::uint64_t position, std::uint64_t) { return Report(position); };
}

bool ProgressPacer::Report(std::uint64_t position) {
  reported_ = true;
  if (moveCursor_) MoveProgressCursor(app_, position);
  const auto now = app_.ports.pump.Now();
  if (now - lastPump_ >= PumpInterval) {
    lastPump_ = now;
    app_.ports.pump.PumpOneMessage();
  }
  return (app_.flags & AbortRequested) == 0;
}

}  // namespace vocara
