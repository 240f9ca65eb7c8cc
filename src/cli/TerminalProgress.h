// Progress and Ctrl-C for the long operations of the command-line tool: a bar redrawn in
// place on a terminal, and an interrupt that stops the operation at its next frame.
#pragma once

#include <ostream>
#include <string_view>

#include "base/Progress.h"

namespace vocara::cli {

// Installs the Ctrl-C handler for the life of one operation and puts the previous one back.
class InterruptScope {
 public:
  InterruptScope();
  ~InterruptScope();
  InterruptScope(const InterruptScope&) = delete;
  InterruptScope& operator=(const InterruptScope&) = delete;

 private:
  void (*previous_)(int);
};

// Whether the bar is worth drawing: the stream is the process's stderr and a terminal.
bool DrawsProgressBar(const std::ostream& err);

// Answers false once Ctrl-C was pressed inside an InterruptScope; draws "<label> [###...] n%"
// whenever the percentage changes when drawBar is set.
ProgressCallback TerminalProgress(std::ostream& err, std::string_view label, bool drawBar);

}  // namespace vocara::cli
