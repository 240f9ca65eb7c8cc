// The Audio Device Settings dialog.
//
// The device lists show the port's device lists as they are; the port numbers devices by
// their position in those lists, so the selected position is the device number the probe,
// playback and recording use, and no device can be skipped out of step with its number.
// A choice the devices refuse is not undone by OK: it stays in the live choice (with
// recording or playback unavailable) until the user picks something else or cancels.

#include "program/audio/AudioSettingsDialog.h"

#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "base/MessageId.h"
#include "program/audio/AudioProbe.h"
#include "program/shell/App.h"
#include "program/shell/AppFlags.h"
#include "program/shell/CommandTable.h"
#include "program/shell/MessageBoxes.h"

namespace vocara {
namespace {

namespace id = audio_control;
using platform::ControlKind;
using platform::ControlTemplate;
using platform::DialogHandle;

// Layout, in dialog units: the input group on the left, the output group on the right, the
// buttons along the bottom right.
constexpr int Margin = 7;
constexpr int GroupWidth = 150;
constexpr int GroupGap = 7;
constexpr int GroupHead = 13;  // from a group box's top to the device list
constexpr int GroupFoot = 6;   // below a group box's last row
constexpr int ListHeight = 12;
constexpr int ListDropDown = 120;  // a list's height with its items dropped down
constexpr int DeviceGap = 18;      // from the device list to the first format row
constexpr int RowPitch = 16;
constexpr int LabelHeight = 8;
constexpr int LabelDrop = 2;  // a label sits this much lower than the list it names
constexpr int LabelWidth = 64;
constexpr int ButtonWidth = 50;
constexpr int ButtonHeight = 14;
constexpr int ButtonGap = 4;

constexpr int InputX = Margin;
constexpr int OutputX = InputX + GroupWidth + GroupGap;
constexpr int DialogWidth = OutputX + GroupWidth + Margin;

// The controls of one direction, top to bottom.
struct DirectionControls {
  const char* title;
  int device;
  int format;
  int rate;
  int sampleSize;
  int channel;
  const char* channelLabel;
};

constexpr DirectionControls InputControls{"Input device", id::InputDevice,     id::InputFormat,
                                          id::InputRate,  id::InputSampleSize, id::InputChannel,
                                          "Input channel"};
constexpr DirectionControls OutputControls{"Output device", id::OutputDevice,     id::OutputFormat,
                                           id::OutputRate,  id::OutputSampleSize, id::OutputChannel,
                                           "Output channel"};

// Adds one group box with its lists; returns the y below the box.
int AddDirection(std::vector<ControlTemplate>& controls, const DirectionControls& d, int groupX, int y) {
  const int innerX = groupX + Margin;
  const int innerWidth = GroupWidth - 2 * Margin;
  int row = y + GroupHead;
  controls.push_back({d.device, ControlKind::DropDownList, "", innerX, row, innerWidth, ListDropDown});
  row += DeviceGap;
  const std::pair<const char*, int> rows[] = {{"Format", d.format},
                                              {"Sampling Rate", d.rate},
                                              {"Bits per sample", d.sampleSize},
                                              {d.channelLabel, d.channel}};
  const int listX = innerX + LabelWidth + 2;
  int lastRow = row;
  for (const auto& [label, list] : rows) {
    controls.push_back({-1, ControlKind::Label, label, innerX, row + LabelDrop, LabelWidth, LabelHeight});
    controls.push_back(
        {list, ControlKind::DropDownList, "", listX, row, innerX + innerWidth - listX, ListDropDown});
    lastRow = row;
    row += RowPitch;
  }
  const int bottom = lastRow + ListHeight + GroupFoot;
  controls.push_back({-1, ControlKind::GroupBox, d.title, groupX, y, GroupWidth, bottom - y});
  return bottom;
}

template <std::size_t N>
void FillList(DialogHandle& dialog, int list, const std::array<const char*, N>& texts, int selection) {
  dialog.ClearItems(list);
  for (const char* text : texts) dialog.AddItem(list, text);
  dialog.SetSelection(list, selection);
}

void FillDevices(DialogHandle& dialog, int list, const std::vector<std::string>& names, int selection) {
  dialog.ClearItems(list);
  for (const std::string& name : names) dialog.AddItem(list, name);
  dialog.SetSelection(list, selection);
}

class AudioSettingsProcedure final : public platform::DialogProcedure {
 public:
  explicit AudioSettingsProcedure(App& app) : app_(app) {}

