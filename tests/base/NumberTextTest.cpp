#include <gtest/gtest.h>

#include <array>
#include <limits>
#include <tuple>

#include "base/NumberText.h"

namespace vocara {
namespace {

TEST(FormatNumberTest, FixedDecimalsRoundedTrimmedCutAndSaturated) {
  EXPECT_EQ(FormatNumber(1.0, 2, 25, true), "1");
  EXPECT_EQ(FormatNumber(20.5, 2, 25, true), "20.5");
  EXPECT_EQ(FormatNumber(-0.125, 2, 25, true), "-0.13");
  EXPECT_EQ(FormatNumber(1024.0, 0, 25, true), "1024");
  EXPECT_EQ(FormatNumber(0.5, 2, 25, false), "0.50");
  EXPECT_EQ(FormatNumber(50.0, 3, 25, true), "50");  // status-strip values: three decimals
  EXPECT_EQ(FormatNumber(-25.0, 3, 25, true), "-25");
  EXPECT_EQ(FormatNumber(0.003, 3, 25, true), "0.003");
  EXPECT_EQ(FormatNumber(0.0, 3, 25, true), "0");
  EXPECT_EQ(FormatNumber(12345.0, 0, 3, true), "345");
  EXPECT_EQ(FormatNumber(1.5, 2, 3, false), ".50");  // the point stays in its counted column
  EXPECT_EQ(std::tuple(FormatNumber(-7.0, 0, 1, true), FormatNumber(7.0, 0, -4, true)), std::tuple("-", ""));
  EXPECT_EQ(FormatNumber(std::numeric_limits<double>::quiet_NaN(), 2, 25, false), "-0.00");
  EXPECT_EQ(FormatNumber(1e30, 0, 25, true), "18446744073709551615");
}

TEST(ScanNumberTest, LenientReading) {
  EXPECT_EQ(ScanNumber("-5"), -5.0);
  EXPECT_EQ(ScanNumber("12-3"), -123.0);          // a sign counts anywhere
  EXPECT_EQ(ScanNumber("+-3"), 0.0);              // a second sign ends the scan
  EXPECT_EQ(ScanNumber("1.2.3"), 1.0 + 2 * 0.1);  // so does a second point
  EXPECT_EQ(ScanNumber(" 4 2x5"), 42.0);          // spaces skipped, other characters stop
  EXPECT_EQ(std::tuple(ScanNumber(""), ScanNumber("abc")), std::tuple(0.0, 0.0));
  EXPECT_EQ(ScanNumber("1234567890"), 123456789.0);  // only 9 characters fit the field buffer
  EXPECT_EQ(ScanNumber("         5"), 0.0);
}

TEST(ClampNumberTest, LimitsAndMaximumWinsWhenReversed) {
  EXPECT_EQ(ClampNumber(-5.0, 1.0, 999.0), 1.0);
  EXPECT_EQ(std::tuple(ClampNumber(1000.0, 1.0, 999.0), ClampNumber(0.0, 10.0, 5.0)), std::tuple(999.0, 5.0));
  EXPECT_EQ(ClampNumber(20.0, 10.0, 5.0), 5.0);
}

TEST(CopyBoundedTest, CopiesAtMostCapacityMinusOneAndTerminates) {
  std::array<char, 6> buffer{'x', 'x', 'x', 'x', 'x', 'x'};
  EXPECT_EQ(CopyBounded(buffer.data(), 0, "abc"), 0u);
  EXPECT_EQ(buffer, (std::array<char, 6>{'x', 'x', 'x', 'x', 'x', 'x'}));
  EXPECT_EQ(CopyBounded(buffer.data(), 1, "abc"), 0u);
  EXPECT_EQ(buffer, (std::array<char, 6>{'\0', 'x', 'x', 'x', 'x', 'x'}));
  EXPECT_EQ(CopyBounded(buffer.data(), 4, "Lost"), 3u);
  EXPECT_EQ(buffer, (std::array<char, 6>{'L', 'o', 's', '\0', 'x', 'x'}));
}

}  // namespace
}  // namespace vocara
