// The process-wide state of the program: one instance, created by the entry point and handed to
// every operation.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/BuildInfo.h"
#include "base/Preferences.h"
#include "base/Settings.h"
#include "base/UserFolders.h"
#include "base/WindowTable.h"
#include "platform/Message.h"
#include "platform/Platform.h"
#include "program/shell/AppFlags.h"
#include "program/shell/CommandTable.h"
#include "program/shell/DeviceState.h"
#include "program/shell/DialogState.h"
#include "program/shell/Documents.h"
#include "program/shell/SasSession.h"
#include "program/shell/Screen.h"
#include "program/shell/ViewState.h"
#include "program/shell/Warning.h"

namespace vocara {

// The configuration of the run: the settings, the window layout, the program's files and the
// preferences.
struct Configuration {
  GeneralSettings settings;        // the live copy every part reads
  GeneralSettings loadedSettings;  // what the settings file held at start (Default restores it)
  WindowLayout layout = WindowLayout::Defaults();
  ProgramFiles files;
  // Where this build's installation puts the user guide, the last place Help Topics looks
  // (FindUserGuide); the tests point it into their own folder.
  std::string installedGuide = InstalledGuidePath();
  // The menus' lasting choices (WAV File / Keep Formants), read at start from preferencesFile
  // (PreferencesPath of the desktop's config folder) and written back there at every change.
  Preferences preferences;
  std::filesystem::path preferencesFile;
};

// The program's state is a set of records by concern: the configuration, what is open (the
// recording and its companions, and the open SAS as one session), each window's view state, the
// devices and what the dialogs keep; besides them the ports, the state word (document and
// operation state). A module takes the records it works
// on (a const OpenDocuments&, the SasSession, WindowStates&); App is only the owner of them all.
struct App {
  explicit App(platform::Platform& ports);
  ~App();
  App(const App&) = delete;
  App& operator=(const App&) = delete;

  bool Has(std::uint32_t bits) const { return HasAll(flags, bits); }

  platform::Platform& ports;
  std::uint32_t flags = 0;  // AppFlag bits
  Configuration config;
  OpenDocuments docs;
  SasSession session{flags, ports.desktop, ports.windows, config.settings};
  WindowStates windows;
  Devices devices;
  DialogMemory dialogs;
  Commands commands{flags, ports.windows, windows, session, devices};
  Screen screen{ports.windows, ports.text, windows, session, docs, config, devices};
  WarningSwitch warnings;
  // A quit from outside (platform::MessageKind::Quit) waits for the outermost message to be
  // handled and for busy mode to end; the program ends once (programEnded).
  bool quitRequested = false;
  bool programEnded = false;
  int dispatchDepth = 0;  // window procedure calls in progress, the nested ones counted
};

// Where the temporary render `name` goes: in app.docs.renderFolder, which is chosen (ChooseRenderFolder)
// at the first call and again when it has gone. Nothing when no folder could be had.
std::optional<std::string> TemporaryRenderPath(OpenDocuments& docs, const char* name);

}  // namespace vocara
