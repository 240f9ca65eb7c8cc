// The take's notes as the analysis lists them over a whole SAS file (ListNotes), for the tests
// that check where notes stand after an edit.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "engine/processing/CorrectionReport.h"
#include "engine/sas/SasDocument.h"

namespace vocara::test {

inline CorrectionReport ListedNotes(const std::string& sasPath) {
  SasDocument document;
  EXPECT_EQ(SasOpenDocument(document, sasPath, SasAccess::ReadOnly), MessageId::None);
  CorrectionReport listing;
  EXPECT_TRUE(
      ListNotes(document, {0, document.header.frameCount * document.header.frameLength, false}, listing));
  return listing;
}

}  // namespace vocara::test
