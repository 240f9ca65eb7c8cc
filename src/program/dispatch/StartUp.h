// Bringing the program up: the four windows with their toolbars, the status layout, the
// settings file, the preferences file, the audio probe and the document named on the command
// line.
#pragma once

#include <string>
#include <string_view>

namespace vocara {

struct App;

// The environment variable that names the settings file to use instead of the one beside the
// program (`make run` points it at the demo's).
inline constexpr const char* SettingsFileVariable = "VOCARA_SETTINGS";

// Everything up to showing the WAV window; false when a window cannot be created.
bool StartUp(App& app);

// StartUp, then the audio probe, the command-line document, Ready and the first command
// enabling. False when start-up failed (the program then ends with exit code 0).
bool ProgramStart(App& app, std::string_view commandLine);

// The command line with every double-quote character removed, taken as one file name.
std::string CommandLineFileName(std::string_view commandLine);

}  // namespace vocara
