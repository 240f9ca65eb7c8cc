// Note mode in the running program, on the fake platform, over a sung melody built into a SAS:
// a note clicked, dragged two semitone rows up and released changes exactly that note and its
// ramps, its centre onto a semitone; Shape Notes with vibrato 0 flattens only that note; two
// undos give the file back byte for byte; F8 renders the chosen notes' span anew. Then the ways
// of choosing (Shift, Ctrl band, Ctrl+A, a click beside the notes), the nudge keys, Alt's free
// drag, a drag that ends where it began, Del, and a read-only SAS.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "base/Instruments.h"
#include "engine/processing/CorrectionReport.h"
#include "engine/sas/SasDocument.h"
#include "platform/Keys.h"
#include "program/commands/NoteCommands.h"
#include "program/dispatch/StartUp.h"
#include "program/shell/AppFlags.h"
#include "program/shell/CommandId.h"
#include "program/shell/ViewGeometry.h"
#include "program/views/NoteLayer.h"
#include "support/AppFixture.h"
#include "support/Recordings.h"
#include "support/SasFiles.h"
#include "support/TakeNotes.h"
#include "support/WavFiles.h"

namespace vocara::test {
namespace {

using platform::MessageKind;

// C4 D4 E4 G4 A4, each sung off its key, joined by glides: one voiced run.
const std::vector<SungNote> Melody{
    {60, 30, 0.6}, {62, -25, 0.6}, {64, -40, 0.6}, {67, -35, 0.6}, {69, 20, 0.6}};

double Target(const SasFrame& frame) { return frame.targetPitch & TargetPitchMask; }

class NoteCommandsTest : public AppTest {
 protected:
  void SetUp() override {
    fake.audio.outputs = {"speakers"};
    ASSERT_TRUE(ProgramStart(app, ""));
    wavPath = WriteWav16(dir.File("take.wav"), SungMelody(Melody));
    sasPath = dir.File("take.sas");
    ASSERT_TRUE(BuildSas(wavPath, sasPath));
    original = ReadFile(sasPath);
  }

  // Both files open, the SAS window wide enough for the whole take on one page, the pitch pane
  // centred on E4, Note mode on.
  void OpenInNoteMode() {
    OpenDocumentByName(app, wavPath);
    OpenDocumentByName(app, sasPath);
    ASSERT_TRUE(app.Has(WavOpen | SasOpen | WavSasMatch));
    Resize(SasView, 1200 + ScrollControlWidth, 900);
    ASSERT_GE(app.session.sas.pageCount, static_cast<int>(app.session.sas.header.frameCount));
    app.windows.sasView.lower.position = NoteCount - 1 - 43;  // E4
    Command(SasView, Id(CommandId::NoteMode));
    RepaintSas();
    ASSERT_EQ(app.session.pageNotes.notes.size(), Melody.size());
  }
  void HScroll(platform::ScrollCode code) {
    sink.Dispatch(SasView,
                  {.kind = MessageKind::HScroll, .bar = platform::ScrollBar::Horizontal, .scrollCode = code});
  }
  void RepaintSas() {
    app.windows.redraw |= SasUpperBandRedraw | SasLowerBandRedraw;
    Paint(SasView);
  }
  // The point on the middle of the held part of note k, on its target bar.
  platform::Point OnNote(std::size_t k) {
    const NoteReport& note = app.session.pageNotes.notes.at(k);
    const PitchRows rows = SasPitchRows(app.windows);
    const double centre = note.note * 100.0 + note.targetCents;
    const int x = static_cast<int>((note.heldFirst + note.heldEnd) / 2 - app.session.sas.pageFirst);
    return {x, rows.bottom - static_cast<int>(std::trunc(centre * rows.scale - rows.base))};
  }
  int SemitoneRows(int semitones) const {
    return static_cast<int>(std::lround(semitones * 100 * app.windows.sasView.pitchScale));
  }
  void Drag(platform::Point from, int rows, bool alt = false) {
    Mouse(MessageKind::LeftDown, SasView, from);
    for (int step = 1; step <= 5; ++step) {
      sink.Dispatch(SasView,
                    {.kind = MessageKind::MouseMove, .pos = {from.x, from.y - rows * step / 5}, .alt = alt});
    }
    Mouse(MessageKind::LeftUp, SasView, {from.x, from.y - rows});
  }
  void Click(platform::Point at, bool shift = false) {
    Mouse(MessageKind::LeftDown, SasView, at, false, shift);
    Mouse(MessageKind::LeftUp, SasView, at, false, shift);
  }

