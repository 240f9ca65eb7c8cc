#include <gtest/gtest.h>

#include <set>
#include <stdexcept>
#include <utility>

#include "program/dispatch/StartUp.h"
#include "program/shell/AppFlags.h"
#include "program/shell/CommandTable.h"
#include "support/AppFixture.h"

namespace vocara::test {
namespace {

std::set<int> EnabledCommands(const App& app) {
  std::set<int> ids;
  for (const CommandRecord& r : app.commands.table) {
    if (r.enabled) ids.insert(r.id);
  }
  return ids;
}

// Every id up to the sentinel is carried by some module, so no menu item, button or key is left
// without its command; a module claiming another's id, an id outside the table, or a key two
// commands would share in one window are refused when the table is made.
TEST(CommandTable, EveryIdHasOneEntryAndEveryKeyOneCommand) {
  const CommandTable table = MakeCommandTable();
  for (int id = FirstCommand; id < Id(CommandId::End); ++id) EXPECT_NE(FindCommand(table, id), nullptr) << id;
  EXPECT_EQ(FindCommand(table, Id(CommandId::End)), nullptr);
  const CommandEntry twice[] = {{.id = CommandId::Play}, {.id = CommandId::Play}};
  EXPECT_THROW(CommandTableOf({twice}), std::logic_error);
  const CommandEntry outside[] = {{.id = CommandId::End}};
  EXPECT_THROW(CommandTableOf({outside}), std::logic_error);
  const CommandEntry sameWindow[] = {
      {.id = CommandId::Play, .key = WindowKey('Q', In(WavView) | In(SasView))},
      {.id = CommandId::Stop, .key = WindowKey('Q', In(SasView))}};
  EXPECT_THROW(CommandTableOf({sameWindow}), std::logic_error);
  const CommandEntry accelerator[] = {{.id = CommandId::Play, .key = Accelerator('Q')},
                                      {.id = CommandId::Stop, .key = WindowKey('Q', In(FftView))}};
  EXPECT_THROW(CommandTableOf({accelerator}), std::logic_error);
  const CommandEntry apart[] = {{.id = CommandId::Play, .key = WindowKey('Q', In(WavView))},
                                {.id = CommandId::Stop, .key = WindowKey('Q', In(SasView))},
                                {.id = CommandId::Record, .key = Accelerator('Q', true)}};
  EXPECT_NO_THROW(CommandTableOf({apart}));
}

using CommandStates = AppTest;

// At start the commands usable with nothing open, and Record and Play when a device takes the
// format; the menu items and buttons show it.
TEST_F(CommandStates, StartEnablesTheAlwaysUsableCommandsAndTheDevicesThatTakeTheFormat) {
  std::set<int> always;
  for (const CommandRecord& r : MakeCommandTable())
    if (r.entry != nullptr && UsableAtStart(*r.entry)) always.insert(r.id);
  ASSERT_TRUE(always.contains(100) && !always.contains(101) && !always.contains(103));
  for (const bool supported : {true, false}) {
    for (const bool devices : {false, true}) {
      FakePlatform platform;
      platform.desktop.programPath = dir.File("vocara");
      platform.desktop.configDirectory = dir.File("config");
      if (devices) platform.audio.inputs = platform.audio.outputs = {"Microphone"};
      platform.audio.formatsSupported = supported;
      App started(platform.ports);
      ASSERT_TRUE(ProgramStart(started, ""));
      std::set<int> expected = always;
      if (devices && supported) expected.insert(101);
      EXPECT_EQ(EnabledCommands(started), expected) << devices << supported;
      EXPECT_EQ(started.Has(PlayAvailable), devices && supported);
      EXPECT_EQ(std::tuple(platform.windows.menuEnabled[100], platform.windows.menuEnabled[103],
                           platform.windows.views[WavView].buttonEnabled[101]),
                std::tuple(true, false, devices && supported));
    }
  }
}

TEST_F(CommandStates, SecondUpdateTouchesNothingButRedrawsTheMenuBar) {
  ASSERT_TRUE(ProgramStart(app, ""));
  app.flags |= WavOpen | SasOpen;
  UpdateCommandStates(app.commands);
  const int changes = fake.windows.stateChanges;
  const int redraws = fake.windows.menuRedraws;
  UpdateCommandStates(app.commands);
  EXPECT_EQ(std::pair(fake.windows.stateChanges, fake.windows.menuRedraws), std::pair(changes, redraws + 1));
}

TEST_F(CommandStates, BusyDisablesEverythingAndRestoresEachWindowAsItWas) {
  ASSERT_TRUE(ProgramStart(app, ""));
  const std::set<int> started = EnabledCommands(app);
  fake.windows.Show(FftView, platform::ShowCommand::Minimise);
  fake.windows.Show(SasView, platform::ShowCommand::Maximise);
  fake.windows.shows.clear();

  SetBusy(app.commands, true);
  EXPECT_TRUE(EnabledCommands(app).empty());
  EXPECT_EQ(
      std::tuple(fake.windows.views[SasView].state, fake.windows.views[FftView].state,
                 fake.windows.views[WavView].state),
      std::tuple(platform::ShowState::Hidden, platform::ShowState::Hidden, platform::ShowState::Normal));
  EXPECT_EQ(fake.windows.LastCursor(), platform::CursorShape::Hourglass);

  fake.windows.shows.clear();
  SetBusy(app.commands, false);
  using platform::ShowCommand;
  const std::vector<std::pair<int, ShowCommand>> expected{{MftView, ShowCommand::Hide},
                                                          {FftView, ShowCommand::Minimise},
                                                          {SasView, ShowCommand::Maximise},
                                                          {WavView, ShowCommand::Restore}};
  EXPECT_EQ(fake.windows.shows, expected);
  EXPECT_EQ(fake.windows.LastCursor(), platform::CursorShape::Arrow);
  EXPECT_EQ(EnabledCommands(app), started);
}

}  // namespace
}  // namespace vocara::test
