#include "program/commands/ProgressPacer.h"

#include "program/shell/AppFlags.h"
#include "program/shell/SasSession.h"
#include "program/shell/Screen.h"
#include "program/views/Render.h"

namespace vocara {

ProgressPacer::ProgressPacer(Screen& screen, platform::MessagePump& pump, bool moveCursor)
    : screen_(screen), pump_(pump), moveCursor_(moveCursor), lastPump_(pump.Now()) {}

ProgressPacer::~ProgressPacer() {
  if (!reported_) return;
  if (moveCursor_) MoveProgressCursor(screen_, position_);
  pump_.PumpOneMessage();
}

ProgressCallback ProgressPacer::Callback() {
  return [this](std::uint64_t position, std::uint64_t) { return Report(position); };
}

bool ProgressPacer::Report(std::uint64_t position) {
  reported_ = true;
  position_ = position;
  const auto now = pump_.Now();
  if (now - lastPump_ >= PumpInterval) {
    lastPump_ = now;
    // The cursor line moves with the pump, so the window shows it when the messages that
    // present it are handled; between pumps nobody could see it move.
    if (moveCursor_) MoveProgressCursor(screen_, position);
    pump_.PumpOneMessage();
  }
  return (screen_.session.flags & AbortRequested) == 0;
}

}  // namespace vocara
