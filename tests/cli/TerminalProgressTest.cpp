// The command-line tool's progress: Ctrl-C stops only the operation that is running, and the
// bar is redrawn only when its percentage changes.
#include <gtest/gtest.h>

#include <csignal>
#include <sstream>
#include <string>

#include "cli/TerminalProgress.h"

namespace vocara::test {
namespace {

TEST(TerminalProgress, CtrlCStopsTheRunningOperationOnly) {
  std::ostringstream err;
  {
    const cli::InterruptScope running;
    const ProgressCallback progress = cli::TerminalProgress(err, "building", false);
    EXPECT_TRUE(progress(1, 10));
    std::raise(SIGINT);
    EXPECT_FALSE(progress(2, 10));
  }
  const cli::InterruptScope next;  // the next operation starts uninterrupted
  EXPECT_TRUE(cli::TerminalProgress(err, "correcting", false)(1, 10));
  EXPECT_TRUE(err.str().empty());  // no bar without a terminal
}

TEST(TerminalProgress, TheBarIsRedrawnWhenThePercentageChanges) {
  std::ostringstream err;
  const ProgressCallback progress = cli::TerminalProgress(err, "correcting", true);
  progress(0, 200);
  progress(1, 200);  // still 0 %
  progress(100, 200);
  EXPECT_EQ(err.str(), "\rcorrecting [" + std::string(40, '.') + "] 0%" + "\rcorrecting [" +
                           std::string(20, '#') + std::string(20, '.') + "] 50%");
}

}  // namespace
}  // namespace vocara::test
