// Remove Noise's vector loops against the plain ones, bit for bit: random blocks plus the values
// where the two could part ways (thresholds equal to a bin's power, a threshold that is no
// number, sums that wrap, transforms that overflow the sample range or are no number).
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "engine/processing/NoiseKernels.h"

namespace vocara {
namespace {

constexpr auto Plain = NoiseKernelPath::Plain;
constexpr auto Vector = NoiseKernelPath::Vector;

bool SameBits(const std::vector<double>& a, const std::vector<double>& b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

class NoiseKernelsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!NoiseKernelPathAvailable(Vector)) GTEST_SKIP() << "no vector path on this processor";
  }
  std::mt19937 random_{17};
  double Uniform(double scale) { return std::uniform_real_distribution<double>(-scale, scale)(random_); }
};

TEST_F(NoiseKernelsTest, WindowSubtractAndDetrendGiveThePlainBits) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (const std::uint32_t n : {4u, 8u, 64u, 4096u}) {
    std::vector<std::int32_t> samples(n);
    std::vector<double> window(n);
    for (std::uint32_t i = 0; i < n; ++i) {
      samples[i] = static_cast<std::int32_t>(random_());
      window[i] = std::abs(Uniform(1.0));
    }
    samples[0] = std::numeric_limits<std::int32_t>::min();
    std::vector<double> plain(n);
    std::vector<double> vector(n);
    NoiseWindow(Plain, samples.data(), window.data(), n, plain.data());
    NoiseWindow(Vector, samples.data(), window.data(), n, vector.data());
    EXPECT_TRUE(SameBits(plain, vector)) << "window, n = " << n;

    std::vector<double> threshold(n / 2 + 1);
    for (auto& t : threshold) t = std::abs(Uniform(1e18));
    threshold[2] = plain[2] * plain[2] + plain[3] * plain[3];  // exactly the bin's power: silenced
    if (n > 4) threshold[3] = nan;                             // no number: silenced
    vector = plain;
    NoiseSubtract(Plain, threshold.data(), n, plain.data());
    NoiseSubtract(Vector, threshold.data(), n, vector.data());
    EXPECT_TRUE(SameBits(plain, vector)) << "subtract, n = " << n;

    for (auto& b : plain) b = Uniform(1e12);
    plain[1] = 1e300;  // past the sample range either way
    plain[n - 2] = -1e300;
    if (n > 4) plain[2] = nan;
    std::vector<std::int32_t> plainValues(n);
    std::vector<std::int32_t> vectorValues(n);
    NoiseDetrend(Plain, plain.data(), n, plainValues.data());
    NoiseDetrend(Vector, plain.data(), n, vectorValues.data());
    EXPECT_EQ(plainValues, vectorValues) << "detrend, n = " << n;
  }
}

TEST_F(NoiseKernelsTest, SumsClampAndStoreAsThePlainLoopForEveryWidthAndLength) {
  constexpr std::int32_t Max = std::numeric_limits<std::int32_t>::max();
  constexpr std::int32_t Min = std::numeric_limits<std::int32_t>::min();
  for (unsigned blockAlign = 2; blockAlign <= 4; ++blockAlign) {
    for (std::size_t count = 0; count <= 35; ++count) {
      std::vector<std::int32_t> overlap(count);
      std::vector<std::int32_t> v(count);
      for (std::size_t i = 0; i < count; ++i) {
        overlap[i] = static_cast<std::int32_t>(random_());
        v[i] = static_cast<std::int32_t>(random_());
      }
      if (count > 3) {
        overlap[1] = Max, v[1] = 1;    // wraps upward
        overlap[2] = Min, v[2] = -1;   // wraps downward
        overlap[3] = Max, v[3] = Min;  // -1, no wrap
      }
      // One guard byte past the end shows a write beyond count x blockAlign.
      std::vector<std::uint8_t> plain(count * blockAlign + 1, 0xA5);
      std::vector<std::uint8_t> vector(plain);
      const std::uint8_t* plainEnd =
          NoiseAppendSums(Plain, overlap.data(), v.data(), count, blockAlign, plain.data());
      const std::uint8_t* vectorEnd =
          NoiseAppendSums(Vector, overlap.data(), v.data(), count, blockAlign, vector.data());
      EXPECT_EQ(plainEnd - plain.data(), static_cast<std::ptrdiff_t>(count * blockAlign));
      EXPECT_EQ(vectorEnd - vector.data(), plainEnd - plain.data());
      EXPECT_EQ(plain, vector) << "width " << blockAlign << ", " << count << " sums";
      if (count > 3) {
        // The wrapped sums stored as the bounds: 0x7FFF..., 0x8000...
        EXPECT_EQ(plain[2 * blockAlign - 1], 0x7F);
        EXPECT_EQ(plain[3 * blockAlign - 1], 0x80);
      }
    }
  }
}

}  // namespace
}  // namespace vocara
