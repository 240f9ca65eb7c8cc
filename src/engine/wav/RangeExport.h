// Writing the samples left <= i < right of the open recording to a new file: as a WAV file
// with the open file's format, or as text with one value per line. The file appears whole or
// not at all (OutputFile): an existing file of the name is replaced only by a complete output,
// and kept as it was when a read or write fails ("Output write failed" to the caller). The
// open recording itself is never a target, nor a name that is not a regular file.
#pragma once

#include <cstdint>
#include <string>

#include "base/MessageId.h"

namespace vocara {

struct WavDocument;

// The canonical 44-byte header from the document header (so the open file's format tag,
// rate, bytes per second, block align and bits), the data size (right - left) x blockAlign,
// then the range's sample bytes unchanged. "Opened file can not be overwritten" when the
// output is the open file, by name or through a link; "Invalid File Handle" when it cannot be
// created. The range is first limited to the data.
MessageId WriteRangeAsWav(WavDocument& document, const std::string& output, std::uint32_t left,
                          std::uint32_t right);

// One line per sample: its value in percent of full scale with 3 decimals, rounded half away
// from zero, trailing zeros and a bare point removed ("50", "-25", "0.003", "0"), each line
// ending in CR LF, no header line. Refuses the same targets as WriteRangeAsWav.
MessageId WriteRangeAsText(WavDocument& document, const std::string& output, std::uint32_t left,
                           std::uint32_t right);

// The text of one sample's line, without the line end.
std::string SampleText(std::int32_t leftAligned);

}  // namespace vocara
