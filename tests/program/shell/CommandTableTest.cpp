#include <gtest/gtest.h>

#include <set>
#include <stdexcept>
#include <utility>

#include "program/dispatch/StartUp.h"
#include "program/shell/AppFlags.h"
#include "program/shell/CommandTable.h"
#include "program/shell/Resources.h"
#include "support/AppFixture.h"

namespace vocara::test {
namespace {

std::set<int> EnabledCommands(const App& app) {
  std::set<int> ids;
  for (const CommandRecord& r : app.commands) {
    if (r.enabled) ids.insert(r.id);
  }
  return ids;
}

void CollectMenuCommands(const std::vector<platform::MenuItem>& items, std::set<int>& ids,
                         std::set<std::pair<int, int>>* images = nullptr) {
  for (const platform::MenuItem& item : items) {
    if (item.kind == platform::MenuItem::Kind::Command) ids.insert(item.command);
    if (item.kind == platform::MenuItem::Kind::Command && item.image >= 0 && images)
      images->insert({item.command, item.image});
    if (item.kind == platform::MenuItem::Kind::Submenu) CollectMenuCommands(item.items, ids, images);
  }
}

// A menu item with an image shows its command's toolbar image: the seven edit modes.
TEST(CommandTable, MenuImagesAreTheirCommandsToolbarImages) {
  std::set<int> ids;
  std::set<std::pair<int, int>> images;
  for (const platform::MenuPopup& popup : MainMenu()) CollectMenuCommands(popup.items, ids, &images);
  std::set<std::pair<int, int>> buttons;
  for (const platform::ToolbarButton& b : ToolbarOf(SasView))
    if (!b.separator && ((b.command >= Id(CommandId::NormalMode) && b.command <= Id(CommandId::EraseMode)) ||
                         b.command == Id(CommandId::NoteMode)))
      buttons.insert({b.command, b.image});
  EXPECT_EQ(images.size(), 7u);
  EXPECT_EQ(images, buttons);
}

// Every id from 100 to 204 has its entry from the module that owns it: a handler (only the
// spectrum refresh id has none), a gate, and the menu item and button the resources give it.
TEST(CommandTable, EveryCommandHasItsEntryAndAgreesWithMenuAndToolbars) {
  const CommandTable table = MakeCommandTable();
  std::set<int> menu;
  for (const platform::MenuPopup& popup : MainMenu()) CollectMenuCommands(popup.items, menu);
  for (int i = 0; i < CommandCount; ++i) {
    const CommandRecord& r = table[static_cast<std::size_t>(i)];
    EXPECT_EQ(r.id, FirstCommand + i);
    EXPECT_FALSE(r.enabled);
    EXPECT_TRUE(r.required != 0 || r.gate != nullptr) << r.id;
    EXPECT_EQ(r.handler == nullptr, r.id == Id(CommandId::SpectrumRefresh)) << r.id;
    // Undo and Redo keep their menu items themselves, as each action changes the journal.
    const bool ownMenu = r.id == Id(CommandId::Undo) || r.id == Id(CommandId::Redo);
    EXPECT_EQ(r.menu || ownMenu, menu.count(r.id) == 1) << r.id;
    for (int view = 0; view < ViewCount; ++view) {
      bool onToolbar = false;
      for (const platform::ToolbarButton& b : ToolbarOf(view)) onToolbar |= !b.separator && b.command == r.id;
      EXPECT_EQ(onToolbar, r.toolbar == view) << r.id << " on toolbar " << view;
    }
  }
  EXPECT_EQ(FindCommand(table, FirstCommand - 1), nullptr);
  EXPECT_EQ(FindCommand(table, LastCommand + 1), nullptr);
  // Two modules claiming one id, or an id outside the table, are refused when the table is made.
  const CommandEntry twice[] = {{CommandId::Play, nullptr, Ready}, {CommandId::Play, nullptr, Ready}};
  EXPECT_THROW(CommandTableOf({twice}), std::logic_error);
  const CommandEntry outside[] = {{static_cast<CommandId>(LastCommand + 1), nullptr, Ready}};
  EXPECT_THROW(CommandTableOf({outside}), std::logic_error);
}

TEST(CommandTable, RequiredMasksOfCompoundCommands) {
  const CommandTable table = MakeCommandTable();
  EXPECT_EQ(FindCommand(table, 115)->required,
            WavOpen | WavRangeSelected | RangeHoldsNoiseLength | NoiseSampleReady);
  EXPECT_EQ(FindCommand(table, 101)->required, RecordAvailable);
  EXPECT_EQ(FindCommand(table, 107)->required, StopAvailable);
  EXPECT_EQ(FindCommand(table, 180)->required, WavOpen);
}

using CommandStates = AppTest;

TEST_F(CommandStates, StartEnablesExactlyTheAlwaysUsableCommands) {
  ASSERT_TRUE(ProgramStart(app, ""));
  EXPECT_EQ(EnabledCommands(app), (std::set<int>{100, 102, 109, 121, 154, 155, 185, 186, 203, 204}));
  EXPECT_EQ(std::tuple(fake.windows.menuEnabled[100], fake.windows.menuEnabled[103],
                       fake.windows.views[WavView].buttonEnabled[102],
                       fake.windows.views[WavView].buttonEnabled[106],
                       fake.windows.views[MftView].buttonEnabled[154]),
            std::tuple(true, false, true, false, true));
}

TEST_F(CommandStates, RecordIsEnabledAtStartWhenAnInputDeviceTakesTheFormat) {
  fake.audio.inputs = {"Microphone"};
  fake.audio.outputs = {"Speakers"};
  ASSERT_TRUE(ProgramStart(app, ""));
  EXPECT_EQ(EnabledCommands(app), (std::set<int>{100, 101, 102, 109, 121, 154, 155, 185, 186, 203, 204}));
  EXPECT_EQ(std::tuple(app.Has(PlayAvailable), fake.windows.views[WavView].buttonEnabled[101]),
            std::tuple(true, true));
}

TEST_F(CommandStates, RefusedFormatLeavesRecordAndPlayUnavailable) {
  fake.audio.inputs = {"Microphone"};
  fake.audio.outputs = {"Speakers"};
  fake.audio.formatsSupported = false;
  ASSERT_TRUE(ProgramStart(app, ""));
  EXPECT_FALSE(app.flags & (RecordAvailable | PlayAvailable));
}

TEST_F(CommandStates, SecondUpdateTouchesNothingButRedrawsTheMenuBar) {
  ASSERT_TRUE(ProgramStart(app, ""));
  app.flags |= WavOpen | SasOpen;
  UpdateCommandStates(app);
  const int changes = fake.windows.stateChanges;
  const int redraws = fake.windows.menuRedraws;
  UpdateCommandStates(app);
  EXPECT_EQ(fake.windows.stateChanges, changes);
  EXPECT_EQ(fake.windows.menuRedraws, redraws + 1);
}

TEST_F(CommandStates, NoiseCaptureNeedsTheRangeToHoldTheNoiseLength) {
  ASSERT_TRUE(ProgramStart(app, ""));
  app.flags |= WavOpen | WavRangeSelected;
  UpdateCommandStates(app);
  EXPECT_FALSE(FindCommand(app.commands, 114)->enabled);
  app.flags |= RangeHoldsNoiseLength;
  UpdateCommandStates(app);
  EXPECT_TRUE(FindCommand(app.commands, 114)->enabled);
  EXPECT_TRUE(fake.windows.menuEnabled[114]);
}

TEST_F(CommandStates, BusyDisablesEverythingAndRestoresEachWindowAsItWas) {
  ASSERT_TRUE(ProgramStart(app, ""));
  fake.windows.Show(FftView, platform::ShowCommand::Minimise);
  fake.windows.Show(SasView, platform::ShowCommand::Maximise);
  fake.windows.shows.clear();

  SetBusy(app, true);
  EXPECT_TRUE(EnabledCommands(app).empty());
  EXPECT_EQ(
      std::tuple(fake.windows.views[SasView].state, fake.windows.views[FftView].state,
                 fake.windows.views[WavView].state),
      std::tuple(platform::ShowState::Hidden, platform::ShowState::Hidden, platform::ShowState::Normal));
  EXPECT_EQ(fake.windows.LastCursor(), platform::CursorShape::Hourglass);

  fake.windows.shows.clear();
  SetBusy(app, false);
  using platform::ShowCommand;
  const std::vector<std::pair<int, ShowCommand>> expected{{MftView, ShowCommand::Hide},
                                                          {FftView, ShowCommand::Minimise},
                                                          {SasView, ShowCommand::Maximise},
                                                          {WavView, ShowCommand::Restore}};
  EXPECT_EQ(fake.windows.shows, expected);
  EXPECT_EQ(fake.windows.LastCursor(), platform::CursorShape::Arrow);
  EXPECT_EQ(EnabledCommands(app), (std::set<int>{100, 102, 109, 121, 154, 155, 185, 186, 203, 204}));
}

}  // namespace
}  // namespace vocara::test
