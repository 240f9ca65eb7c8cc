#include "cli/TerminalProgress.h"

#include <unistd.h>

#include <atomic>
#include <csignal>
#include <iostream>
#include <string>

#include "base/OutputFile.h"

namespace vocara::cli {
namespace {

constexpr int ProgressBarWidth = 40;

// Set by Ctrl-C while an operation runs; the progress callback turns it into a stop.
std::atomic<bool> interrupted{false};
// Set once a change has landed: the scope's handlers stay for the rest of the run.
std::atomic<bool> deferred{false};

extern "C" void OnInterrupt(int) { interrupted.store(true); }

extern "C" void OnFatalSignal(int signal) {
  RemovePendingOutputs();
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

}  // namespace

void InstallOutputCleanup() {
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) std::signal(signal, OnFatalSignal);
  // Past a file size limit a write then fails like one on a full disk and is reported, instead
  // of the process dying with a half-written temporary file.
  std::signal(SIGXFSZ, SIG_IGN);
}

InterruptScope::InterruptScope() {
  interrupted.store(false);
  previousInterrupt_ = std::signal(SIGINT, OnInterrupt);
  previousTerminate_ = std::signal(SIGTERM, OnInterrupt);
  previousHangUp_ = std::signal(SIGHUP, OnInterrupt);
}

InterruptScope::~InterruptScope() {
  if (deferred.load()) return;
  std::signal(SIGINT, previousInterrupt_);
  std::signal(SIGTERM, previousTerminate_);
  std::signal(SIGHUP, previousHangUp_);
}

bool Interrupted() { return interrupted.load(); }

void DeferInterruptsToTheEnd() { deferred.store(true); }

bool DrawsProgressBar(const std::ostream& err) { return &err == &std::cerr && ::isatty(STDERR_FILENO) != 0; }

ProgressCallback TerminalProgress(std::ostream& err, std::string_view label, bool drawBar) {
  return [&err, label = std::string(label), drawBar, shown = -1](std::uint64_t position,
                                                                 std::uint64_t total) mutable {
    if (drawBar) {
      const int percent = total == 0 ? 100 : static_cast<int>(position * 100 / total);
      if (percent != shown) {
        shown = percent;
        const int filled = percent * ProgressBarWidth / 100;
        err << '\r' << label << " [" << std::string(static_cast<std::size_t>(filled), '#')
            << std::string(static_cast<std::size_t>(ProgressBarWidth - filled), '.') << "] " << percent << "%"
            << std::flush;
      }
    }
    return !interrupted.load();
  };
}

}  // namespace vocara::cli
