// `vocara-cli info` for SAS files: the file is validated as the program opens it and its
// counts, hop, rate, WAV checksum and every field of its settings copy are printed.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace vocara::cli {

// Whether the file begins with "SAS ", the way the program tells a SAS file from a WAV file.
bool StartsAsSasFile(const std::string& path);

// A fact info prints: a number, or (text set) a string such as a checksum.
struct InfoFact {
  std::string key;
  std::string value;
  bool text = false;
};

// The facts as info prints them: one key=value line each, or with json one object
// {"key": value, ...} on one line, in the same order.
void PrintFacts(std::ostream& out, const std::vector<InfoFact>& facts, bool json);

// One key=value line each (or the JSON object): frames, links, frame_length, rate, wav_checksum (0x and 8
// lower-case hex digits), then the settings fields by name. A refused file prints its message on err and
// gives ExitFailure.
int SasInfo(const std::string& path, std::ostream& out, std::ostream& err, bool json = false);

}  // namespace vocara::cli
