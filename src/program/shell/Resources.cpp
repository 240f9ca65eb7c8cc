#include "program/shell/Resources.h"

#include <algorithm>
#include <string>
#include <utility>

#include "base/WindowTable.h"
#include "platform/Keys.h"
#include "program/shell/CommandId.h"

namespace vocara {
namespace {

using platform::MenuItem;
using platform::MenuPopup;

MenuItem Item(std::string label, int command, bool greyed, std::string shortcut = {}) {
  MenuItem item;
  item.label = std::move(label);
  item.command = command;
  item.greyed = greyed;
  item.shortcut = std::move(shortcut);
  return item;
}

// Greyed at start like every command that needs a document, unless it is a preference.
MenuItem CheckItem(std::string label, int command, bool checked, bool greyed = true) {
  MenuItem item = Item(std::move(label), command, greyed);
  item.checkable = true;
  item.checked = checked;
  return item;
}

MenuItem Separator() {
  MenuItem item;
  item.kind = MenuItem::Kind::Separator;
  return item;
}

constexpr bool g = true;  // starts greyed
constexpr bool on = false;

struct ModeEntry {
  std::string_view label;
  int command;
  std::string_view shortcut;
  int image;
};

// The edit modes by number (0 Normal .. 5 Erase, 6 Note): their menu items and toolbar buttons.
constexpr std::array<ModeEntry, EditModeCount> EditModes{{
    {"&Normal", 128, "Esc", 11},
    {"Set &Time Link", 129, "F1", 12},
    {"&Delete Time Link", 130, "F2", 13},
    {"&In Range", 131, "F3", 14},
    {"&Freehand", 132, "F4", 15},
    {"&Erase", 133, "F5", 16},
    {"No&te", Id(CommandId::NoteMode), "F6", 43},
}};
constexpr int EditModeGroup = 1;

struct StringEntry {
  int id;
  std::string_view text;
};

// Tooltip texts, by the command id of their button.
constexpr StringEntry StringTable[] = {
    {101, "Record"},
    {102, "Generate"},
    {106, "Play"},
    {107, "Stop"},
    {108, "Synchronise WAV Position with SAS"},
    {127, "Synchronise SAS Position with WAV"},
    {128, "Pointer"},
    {129, "Set Time Link"},
    {130, "Delete Time Link"},
    {131, "Range Edit"},
    {132, "Free Hand Edit"},
    {133, "Erase Correction"},
    {Id(CommandId::NoteMode), "Note Edit"},
    {141, "Set Time Scale = 1 Point per Frame"},
    {142, "Set Time Scale to Fit All"},
    {143, "Set Time Scale to Fit Selection"},
    {144, "Time Squeeze"},
    {145, "Time Stretch"},
    {146, "Set Time Scale = Time Scale in SAS"},
    {148, "Value Fit to Window"},
    {149, "Value Squeeze"},
    {150, "Value Stretch"},
    {151, "Pitch Stretch"},
    {152, "Pitch Sqeeze"},
    {153, "Show All"},
    {154, "Settings"},
    {157, "1024 samples"},
    {158, "2048 samples"},
    {159, "4096 samples"},
    {160, "8192 samples"},
    {161, "16384 samples"},
    {162, "32768 samples"},
    {163, "65536 samples"},
    {164, "131072 samples"},
    {165, "262144 samples"},
    {166, "524288 samples"},
    {167, "1048576 samples"},
    {169, "Square Window"},
    {170, "Triangular Bartlett Window"},
    {171, "Parabolic Welch Window"},
    {172, "Parzen Window"},
    {173, "Lanczos Window"},
    {174, "Cosine bell Hann Window"},
    {175, "Hamming Window"},
    {176, "Blackman Window"},
    {177, "Frequency Zoom In"},
    {178, "Frequency Zoom Out"},
    {179, "Frequency Scale = 1"},
    {182, "Find and save peaks"},
};

struct ButtonEntry {
  int image;  // -1: separator
  int command;
  bool enabled;
  int checkGroup;
};

constexpr int Sep = -1;

constexpr ButtonEntry WavButtons[] = {
    {0, 106, false, 0},  {1, 107, false, 0},  {2, 101, false, 0}, {3, 102, true, 0},   {Sep, 0, false, 0},
    {4, 145, false, 0},  {5, 144, false, 0},  {6, 141, false, 0}, {7, 142, false, 0},  {33, 143, false, 0},
    {34, 146, false, 0}, {8, 150, false, 0},  {9, 149, false, 0}, {10, 148, false, 0}, {37, 153, false, 0},
    {Sep, 0, false, 0},  {35, 108, false, 0},
};
// The mode buttons release each other; the core presses the current mode's.
constexpr ButtonEntry SasButtons[] = {
    {11, 128, false, EditModeGroup},
    {12, 129, false, EditModeGroup},
    {13, 130, false, EditModeGroup},
    {14, 131, false, EditModeGroup},
    {15, 132, false, EditModeGroup},
    {16, 133, false, EditModeGroup},
    {43, Id(CommandId::NoteMode), false, EditModeGroup},
    {Sep, 0, false, 0},
    {8, 151, false, 0},
    {9, 152, false, 0},
    {Sep, 0, false, 0},
    {36, 127, false, 0},
};
constexpr ButtonEntry MftButtons[] = {
    {36, 154, true, 0},
};

std::vector<platform::ToolbarButton> Buttons(const ButtonEntry* first, const ButtonEntry* last) {
  std::vector<platform::ToolbarButton> buttons;
  for (const ButtonEntry* entry = first; entry != last; ++entry) {
    platform::ToolbarButton button;
    if (entry->image == Sep) {
      button.separator = true;
    } else {
      button.image = entry->image;
      button.command = entry->command;
      button.enabled = entry->enabled;
      button.checkGroup = entry->checkGroup;
      button.tooltip = std::string(TooltipText(entry->command));
    }
    buttons.push_back(std::move(button));
  }
  return buttons;
}

std::vector<platform::ToolbarButton> FftButtons() {
  std::vector<ButtonEntry> entries;
  for (int i = 0; i < 11; ++i) entries.push_back({17 + i, 157 + i, false, 1});  // the eleven sizes
  entries.push_back({Sep, 0, false, 0});
  for (int i = 0; i < 8; ++i) entries.push_back({28 + i, 169 + i, false, 2});  // window functions
  entries.push_back({Sep, 0, false, 0});
  entries.push_back({4, 177, false, 0});
  entries.push_back({5, 178, false, 0});
  entries.push_back({6, 179, false, 0});
  entries.push_back({Sep, 0, false, 0});
  entries.push_back({42, 182, false, 0});
  return Buttons(entries.data(), entries.data() + entries.size());
}

}  // namespace

std::vector<MenuPopup> MainMenu() {
  MenuItem editMode;
  editMode.kind = MenuItem::Kind::Submenu;
  editMode.label = "Edit &Mode";
  // One radio group: the core marks the current mode, Normal at start. Each mode's item carries
  // its toolbar button's image (11 .. 16, and 43 for Note).
  for (int mode = 0; mode < EditModeCount; ++mode) {
    const ModeEntry& entry = EditModes[static_cast<std::size_t>(mode)];
    MenuItem item = CheckItem(std::string(entry.label), entry.command, mode == 0);
    item.shortcut = std::string(entry.shortcut);
    item.checkGroup = EditModeGroup;
    item.image = entry.image;
    editMode.items.push_back(std::move(item));
  }
  return {
      {"&WAV File",
       {Item("&Open", 100, on), Item("C&lose", 103, g), Separator(), Item("&Remove Noise", 104, g),
        Item("&Correct", 105, g), CheckItem("&Keep Formants", Id(CommandId::KeepFormants), false, on),
        Item("Formant S&hift...", Id(CommandId::FormantShift), on), Separator(), Item("&Play", 106, g, "P"),
        Item("&Record", 101, g), Item("Stop", 107, g), Item("&Generate", 102, on), Separator(),
        Item("Sync to SAS", 108, g, "S"), Separator(), Item("E&xit", 109, on)}},
      {"WAV &Range",
       {Item("Set &Left", 110, g, "L"), Item("Set &Right", 111, g, "R"), Separator(), Item("Save As", 112, g),
        Item("Export As Text", 113, g), Separator(), Item("&Noise=", 114, g), Item("N&oise+", 115, g),
        Separator(), Item("&Play", 116, g, "F7"), Item("Play &Corrected", 117, g, "F8")}},
      {"Pulse &Shape", {Item("Shape+", 118, g, "F9"), Item("Export Shape", 119, g, "F10")}},
      {"&SAS File",
       {Item("O&pen", 121, on), Item("C&lose", 122, g), Item("&Build", 120, g), Item("Save &As", 123, g),
        Separator(), Item("&Silence", 124, g), Item("Global &Clear", 125, g), Separator(),
        Item("Set Ruler &Origin", 126, g, "O"), Separator(), editMode, Separator(),
        Item("Sync to &WAV", 127, g, "W"), Separator(),
        Item("Export Notes as M&IDI...", Id(CommandId::ExportNotesMidi), g)}},
      {"S&AS Range",
       {Item("&Find", 134, g, "F"),
        Item("Set &Left", 135, g, "L"),
        Item("Set &Right", 136, g, "R"),
        Item("Select &All", 137, g),
        Separator(),
        Item("Time Correct &Disable", 138, g, "D"),
        Item("Time Correct &Enable", 139, g, "E"),
        Separator(),
        Item("&Global Edit", 140, g),
        Separator(),
        Item("&Undo", Id(CommandId::Undo), g, "Ctrl+Z"),
        Item("Re&do", Id(CommandId::Redo), g, "Ctrl+Y"),
        Separator(),
        Item("Snap to &Scale...", Id(CommandId::SnapToScale), g),
        Item("Re-analyse Ra&nge...", Id(CommandId::Reanalyse), g),
        Item("Repair &Octave Jumps", Id(CommandId::RepairOctaveJumps), g),
        Separator(),
        Item("Select All Notes", Id(CommandId::SelectAllNotes), g, "Ctrl+A"),
        Item("Notes U&p a Semitone", Id(CommandId::NoteSemitoneUp), g, "PgUp"),
        Item("Notes Do&wn a Semitone", Id(CommandId::NoteSemitoneDown), g, "PgDn"),
        Item("Notes Up a &Cent", Id(CommandId::NoteCentUp), g, "Ctrl+PgUp"),
        Item("Notes Down a Cent", Id(CommandId::NoteCentDown), g, "Ctrl+PgDn"),
        Item("S&hape Notes...", Id(CommandId::ShapeNotes), g),
        Separator(),
        Item("Follow Gu&ide...", Id(CommandId::FollowGuide), g)}},
      {"V&iew",
       {Item("SAS", 156, g), Item("&FFT", 181, g, "F"), Item("&MFT", 168, g, "M"),
        CheckItem("Show &Notes", Id(CommandId::ShowNotes), true), Separator(),
        Item("&General Settings...", 154, on), Item("&Audio Device Settings...", 155, on), Separator(),
        Item("&Detect Note Range", Id(CommandId::DetectNoteRange), g)}},
      {"&Help", {Item("Help Topics", 185, on), Item("&About Vocara...", 186, on)}},
  };
}

std::vector<platform::ToolbarButton> ToolbarOf(int view) {
  switch (view) {
    case WavView:
      return Buttons(std::begin(WavButtons), std::end(WavButtons));
    case SasView:
      return Buttons(std::begin(SasButtons), std::end(SasButtons));
    case FftView:
      return FftButtons();
    default:
      return Buttons(std::begin(MftButtons), std::end(MftButtons));
  }
}

int EditModeCommand(int mode) {
  return EditModes[static_cast<std::size_t>(std::clamp(mode, 0, EditModeCount - 1))].command;
}

std::string EditModeName(int mode) {
  std::string name(EditModes[static_cast<std::size_t>(std::clamp(mode, 0, EditModeCount - 1))].label);
  std::erase(name, '&');
  return name;
}

std::string_view TooltipText(int command) {
  for (const StringEntry& entry : StringTable) {
    if (entry.id == command) return entry.text;
  }
  return {};
}

std::vector<platform::Accelerator> AcceleratorTable() {
  namespace key = platform::key;
  return {
      {key::Escape, 128},
      {'A', 137},
      {'D', 138},
      {'E', 139},
      {'M', 168},
      {'O', 126},
      {'P', 106},
      {'S', 108},
      {'W', 127},
      {key::F1, 129},
      {key::F1 + 1, 130},
      {key::F1 + 2, 131},
      {key::F1 + 3, 132},
      {key::F1 + 4, 133},
      {key::F1 + 5, Id(CommandId::NoteMode)},
      {key::F1 + 6, 116},
      {key::F1 + 7, 117},
      {key::F1 + 8, 118},
      {key::F1 + 9, 119},
      // Undo and redo of SAS edits, as every editor has them.
      {'Z', Id(CommandId::Undo), true, false},
      {'Y', Id(CommandId::Redo), true, false},
      {'Z', Id(CommandId::Redo), true, true},
      // The notes chosen in Note mode.
      {'A', Id(CommandId::SelectAllNotes), true, false},
      {key::PageUp, Id(CommandId::NoteCentUp), true, false},
      {key::PageDown, Id(CommandId::NoteCentDown), true, false},
  };
}

}  // namespace vocara
