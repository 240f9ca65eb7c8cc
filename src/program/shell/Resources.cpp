#include "program/shell/Resources.h"

#include <algorithm>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <utility>

#include "base/WindowTable.h"
#include "platform/Keys.h"
#include "program/shell/CommandId.h"
#include "program/shell/CommandTable.h"

namespace vocara {
namespace {

using platform::MenuItem;
using platform::MenuPopup;
using C = CommandId;

// What the menu bar and the toolbars hold, by command id: order, separators and submenus, check
// marks and radio groups. Labels, shortcuts, tooltips, images and whether an item starts greyed
// come from the commands' entries.
struct Place {
  enum class Kind { Command, Check, Separator, Submenu };
  Kind kind = Kind::Command;
  CommandId id{};
  bool checked = false;        // Check: at start
  int group = 0;               // Check: a radio group; a button: its group of buttons releasing each other
  std::string_view label{};    // Submenu
  std::vector<Place> items{};  // Submenu
};

Place Cmd(CommandId id) { return {Place::Kind::Command, id}; }
Place Check(CommandId id, bool checked) { return {Place::Kind::Check, id, checked}; }
Place Sep() { return {Place::Kind::Separator}; }

// The mode items and buttons release each other; the core marks the current mode's.
constexpr int EditModeGroup = 1;

Place EditModeMenu() {
  Place menu{Place::Kind::Submenu};
  menu.label = "Edit &Mode";
  for (const EditModeRow& mode : EditModes)
    menu.items.push_back({Place::Kind::Check, mode.command, mode.mode == EditMode::Normal, EditModeGroup});
  return menu;
}

struct PopupPlaces {
  std::string_view label;
  std::vector<Place> items;
};

std::vector<PopupPlaces> MenuPlaces() {
  return {
      {"&WAV File",
       {Cmd(C::OpenWav), Cmd(C::CloseWav), Sep(), Cmd(C::RemoveNoise), Cmd(C::Correct),
        Check(C::KeepFormants, false), Cmd(C::FormantShift), Sep(), Cmd(C::Play), Cmd(C::Record),
        Cmd(C::Stop), Cmd(C::Generate), Sep(), Cmd(C::SyncToSas), Sep(), Cmd(C::Exit)}},
      {"WAV &Range",
       {Cmd(C::SetRangeLeft), Cmd(C::SetRangeRight), Sep(), Cmd(C::SaveRange), Cmd(C::ExportRangeAsText),
        Sep(), Cmd(C::NoiseSample), Cmd(C::AddNoiseSample), Sep(), Cmd(C::PlayRange), Cmd(C::PlayCorrected)}},
      {"Pulse &Shape", {Cmd(C::AddPulseShape), Cmd(C::ExportPulseShape)}},
      {"&SAS File",
       {Cmd(C::OpenSas), Cmd(C::CloseSas), Cmd(C::BuildSas), Cmd(C::SaveSasAs), Sep(), Cmd(C::Silence),
        Cmd(C::GlobalClear), Sep(), Cmd(C::SetRulerOrigin), Sep(), EditModeMenu(), Sep(), Cmd(C::SyncToWav),
        Sep(), Cmd(C::ExportNotesMidi)}},
      {"S&AS Range",
       {Cmd(C::SasRangeFind),
        Cmd(C::SasRangeSetLeft),
        Cmd(C::SasRangeSetRight),
        Cmd(C::SasRangeSelectAll),
        Sep(),
        Cmd(C::TimeCorrectDisable),
        Cmd(C::TimeCorrectEnable),
        Sep(),
        Cmd(C::GlobalEdit),
        Sep(),
        Cmd(C::Undo),
        Cmd(C::Redo),
        Sep(),
        Cmd(C::SnapToScale),
        Cmd(C::Reanalyse),
        Cmd(C::RepairOctaveJumps),
        Sep(),
        Cmd(C::SelectAllNotes),
        Cmd(C::NoteSemitoneUp),
        Cmd(C::NoteSemitoneDown),
        Cmd(C::NoteCentUp),
        Cmd(C::NoteCentDown),
        Cmd(C::DeleteNotes),
        Cmd(C::ShapeNotes),
        Sep(),
        Cmd(C::FollowGuide)}},
      {"V&iew",
       {Cmd(C::ShowSas), Cmd(C::ShowFft), Cmd(C::ShowMft), Check(C::ShowNotes, true), Sep(),
        Cmd(C::GeneralSettings), Cmd(C::AudioDeviceSettings), Sep(), Cmd(C::DetectNoteRange)}},
      {"&Help", {Cmd(C::HelpTopics), Cmd(C::About)}},
  };
}

std::vector<Place> ToolbarPlaces(int view) {
  const auto button = [](CommandId id, int group = 0) {
    return Place{Place::Kind::Command, id, false, group};
  };
  std::vector<Place> places;
  switch (view) {
    case WavView:
      return {button(C::Play),
              button(C::Stop),
              button(C::Record),
              button(C::Generate),
              Sep(),
              button(C::TimeStretch),
              button(C::TimeSqueeze),
              button(C::TimeScaleOnePerFrame),
              button(C::TimeScaleFitAll),
              button(C::TimeScaleFitSelection),
              button(C::TimeScaleOfSas),
              button(C::ValueStretch),
              button(C::ValueSqueeze),
              button(C::ValueFit),
              button(C::ShowAll),
              Sep(),
              button(C::SyncToSas)};
    case SasView:
      for (const EditModeRow& mode : EditModes) places.push_back(button(mode.command, EditModeGroup));
      places.insert(places.end(),
                    {Sep(), button(C::PitchStretch), button(C::PitchSqueeze), Sep(), button(C::SyncToWav)});
      return places;
    case FftView:
      // The eleven sizes, one group, and the eight window functions, another.
      for (int size = Id(C::FftSize1k); size <= Id(C::FftSize1M); ++size)
        places.push_back(button(static_cast<CommandId>(size), 1));
      places.push_back(Sep());
      for (int window = Id(C::FftWindow1); window <= Id(C::FftWindow8); ++window)
        places.push_back(button(static_cast<CommandId>(window), 2));
      places.insert(places.end(), {Sep(), button(C::FrequencyZoomIn), button(C::FrequencyZoomOut),
                                   button(C::FrequencyScaleOne), Sep(), button(C::FindAndSavePeaks)});
      return places;
    default:
      return {button(C::GeneralSettings)};
  }
}

// The name of a key as a menu item shows it beside its label.
std::string KeyName(const CommandKey& key) {
  namespace k = platform::key;
  std::string name = key.ctrl ? "Ctrl+" : "";
  if (key.shift) name += "Shift+";
  if (key.code >= k::F1 && key.code < k::F1 + 12) return name + "F" + std::to_string(key.code - k::F1 + 1);
  switch (key.code) {
    case k::Escape:
      return name + "Esc";
    case k::PageUp:
      return name + "PgUp";
    case k::PageDown:
      return name + "PgDn";
    case k::Delete:
      return name + "Del";
    default:
      return name + static_cast<char>(key.code);
  }
}

std::string ShortcutOf(const CommandEntry& entry) {
  for (const CommandKey& key : {entry.key, entry.otherKey})
    if (key.code != 0 && key.shown) return KeyName(key);
  return {};
}

MenuItem ItemOf(const Place& place) {
  MenuItem item;
  switch (place.kind) {
    case Place::Kind::Separator:
      item.kind = MenuItem::Kind::Separator;
      return item;
    case Place::Kind::Submenu:
      item.kind = MenuItem::Kind::Submenu;
      item.label = std::string(place.label);
      for (const Place& inner : place.items) item.items.push_back(ItemOf(inner));
      return item;
    case Place::Kind::Command:
    case Place::Kind::Check:
      break;
  }
  const CommandEntry& entry = EntryOf(place.id);
  if (entry.label.empty())
    throw std::logic_error("command " + std::to_string(Id(place.id)) + " has no label");
  item.label = std::string(entry.label);
  item.command = Id(place.id);
  item.greyed = !UsableAtStart(entry);
  item.shortcut = ShortcutOf(entry);
  if (place.kind == Place::Kind::Check) {
    item.checkable = true;
    item.checked = place.checked;
    item.checkGroup = place.group;
    // A radio item shows its toolbar button's image.
    if (place.group != 0) item.image = entry.image;
  }
  return item;
}

template <typename Visit>
void ForEachPlace(const std::vector<Place>& places, const Visit& visit) {
  for (const Place& place : places) {
    if (place.kind == Place::Kind::Submenu) ForEachPlace(place.items, visit);
    if (place.kind == Place::Kind::Command || place.kind == Place::Kind::Check) visit(place.id);
  }
}

}  // namespace

std::vector<MenuPopup> MainMenu() {
  std::vector<MenuPopup> menu;
  for (const PopupPlaces& popup : MenuPlaces()) {
    MenuPopup shown{std::string(popup.label), {}};
    for (const Place& place : popup.items) shown.items.push_back(ItemOf(place));
    menu.push_back(std::move(shown));
  }
  return menu;
}

std::vector<platform::ToolbarButton> ToolbarOf(int view) {
  std::vector<platform::ToolbarButton> buttons;
  for (const Place& place : ToolbarPlaces(view)) {
    platform::ToolbarButton button;
    if (place.kind == Place::Kind::Separator) {
      button.separator = true;
    } else {
      const CommandEntry& entry = EntryOf(place.id);
      button.image = entry.image;
      button.command = Id(place.id);
      button.enabled = UsableAtStart(entry);
      button.checkGroup = place.group;
      button.tooltip = std::string(entry.tooltip);
    }
    buttons.push_back(std::move(button));
  }
  return buttons;
}

void PlaceCommands(CommandTable& table) {
  const auto record = [&table](CommandId id) -> CommandRecord& {
    CommandRecord& found = table[static_cast<std::size_t>(Id(id) - FirstCommand)];
    if (found.entry == nullptr)
      throw std::logic_error("command " + std::to_string(Id(id)) + " placed without an entry");
    return found;
  };
  for (const PopupPlaces& popup : MenuPlaces())
    ForEachPlace(popup.items, [&](CommandId id) { record(id).menu = !record(id).entry->ownMenuState; });
  for (int view = 0; view < ViewCount; ++view)
    ForEachPlace(ToolbarPlaces(view),
                 [&](CommandId id) { record(id).toolbar = static_cast<std::uint8_t>(view); });
}

std::string EditModeName(EditMode mode) {
  std::string name(EntryOf(EditModeOf(mode).command).label);
  std::erase(name, '&');
  return name;
}

std::string_view TooltipText(int command) {
  const CommandRecord* record = FindCommand(ProgramCommands(), command);
  return record == nullptr ? std::string_view{} : record->entry->tooltip;
}

std::vector<platform::Accelerator> AcceleratorTable() {
  std::vector<platform::Accelerator> accelerators;
  for (const CommandRecord& record : ProgramCommands()) {
    if (record.entry == nullptr) continue;
    for (const CommandKey& key : {record.entry->key, record.entry->otherKey})
      if (key.code != 0 && key.windows == 0)
        accelerators.push_back({key.code, record.id, key.ctrl, key.shift});
  }
  return accelerators;
}

}  // namespace vocara
