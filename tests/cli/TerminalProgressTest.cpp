// The command-line tool's progress: Ctrl-C stops only the operation that is running, and the
// line is redrawn at most ten times a second and erased at the end.
#include <gtest/gtest.h>

#include <csignal>
#include <sstream>

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

TEST(TerminalProgress, TheLineSaysThePercentTheTimeSpentAndTheTimeLeft) {
  EXPECT_EQ(cli::ProgressLineText("building", 0, 200, 0.4), "building   0%  0:00 elapsed");
  EXPECT_EQ(cli::ProgressLineText("building", 84, 200, 12.2), "building  42%  0:12 elapsed, 0:17 left");
  EXPECT_EQ(cli::ProgressLineText("correcting", 1, 2, 3700),
            "correcting  50%  1:01:40 elapsed, 1:01:40 left");
  std::ostringstream err;
  const ProgressCallback progress = cli::TerminalProgress(err, "correcting", true);
  progress(0, 200);
  progress(100, 200);  // within the tenth of a second: not drawn again
  cli::EndProgress(err, true);
  EXPECT_EQ(err.str(), "\rcorrecting   0%  0:00 elapsed\033[K\r\033[K");
}

}  // namespace
}  // namespace vocara::test
