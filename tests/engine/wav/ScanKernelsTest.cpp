// The vector path of the 24-bit scan loop against the plain loop: every run length around
// the 8-sample steps and the 10-sample reserve, and extremes carried in from earlier runs.
// The 16-bit loop is checked through the file scan against its oracle (SampleAccessTest).
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "engine/wav/ScanKernels.h"

namespace vocara {
namespace {

bool operator==(const RunState& a, const RunState& b) {
  return a.sum == b.sum && a.min == b.min && a.max == b.max;
}

TEST(ScanKernelsTest, TwentyFourBitVectorPathMatchesThePlainLoop) {
  std::mt19937 random(24);
  // One spare byte in front, as in the read buffer; nothing behind the run, so a read past
  // the end of the run shows under AddressSanitizer.
  for (std::size_t n = 0; n < 70; ++n) {
    std::vector<std::uint8_t> bytes(1 + 3 * n);
    for (auto& b : bytes) b = static_cast<std::uint8_t>(random());
    if (n > 5) {
      bytes[1 + 3 * (n / 2) + 2] = 0x80;  // a full-scale negative sample: 00 00 80
      bytes[1 + 3 * (n / 2) + 1] = 0;
      bytes[1 + 3 * (n / 2)] = 0;
    }
    const std::uint8_t* samples = bytes.data() + 1;
    RunState plain;
    RunState vector;
    if (!ScanRun24Vector(samples, n, vector)) GTEST_SKIP() << "no vector path on this processor";
    ScanRun24Plain(samples, n, plain);
    ASSERT_TRUE(vector == plain) << n;

    RunState carriedPlain{7, -5, 5};  // extremes from an earlier run of the same block
    RunState carriedVector = carriedPlain;
    ScanRun24Plain(samples, n, carriedPlain);
    ScanRun24Vector(samples, n, carriedVector);
    ASSERT_TRUE(carriedVector == carriedPlain) << n;
  }
}

}  // namespace
}  // namespace vocara
