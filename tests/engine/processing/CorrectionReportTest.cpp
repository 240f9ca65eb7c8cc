// The report's JSON form is JSON whatever the figures: a value that is not a finite number
// (NaN, an infinity) is written as null, never as "nan" or "inf", which no JSON reader takes.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "engine/processing/CorrectionReport.h"

namespace vocara {
namespace {

TEST(CorrectionReportTest, JsonWritesNumbersThatAreNotFiniteAsNull) {
  constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
  constexpr double Inf = std::numeric_limits<double>::infinity();
  struct Case {
    double value;
    std::string text;
  };
  for (const Case& c : {Case{NaN, "null"}, Case{Inf, "null"}, Case{-Inf, "null"}, Case{-12.5, "-12.50"}}) {
    CorrectionReport report;
    NoteReport note;
    note.note = 39;  // C4
    note.startSeconds = c.value;
    note.targetCents = c.value;
    note.achieved = true;
    note.achievedCents = c.value;
    note.errorCents = c.value;
    note.vibratoBefore = c.value;
    note.vibratoAfter = c.value;
    report.notes = {note};
    report.meanAbsError = c.value;
    report.p95AbsError = c.value;
    const std::string start = c.text == "null" ? "null" : "-12.500";
    const std::string v = c.text;
    EXPECT_EQ(ReportJson(report), "{\"notes\": [\n  {\"start\": " + start +
                                      ", \"note\": \"C4\", \"target\": " + v + ", \"achieved\": " + v +
                                      ", \"error\": " + v + ", \"vibratoBefore\": " + v +
                                      ", \"vibratoAfter\": " + v + "}\n], \"meanAbsError\": " + v +
                                      ", \"p95AbsError\": " + v + "}\n")
        << c.text;
  }
}

TEST(CorrectionReportTest, JsonOfANoteNotAchievedAndOfNoNotes) {
  CorrectionReport report;
  NoteReport note;
  note.note = 48;  // A4
  note.targetCents = 3;
  note.achievedCents = std::nan("");  // not read when the note was not achieved
  report.notes = {note};
  EXPECT_EQ(ReportJson(report),
            "{\"notes\": [\n  {\"start\": 0.000, \"note\": \"A4\", \"target\": 3.00, \"achieved\": null, "
            "\"error\": null, \"vibratoBefore\": 0.00, \"vibratoAfter\": null}\n], \"meanAbsError\": 0.00, "
            "\"p95AbsError\": 0.00}\n");
  EXPECT_EQ(ReportJson({}), "{\"notes\": [\n], \"meanAbsError\": 0.00, \"p95AbsError\": 0.00}\n");
}

}  // namespace
}  // namespace vocara
