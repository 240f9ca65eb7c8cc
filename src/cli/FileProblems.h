// Why a file could not be used, said after the program's own message. The program's messages
// ("Invalid File Handle", "File to short") name neither the file nor the cause, and one command
// may take three files; the tool looks at the file after the failure (stat, access, its first
// bytes) and adds one line "vocara-cli: PATH: REASON", the reason in the system's words where
// it has them ("No such file or directory", "Is a directory", "Permission denied").
//
// These never change a file and never open one for writing; they only describe. The first line
// of stderr stays the program's message: call them after printing it.
#pragma once

#include <optional>
#include <ostream>
#include <string>

#include "base/MessageId.h"

namespace vocara {
struct WavDocument;
struct SasHeader;
}  // namespace vocara

namespace vocara::cli {

// What a command wanted at `path`: a file of the other kind (a WAV recording where a SAS file
// is wanted, or the reverse) is said to be one.
enum class FileKind { Any, Wav, Sas };

// Read, or read and changed in place (then the file and its folder must be writable: the
// change goes through a journal or a copy beside the file).
enum class FileUse { Read, Change };

// The reason `path` cannot serve as an input, in this order: missing (or a folder on the way
// missing), a folder, not a regular file, no permission to read (or, for FileUse::Change, to
// write the file or its folder), a file of the other kind; nullopt when nothing specific shows.
std::optional<std::string> InputProblem(const std::string& path, FileKind expected,
                                        FileUse use = FileUse::Read);

// The reason `path` cannot be written as a whole new file (written beside it, then renamed
// over it): its folder missing, not a folder or not writable, the name a folder, not a regular
// file or a file the user may not write, the file system full; nullopt when nothing specific
// shows.
std::optional<std::string> OutputProblem(const std::string& path);

// What a WAV file the opener refused with `message` is, read from its header, and the command
// that converts it where vocara-cli import can ("a 24-bit mono WAV file in
// WAVE_FORMAT_EXTENSIBLE ...; vocara-cli import IN OUT.wav converts it", "7 bytes, shorter than
// the 44-byte header of a WAV file"); nullopt for other messages or when it cannot be read.
std::optional<std::string> WavContentProblem(const std::string& path, MessageId message);

// What a SAS file the opener refused with `message` is, read from its header ("its header
// counts 600 frames and 2 time links, 9768 bytes, but the file holds 500: it is cut short");
// nullopt for other messages or when it cannot be read.
std::optional<std::string> SasContentProblem(const std::string& path, MessageId message);

// The system's reason for the failed write of an output (TakeWriteError): "stopped by the file
// size limit (N bytes)", "No space left on device", ...; nullopt when no write failed.
std::optional<std::string> WriteProblem();

// Exactly one line: "vocara-cli: PATH: " and InputProblem's reason, or "could not be opened".
void ExplainInput(std::ostream& err, const std::string& path, FileKind expected = FileKind::Any,
                  FileUse use = FileUse::Read);

// Exactly one line: "vocara-cli: PATH: " and OutputProblem's reason, or "could not be written".
void ExplainOutput(std::ostream& err, const std::string& path);

// An input refused with `message`: the message alone on its line, then ExplainInput's line when
// the file could not be opened or read, or is of the other kind, else for a WAV file whose
// contents are refused ("Not a mono file") WavContentProblem's line (SasContentProblem's for
// a SAS file). Returns ExitFailure.
int InputRefused(std::ostream& err, MessageId message, const std::string& path, FileKind expected,
                 FileUse use = FileUse::Read);

// "WAV and SAS files does not fit." (the program's question without "Continue?": nobody is
// asked here) and why: "vocara-cli: SAS: made from another recording than WAV (...)", another
// sample rate, or another length. Returns ExitFailure.
int DoesNotFit(std::ostream& err, const std::string& wavPath, const WavDocument& wav,
               const std::string& sasPath, const SasHeader& sas);

}  // namespace vocara::cli
