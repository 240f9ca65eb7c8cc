#include "program/dispatch/StartUp.h"

#include <array>
#include <cstddef>
#include <string>
#include <utility>

#include "base/Preferences.h"
#include "program/audio/AudioProbe.h"
#include "program/commands/SasMouse.h"
#include "program/dispatch/WindowProcedure.h"
#include "program/shell/App.h"
#include "program/shell/AppFlags.h"
#include "program/shell/CommandId.h"
#include "program/shell/CommandTable.h"
#include "program/shell/Resources.h"
#include "program/views/ViewLayout.h"

namespace vocara {
namespace {

using platform::ScrollBar;
using platform::ScrollInfo;

// The description of a window, all but its rectangle, which the settings file gives.
platform::WindowSpec SpecOf(int view) {
  const WindowTableEntry& entry = WindowTable[static_cast<std::size_t>(view)];
  platform::WindowSpec spec;
  spec.view = view;
  spec.title = std::string(entry.title);
  spec.horizontalScrollBar = entry.horizontalScrollBar;
  spec.verticalScrollBar = entry.verticalScrollBar;
  spec.sasPaneControls = view == SasView;
  if (view == WavView) spec.menu = MainMenu();
  spec.toolbar = ToolbarOf(view);
  spec.accelerators = AcceleratorTable();
  return spec;
}

void SetInitialScrollBars(platform::Platform& ports) {
  platform::WindowPort& w = ports.windows;
  w.SetScrollInfo(WavView, ScrollBar::Horizontal, ScrollInfo{0, 10000, 10001, 0}, true);
  w.SetScrollInfo(WavView, ScrollBar::Vertical, ScrollInfo{0, 10000, 10001, 0}, true);
  w.SetScrollInfo(SasView, ScrollBar::Horizontal, ScrollInfo{0, 10000, 10001, 0}, true);
  w.SetScrollInfo(SasView, ScrollBar::Vertical, ScrollInfo{}, true);
  w.SetScrollInfo(FftView, ScrollBar::Horizontal, ScrollInfo{0, 32768, 32769, 0}, true);
  w.SetScrollInfo(FftView, ScrollBar::Vertical, ScrollInfo{0, 10000, 1000, 9000}, true);
  w.SetScrollInfo(MftView, ScrollBar::Horizontal, ScrollInfo{}, true);
  w.SetScrollInfo(MftView, ScrollBar::Vertical, ScrollInfo{}, true);
  w.SetScrollInfo(SasView, ScrollBar::SasUpper, ScrollInfo{0, 10000, 1000, 9000}, true);
  w.SetScrollInfo(SasView, ScrollBar::SasLower, ScrollInfo{0, 98, 12, 87}, true);
}

}  // namespace

bool StartUp(App& app) {
  platform::WindowPort& port = app.ports.windows;
  const platform::Rect workArea = port.WorkArea();
  const platform::Size dpi = port.LogicalDpi();
  app.windows.metrics.sx = dpi.width / 96.0;
  app.windows.metrics.sy = dpi.height / 96.0;

  app.windows.status = DefaultStatusFields();
  ScaleStatusFields(app.windows.status, app.windows.metrics.sx, app.windows.metrics.sy);
  app.windows.metrics.statusHeight = static_cast<int>(17 * app.windows.metrics.sy);
  app.windows.metrics.rulerHeight = static_cast<int>(17 * app.windows.metrics.sy);

  // Without a settings file the windows tile this screen, each wide enough for its whole toolbar
  // where the screen allows; a settings file that is taken is used as it is.
  std::array<platform::WindowSpec, ViewCount> specs;
  std::array<int, ViewCount> toolbarWidths{};
  for (int view = 0; view < ViewCount; ++view) {
    const auto v = static_cast<std::size_t>(view);
    specs[v] = SpecOf(view);
    toolbarWidths[v] = port.WidthShowingToolbar(specs[v]);
  }
  const platform::DesktopPort& desktop = app.ports.desktop;
  app.config.files =
      ChooseProgramFiles(desktop.ProgramPath(), desktop.UserConfigDirectory(), app.config.installedGuide);
  // A settings file named in the environment stands in for the program's own (`make run` starts
  // the demo with one of its own and leaves the program's untouched).
  if (std::string named = desktop.EnvironmentValue(SettingsFileVariable); !named.empty())
    app.config.files.settingsFile = std::move(named);
  const SettingsLoadResult loaded = LoadSettingsFile(app.config.files.settingsFile, workArea,
                                                     WindowLayout::FirstStart(workArea, toolbarWidths));
  app.config.loadedSettings = loaded.settings;
  app.config.layout = loaded.layout;
  app.config.settings = app.config.loadedSettings;
  app.config.preferencesFile = PreferencesPath(desktop.UserConfigDirectory());
  app.config.preferences = LoadPreferences(app.config.preferencesFile);

  for (int view = 0; view < ViewCount; ++view) {
    platform::WindowSpec& spec = specs[static_cast<std::size_t>(view)];
    spec.rect = app.config.layout.rects[static_cast<std::size_t>(view)];
    if (!port.CreateWindow(spec)) return false;
    // All toolbars have the same height; the last one measured is kept.
    app.windows.metrics.toolbarHeight = port.ToolbarHeight(view);
    LayOutClientArea(app.windows, app.session, app.ports, view);
  }

  MoveStatusFieldsDown(app.windows.status, app.windows.metrics.toolbarHeight);
  const platform::Rect& sas = app.windows.clientRect[SasView];
  app.windows.upperPaneHeight = (sas.bottom - app.windows.metrics.toolbarHeight) / 2;
  app.windows.lowerPaneHeight = app.windows.upperPaneHeight;
  PlaceSasPaneControls(app.windows, app.ports);
  SetInitialScrollBars(app.ports);
  port.SetMenuItemChecked(Id(CommandId::KeepFormants), app.config.preferences.keepFormants);
  ShowEditMode(app.screen, app.flags, app.ports);
  port.Show(WavView, platform::ShowCommand::Restore);
  return true;
}

std::string CommandLineFileName(std::string_view commandLine) {
  std::string name;
  for (char c : commandLine) {
    if (c != '"') name.push_back(c);
  }
  return name;
}

bool ProgramStart(App& app, std::string_view commandLine) {
  if (!StartUp(app)) return false;
  AudioProbe(app, app.devices.audioChoice);
  const std::string name = CommandLineFileName(commandLine);
  if (!name.empty()) OpenDocumentByName(app, name);
  app.flags |= Ready;
  for (int view = 0; view < ViewCount; ++view) {
    app.ports.windows.SetSizeLimits(view, WindowTable[static_cast<std::size_t>(view)].minTrack, MaxTrackSize);
  }
  UpdateCommandStates(app.commands);
  return true;
}

}  // namespace vocara
