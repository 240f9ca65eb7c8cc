// The WAV document inside the program: opening with its dialog and messages, closing, the
// range rules, and the two range-writing commands with their save dialogs. The file work
// itself is in WavDocument, SampleAccess and RangeExport, shared with the command-line tool.
#pragma once

#include <span>
#include <string>

#include "platform/DesktopPort.h"
#include "platform/Platform.h"
#include "program/shell/CommandTable.h"

namespace vocara {

struct App;
struct Configuration;
struct SasSession;
struct Commands;
struct DialogMemory;
struct OpenDocuments;

// Opens and validates `name`. A refusal shows its message and leaves no WAV open; when the
// opener refuses the file's contents (format, channels, bits, rate, chunk layout; not a file
// that did not open) and ImportCanRead says yes, the message box adds what the file is
// ("24-bit stereo, 48000 Hz, extensible format") and "Convert to a mono WAV copy?": Yes asks where to save
// the copy (offering the name's stem and ".wav" beside it, or
// "-mono.wav" when that is the file itself), imports it in busy mode (Esc stops, leaving
// nothing) and opens the copy; No writes nothing. A file cut short (ImportCutShort) is asked
// about instead with how many seconds of how many are there, and Yes saves those; so is one
// whose stream ends early (a FLAC cut short) after the save dialog, when the import finds it. When the
// open file moves the cursor past the end of the new data, cursor, range, noise profile and
// the view's position start again from 0. With a SAS open, a SAS that fits sets WavSasMatch;
// otherwise "WAV and SAS files does not fit.\nContinue?" asks, and No closes the file again.
void WavOpenFile(App& app, const std::string& name);

// The first filter of the open dialog: every kind of sound file the import reads here
// ("Audio files (*.wav *.flac *.ogg ...)"), WAV first.
platform::FileFilter SoundFilesFilter();

// Without a path the "Open WAV File" dialog asks for one (cancel does nothing). Opens it,
// re-evaluates the range, shows the path in the WAV, FFT and MFT titles and fits the view on
// success, updates the commands and refreshes a visible FFT window.
void WavOpenCommand(App& app, const std::string* path);

// Closes the file and clears the WAV bits; fullReset also clears the derived state and the
// view and hides the FFT and MFT windows.
void WavClose(Commands& commands, SasSession& session, OpenDocuments& docs, Configuration& config,
              platform::Platform& ports, bool fullReset);

// WAV Range / Save As and Export As Text: the save dialog, then the file.
void SaveRangeAsWav(OpenDocuments& docs, DialogMemory& dialogs, platform::Platform& ports);
void ExportRangeAsText(OpenDocuments& docs, DialogMemory& dialogs, platform::Platform& ports);

// The commands this module carries out, for the command table.
std::span<const CommandEntry> WavCommandEntries();

}  // namespace vocara