  void OnInit(DialogHandle& dialog) override {
    const AudioDeviceChoice& c = app_.devices.audioChoice;
    platform::AudioPort& audio = app_.ports.audio;
    FillDevices(dialog, id::InputDevice, audio.InputDevices(), c.inDevice);
    FillList(dialog, id::InputRate, AudioRateTexts, c.inRate);
    FillList(dialog, id::InputSampleSize, AudioSampleSizeTexts, c.inSampleSize);
    FillList(dialog, id::InputChannel, AudioChannelTexts, static_cast<int>(c.inChannel));
    FillList(dialog, id::InputFormat, AudioFormatTexts, c.inFormat);
    FillDevices(dialog, id::OutputDevice, audio.OutputDevices(), c.outDevice);
    FillList(dialog, id::OutputRate, AudioRateTexts, c.outRate);
    FillList(dialog, id::OutputSampleSize, AudioSampleSizeTexts, c.outSampleSize);
    FillList(dialog, id::OutputChannel, AudioChannelTexts, static_cast<int>(c.outChannel));
    FillList(dialog, id::OutputFormat, AudioFormatTexts, c.outFormat);
  }

  void OnCommand(DialogHandle& dialog, int command) override {
    switch (command) {
      case id::Ok: {
        const AudioProbeResult probe = AudioProbe(app_, app_.devices.audioChoice);
        // The input is checked first: with both refused only its message is shown.
        if (!probe.record) {
          ShowErrorMessage(app_.ports.desktop, MessageId::NotSupportedInputFormat);
        } else if (!probe.play) {
          ShowErrorMessage(app_.ports.desktop, MessageId::NotSupportedOutputFormat);
        } else {
          app_.devices.audioChoiceSaved = app_.devices.audioChoice;
          dialog.End(platform::DialogOk);
        }
        break;
      }
      case id::Cancel:
        // The lists changed the live choice as they went; the flags must follow it back.
        app_.devices.audioChoice = app_.devices.audioChoiceSaved;
        AudioProbe(app_, app_.devices.audioChoice);
        dialog.End(platform::DialogCancel);
        break;
      default:
        break;
    }
  }

  void OnSelectionChange(DialogHandle& dialog, int list) override {
    const int selection = dialog.GetSelection(list);
    if (selection < 0) return;
    AudioDeviceChoice& c = app_.devices.audioChoice;
    const auto narrow = static_cast<std::uint16_t>(selection);
    switch (list) {
      case id::InputDevice:
        c.inDevice = selection;
        break;
      case id::InputRate:
        c.inRate = selection;
        break;
      case id::InputSampleSize:
        c.inSampleSize = narrow;
        break;
      case id::InputChannel:
        c.inChannel = static_cast<std::uint32_t>(selection);
        break;
      case id::InputFormat:
        c.inFormat = narrow;
        break;
      case id::OutputDevice:
        c.outDevice = selection;
        break;
      case id::OutputRate:
        c.outRate = selection;
        break;
      case id::OutputSampleSize:
        c.outSampleSize = narrow;
        break;
      case id::OutputChannel:
        c.outChannel = static_cast<std::uint32_t>(selection);
        break;
      case id::OutputFormat:
        c.outFormat = narrow;
        break;
      default:
        break;
    }
  }

 private:
  App& app_;
};

}  // namespace

platform::DialogTemplate AudioSettingsDialogTemplate() {
  std::vector<ControlTemplate> controls;
  AddDirection(controls, InputControls, InputX, Margin);
  const int groupBottom = AddDirection(controls, OutputControls, OutputX, Margin);

  const int buttonY = groupBottom + 6;
  int x = DialogWidth - Margin - 2 * ButtonWidth - ButtonGap;
  controls.push_back({id::Ok, ControlKind::DefaultButton, "OK", x, buttonY, ButtonWidth, ButtonHeight});
  x += ButtonWidth + ButtonGap;
  controls.push_back({id::Cancel, ControlKind::Button, "Cancel", x, buttonY, ButtonWidth, ButtonHeight});

  platform::DialogTemplate dialog;
  dialog.title = "Audio Device Settings";
  dialog.width = DialogWidth;
  dialog.height = buttonY + ButtonHeight + Margin;
  dialog.controls = std::move(controls);
  return dialog;
}

void RunAudioSettingsDialog(App& app, int ownerView) {
  AudioSettingsProcedure procedure(app);
  app.ports.dialogs.RunModal(ownerView, AudioSettingsDialogTemplate(), procedure);
}

namespace {

constexpr CommandEntry Entries[] = {
    // View / Audio Device Settings: modal, owned by the commanding window.
    {.id = CommandId::AudioDeviceSettings,
     .label = "&Audio Device Settings...",
     .handler = [](App& app, int view, CommandId) { RunAudioSettingsDialog(app, view); },
     .required = Ready},
};

}  // namespace

std::span<const CommandEntry> AudioSettingsCommandEntries() { return Entries; }

}  // namespace vocara
