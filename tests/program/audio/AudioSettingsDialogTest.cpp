// The Audio Device Settings dialog on the fake platform, opened with command 155 and driven
// as a user would: the lists it shows, each choice going into the live choice at once, OK
// refused while a device will not take its format, and Cancel returning to the last
// accepted choice.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "program/audio/AudioProbe.h"
#include "program/audio/AudioSettingsDialog.h"
#include "program/dispatch/StartUp.h"
#include "program/shell/AppFlags.h"
#include "support/AppFixture.h"

namespace vocara::test {
namespace {

namespace id = audio_control;

std::array<std::int64_t, 10> Fields(const AudioDeviceChoice& c) {
  return {c.inDevice,  c.inRate,  c.inSampleSize,  c.inFormat,  c.inChannel,
          c.outDevice, c.outRate, c.outSampleSize, c.outFormat, c.outChannel};
}

class AudioSettingsDialogTest : public AppTest {
 protected:
  void SetUp() override {
    fake.audio.inputs = {"Microphone", "Line In"};
    fake.audio.outputs = {"Speakers", "Headphones", "HDMI"};
    ASSERT_TRUE(ProgramStart(app, ""));
  }

  // Opens the dialog from the View menu and lets `script` act on it; the host presses Cancel
  // when the script leaves the dialog open.
  void Run(const DialogScript& script) {
    bool ran = false;
    fake.dialogs.script.push_back([&](FakeDialog& dialog, platform::DialogProcedure& procedure) {
      ran = true;
      script(dialog, procedure);
    });
    Command(WavView, 155);
    EXPECT_TRUE(ran) << "the dialog did not run";
    EXPECT_EQ(fake.dialogs.titles.back(), "Audio Device Settings");
  }
};

TEST_F(AudioSettingsDialogTest, ListsShowTheDevicesAndTablesWithTheChoiceSelected) {
  app.devices.audioChoice = {1, 7, 2, 1, 1, 2, 0, 1, 0, 1};
  Run([](FakeDialog& dialog, platform::DialogProcedure&) {
    using Items = std::vector<std::string>;
    const Items rates{"44100", "48000", "88200", "96000", "176400", "192000", "352800", "384000"};
    EXPECT_EQ(dialog.items[id::InputDevice], (Items{"Microphone", "Line In"}));
    EXPECT_EQ(dialog.items[id::OutputDevice], (Items{"Speakers", "Headphones", "HDMI"}));
    for (const int list : {id::InputRate, id::OutputRate}) EXPECT_EQ(dialog.items[list], rates) << list;
    for (const int list : {id::InputSampleSize, id::OutputSampleSize})
      EXPECT_EQ(dialog.items[list], (Items{"16", "24", "32"})) << list;
    for (const int list : {id::InputFormat, id::OutputFormat})
      EXPECT_EQ(dialog.items[list], (Items{"PCM", "PCM Ext"})) << list;
    for (const int list : {id::InputChannel, id::OutputChannel})
      EXPECT_EQ(dialog.items[list], (Items{"Left", "Right"})) << list;

    const std::map<int, int> expected{
        {id::InputDevice, 1},  {id::InputRate, 7},    {id::InputSampleSize, 2}, {id::InputFormat, 1},
        {id::InputChannel, 1}, {id::OutputDevice, 2}, {id::OutputRate, 0},      {id::OutputSampleSize, 1},
        {id::OutputFormat, 0}, {id::OutputChannel, 1}};
    for (const auto& [list, selection] : expected) EXPECT_EQ(dialog.selections[list], selection) << list;
  });
}

TEST_F(AudioSettingsDialogTest, TemplateHoldsEachControlOnceInsideItsGroup) {
  const platform::DialogTemplate dialog = AudioSettingsDialogTemplate();
  EXPECT_EQ(dialog.title, "Audio Device Settings");
  auto find = [&](int control) {
    return std::find_if(dialog.controls.begin(), dialog.controls.end(),
                        [&](const platform::ControlTemplate& c) { return c.id == control; });
  };
  auto group = [&](const char* title) -> const platform::ControlTemplate* {
    const auto it =
        std::find_if(dialog.controls.begin(), dialog.controls.end(), [&](const platform::ControlTemplate& c) {
          return c.kind == platform::ControlKind::GroupBox && c.text == title;
        });
    return it == dialog.controls.end() ? nullptr : &*it;
  };
  const platform::ControlTemplate* input = group("Input device");
  const platform::ControlTemplate* output = group("Output device");
  ASSERT_TRUE(input && output);
  for (int list = id::InputDevice; list <= id::OutputFormat; ++list) {
    ASSERT_EQ(std::count_if(dialog.controls.begin(), dialog.controls.end(),
                            [&](const platform::ControlTemplate& c) { return c.id == list; }),
              1)
        << list;
    const platform::ControlTemplate& c = *find(list);
    const platform::ControlTemplate& box = list <= id::InputFormat ? *input : *output;
    EXPECT_TRUE(c.kind == platform::ControlKind::DropDownList && c.x >= box.x &&
                c.x + c.width <= box.x + box.width && c.y > box.y && c.y < box.y + box.height)
        << list;
  }
  EXPECT_EQ(std::tuple(find(id::Ok)->kind, find(id::Cancel)->text),
            std::tuple(platform::ControlKind::DefaultButton, "Cancel"));
}

// Each list stores its selection in the live choice at once; an OK the devices accept keeps it and
// closes.
TEST_F(AudioSettingsDialogTest, EachListStoresItsSelectionAtOnceAndAnAcceptedOkKeepsThem) {
  Run([&](FakeDialog& dialog, platform::DialogProcedure& procedure) {
    const int picks[10][2] = {{id::InputDevice, 1},  {id::InputRate, 7},        {id::InputSampleSize, 2},
                              {id::InputFormat, 1},  {id::InputChannel, 1},     {id::OutputDevice, 2},
                              {id::OutputRate, 5},   {id::OutputSampleSize, 1}, {id::OutputFormat, 1},
                              {id::OutputChannel, 1}};
    for (const auto& [list, index] : picks) Choose(dialog, procedure, list, index);
    EXPECT_EQ(Fields(app.devices.audioChoice), (std::array<std::int64_t, 10>{1, 7, 2, 1, 1, 2, 5, 1, 1, 1}));
    EXPECT_EQ(Fields(app.devices.audioChoiceSaved), Fields(AudioDeviceChoice{})) << "only OK keeps a choice";
    procedure.OnCommand(dialog, id::Ok);
    EXPECT_EQ(std::tuple(dialog.ended, dialog.result), std::tuple(true, platform::DialogOk));
  });
  EXPECT_TRUE(fake.desktop.messages.empty());
  EXPECT_EQ(Fields(app.devices.audioChoiceSaved), Fields(app.devices.audioChoice));
  EXPECT_EQ(fake.audio.outputQueries.back(), AudioFormatRecord(1, 5, 1, 1))
      << "the right-speaker record is what the device was asked about";
  EXPECT_TRUE(app.Has(RecordAvailable | PlayAvailable));
}

TEST_F(AudioSettingsDialogTest, WithoutAnInputDeviceOnlyCancelCloses) {
  fake.audio.inputs.clear();
  Run([&](FakeDialog& dialog, platform::DialogProcedure& procedure) {
    for (int press = 0; press < 3; ++press) {
      procedure.OnCommand(dialog, id::Ok);
      EXPECT_FALSE(dialog.ended) << press;
    }
    procedure.OnCommand(dialog, id::Cancel);
    EXPECT_TRUE(dialog.ended);
  });
  EXPECT_EQ(MessageTexts(), std::vector<std::string>(3, "Not supported input format"));
  EXPECT_EQ(fake.desktop.messages[0].icon, platform::MessageIcon::Error);
  EXPECT_FALSE(app.Has(RecordAvailable));
}

TEST_F(AudioSettingsDialogTest, RefusedFormatsNameTheInputFirst) {
  Run([&](FakeDialog& dialog, platform::DialogProcedure& procedure) {
    fake.audio.inputFormatSupported = false;
    fake.audio.outputFormatSupported = false;
    procedure.OnCommand(dialog, id::Ok);
    EXPECT_EQ(MessageTexts(), std::vector<std::string>{"Not supported input format"});

    // A rate the output device cannot play: the edited value stays in the live choice.
    fake.audio.inputFormatSupported = true;
    Choose(dialog, procedure, id::OutputRate, 7);
    procedure.OnCommand(dialog, id::Ok);
    EXPECT_EQ(std::tuple(MessageTexts().back(), fake.desktop.messages.size(), dialog.ended,
                         app.devices.audioChoice.outRate, app.Has(RecordAvailable), app.Has(PlayAvailable)),
              std::tuple("Not supported output format", 2u, false, 7, true, false));
    procedure.OnCommand(dialog, id::Cancel);
  });
}

TEST_F(AudioSettingsDialogTest, CancelReturnsToTheLastAcceptedChoiceAndProbesIt) {
  // Nothing accepted yet: back to the defaults.
  Run([&](FakeDialog& dialog, platform::DialogProcedure& procedure) {
    Choose(dialog, procedure, id::InputRate, 4);
    procedure.OnCommand(dialog, id::Cancel);
  });
  EXPECT_EQ(Fields(app.devices.audioChoice), Fields(AudioDeviceChoice{}));
  EXPECT_EQ(fake.audio.inputQueries.back(), InputFormatRecord(AudioDeviceChoice{}));

  Run([&](FakeDialog& dialog, platform::DialogProcedure& procedure) {
    Choose(dialog, procedure, id::InputRate, 3);
    procedure.OnCommand(dialog, id::Ok);
  });
  const AudioDeviceChoice accepted = app.devices.audioChoice;

  // A refused choice disables Record; the close box brings back the accepted one and Record
  // with it.
  Run([&](FakeDialog& dialog, platform::DialogProcedure& procedure) {
    EXPECT_EQ(dialog.selections[id::InputRate], 3) << "the dialog opens on the accepted choice";
    Choose(dialog, procedure, id::InputSampleSize, 2);
    fake.audio.inputFormatSupported = false;
    procedure.OnCommand(dialog, id::Ok);
    EXPECT_FALSE(fake.windows.menuEnabled[101]);
    fake.audio.inputFormatSupported = true;
  });
  EXPECT_EQ(Fields(app.devices.audioChoice), Fields(accepted));
  EXPECT_EQ(fake.audio.inputQueries.back(), InputFormatRecord(accepted));
  EXPECT_EQ(std::tuple(app.Has(RecordAvailable), fake.windows.menuEnabled[101]), std::tuple(true, true));
}

}  // namespace
}  // namespace vocara::test
