// The import streams: one block of interleaved doubles from libsndfile, reduced to one channel
// in place, then either quantised and written, or handed to libsamplerate and its output
// quantised and written. The buffers are made once per import, sized by the block and the
// channel count, so nothing is allocated per block or per sample.
//
// libsndfile reads through FileHandle (virtual I/O) rather than opening the name itself, so
// the input is the same regular file every other opener accepts: a pipe or a device is
// refused at once instead of waited on, and the output's identity check sees the same file.

#include "engine/wav/Import.h"

#include <samplerate.h>
#include <sndfile.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <optional>
#include <string_view>
#include <vector>

#include "base/FileHandle.h"
#include "base/OutputFile.h"
#include "engine/wav/WavDocument.h"
#include "engine/wav/WavHeader.h"

namespace vocara {
namespace {

// Frames read per block, and the most doubles one block may hold: a file of many channels
// reads fewer frames per block instead of a larger buffer.
constexpr sf_count_t BlockFrames = 65536;
constexpr sf_count_t BlockValues = 1 << 20;
// Output frames libsamplerate may produce per call.
constexpr long ResampledCapacity = 65536;
// The data of a WAV file and the 36 header bytes the RIFF size counts must fit 32 bits.
constexpr std::uint64_t LargestDataBytes = 0xFFFFFFFFull - 36;
// A frame count this large means libsndfile does not know the length.
constexpr sf_count_t UnknownLength = sf_count_t{1} << 62;

// libsndfile's view of an open FileHandle.
struct VirtualFile {
  FileHandle& file;
  sf_count_t size = 0;
  sf_count_t position = 0;
};

sf_count_t VirtualLength(void* user) { return static_cast<VirtualFile*>(user)->size; }

sf_count_t VirtualSeek(sf_count_t offset, int whence, void* user) {
  auto& v = *static_cast<VirtualFile*>(user);
  sf_count_t target = offset;
  if (whence == SEEK_CUR) target = v.position + offset;
  if (whence == SEEK_END) target = v.size + offset;
  if (target < 0 || !v.file.Seek(static_cast<std::uint64_t>(target))) return -1;
  v.position = target;
  return target;
}

sf_count_t VirtualRead(void* destination, sf_count_t count, void* user) {
  auto& v = *static_cast<VirtualFile*>(user);
  if (count <= 0) return 0;
  const auto got = static_cast<sf_count_t>(v.file.Read(destination, static_cast<std::size_t>(count)));
  v.position += got;
  return got;
}

sf_count_t VirtualWrite(const void*, sf_count_t, void*) { return 0; }

sf_count_t VirtualTell(void* user) { return static_cast<VirtualFile*>(user)->position; }

SF_VIRTUAL_IO VirtualIo{VirtualLength, VirtualSeek, VirtualRead, VirtualWrite, VirtualTell};

// libsndfile's texts end in a full stop or none, and some start with "Error : ".
std::string Reason(const char* text) {
  std::string reason = text != nullptr ? text : "";
  if (reason.starts_with("Error : ")) reason.erase(0, 8);
  while (!reason.empty() && (reason.back() == '\n' || reason.back() == ' ')) reason.pop_back();
  if (reason.empty()) reason = "unknown error";
  if (reason.back() != '.') reason += '.';
  return reason;
}

// The sound data chunk's length as the header gives it and as the file holds it.
struct CutBytes {
  std::uint64_t claimed = 0;
  std::uint64_t present = 0;
};

std::uint64_t NumberAt(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  std::uint64_t value = 0;
  std::from_chars(text.data(), text.data() + text.size(), value);
  return value;
}

// Whether libsndfile found the sound data chunk of a WAV or AIFF file longer than the file:
// it then reads the whole frames that are there without an error, so only its log tells
// ("data : 4000 (should be 1978)"). A file cut short is refused rather than imported as a
// shorter recording, unless the caller asks to salvage it.
std::optional<CutBytes> DataChunkCut(SNDFILE* sound) {
  std::string log(16384, '\0');
  sf_command(sound, SFC_GET_LOG_INFO, log.data(), static_cast<int>(log.size()));
  std::size_t line = 0;
  while (line < log.size() && log[line] != '\0') {
    std::size_t end = log.find('\n', line);
    if (end == std::string::npos) end = log.size();
    const std::string_view text(log.data() + line, end - line);
    const std::size_t should = text.find("(should be");
    if ((text.starts_with("data :") || text.starts_with(" SSND :")) && should != text.npos)
      return CutBytes{NumberAt(text.substr(text.find(':') + 1)), NumberAt(text.substr(should + 10))};
    line = end + 1;
  }
  return std::nullopt;
}

// Bytes one frame takes where every frame takes the same; 0 for block codings.
std::uint64_t FrameBytes(const SF_INFO& info) {
  std::uint64_t sample = 0;
  switch (info.format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8:
    case SF_FORMAT_ULAW:
    case SF_FORMAT_ALAW:
      sample = 1;
      break;
    case SF_FORMAT_PCM_16:
      sample = 2;
      break;
    case SF_FORMAT_PCM_24:
      sample = 3;
      break;
    case SF_FORMAT_PCM_32:
    case SF_FORMAT_FLOAT:
      sample = 4;
      break;
    case SF_FORMAT_DOUBLE:
      sample = 8;
      break;
    default:
      break;
  }
  return sample * static_cast<std::uint64_t>(std::max(info.channels, 0));
}

// The frames a cut-short file announces: its claimed data length in whole frames, or for a
// block coding the frames there scaled by how much longer the claim is.
std::uint64_t AnnouncedFrames(const SF_INFO& info, CutBytes bytes) {
  // An AIFF sound data chunk counts 8 bytes of offset and block size before the samples.
  if ((info.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_AIFF && bytes.claimed >= 8 && bytes.present >= 8) {
    bytes.claimed -= 8;
    bytes.present -= 8;
  }
  const auto frames = static_cast<std::uint64_t>(std::max<sf_count_t>(info.frames, 0));
  if (const std::uint64_t frame = FrameBytes(info); frame > 0) return std::max(bytes.claimed / frame, frames);
  if (bytes.present == 0) return frames;
  return std::max(
      frames, static_cast<std::uint64_t>(static_cast<long double>(frames) * bytes.claimed / bytes.present));
}

// An input opened for reading by libsndfile, closed with it.
class SoundInput {
 public:
  explicit SoundInput(const std::string& path) : file_(FileHandle::OpenForReading(path)), io_{file_} {
    if (!file_.IsOpen()) return;
    io_.size = static_cast<sf_count_t>(file_.Size());
    sound_ = sf_open_virtual(&VirtualIo, SFM_READ, &info_, &io_);
    if (sound_ == nullptr) {
      openError_ = Reason(sf_strerror(nullptr));
      return;
    }
    sf_command(sound_, SFC_SET_NORM_DOUBLE, nullptr, SF_TRUE);
  }
  ~SoundInput() {
    if (sound_ != nullptr) sf_close(sound_);
  }
  SoundInput(const SoundInput&) = delete;
  SoundInput& operator=(const SoundInput&) = delete;

  bool FileOpen() const { return file_.IsOpen(); }
  SNDFILE* Sound() const { return sound_; }
  const SF_INFO& Info() const { return info_; }
  const std::string& OpenError() const { return openError_; }
  bool Readable() const {
    return sound_ != nullptr && info_.channels >= 1 && info_.frames >= 1 && !DataChunkCut(sound_);
  }

 private:
  FileHandle file_;
  VirtualFile io_;
  SF_INFO info_{};
  SNDFILE* sound_ = nullptr;
  std::string openError_;
};

struct Encoding {
  int subtype;
  const char* text;
  bool depth;  // said before the container ("24-bit FLAC"), else after it ("Ogg Vorbis")
  unsigned bits;
};

constexpr std::array Encodings{
    Encoding{SF_FORMAT_PCM_S8, "8-bit", true, 16},
    Encoding{SF_FORMAT_PCM_U8, "8-bit", true, 16},
    Encoding{SF_FORMAT_PCM_16, "16-bit", true, 16},
    Encoding{SF_FORMAT_PCM_24, "24-bit", true, 24},
    Encoding{SF_FORMAT_PCM_32, "32-bit", true, 32},
    Encoding{SF_FORMAT_FLOAT, "32-bit float", true, 24},
    Encoding{SF_FORMAT_DOUBLE, "64-bit float", true, 24},
    Encoding{SF_FORMAT_ULAW, "u-law", false, 16},
    Encoding{SF_FORMAT_ALAW, "A-law", false, 16},
    Encoding{SF_FORMAT_IMA_ADPCM, "IMA ADPCM", false, 16},
    Encoding{SF_FORMAT_MS_ADPCM, "MS ADPCM", false, 16},
    Encoding{SF_FORMAT_GSM610, "GSM 6.10", false, 16},
    Encoding{SF_FORMAT_VOX_ADPCM, "VOX ADPCM", false, 16},
    Encoding{SF_FORMAT_G721_32, "G.721", false, 16},
    Encoding{SF_FORMAT_G723_24, "G.723", false, 16},
    Encoding{SF_FORMAT_G723_40, "G.723", false, 16},
    Encoding{SF_FORMAT_DWVW_12, "12-bit DWVW", true, 16},
    Encoding{SF_FORMAT_DWVW_16, "16-bit DWVW", true, 16},
    Encoding{SF_FORMAT_DWVW_24, "24-bit DWVW", true, 24},
    Encoding{SF_FORMAT_DPCM_8, "8-bit DPCM", true, 16},
    Encoding{SF_FORMAT_DPCM_16, "16-bit DPCM", true, 16},
    Encoding{SF_FORMAT_VORBIS, "Vorbis", false, 24},
    Encoding{SF_FORMAT_OPUS, "Opus", false, 24},
    Encoding{SF_FORMAT_ALAC_16, "16-bit ALAC", true, 16},
    Encoding{SF_FORMAT_ALAC_20, "20-bit ALAC", true, 24},
    Encoding{SF_FORMAT_ALAC_24, "24-bit ALAC", true, 24},
    Encoding{SF_FORMAT_ALAC_32, "32-bit ALAC", true, 32},
    Encoding{SF_FORMAT_MPEG_LAYER_I, "MPEG layer I", false, 24},
    Encoding{SF_FORMAT_MPEG_LAYER_II, "MPEG layer II", false, 24},
    Encoding{SF_FORMAT_MPEG_LAYER_III, "MP3", false, 24},
};

struct Container {
  int type;
  const char* text;
};

constexpr std::array Containers{
    Container{SF_FORMAT_WAV, "WAV"},   Container{SF_FORMAT_WAVEX, "WAV"}, Container{SF_FORMAT_RF64, "RF64"},
    Container{SF_FORMAT_W64, "W64"},   Container{SF_FORMAT_AIFF, "AIFF"}, Container{SF_FORMAT_AU, "AU"},
    Container{SF_FORMAT_FLAC, "FLAC"}, Container{SF_FORMAT_OGG, "Ogg"},   Container{SF_FORMAT_CAF, "CAF"},
    Container{SF_FORMAT_MPEG, "MPEG"},
};

// libsndfile's own name of a format: "Sound Designer 2 (...)" without the part in brackets.
std::string LibraryName(int format, int command) {
  SF_FORMAT_INFO info{};
  info.format = format;
  if (sf_command(nullptr, command, &info, sizeof info) != 0 || info.name == nullptr) return "unknown";
  std::string name = info.name;
  if (const std::size_t bracket = name.find(" ("); bracket != std::string::npos) name.erase(bracket);
  return name;
}

ImportSource Describe(const SF_INFO& info) {
  ImportSource source;
  source.channels = info.channels;
  source.rate = static_cast<std::uint32_t>(std::max(info.samplerate, 0));
  source.frames =
      info.frames > 0 && info.frames < UnknownLength ? static_cast<std::uint64_t>(info.frames) : 0;
  const int type = info.format & SF_FORMAT_TYPEMASK;
  const int subtype = info.format & SF_FORMAT_SUBMASK;
  const auto container = std::find_if(Containers.begin(), Containers.end(),
                                      [type](const Container& c) { return c.type == type; });
  source.format = container != Containers.end() ? container->text : LibraryName(type, SFC_GET_FORMAT_MAJOR);
  const auto encoding = std::find_if(Encodings.begin(), Encodings.end(),
                                     [subtype](const Encoding& e) { return e.subtype == subtype; });
  // Without a known integer depth, 24 bits keep everything a lossy or unknown coding holds.
  source.defaultBits = encoding != Encodings.end() ? encoding->bits : 24;
  source.encoding =
      encoding != Encodings.end() ? encoding->text : LibraryName(subtype, SFC_GET_FORMAT_SUBTYPE);
  const bool depth = encoding != Encodings.end() && encoding->depth;
  if (type == SF_FORMAT_MPEG) {
    source.description = source.encoding;
  } else if (depth) {
    source.description = source.encoding + " " + source.format;
  } else {
    source.description = source.format + " " + source.encoding;
  }
  const std::string channels = info.channels == 1   ? "mono"
                               : info.channels == 2 ? "stereo"
                                                    : std::to_string(info.channels) + " channels";
  const std::string rate = std::to_string(source.rate) + " Hz, ";
  // The extensible header is what the program's own opener refuses in a WAV of usual depth.
  const std::string kind = type == SF_FORMAT_WAVEX ? "extensible format" : source.format;
  source.summary = depth ? source.encoding + " " + channels + ", " + rate + kind
                         : channels + ", " + rate +
                               (type == SF_FORMAT_WAVEX ? kind + ", " + source.encoding : source.description);
  return source;
}

// The endings of the common kinds, each under every name it goes by; a kind libsndfile reads
// that is not here goes by the ending libsndfile gives it.
struct KindEndings {
  int type;
  std::array<const char*, 3> endings;
};

constexpr std::array CommonEndings{
    KindEndings{SF_FORMAT_WAV, {"wav"}},         KindEndings{SF_FORMAT_FLAC, {"flac"}},
    KindEndings{SF_FORMAT_OGG, {"ogg", "oga"}},  KindEndings{SF_FORMAT_AIFF, {"aiff", "aif", "aifc"}},
    KindEndings{SF_FORMAT_AU, {"au", "snd"}},    KindEndings{SF_FORMAT_CAF, {"caf"}},
    KindEndings{SF_FORMAT_W64, {"w64"}},         KindEndings{SF_FORMAT_RF64, {"rf64"}},
    KindEndings{SF_FORMAT_MPEG, {"mp3", "mp2"}}, KindEndings{SF_FORMAT_SVX, {"iff", "svx"}},
};

bool ReadsSubtype(int subtype) {
  int count = 0;
  sf_command(nullptr, SFC_GET_FORMAT_SUBTYPE_COUNT, &count, sizeof count);
  for (int i = 0; i < count; ++i) {
    SF_FORMAT_INFO info{};
    info.format = i;
    if (sf_command(nullptr, SFC_GET_FORMAT_SUBTYPE, &info, sizeof info) == 0 && info.format == subtype)
      return true;
  }
  return false;
}

// Rounds full-scale values to integers of one width: nearest, ties to even, clipped.
class Quantiser {
 public:
  explicit Quantiser(unsigned bits)
      : scale_(std::ldexp(1.0, static_cast<int>(bits) - 1)), high_(scale_ - 1.0), low_(-scale_) {}

  std::int32_t operator()(double value) {
    const double v = value * scale_;
    // Full scale itself (+1.0 of a float source, or a 24-bit peak taken to 16 bits) is the
    // largest integer and no loss worth reporting; only a value beyond it is counted.
    if (v > scale_ || v < low_) ++clipped_;
    // The reader zeroes and counts NaN before this; this keeps a stray one from any cast.
    // Half a step past the largest value already rounds beyond it; the smallest value is even,
    // so its tie rounds onto it.
    if (v >= high_ + 0.5) return static_cast<std::int32_t>(high_);
    if (v < low_ - 0.5) return static_cast<std::int32_t>(low_);
    if (std::isnan(v)) return 0;
    return static_cast<std::int32_t>(std::lrint(v));
  }
  std::uint64_t Clipped() const { return clipped_; }

 private:
  double scale_;
  double high_;
  double low_;
  std::uint64_t clipped_ = 0;
};

// Appends quantised samples to the output after its header's place, little-endian.
class SampleWriter {
 public:
  SampleWriter(FileHandle& file, unsigned bits)
      : file_(file),
        quantise_(bits),
        bytes_(bits / 8),
        limit_(LargestDataBytes / bytes_),
        buffer_(static_cast<std::size_t>(std::max<sf_count_t>(BlockFrames, ResampledCapacity)) * bytes_) {}

  template <typename Sample>
  void Write(const Sample* samples, std::size_t count) {
    if (failed_ || tooLong_) return;
    if (count > limit_ - written_) {
      tooLong_ = true;
      return;
    }
    switch (bytes_) {
      case 2:
        Pack<2>(samples, count);
        break;
      case 3:
        Pack<3>(samples, count);
        break;
      default:
        Pack<4>(samples, count);
        break;
    }
    failed_ = !file_.Write(buffer_.data(), count * bytes_);
    written_ += count;
  }

  bool Failed() const { return failed_; }
  bool TooLong() const { return tooLong_; }
  std::uint64_t Written() const { return written_; }
  std::uint64_t Clipped() const { return quantise_.Clipped(); }

 private:
  // The width as a constant and the quantiser in a local: the loop then keeps everything in
  // registers instead of reloading the members for every byte.
  template <unsigned Bytes, typename Sample>
  void Pack(const Sample* samples, std::size_t count) {
    Quantiser quantise = quantise_;
    std::uint8_t* p = buffer_.data();
    for (std::size_t i = 0; i < count; ++i, p += Bytes) {
      const auto value = static_cast<std::uint32_t>(quantise(samples[i]));
      for (unsigned b = 0; b < Bytes; ++b) p[b] = static_cast<std::uint8_t>(value >> (8 * b));
    }
    quantise_ = quantise;
  }

  FileHandle& file_;
  Quantiser quantise_;
  unsigned bytes_;
  std::uint64_t limit_;
  std::vector<std::uint8_t> buffer_;
  std::uint64_t written_ = 0;
  bool failed_ = false;
  bool tooLong_ = false;
};

// libsamplerate over the mono stream, at its best quality, in float as it works.
class Resampler {
 public:
  explicit Resampler(double ratio)
      : ratio_(ratio), input_(static_cast<std::size_t>(BlockFrames)), output_(ResampledCapacity) {
    int error = 0;
    state_ = src_new(SRC_SINC_BEST_QUALITY, 1, &error);
    if (state_ == nullptr) error_ = src_strerror(error);
  }
  ~Resampler() {
    if (state_ != nullptr) src_delete(state_);
  }
  Resampler(const Resampler&) = delete;
  Resampler& operator=(const Resampler&) = delete;

  const char* Error() const { return error_; }

  // Converts `count` samples (none and last to drain the filter) and writes what comes out.
  bool Process(const double* samples, std::size_t count, bool last, SampleWriter& writer) {
    for (std::size_t i = 0; i < count; ++i) input_[i] = static_cast<float>(samples[i]);
    SRC_DATA data{};
    data.data_in = input_.data();
    data.input_frames = static_cast<long>(count);
    data.end_of_input = last ? 1 : 0;
    data.src_ratio = ratio_;
    for (;;) {
      data.data_out = output_.data();
      data.output_frames = ResampledCapacity;
      if (const int error = src_process(state_, &data); error != 0) {
        error_ = src_strerror(error);
        return false;
      }
      writer.Write(output_.data(), static_cast<std::size_t>(data.output_frames_gen));
      data.data_in += data.input_frames_used;
      data.input_frames -= data.input_frames_used;
      if (writer.Failed() || writer.TooLong()) return true;
      if (data.input_frames == 0 && (!last || data.output_frames_gen == 0)) return true;
    }
  }

 private:
  double ratio_;
  SRC_STATE* state_ = nullptr;
  const char* error_ = nullptr;
  std::vector<float> input_;
  std::vector<float> output_;
};

ImportResult Refused(ImportResult result, std::string refusal) {
  result.refusal = std::move(refusal);
  result.result = LongOperationResult::Failed;
  return result;
}

std::string Count(long long n, const char* one) {
  return std::to_string(n) + " " + one + (n == 1 ? "" : "s");
}

// Reduces `frames` interleaved frames of `channels` to one value each, in place at the front.
void ToMono(double* block, sf_count_t frames, int channels, int channel) {
  if (channels == 1) return;
  const auto width = static_cast<std::size_t>(channels);
  if (channel != ImportMix) {
    for (std::size_t i = 0; i < static_cast<std::size_t>(frames); ++i)
      block[i] = block[i * width + static_cast<std::size_t>(channel)];
    return;
  }
  if (channels == 2) {  // the common case, with the width a constant
    for (std::size_t i = 0; i < static_cast<std::size_t>(frames); ++i)
      block[i] = (block[2 * i] + block[2 * i + 1]) * 0.5;
    return;
  }
  const double share = 1.0 / channels;
  for (std::size_t i = 0; i < static_cast<std::size_t>(frames); ++i) {
    const double* frame = block + i * width;
    double sum = 0.0;
    for (std::size_t c = 0; c < width; ++c) sum += frame[c];
    block[i] = sum * share;
  }
}

// Sets the samples that are no number to 0 and counts them; before the resampler, which would
// spread either over its whole filter length, infinities become full scale and count as clipped.
void TameSamples(double* samples, std::size_t count, bool resampling, std::uint64_t& notANumber,
                 std::uint64_t& clipped) {
  for (std::size_t i = 0; i < count; ++i) {
    if (std::isnan(samples[i])) {
      samples[i] = 0.0;
      ++notANumber;
    } else if (resampling && std::isinf(samples[i])) {
      samples[i] = samples[i] > 0 ? 1.0 : -1.0;
      ++clipped;
    }
  }
}

}  // namespace

std::string ImportFailureText(const ImportResult& result) {
  if (!result.refusal.empty()) return result.refusal;
  return std::string(MessageText(result.message));
}

std::uint32_t ImportRateFor(std::uint32_t sourceRate) {
  if (sourceRate >= MinimumSampleRate && sourceRate <= MaximumSampleRate) return sourceRate;
  constexpr std::uint32_t CdRate = 44100;
  if (sourceRate > 0 && (CdRate % sourceRate == 0 || sourceRate % CdRate == 0)) return CdRate;
  return ImportDefaultRate;
}

bool ImportCanRead(const std::string& path) { return SoundInput(path).Readable(); }

std::optional<ImportSource> ImportDescribe(const std::string& path) {
  const SoundInput sound(path);
  if (sound.Sound() == nullptr) return std::nullopt;
  return Describe(sound.Info());
}

std::vector<std::string> ImportFileExtensions() {
  std::vector<int> types;
  int count = 0;
  sf_command(nullptr, SFC_GET_FORMAT_MAJOR_COUNT, &count, sizeof count);
  for (int i = 0; i < count; ++i) {
    SF_FORMAT_INFO info{};
    info.format = i;
    // A file without a header says nothing of its samples: the import cannot open one.
    if (sf_command(nullptr, SFC_GET_FORMAT_MAJOR, &info, sizeof info) == 0 && info.format != SF_FORMAT_RAW)
      types.push_back(info.format);
  }
  std::vector<std::string> endings;
  const auto add = [&endings](const char* ending) {
    if (ending != nullptr && *ending != '\0' &&
        std::find(endings.begin(), endings.end(), ending) == endings.end())
      endings.emplace_back(ending);
  };
  for (const KindEndings& kind : CommonEndings) {
    if (std::find(types.begin(), types.end(), kind.type) == types.end()) continue;
    for (const char* ending : kind.endings) add(ending);
    if (kind.type == SF_FORMAT_OGG && ReadsSubtype(SF_FORMAT_OPUS)) add("opus");
  }
  for (const int type : types) {
    SF_FORMAT_INFO info{};
    info.format = type;
    if (std::none_of(CommonEndings.begin(), CommonEndings.end(),
                     [type](const KindEndings& k) { return k.type == type; }) &&
        sf_command(nullptr, SFC_GET_FORMAT_INFO, &info, sizeof info) == 0)
      add(info.extension);
  }
  return endings;
}

std::optional<ImportCut> ImportCutShort(const std::string& path) {
  const SoundInput sound(path);
  if (sound.Sound() == nullptr || sound.Info().channels < 1 || sound.Info().frames < 1 ||
      sound.Info().samplerate < 1)
    return std::nullopt;
  const std::optional<CutBytes> cut = DataChunkCut(sound.Sound());
  if (!cut) return std::nullopt;
  return ImportCut{static_cast<std::uint64_t>(sound.Info().frames), AnnouncedFrames(sound.Info(), *cut),
                   static_cast<std::uint32_t>(sound.Info().samplerate)};
}

ImportResult ImportToWav(const std::string& input, const std::string& output, const ImportOptions& options,
                         const ProgressCallback& progress) {
  ImportResult result;
  if (options.bits != 0 && options.bits != 16 && options.bits != 24 && options.bits != 32)
    return Refused(result,
                   "The output can have 16, 24 or 32 bits, not " + std::to_string(options.bits) + ".");
  if (options.rate != 0 && (options.rate < MinimumSampleRate || options.rate > MaximumSampleRate))
    return Refused(result, "The output rate must lie between " + std::to_string(MinimumSampleRate) + " and " +
                               std::to_string(MaximumSampleRate) + " Hz, not " +
                               std::to_string(options.rate) + " Hz.");
  if (options.channel < ImportMix)
    return Refused(result, "There is no channel " + std::to_string(options.channel) + ".");

  SoundInput sound(input);
  if (!sound.FileOpen()) {
    result.message = MessageId::InvalidFileHandle;
    result.result = LongOperationResult::Failed;
    return result;
  }
  if (sound.Sound() == nullptr)
    return Refused(result, "Not a sound file that can be imported: " + sound.OpenError());
  const SF_INFO& info = sound.Info();
  result.source = Describe(info);
  const ImportSource& source = result.source;
  if (info.channels < 1) return Refused(result, "The file has no channels.");
  if (info.samplerate < 1) return Refused(result, "The file gives no sample rate.");
  if (info.frames < 1) return Refused(result, "The file holds no samples.");
  if (const std::optional<CutBytes> cut = DataChunkCut(sound.Sound())) {
    result.cut = ImportCut{static_cast<std::uint64_t>(info.frames), AnnouncedFrames(info, *cut), source.rate};
    if (!options.salvage)
      return Refused(result,
                     "The file is cut short: its sound data ends before the length its header gives.");
  }
  if (options.channel >= info.channels)
    return Refused(result, "The file has no channel " + std::to_string(options.channel) + ": it has " +
                               Count(info.channels, "channel") + ", numbered from 0.");

  result.bits = options.bits != 0 ? options.bits : source.defaultBits;
  result.rate = options.rate != 0 ? options.rate : ImportRateFor(source.rate);
  const bool resample = result.rate != source.rate;
  const double ratio = static_cast<double>(result.rate) / source.rate;
  if (resample && (ratio > ImportLargestRateRatio || ratio < 1.0 / ImportLargestRateRatio))
    return Refused(result, "A rate of " + std::to_string(source.rate) + " Hz cannot be converted to " +
                               std::to_string(result.rate) + " Hz: that is more than 256 times up or down.");
  const std::string tooLong = "The converted recording would pass the 4 GiB limit of a WAV file.";
  const std::uint64_t bytes = result.bits / 8;
  // The resampler's output runs a few frames past frames x ratio at most.
  if (source.frames > 0 &&
      std::ceil(static_cast<double>(source.frames) * ratio) + 16 > double(LargestDataBytes / bytes))
    return Refused(result, tooLong);

  OutputFile target;
  if (const MessageId refused = target.Begin(output, {input}); refused != MessageId::None) {
    result.message = refused;
    result.result = LongOperationResult::Failed;
    return result;
  }
  FileHandle& file = target.File();
  const bool placed = file.Seek(WavHeader::ByteSize);  // the header is written last

  const sf_count_t blockFrames = std::max<sf_count_t>(1, std::min(BlockFrames, BlockValues / info.channels));
  std::vector<double> block(static_cast<std::size_t>(blockFrames * info.channels));
  SampleWriter writer(file, result.bits);
  std::optional<Resampler> resampler;
  if (resample) {
    resampler.emplace(ratio);
    if (resampler->Error() != nullptr)
      return Refused(result, "The resampler did not start: " + Reason(resampler->Error()));
  }

  std::uint64_t read = 0;
  std::uint64_t notANumber = 0;
  std::uint64_t infinities = 0;
  bool stopped = false;
  bool converted = placed;
  while (converted && !writer.Failed() && !writer.TooLong()) {
    const sf_count_t got = sf_readf_double(sound.Sound(), block.data(), blockFrames);
    if (got <= 0) break;
    ToMono(block.data(), got, info.channels, options.channel);
    TameSamples(block.data(), static_cast<std::size_t>(got), resample, notANumber, infinities);
    if (resampler) {
      converted = resampler->Process(block.data(), static_cast<std::size_t>(got), false, writer);
    } else {
      writer.Write(block.data(), static_cast<std::size_t>(got));
    }
    read += static_cast<std::uint64_t>(got);
    if (progress && !progress(std::min(read, source.frames), source.frames)) {
      stopped = true;
      break;
    }
  }
  std::string readError;
  if (!stopped && sf_error(sound.Sound()) != SF_ERR_NO_ERROR) readError = Reason(sf_strerror(sound.Sound()));
  // A FLAC or Ogg file cut short ends its stream early, without an error or with the decoder's
  // (a FLAC frame cut in two loses its sync): either way what came before is whole and can be
  // salvaged. An MPEG file's length is only an estimate.
  const bool announced = source.frames > 0 && (info.format & SF_FORMAT_TYPEMASK) != SF_FORMAT_MPEG;
  const bool readsEnded = !stopped && converted && !writer.Failed() && !writer.TooLong();
  if (readsEnded && announced && read < source.frames) {
    if (!result.cut) result.cut = ImportCut{read, source.frames, source.rate};
    if (options.salvage) {
      readError.clear();
    } else if (readError.empty()) {
      readError = "it ends before the " + std::to_string(source.frames) + " frames it announces.";
    }
  }
  // What was read, not what the header or libsndfile's count says is there.
  if (result.cut && readsEnded) result.cut->keptFrames = read;
  if (!stopped && readError.empty() && converted && resampler)
    converted = resampler->Process(nullptr, 0, true, writer);

  if (!converted && resampler && resampler->Error() != nullptr)
    return Refused(result, "The resampler failed: " + Reason(resampler->Error()));
  if (!readError.empty())
    return Refused(result,
                   "The file could not be read past frame " + std::to_string(read) + ": " + readError);
  if (writer.TooLong()) return Refused(result, tooLong);
  if (!stopped && read == 0) return Refused(result, "The file holds no samples.");

  const auto image = WavHeader::MonoPcm(result.rate, static_cast<unsigned>(bytes),
                                        static_cast<std::uint32_t>(writer.Written() * bytes))
                         .Serialise();
  const bool written =
      converted && !writer.Failed() && file.Seek(0) && file.Write(image.data(), image.size());
  const OutputFile::LongEnd ending = target.FinishLong(written, stopped);
  result.message = ending.message;
  result.result = ending.result;
  if (ending.kept) {
    result.samples = writer.Written();
    result.clipped = writer.Clipped() + infinities;
    result.notANumber = notANumber;
  }
  return result;
}

}  // namespace vocara
