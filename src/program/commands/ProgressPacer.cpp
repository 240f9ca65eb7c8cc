#include "program/commands/ProgressPacer.h"

#include "program/shell/App.h"
#include "program/shell/AppFlags.h"
#include "program/views/Render.h"

namespace vocara {

ProgressPacer::ProgressPacer(App& app, bool moveCursor)
    : app_(app), moveCursor_(moveCursor), lastPump_(app.ports.pump.Now()) {}

ProgressPacer::~ProgressPacer() {
  if (!reported_) return;
  if (moveCursor_) MoveProgressCursor(app_, position_);
  app_.ports.pump.PumpOneMessage();
}

ProgressCallback ProgressPacer::Callback() {
  return [this](std::uint64_t position, std::uint64_t) { return Report(position); };
}

bool ProgressPacer::Report(std::uint64_t position) {
  reported_ = true;
  position_ = position;
  const auto now = app_.ports.pump.Now();
  if (now - lastPump_ >= PumpInterval) {
    lastPump_ = now;
    // The cursor line moves with the pump, so the window shows it when the messages that
    // present it are handled; between pumps nobody could see it move.
    if (moveCursor_) MoveProgressCursor(app_, position);
    app_.ports.pump.PumpOneMessage();
  }
  return (app_.flags & AbortRequested) == 0;
}

}  // namespace vocara
