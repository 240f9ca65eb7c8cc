// What an existing output target holds, told by its first bytes: a typo in a command line
// (`midi x.sas x.wav`) must not replace a recording, a SAS with its edits or a result file by
// another kind of file. A target of the kind the command writes, or a file that is none of
// these kinds, is replaced as before.
#pragma once

#include <initializer_list>
#include <ostream>
#include <string>
#include <string_view>

namespace vocara::cli {

enum class TargetKind { Unknown, Wav, Sas, Midi, Text };

// The kind `path` holds, from at most its first 64 bytes: "RIFF....WAVE", the SAS magic,
// "MThd", or the text the tool writes (numbers, points, minus signs and tabs in lines ending in
// CR LF). Unknown for anything else, an empty file, a missing one or one that is not a regular
// file (never waited on).
TargetKind KindOfFile(const std::string& path);

// Before `command` begins writing `target` as a `writes` file: when the target holds another of
// the kinds above, says "vocara-cli: TARGET is a WAV recording; midi writes a MIDI file and
// will not replace it" and returns true. A target that is one of `inputs` is left to the
// command's own refusal of writing over a file it reads.
bool RefusesOtherKind(std::ostream& err, std::string_view command, const std::string& target,
                      TargetKind writes, std::initializer_list<std::string_view> inputs = {});

}  // namespace vocara::cli
