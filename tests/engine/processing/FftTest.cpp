// The transforms: their results against a direct Fourier sum, the inverse of a forward real
// transform, the fast evaluation against the plain loops bit for bit, and the window tables
// against their closed forms.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstring>
#include <numbers>
#include <random>
#include <vector>

#include "engine/processing/Fft.h"

namespace vocara::test {
namespace {

std::vector<double> Noise(std::size_t n, unsigned seed) {
  std::mt19937_64 random(seed);
  std::uniform_real_distribution<double> value(-1e9, 1e9);
  std::vector<double> data(n);
  for (double& x : data) x = value(random);
  return data;
}

// X_k = sum x_j e^(+2 pi i jk / count), in long double.
std::complex<long double> DirectSum(const std::vector<std::complex<long double>>& x, std::size_t k) {
  const std::size_t n = x.size();
  std::complex<long double> sum;
  for (std::size_t j = 0; j < n; ++j)
    sum += x[j] *
           std::polar(1.0L, 2 * std::numbers::pi_v<long double> * static_cast<long double>(j * k % n) / n);
  return sum;
}

TEST(FftTest, TransformsEqualTheDirectSum) {
  for (const std::uint32_t n : {4u, 8u, 32u, 256u, 8192u}) {
    SCOPED_TRACE(n);
    const std::vector<double> input = Noise(n, n);
    const double tolerance = 1e9 * n * 1e-13;

    std::vector<std::complex<long double>> real(n);
    for (std::uint32_t j = 0; j < n; ++j) real[j] = input[j];
    std::vector<double> packed = input;
    RealFft(1, n, packed);
    EXPECT_NEAR(packed[0], static_cast<double>(DirectSum(real, 0).real()), tolerance);
    EXPECT_NEAR(packed[1], static_cast<double>(DirectSum(real, n / 2).real()), tolerance);
    for (std::uint32_t k = 1; k < n / 2; k += 1 + k / 8) {
      const auto x = DirectSum(real, k);
      EXPECT_NEAR(packed[2 * k], static_cast<double>(x.real()), tolerance) << k;
      EXPECT_NEAR(packed[2 * k + 1], static_cast<double>(x.imag()), tolerance) << k;
    }

    // The same values read as n/2 complex pairs, in the inverse direction too.
    for (const int direction : {1, -1}) {
      std::vector<std::complex<long double>> pairs(n / 2);
      for (std::uint32_t j = 0; j < n / 2; ++j) pairs[j] = {input[2 * j], direction * input[2 * j + 1]};
      std::vector<double> data = input;
      ComplexFft(direction, n / 2, data);
      for (std::uint32_t k = 0; k < n / 2; k += 1 + k / 8) {
        const auto y = DirectSum(pairs, k);
        EXPECT_NEAR(data[2 * k], static_cast<double>(y.real()), tolerance) << k;
        EXPECT_NEAR(data[2 * k + 1], direction * static_cast<double>(y.imag()), tolerance) << k;
      }
    }
  }
}

TEST(FftTest, InverseOfForwardGivesHalfNTimesTheInput) {
  for (const std::uint32_t n : {4u, 1024u, 65536u}) {
    const std::vector<double> input = Noise(n, 7);
    std::vector<double> data = input;
    RealFft(1, n, data);
    RealFft(-1, n, data);
    for (std::uint32_t j = 0; j < n; j += 1 + j / 16)
      ASSERT_NEAR(data[j], input[j] * (n / 2), 1e9 * n * 1e-12) << n << ' ' << j;
  }
}

// Sizes around the blocks the fast path works in: below, at and above one cache block, and the
// largest spectrum. Exact zeros of both signs are in the data, where a shortcut for a twiddle
// of 1 would change the sign of a zero.
TEST(FftTest, FastEvaluationEqualsThePlainLoopsBitForBit) {
  for (const std::uint32_t n : {4u, 8u, 16u, 4096u, 8192u, 65536u, 1048576u}) {
    std::vector<double> input = Noise(n, n + 1);
    for (std::uint32_t j = 0; j < n; j += 7) input[j] = j % 2 == 0 ? 0.0 : -0.0;
    for (const int direction : {1, -1}) {
      SCOPED_TRACE(::testing::Message() << n << " direction " << direction);
      std::vector<double> fast = input;
      std::vector<double> plain = input;
      RealFft(direction, n, fast);
      RealFftReference(direction, n, plain);
      EXPECT_EQ(std::memcmp(fast.data(), plain.data(), n * sizeof(double)), 0);
      fast = input;
      plain = input;
      ComplexFft(direction, n / 2, fast);
      ComplexFftReference(direction, n / 2, plain);
      EXPECT_EQ(std::memcmp(fast.data(), plain.data(), n * sizeof(double)), 0);
    }
  }
}

TEST(FftTest, WindowTablesFollowTheirClosedForms) {
  // n = 8: j = 0, 1, 2, 4, 6 stand for x = -1, -0.75, -0.5, 0, 0.5.
  const double r = std::sqrt(0.5);
  const double pi = std::numbers::pi;
  const struct {
    int kind;
    std::array<double, 5> values;
  } cases[] = {
      {0, {1, 1, 1, 1, 1}},
      {1, {0, 0.25, 0.5, 1, 0.5}},
      {2, {0, 0.4375, 0.75, 1, 0.75}},
      {3, {0, 0.03125, 0.25, 1, 0.25}},
      {4, {0, r / (0.75 * pi), 2 / pi, 1, 2 / pi}},
      {5, {0, 0.5 - 0.5 * r, 0.5, 1, 0.5}},
      {6, {0.08, 0.54 - 0.46 * r, 0.54, 1, 0.54}},
      {7, {0, 0.42 - 0.5 * r, 0.34, 1, 0.34}},
  };
  for (const auto& c : cases) {
    std::vector<double> table(8, -1.0);
    ComputeWindowTable(c.kind, 8, table);
    const std::size_t at[] = {0, 1, 2, 4, 6};
    for (std::size_t i = 0; i < 5; ++i)
      EXPECT_NEAR(table[at[i]], c.values[i], 1e-15) << c.kind << ' ' << at[i];
    EXPECT_DOUBLE_EQ(table[3], table[5]) << c.kind;  // symmetric about the centre
  }
}

}  // namespace
}  // namespace vocara::test
