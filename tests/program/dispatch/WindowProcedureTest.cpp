#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "base/BuildInfo.h"
#include "base/FileHandle.h"
#include "platform/Keys.h"
#include "program/dispatch/StartUp.h"
#include "program/dispatch/WindowProcedure.h"
#include "program/shell/AppFlags.h"
#include "program/shell/CommandTable.h"
#include "program/views/Render.h"
#include "support/AppFixture.h"
#include "support/WavFiles.h"

namespace vocara::test {
namespace {

using platform::MessageKind;

class WindowProcedureTest : public AppTest {
 protected:
  void SetUp() override { ASSERT_TRUE(ProgramStart(app, "")); }
  std::string Write(const std::string& name, const std::string& bytes) {
    return WriteFile(dir.File(name), bytes);
  }
};

TEST_F(WindowProcedureTest, OpensDocumentsByTheirFirstFourBytes) {
  const std::string wav = Write("a.wav", "RIFF\x24\0\0\0WAVE");
  const std::string sas = Write("a.sas", "SAS 1234");
  OpenDocumentByName(app, wav);
  OpenDocumentByName(app, sas);
  OpenDocumentByName(app, Write("notes.txt", "hello"));
  OpenDocumentByName(app, Write("short.wav", "RIF"));
  OpenDocumentByName(app, dir.File("missing.wav"));
  OpenDocumentByName(app, "/" + std::string(259, 'a'));  // over the path limit
  OpenDocumentByName(app, dir.Path().string());          // a folder
  const std::string pipe = dir.File("pipe");
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  OpenDocumentByName(app, pipe);  // at once, not waiting for a writer
  // The WAV opener and the SAS opener each refuse their file with their own message; the
  // other names reach neither.
  EXPECT_EQ(MessageTexts(), (std::vector<std::string>{"WAVE to short", "File to short"}));
}

TEST_F(WindowProcedureTest, DropOpensOnlyTheFirstFileAndNothingWhileBusy) {
  const std::string first = Write("first.sas", "SAS x");
  const std::string second = Write("second.wav", "RIFFxxxx");
  Drop(FftView, {first, second, second});
  EXPECT_EQ(MessageTexts(), (std::vector<std::string>{"File to short"}));  // the SAS opener's
  Drop(WavView, {Write("text.txt", "just text")});
  SetBusy(app.commands, true);
  Drop(WavView, {second});
  EXPECT_EQ(MessageTexts().size(), 1u);
}

TEST_F(WindowProcedureTest, BusyRefusesCommandsMouseAndCloseButNotKeys) {
  SetBusy(app.commands, true);
  fake.windows.cursors.clear();
  Command(WavView, 121);
  EXPECT_EQ(fake.windows.LastCursor(), platform::CursorShape::Hourglass);
  fake.windows.cursors.clear();
  sink.Dispatch(WavView, Msg(MessageKind::LeftDown));
  EXPECT_EQ(fake.windows.LastCursor(), platform::CursorShape::Hourglass);
  sink.Dispatch(WavView, Msg(MessageKind::Close));
  EXPECT_FALSE(fake.windows.views[WavView].destroyed);
  Key(WavView, platform::key::Escape);
  EXPECT_TRUE(app.Has(AbortRequested));
  EXPECT_TRUE(fake.desktop.fileRequests.empty());
  EXPECT_FALSE(fake.pump.quitCode);
}

TEST_F(WindowProcedureTest, DisabledCommandsDoNothing) {
  Command(WavView, 103);  // Close with no WAV open, as an accelerator could send it
  Command(WavView, 99);
  Command(WavView, 187);
  EXPECT_TRUE(fake.desktop.fileRequests.empty());
  EXPECT_TRUE(fake.desktop.messages.empty());
  Command(WavView, 121);
  ASSERT_EQ(fake.desktop.fileRequests.size(), 1u);
  EXPECT_EQ(fake.desktop.fileRequests[0].title, "Open SAS File");
}

// Closing another window only hides it; closing the WAV window ends the program.
TEST_F(WindowProcedureTest, ClosingTheWavWindowSavesLayoutWritesBackAndQuits) {
  fake.windows.Show(FftView, platform::ShowCommand::Restore);
  sink.Dispatch(FftView, Msg(MessageKind::Close));
  EXPECT_EQ(std::tuple(fake.windows.views[FftView].state, fake.windows.views[FftView].destroyed,
                       fake.pump.quitCode.has_value()),
            std::tuple(platform::ShowState::Hidden, false, false));
  const std::string settings = dir.File("vocara.INI");
  const std::string before = ReadFile(settings);
  ASSERT_EQ(before.size(), 176u);
  fake.windows.views[SasView].screenRect = {5, 250, 700, 600};
  sink.Dispatch(SasView, Msg(MessageKind::Move));
  app.flags |= SasOpen | SasPageDirty;
  app.docs.wav.file = FileHandle::OpenForReading(settings);

  sink.Dispatch(WavView, Msg(MessageKind::Close));
  // The pending edits were written back.
  EXPECT_EQ(
      std::tuple(app.Has(SasPageDirty), app.docs.wav.file.IsOpen(), fake.windows.views[WavView].destroyed),
      std::tuple(false, false, true));
  EXPECT_EQ(fake.pump.quitCode, 0);
  const std::string after = ReadFile(settings);
  ASSERT_EQ(after.size(), 176u);
  EXPECT_EQ(after.substr(0, 112), before.substr(0, 112));
  EXPECT_EQ(WindowLayout::Parse(std::span<const std::uint8_t, 64>(
                                    reinterpret_cast<const std::uint8_t*>(after.data()) + 112, 64))
                .rects[SasView],
            (platform::Rect{5, 250, 700, 600}));
}

TEST_F(WindowProcedureTest, ClosingWithoutASettingsFileCreatesNone) {
  app.docs.wav.file = FileHandle::OpenForReading(dir.File("vocara.INI"));
  std::filesystem::remove(dir.File("vocara.INI"));
  Command(WavView, 109);  // Exit
  EXPECT_EQ(fake.pump.quitCode, 0);
  EXPECT_FALSE(std::filesystem::exists(dir.File("vocara.INI")));
  EXPECT_FALSE(app.docs.wav.file.IsOpen());
}

TEST_F(WindowProcedureTest, MinimisedMovesAndSizesAreNotStored) {
  const platform::Rect stored = app.config.layout.rects[WavView];
  fake.windows.views[WavView].screenRect = {-32000, -32000, -31840, -31970};
  fake.windows.Show(WavView, platform::ShowCommand::Minimise);
  sink.Dispatch(WavView, Msg(MessageKind::Move));
  sink.Dispatch(WavView, {.kind = MessageKind::Size, .sizeKind = platform::SizeKind::Minimised});
  EXPECT_EQ(app.config.layout.rects[WavView], stored);

  fake.windows.Show(WavView, platform::ShowCommand::Restore);
  fake.windows.views[WavView].screenRect = {10, 10, 700, 300};
  Resize(WavView, 680, 240);
  EXPECT_EQ(app.config.layout.rects[WavView], (platform::Rect{10, 10, 700, 300}));
  EXPECT_EQ(std::tuple(app.windows.clientRect[WavView].right, fake.windows.views[WavView].image.height),
            std::tuple(680, 240));
}

TEST_F(WindowProcedureTest, EditModeCommandsSetTheModeAndItsCursorAndARightClickOnTheSasPopsThemUp) {
  fake.windows.views[SasView].screenRect = {100, 200, 740, 450};
  const platform::Message click{.kind = MessageKind::RightDown, .pos = {30, 40}};
  sink.Dispatch(WavView, click);
  sink.Dispatch(SasView, click);
  EXPECT_EQ(fake.windows.popups, (std::vector<platform::Point>{{130, 240}}));
  Command(SasView, 129);  // disabled without a SAS file
  EXPECT_EQ(app.windows.editMode, EditMode::Normal);
  app.flags |= SasOpen;
  UpdateCommandStates(app.commands);
  Command(WavView, 132);
  EXPECT_EQ(app.windows.editMode, EditMode::Freehand);
  EXPECT_EQ(fake.windows.LastCursor(), platform::CursorShape::Mode4);
  Command(WavView, 128);
  EXPECT_EQ(fake.windows.LastCursor(), platform::CursorShape::Arrow);
}

TEST_F(WindowProcedureTest, CtrlShowsTheArrowAndEscAsksToAbort) {
  Command(WavView, 186);  // leaves the arrow untouched
  fake.windows.cursors.clear();
  Key(SasView, platform::key::Control);
  EXPECT_EQ(fake.windows.cursors, (std::vector<platform::CursorShape>{platform::CursorShape::Arrow}));
  EXPECT_FALSE(app.Has(AbortRequested));
  Key(MftView, platform::key::Escape);
  EXPECT_TRUE(app.Has(AbortRequested));
}

// Help opens the guide beside the program in a viewer, or says where it is when no viewer can.
TEST_F(WindowProcedureTest, HelpOpensTheGuideOrSaysWhereItIs) {
  const std::string guide = dir.File("vocara") + ".pdf";
  Command(WavView, 185);
  EXPECT_TRUE(fake.desktop.messages.empty());
  fake.desktop.viewerOpens = false;
  Command(SasView, 185);
  EXPECT_EQ(fake.desktop.opened, (std::vector<std::string>{guide, guide}));
  ASSERT_EQ(fake.desktop.messages.size(), 1u);
  EXPECT_EQ(Fields(LastMessage()), std::tuple("No viewer could open the user guide:\n" + guide,
                                              platform::MessageIcon::Error, platform::MessageButtons::Ok));
}

// About shows the version and date both programs' --version print, and ends on a click, Enter or
// Esc (the close box) from any window.
TEST_F(WindowProcedureTest, TheAboutBoxShowsTheVersionAndEndsOnAClickEnterOrEsc) {
  using Press = void (*)(FakeDialog&, platform::DialogProcedure&);
  const struct {
    const char* name;
    Press press;
  } presses[] = {
      {"click", [](FakeDialog& d, platform::DialogProcedure& p) { p.OnLeftButtonDown(d); }},
      {"Enter", [](FakeDialog& d, platform::DialogProcedure& p) { p.OnCommand(d, platform::DialogOk); }},
      {"Esc", [](FakeDialog& d, platform::DialogProcedure& p) { p.OnCommand(d, platform::DialogCancel); }},
  };
  int view = WavView;
  for (const auto& press : presses) {
    bool ended = false;
    std::string about;
    fake.dialogs.script.push_back([&](FakeDialog& d, platform::DialogProcedure& p) {
      for (const platform::ControlTemplate& control : d.dialogTemplate.controls) about += control.text;
      p.OnCommand(d, 3);  // anything else leaves it open
      EXPECT_FALSE(d.ended) << press.name;
      press.press(d, p);
      ended = d.ended && d.result == 1;
    });
    Command(view++, 186);
    EXPECT_TRUE(ended) << press.name;
    EXPECT_TRUE(
        about.ends_with("\nVersion " + std::string(ProgramVersion()) + ", " + std::string(ReleaseDate())))
        << about;
  }
  EXPECT_EQ(fake.dialogs.titles, std::vector<std::string>(3, "About Vocara"));
  EXPECT_TRUE(fake.desktop.messages.empty());
}

TEST_F(WindowProcedureTest, PaintDrawsTheGreyStatusStripWithItsLabelsAndValues) {
  const auto texts = [this] {
    std::vector<std::string> labels;
    for (const DrawnText& t : fake.text.drawn) labels.push_back(t.text);
    fake.text.drawn.clear();
    return labels;
  };
  // Without a sound device the strip first says so in place of its fields, until new values come.
  texts();
  Paint(WavView);
  EXPECT_EQ(texts(), std::vector<std::string>{"No audio output device"});
  CursorStep(app.screen, WavView, 1);
  const std::vector<std::string> fields{
      "Frame=", "Time/(s)=", "Min/(arb.u)=", "Max/(arb.u)=", "Vrms/(arb.u)=", "0", "0", "0", "0", "0"};
  EXPECT_EQ(texts(), fields);
  Paint(WavView);
  EXPECT_EQ(fake.text.drawn[1].x, 120);
  EXPECT_EQ(texts(), fields);
  // A window with room after the fields keeps saying it there.
  app.windows.clientRect[WavView].right = 800;
  Paint(WavView);
  EXPECT_EQ(fake.text.drawn.back().x, 570 + 15);
  EXPECT_EQ(texts().back(), "No audio output device");
  const RasterImage& image = app.windows.images[WavView];
  const int tb = app.windows.metrics.toolbarHeight;
  // A white line over the grey strip, a black line under it, the window colour below.
  EXPECT_EQ(std::tuple(image.Pixel(5, tb), image.Pixel(5, tb + 5), image.Pixel(5, tb + 17),
                       image.Pixel(5, tb + 30)),
            std::tuple(0xffffffffu, 0xffc0c0c0u, 0xff000000u, 0xffffffffu));
}

}  // namespace
}  // namespace vocara::test
