// Importing a sound file of another kind: any file libsndfile reads (WAV of every encoding
// including WAVE_FORMAT_EXTENSIBLE and odd-sized chunks with their pad byte, AIFF, FLAC, Ogg
// Vorbis and Opus, CAF, W64, RF64, AU, MP3, ...) becomes the mono integer-PCM WAV with the
// canonical 44-byte header that the program opens.
//
// The samples are read as doubles at full scale ±1 in blocks of up to 65536 frames, reduced
// to one channel (the mean of all channels, or one channel taken alone), resampled only when
// asked or when the program would refuse the source's rate, and rounded to the nearest
// integer of the chosen width, ties to even, with no dither. A value at or beyond full scale
// becomes the largest or smallest integer and never wraps (a float sample of +1.0 becomes
// 32767 in 16 bits; only values beyond ±1.0 count as clipped); a value that is no number
// becomes 0 and is counted too. Before resampling, an infinity becomes full scale and counts as
// clipped, so that neither spreads over the resampler's filter length.
//
// A file cut short (a recorder that crashed, a partial copy: its sound data ends before the
// length its header gives, or its stream before the frames it announces) is refused unless
// salvage is asked for; then the whole frames read before the end are imported. Either way the result says
// how many frames are there and how many the header announced.
//
// The output appears whole or not at all (OutputFile), never over the input itself; a stop
// through the progress callback, a read error part way or a failed write leave no output.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/MessageId.h"
#include "base/Progress.h"

namespace vocara {

// ImportOptions::channel for the mean of all channels.
inline constexpr int ImportMix = -1;
// Where the program refuses the source's rate, it is resampled to this one unless the
// source's rate divides it or is a whole multiple of it: then to 44100 Hz. Either way the
// ratio is a whole number for the common rates (8000, 11025, 16000, 96000 Hz, ...).
inline constexpr std::uint32_t ImportDefaultRate = 48000;
// The largest factor up or down the resampler converts by.
inline constexpr double ImportLargestRateRatio = 256.0;

struct ImportOptions {
  // ImportMix, or the channel taken alone, numbered from 0 (0 is left, 1 right).
  int channel = ImportMix;
  // 16, 24 or 32; 0 for the source's own depth where it is 16, 24 or 32 bits, 16 for 8-bit
  // and companded or ADPCM sources, 24 for float and lossy compressed ones (ImportDefaultBits).
  unsigned bits = 0;
  // MinimumSampleRate .. MaximumSampleRate to resample to; 0 to keep the source's rate where
  // the program opens it and resample otherwise (ImportRateFor).
  std::uint32_t rate = 0;
  // Import the whole frames a file cut short holds instead of refusing it.
  bool salvage = false;
};

// A file whose sound data ends before its header says: the whole frames there, and those the
// header announces (both at the source's rate).
struct ImportCut {
  std::uint64_t keptFrames = 0;
  std::uint64_t announcedFrames = 0;
  std::uint32_t rate = 0;
  double KeptSeconds() const { return rate > 0 ? static_cast<double>(keptFrames) / rate : 0.0; }
  double AnnouncedSeconds() const { return rate > 0 ? static_cast<double>(announcedFrames) / rate : 0.0; }
};

// What libsndfile found in the input.
struct ImportSource {
  std::string format;       // the container: "WAV", "AIFF", "FLAC", "Ogg", ...
  std::string encoding;     // "16-bit", "24-bit", "32-bit float", "Vorbis", ...
  std::string description;  // both as one says them: "24-bit FLAC", "32-bit float WAV", "Ogg Vorbis"
  // What a listener asks of a file: depth and channels, rate, container or coding, as in
  // "24-bit stereo, 48000 Hz, extensible format" (a WAV with WAVE_FORMAT_EXTENSIBLE),
  // "16-bit mono, 44100 Hz, FLAC" or "stereo, 44100 Hz, Ogg Vorbis".
  std::string summary;
  int channels = 0;
  std::uint32_t rate = 0;
  std::uint64_t frames = 0;  // as the file announces them
  unsigned defaultBits = 0;  // the width used when ImportOptions::bits is 0
};

struct ImportResult {
  // The output side, as the other writers report it: "Opened file can not be overwritten" when
  // the output is the input (by any name), "The target is not a regular file", "Invalid File
  // Handle" when the input cannot be opened or the output cannot be created, OutputWriteFailed
  // when a write failed part way. None otherwise.
  MessageId message = MessageId::None;
  // The input side: why the file cannot be imported, one sentence (libsndfile's reason for a
  // file it cannot read, no channels, no samples, a channel the file does not have, a read
  // error part way, a rate too far to convert, an output past the 4 GiB of a WAV file). Empty
  // when the message above or nothing is to be said.
  std::string refusal;
  // Done; Cancelled when the progress callback said stop; Failed on any refusal or failure.
  LongOperationResult result = LongOperationResult::Done;
  ImportSource source;  // filled as far as the input was read
  unsigned bits = 0;    // the output's width, rate and samples, when it was written
  std::uint32_t rate = 0;
  std::uint64_t samples = 0;
  std::uint64_t clipped = 0;     // samples beyond full scale (a float source above 1.0), clipped
  std::uint64_t notANumber = 0;  // NaN samples, written as 0
  // Set when the file is cut short: refused with it (without salvage) or salvaged.
  std::optional<ImportCut> cut;
};

// The text a front end shows for a failed import: the refusal, else the message's text.
std::string ImportFailureText(const ImportResult& result);

// The rate the import writes for a source at `sourceRate` when none is asked: the source's
// rate when the program opens it (MinimumSampleRate .. MaximumSampleRate), else 44100 Hz when
// the source's rate divides 44100 or is a multiple of it, else ImportDefaultRate.
std::uint32_t ImportRateFor(std::uint32_t sourceRate);

// Whether libsndfile opens `path` as a sound with at least one channel and one frame, and not
// cut short: the quick question before offering to import a file the WAV opener refused.
bool ImportCanRead(const std::string& path);

// What libsndfile finds in `path` (its summary included); nothing when it does not open it.
std::optional<ImportSource> ImportDescribe(const std::string& path);

// The name endings ("wav", "flac", ...) of the kinds of file the import reads with the
// libsndfile it runs on, the common kinds first, each kind under every ending it is known by.
std::vector<std::string> ImportFileExtensions();

// Whether libsndfile opens `path` and finds it cut short with at least one whole frame there:
// the question before offering to save what a file the WAV opener refused still holds.
std::optional<ImportCut> ImportCutShort(const std::string& path);

// Reads `input` and writes `output` as described at the top. progress is called once per
// block with the input frames read so far and the frames the input announces; false stops.
// Options out of their ranges are refused with a refusal sentence before anything is read.
ImportResult ImportToWav(const std::string& input, const std::string& output, const ImportOptions& options,
                         const ProgressCallback& progress);

}  // namespace vocara
