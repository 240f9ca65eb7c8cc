// The SAS document inside the program: opening with its dialog, messages and fit question,
// paging and write-back with the state word, Save As and closing. The file work itself is in
// SasDocument, shared with the command-line tool.
#pragma once

#include <span>
#include <string>

#include "program/shell/CommandTable.h"

namespace vocara {

struct App;
struct WindowStates;
struct Configuration;
struct OpenDocuments;
struct SasSession;

// Opens and validates `path` (SasOpenDocument), for reading and writing, or for reading only
// when the file cannot be written (SasDocument::readOnly). A refusal shows its message and
// leaves no SAS open. An accepted file's settings copy becomes the live settings and SasOpen is set; with a
// WAV open, a SAS that fits sets WavSasMatch, otherwise "WAV and SAS files does not fit.\n
// Continue?" asks and No closes the file again.
void SasOpenFile(SasSession& session, OpenDocuments& docs, Configuration& config, platform::Platform& ports,
                 const std::string& path);

// Without a path the "Open SAS File" dialog asks for one (cancel does nothing); the path of the
// open SAS does nothing. Otherwise closes the open SAS and opens the new one: on success the
// page is read from frame 0, and the SAS window is titled, scrolled and shown; on a refusal it
// is hidden. The commands are updated either way.
void SasOpenCommand(App& app, const std::string* path);

// The SAS window's title: the file's name, with " (read-only)" for a file opened for reading.
std::string SasTitle(const SasSession& session);

// Writes back, then "Save SAS File As" asks for a name and the open file is copied there. The
// open file itself is refused; the document stays on its own file, except a read-only one:
// then the copy is opened in its place (same position and live settings), writable.
void SasSaveAs(App& app);

// Writes back and closes; the SAS bits, position, range, cursor, selection and the correction
// report go back to their closed state and the window's title and scroll bar are reset. Always
// safe to call.
void SasClose(WindowStates& windows, SasSession& session, platform::Platform& ports);

// The commands this module carries out, for the command table.
std::span<const CommandEntry> SasCommandEntries();

}  // namespace vocara
