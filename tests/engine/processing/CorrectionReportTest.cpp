// The report's JSON form is JSON whatever the figures: NaN and the infinities are null, never
// the "nan" or "inf" of printf, which no JSON reader takes.
#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <tuple>

#include "engine/processing/CorrectionReport.h"

namespace vocara {
namespace {

TEST(CorrectionReportTest, JsonWritesNumbersThatAreNotFiniteAsNull) {
  constexpr double Inf = std::numeric_limits<double>::infinity();
  for (const auto& [value, v, start] :
       {std::tuple{std::numeric_limits<double>::quiet_NaN(), "null", "null"}, std::tuple{Inf, "null", "null"},
        std::tuple{-Inf, "null", "null"}, std::tuple{-12.5, "-12.50", "-12.500"}}) {
    const NoteReport note{0, 1, value, 39, value, true, value, value, value, value};
    const CorrectionReport report{{note}, value, value};
    const std::string s = v;
    EXPECT_EQ(ReportJson(report), std::string("{\"notes\": [\n  {\"start\": ") + start +
                                      ", \"note\": \"C4\", \"target\": " + s + ", \"achieved\": " + s +
                                      ", \"error\": " + s + ", \"vibratoBefore\": " + s +
                                      ", \"vibratoAfter\": " + s + "}\n], \"meanAbsError\": " + s +
                                      ", \"p95AbsError\": " + s + "}\n")
        << value;
  }
}

}  // namespace
}  // namespace vocara
