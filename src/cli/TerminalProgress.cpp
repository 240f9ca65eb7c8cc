#include "cli/TerminalProgress.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <optional>
#include <string>

#include "base/OutputFile.h"

namespace vocara::cli {
namespace {

// At most ten redraws a second: a terminal drawing more only slows the operation.
constexpr int ProgressRedrawMs = 100;

// The signal (Ctrl-C, SIGTERM, SIGHUP) that arrived while an operation runs, 0 for none; the
// progress callback turns it into a stop.
std::atomic<int> interrupted{0};
// Set once a change has landed: the scope's handlers stay for the rest of the run.
std::atomic<bool> deferred{false};
// Whether the run changes a file in place: the signals are noted from start to end.
std::atomic<bool> wholeRun{false};
int scopeDepth = 0;

extern "C" void OnInterrupt(int signal) { interrupted.store(signal); }

extern "C" void OnFatalSignal(int signal) {
  RemovePendingOutputs();
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

constexpr int StopSignals[] = {SIGINT, SIGTERM, SIGHUP};
// Signals the process was started to ignore (nohup, a background job): they stay ignored.
std::atomic<unsigned> ignored{0};

bool Ignored(int signal) { return (ignored.load() >> signal & 1u) != 0; }

void Handle(int signal, void (*handler)(int)) { std::signal(signal, Ignored(signal) ? SIG_IGN : handler); }

}  // namespace

void CatchInterruptsFromTheStart() {
  sigset_t stops;
  sigemptyset(&stops);
  for (const int signal : StopSignals) {
    if (std::signal(signal, OnInterrupt) == SIG_IGN) {
      ignored.fetch_or(1u << signal);
      std::signal(signal, SIG_IGN);
    }
    sigaddset(&stops, signal);
  }
  // One sent while the process was starting and held back by the starter is taken now.
  ::sigprocmask(SIG_UNBLOCK, &stops, nullptr);
  // Past a file size limit a write then fails like one on a full disk and is reported, instead
  // of the process dying with a half-written temporary file.
  std::signal(SIGXFSZ, SIG_IGN);
}

void SettleInterrupts(bool changesInPlace) {
  SetLockWaitHook([] { return !Interrupted(); });
  if (changesInPlace) {
    wholeRun.store(true);
    return;
  }
  for (const int signal : StopSignals) Handle(signal, OnFatalSignal);
  if (const int noted = interrupted.exchange(0); noted != 0) OnFatalSignal(noted);
}

InterruptScope::InterruptScope() {
  outermost_ = scopeDepth++ == 0;
  if (wholeRun.load()) return;
  if (outermost_) interrupted.store(0);
  previousInterrupt_ = std::signal(SIGINT, Ignored(SIGINT) ? SIG_IGN : OnInterrupt);
  previousTerminate_ = std::signal(SIGTERM, Ignored(SIGTERM) ? SIG_IGN : OnInterrupt);
  previousHangUp_ = std::signal(SIGHUP, Ignored(SIGHUP) ? SIG_IGN : OnInterrupt);
}

InterruptScope::~InterruptScope() {
  --scopeDepth;
  if (wholeRun.load() || deferred.load()) return;
  std::signal(SIGINT, previousInterrupt_);
  std::signal(SIGTERM, previousTerminate_);
  std::signal(SIGHUP, previousHangUp_);
}

bool Interrupted() { return interrupted.load() != 0; }

void DeferInterruptsToTheEnd() { deferred.store(true); }

bool DrawsProgressBar(const std::ostream& err) { return &err == &std::cerr && ::isatty(STDERR_FILENO) != 0; }

namespace {

std::string ClockText(double seconds) {
  const auto whole = static_cast<long long>(std::max(0.0, std::round(seconds)));
  char text[32];
  if (whole >= 3600)
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", whole / 3600, whole / 60 % 60, whole % 60);
  else
    std::snprintf(text, sizeof text, "%lld:%02lld", whole / 60, whole % 60);
  return text;
}

}  // namespace

std::string ProgressLineText(std::string_view label, std::uint64_t position, std::uint64_t total,
                             double elapsedSeconds) {
  const double done =
      total == 0 ? 1.0 : std::min(1.0, static_cast<double>(position) / static_cast<double>(total));
  char percent[16];
  std::snprintf(percent, sizeof percent, " %3d%%  ", static_cast<int>(done * 100));
  std::string line = std::string(label) + percent + ClockText(elapsedSeconds) + " elapsed";
  // An estimate from the first per cent or second would be noise.
  if (done >= 0.01 && elapsedSeconds >= 1.0)
    line += ", " + ClockText(elapsedSeconds * (1.0 - done) / done) + " left";
  return line;
}

ProgressCallback TerminalProgress(std::ostream& err, std::string_view label, bool drawBar) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point start = Clock::now();
  return [&err, label = std::string(label), drawBar, start, drawn = std::optional<Clock::time_point>()](
             std::uint64_t position, std::uint64_t total) mutable {
    if (drawBar) {
      const Clock::time_point now = Clock::now();
      if (!drawn || now - *drawn >= std::chrono::milliseconds(ProgressRedrawMs)) {
        drawn = now;
        const double elapsed = std::chrono::duration<double>(now - start).count();
        err << '\r' << ProgressLineText(label, position, total, elapsed) << "\033[K" << std::flush;
      }
    }
    return interrupted.load() == 0;
  };
}

void EndProgress(std::ostream& err, bool drawBar) {
  if (drawBar) err << "\r\033[K" << std::flush;
}

}  // namespace vocara::cli