  NoteSpan SpanOf(std::size_t k) const {
    return {app.session.pageNotes.notes.at(k).firstFrame, app.session.pageNotes.notes.at(k).endFrame};
  }
  CorrectionReport Listing() { return ListedNotes(sasPath); }
  // Half the 40 ms retune on either side of a note, and a frame for the rounding.
  std::uint32_t Ramp() const {
    return static_cast<std::uint32_t>(std::lround(0.04 * SasFrameRate(app.session.sas.header)) / 2 + 1);
  }

  std::string wavPath;
  std::string sasPath;
  std::string original;
};

TEST_F(NoteCommandsTest, DragShapeUndoAndPlayOneNote) {
  OpenInNoteMode();
  EXPECT_EQ(fake.windows.LastCursor(), platform::CursorShape::Note);
  const NoteReport third = app.session.pageNotes.notes[2];

  // Click the third note and drag it up two semitone rows: its centre onto F#4, the others as
  // they were (which frames a move changes is NoteShiftTest's).
  Drag(OnNote(2), SemitoneRows(2));
  EXPECT_EQ(app.session.chosenNotes, (std::vector<NoteSpan>{SpanOf(2)}));
  const std::vector<SasFrame> dragged = ReadSasFrames(sasPath);
  const CorrectionReport listed = Listing();
  EXPECT_NEAR(listed.notes.at(2).note * 100.0 + listed.notes.at(2).targetCents, 4500, 1);
  for (const std::size_t k : {1u, 3u})
    EXPECT_NEAR(listed.notes.at(k).targetCents, listed.notes.at(k).centreCents, 0.5);

  // F8 with the note chosen: its span rendered and played, without a WAV range.
  std::filesystem::current_path(dir.Path());
  EXPECT_FALSE(app.Has(WavRangeSelected));
  EXPECT_TRUE(fake.windows.menuEnabled[Id(CommandId::PlayCorrected)]);
  Command(SasView, Id(CommandId::PlayCorrected));
  const auto span = ChosenNotesSamples(app.session, app.docs.wav.sampleCount);
  EXPECT_EQ(span.first, third.firstFrame * app.session.sas.header.frameLength);
  EXPECT_EQ(std::pair(app.docs.correctedStart, app.docs.correctedEnd), span);
  ASSERT_TRUE(app.Has(CorrectedTempCurrent));
  const std::string firstRender = ReadFile(app.docs.correctedPath);
  OutputDone(0);
  OutputDone(1);  // both buffers back: the playback ends

  // Vibrato 0 %: the note is flattened (that only it changes is NoteShiftTest's), and F8 renders anew.
  OkNextDialog({{104, "0"}});
  Command(SasView, Id(CommandId::ShapeNotes));
  const std::vector<SasFrame> shaped = ReadSasFrames(sasPath);
  // Over the middle half of the held part, away from the fades at the note's edges, the swing
  // is a fraction of the one sung.
  const auto swing = [&](const std::vector<SasFrame>& frames) {
    const std::uint32_t quarter = (third.heldEnd - third.heldFirst) / 4;
    double low = 1e9;
    double high = -1e9;
    for (std::uint32_t i = third.heldFirst + quarter; i < third.heldEnd - quarter; ++i) {
      low = std::min(low, Target(frames[i]));
      high = std::max(high, Target(frames[i]));
    }
    return high - low;
  };
  EXPECT_GT(swing(dragged), 40);
  EXPECT_LT(swing(shaped), 0.2 * swing(dragged));
  EXPECT_FALSE(app.Has(CorrectedTempCurrent));
  Command(SasView, Id(CommandId::PlayCorrected));
  EXPECT_TRUE(app.Has(CorrectedTempCurrent));
  EXPECT_TRUE(ReadFile(app.docs.correctedPath) != firstRender) << "rendered anew";

  // Two undos: the file as built, byte for byte.
  Command(SasView, Id(CommandId::Undo));
  Command(SasView, Id(CommandId::Undo));
  EXPECT_TRUE(ReadFile(sasPath) == original) << "the file differs from the one built";
}

TEST_F(NoteCommandsTest, ChoosingNotes) {
  OpenInNoteMode();
  Click(OnNote(1));
  Click(OnNote(3), true);  // Shift adds
  EXPECT_EQ(app.session.chosenNotes, (std::vector<NoteSpan>{SpanOf(1), SpanOf(3)}));
  Click(OnNote(1), true);  // and takes away
  EXPECT_EQ(app.session.chosenNotes, (std::vector<NoteSpan>{SpanOf(3)}));

  // The chosen note is drawn in the highlight colour, the others not.
  RepaintSas();
  const auto filled = [&](std::size_t k) {
    const platform::Point at = OnNote(k);
    return app.windows.images[SasView].Pixel(at.x, at.y);
  };
  EXPECT_EQ(filled(3), ChosenNoteFill.Pixel());
  EXPECT_EQ(filled(2), NoteBarFill.Pixel());

  // A Ctrl band chooses the notes it touches.
  const platform::Point a = OnNote(0);
  const platform::Point b = OnNote(2);
  Mouse(MessageKind::LeftDown, SasView, a, true);
  Mouse(MessageKind::MouseMove, SasView, b, true);
  Mouse(MessageKind::LeftUp, SasView, b, true);
  EXPECT_EQ(app.session.chosenNotes, (std::vector<NoteSpan>{SpanOf(0), SpanOf(1), SpanOf(2)}));

  // Ctrl+A: the notes of the SAS range (the band set it), then with no range every note.
  Command(SasView, Id(CommandId::SelectAllNotes));
  EXPECT_EQ(app.session.chosenNotes.size(), 3u);
  app.flags &= ~static_cast<std::uint32_t>(SasRangeSelected);
  Command(SasView, Id(CommandId::SelectAllNotes));
  EXPECT_EQ(app.session.chosenNotes.size(), Melody.size());

  // A click beside every note takes the choice away; the nudge commands grey.
  Click({OnNote(2).x, SasPitchRows(app.windows).top + 3});
  EXPECT_TRUE(app.session.chosenNotes.empty());
  EXPECT_FALSE(fake.windows.menuEnabled[Id(CommandId::NoteSemitoneUp)]);
  EXPECT_FALSE(fake.windows.menuEnabled[Id(CommandId::PlayCorrected)]);

  // Outside Note mode no bars are drawn, and Esc leaves the mode.
  Command(SasView, Id(CommandId::NormalMode));
  RepaintSas();
  EXPECT_NE(filled(2), NoteBarFill.Pixel());
}

TEST_F(NoteCommandsTest, NudgesAltDragAndDragsThatChangeNothing) {
  OpenInNoteMode();
  const double sung =
      app.session.pageNotes.notes[1].note * 100.0 + app.session.pageNotes.notes[1].targetCents;
  const auto centre = [&] {
    const NoteReport note = Listing().notes.at(1);
    return note.note * 100.0 + note.targetCents;
  };
  // A drag back to where it began, and a press on a note without a move, change nothing.
  Drag(OnNote(1), 0);
  EXPECT_TRUE(ReadFile(sasPath) == original) << "the file differs from the one built";

  Key(SasView, platform::key::PageUp);  // a semitone up
  EXPECT_NEAR(centre(), sung + 100, 1);
  Command(SasView, Id(CommandId::NoteCentDown));  // Ctrl+Page Down
  Command(SasView, Id(CommandId::NoteCentDown));
  EXPECT_NEAR(centre(), sung + 98, 1);
  Key(SasView, platform::key::PageDown);
  EXPECT_NEAR(centre(), sung - 2, 1);

  // Alt: free, in whole cents (13 rows).
  RepaintSas();
  const double start = centre();
  Drag(OnNote(1), 13, true);
  EXPECT_NEAR(centre(), start + std::round(13 / app.windows.sasView.pitchScale), 1);
  EXPECT_EQ(NoteDragCents(4260, 52.4, true), 52);
  EXPECT_EQ(NoteDragCents(4260, 52.4, false), 40);
  EXPECT_EQ(NoteDragCents(4260, -60, false), -60);
  EXPECT_EQ(NoteDragCents(4260, -49, false), 0) << "less than half a semitone";

  // Four nudges and a drag: five undos give the file back.
  for (int k = 0; k < 5; ++k) Command(SasView, Id(CommandId::Undo));
  EXPECT_TRUE(ReadFile(sasPath) == original) << "the file differs from the one built";
}

// Del in Note mode: the chosen note's targets back to the pitch sung while another moved note
// stays, as one undo step; with nothing chosen the item is greyed and the key does nothing.
TEST_F(NoteCommandsTest, DeleteNotesPutsTheChosenNotesBackToThePitchSung) {
  OpenInNoteMode();
  const auto enabled = [&] { return fake.windows.menuEnabled[Id(CommandId::DeleteNotes)]; };
  EXPECT_FALSE(enabled());
  Drag(OnNote(3), SemitoneRows(2));
  RepaintSas();
  Drag(OnNote(1), SemitoneRows(-1));  // chosen alone now
  EXPECT_TRUE(enabled());
  const std::string moved = ReadFile(sasPath);
  const NoteSpan deleted = SpanOf(1);
  const NoteSpan kept = SpanOf(3);
  Key(SasView, platform::key::Delete);
  const std::vector<SasFrame> after = ReadSasFrames(sasPath);
  for (std::uint32_t f = deleted.first; f < deleted.end; ++f)
    EXPECT_EQ(Target(after[f]), after[f].sourcePitch) << f;
  const SasFrame& middle = after[(kept.first + kept.end) / 2];
  EXPECT_NEAR(Target(middle) - middle.sourcePitch, 200, 60);
  Command(SasView, Id(CommandId::Undo));
  EXPECT_TRUE(ReadFile(sasPath) == moved) << "one undo gives the moved notes back";

  RepaintSas();
  const platform::Point beside{OnNote(2).x, OnNote(2).y + SemitoneRows(5)};
  Click(beside);
  EXPECT_FALSE(enabled());
  Key(SasView, platform::key::Delete);
  EXPECT_TRUE(ReadFile(sasPath) == moved);
}

// Shape Notes with the centre ticked: the chosen note goes that share of the way from where it
// was sung to the nearest note of the last Snap to Scale's scale, which the dialog names; the
// note beside it stays.
TEST_F(NoteCommandsTest, ShapeMovesTheCentreTowardTheLastScale) {
  OpenInNoteMode();
  app.dialogs.snapParams.key = 2;  // D major, which holds G4 (the fourth note, sung 35 cents flat)
  const NoteReport fourth = app.session.pageNotes.notes[3];
  const double sung = fourth.note * 100.0 + fourth.centreCents;
  Click(OnNote(3));
  std::string label;
  fake.dialogs.script.push_back([&](FakeDialog& dialog, platform::DialogProcedure& procedure) {
    label = dialog.GetText(101);
    dialog.SetChecked(101, true);
    dialog.SetText(102, "50");
    procedure.OnCommand(dialog, platform::DialogOk);
  });
  Command(SasView, Id(CommandId::ShapeNotes));
  EXPECT_EQ(label, "Pitch centre to D Major (%)");
  const CorrectionReport listing = Listing();
  EXPECT_NEAR(listing.notes.at(3).note * 100.0 + listing.notes.at(3).targetCents, sung + (4600 - sung) / 2,
              1);
  EXPECT_NEAR(listing.notes.at(2).targetCents, listing.notes.at(2).centreCents, 0.5);
  EXPECT_TRUE(app.dialogs.noteShape.moveCentre);
}

// A note the page's edge cuts is chosen by its visible part and moved whole, also once it is
// scrolled off the page; a drag released far outside the window keeps the targets in range.
TEST_F(NoteCommandsTest, NotesCutByThePageOrOffItMoveWhole) {
  OpenInNoteMode();
  const NoteReport third = app.session.pageNotes.notes[2];
  const std::uint32_t middle = (third.heldFirst + third.heldEnd) / 2;
  // A window whose page ends in the middle of the third note.
  Resize(SasView, static_cast<int>(middle) + ScrollControlWidth, 900);
  RepaintSas();
  ASSERT_EQ(app.session.sas.pageFirst, 0);
  ASSERT_LE(app.session.sas.pageCount, static_cast<int>(middle) + 1);
  ASSERT_EQ(app.session.pageNotes.notes.size(), 3u);
  EXPECT_TRUE(app.session.pageNotes.notes[2].partial ||
              app.session.pageNotes.notes[2].endFrame < third.endFrame);
  const std::vector<SasFrame> before = ReadSasFrames(sasPath);
  Click(OnNote(2));
  Key(SasView, platform::key::PageUp);
  EXPECT_EQ(app.session.chosenNotes, (std::vector<NoteSpan>{{third.firstFrame, third.endFrame}}));
  std::vector<SasFrame> after = ReadSasFrames(sasPath);
  const std::uint32_t offPage = third.heldEnd - Ramp() - 1;  // past the page's end
  EXPECT_EQ(Target(after[offPage]) - Target(before[offPage]), 100);

  // A narrower window scrolled on: the chosen note is off the page and still moves.
  Resize(SasView, 150 + ScrollControlWidth, 900);
  for (int page = 0; page < 20 && static_cast<std::uint32_t>(app.session.sas.pageFirst) < third.endFrame;
       ++page)
    HScroll(platform::ScrollCode::PageDown);
  ASSERT_GE(static_cast<std::uint32_t>(app.session.sas.pageFirst), third.endFrame);
  Command(SasView, Id(CommandId::NoteCentDown));
  const std::vector<SasFrame> nudged = ReadSasFrames(sasPath);
  EXPECT_EQ(Target(nudged[middle]) - Target(after[middle]), -1);

  // Back on a page of the whole take, a drag released far above the window: the highest target
  // at most.
  Resize(SasView, 1200 + ScrollControlWidth, 900);
  HScroll(platform::ScrollCode::ThumbPosition);
  RepaintSas();
  Drag(OnNote(2), 5000);
  after = ReadSasFrames(sasPath);
  EXPECT_EQ(Target(after[middle]), HighestTargetPitch);
  EXPECT_TRUE(std::ranges::all_of(after, [](const SasFrame& f) { return Target(f) <= HighestTargetPitch; }));
}

TEST_F(NoteCommandsTest, AReadOnlySasRefusesTheMoveAndKeepsTheFile) {
  OpenInNoteMode();
  app.session.sas.readOnly = true;  // as a file the user may not write opens
  fake.desktop.messages.clear();
  Drag(OnNote(2), SemitoneRows(2));
  EXPECT_EQ(app.session.chosenNotes, (std::vector<NoteSpan>{SpanOf(2)}));
  EXPECT_EQ(MessageTexts().size(), 1u);
  Key(SasView, platform::key::PageUp);
  EXPECT_TRUE(ReadFile(sasPath) == original) << "the file differs from the one built";
}

}  // namespace
}  // namespace vocara::test
