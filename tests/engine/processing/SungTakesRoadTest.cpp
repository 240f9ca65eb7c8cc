// Takes that sound like singing, each with what was sung in it, through the road a singer takes
// to the note list: Build over the range found in the take, then the notes as listed. They must
// be the ones sung: onsets where they were sung, names right, nothing from consonants or breaths.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "base/Settings.h"
#include "engine/processing/CorrectionReport.h"
#include "engine/sas/NoteRangeDetection.h"
#include "engine/sas/SasBuild.h"
#include "engine/sas/SasDocument.h"
#include "engine/wav/WavDocument.h"
#include "support/SungTakes.h"
#include "support/TempDir.h"
#include "support/WavFiles.h"

namespace vocara::test {
namespace {

std::vector<FoundNote> Found(const CorrectionReport& listing) {
  std::vector<FoundNote> found;
  for (const NoteReport& n : listing.notes)
    found.push_back({n.startSeconds, n.startSeconds + n.lengthSeconds, n.note + 21});
  return found;
}

TEST(SungTakesRoadTest, EveryTakeIsHeardAsSung) {
  TempDir dir;
  int sung = 0, misnamed = 0, phantoms = 0;
  for (const Take& take : RealisticTakes()) {
    SCOPED_TRACE(take.name);
    const std::string wavPath =
        WriteFile(dir.File(take.name + ".wav"), CanonicalWav(Format(2), Samples(2, take.samples)));
    WavDocument wav;
    ASSERT_EQ(WavOpenDocument(wav, wavPath).message, MessageId::None);
    GeneralSettings settings;
    const NoteRangeResult range = DetectNoteRange(wav, settings);
    ASSERT_TRUE(range.found);
    settings.lowestNote = range.lowestNote;
    settings.highestNote = range.highestNote;
    const std::string sasPath = dir.File(take.name + ".sas");
    ASSERT_EQ(SasBuildFile(wav, settings, sasPath, {}).message, MessageId::None);
    SasDocument sas;
    ASSERT_EQ(SasOpenDocument(sas, sasPath, SasAccess::ReadWrite), MessageId::None);

    CorrectionReport listing;
    ASSERT_TRUE(ListNotes(sas, {0, wav.sampleCount, false}, listing));
    const NoteScore score = ScoreNotes(take, Found(listing));
    std::printf(
        "[ take     ] %-16s range %d-%d  sung %3d found %3d  onset F %.2f  misnamed %d  phantoms %d\n",
        take.name.c_str(), range.lowestNote + 21, range.highestNote + 21, score.sung, score.found,
        score.onsetF, score.misnamed, score.phantoms);
    for (const std::string& p : score.problems) std::printf("             %s\n", p.c_str());
    // The range found holds every note sung and stays within an octave of it.
    EXPECT_LE(range.lowestNote + 21, take.lowest);
    EXPECT_GE(range.highestNote + 21, take.highest);
    EXPECT_LE(range.highestNote + 21, take.highest + 12);
    EXPECT_GE(range.lowestNote + 21, take.lowest - 12);
    EXPECT_GE(score.onsetF, 0.8);
    sung += score.sung;
    misnamed += score.misnamed;
    phantoms += score.phantoms;
    SasCloseDocument(sas);
  }
  // Where the note list stands on these takes (the aim is every onset within 50 ms, every note
  // named right and phantoms under 5 %): a floor that a change to the note model must not
  // fall below. A fast melisma and a low voice's short notes still lose notes to their neighbours.
  EXPECT_LE(misnamed, 0.1 * sung);
  EXPECT_LE(phantoms, 0.08 * sung);
}

}  // namespace
}  // namespace vocara::test
