// `vocara-cli info` for SAS files: the file is validated as the program opens it and its
// counts, hop, rate, WAV checksum and every field of its settings copy are printed.
#pragma once

#include <ostream>
#include <string>

namespace vocara::cli {

// Whether the file begins with "SAS ", the way the program tells a SAS file from a WAV file.
bool StartsAsSasFile(const std::string& path);

// One key=value line each: frames, links, frame_length, rate, wav_checksum (0x and 8 lower-case
// hex digits), then the settings fields by name. A refused file prints its message on err and
// gives ExitFailure.
int SasInfo(const std::string& path, std::ostream& out, std::ostream& err);

}  // namespace vocara::cli
