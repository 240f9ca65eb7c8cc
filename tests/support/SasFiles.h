// Generated SAS files for the tests: a header, frames and links written record by record, with
// the counts exactly as the header holds them, so that damaged files are as easy to make as
// sound ones. Nothing binary is kept in the repository.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/sas/SasRecords.h"

namespace vocara::test {

// A header whose counts match the records, its settings the built-in defaults unless given.
SasHeader SasHeaderFor(std::uint32_t frameLength, std::uint32_t sampleRate, std::uint32_t wavChecksum,
                       std::size_t frameCount, std::size_t linkCount = 2,
                       const GeneralSettings& settings = {});

// The checksum a SAS made of the recording at wavPath carries, as the WAV opener finds it.
std::uint32_t WavChecksum(const std::string& wavPath);

// Writes the SAS the Build makes of the recording at wavPath (over the built-in settings unless
// given) to sasPath; false, with the step that failed recorded, when it cannot.
bool BuildSas(const std::string& wavPath, const std::string& sasPath, const GeneralSettings& settings = {});

// A frame as the analysis leaves it: target pitch = source pitch, target amplitude = max - min.
SasFrame FreshFrame(std::uint16_t pitch, std::int32_t minSample, std::int32_t maxSample);

// The two links every built file starts with: (0, 0) and (sampleCount, sampleCount).
std::vector<TimeLink> EndLinks(std::uint32_t sampleCount);

// The file's bytes: the 136-byte header (counts as given), the frames, the links.
std::string SasBytes(const SasHeader& header, const std::vector<SasFrame>& frames,
                     const std::vector<TimeLink>& links);

// Writes SasBytes to path (replacing it) and returns path.
std::string WriteSasFile(const std::string& path, const SasHeader& header,
                         const std::vector<SasFrame>& frames, const std::vector<TimeLink>& links);

// Reads the records back from a file laid out as its own header says; a cut-off file gives
// fewer records. Header counts are not trusted beyond the bytes present.
SasHeader ReadSasHeader(const std::string& path);
std::vector<SasFrame> ReadSasFrames(const std::string& path);
std::vector<TimeLink> ReadSasLinks(const std::string& path);

}  // namespace vocara::test
