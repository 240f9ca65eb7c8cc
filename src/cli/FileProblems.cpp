#include "cli/FileProblems.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "base/FileHandle.h"
#include "base/OutputFile.h"
#include "cli/Cli.h"
#include "cli/TargetKind.h"
#include "engine/sas/SasRecords.h"
#include "engine/wav/WavDocument.h"

namespace vocara::cli {
namespace {

std::string SystemText(int error) { return std::strerror(error); }

// The folder a name lives in: "." for a bare name.
std::string FolderOf(const std::string& path) {
  const std::filesystem::path folder = std::filesystem::path(path).parent_path();
  return folder.empty() ? std::string(".") : folder.string();
}

// The first bytes of a regular file (never waiting on a pipe put in its place); fewer when it
// is shorter, none when it cannot be read.
std::string FirstBytes(const std::string& path, std::size_t count) {
  std::string start(count, '\0');
  FileHandle file = FileHandle::OpenForReading(path);
  start.resize(file.Read(start.data(), count));
  return start;
}

std::string Bytes(std::uint64_t count) { return std::to_string(count) + (count == 1 ? " byte" : " bytes"); }

// "; vocara-cli import PATH OUT.wav converts it": the way to a file the program opens.
std::string ImportHint(const std::string& path) {
  return "; vocara-cli import " + path + " OUT.wav converts it";
}

// A sound file of another kind by its first bytes: "a FLAC file"; empty when none is known.
std::string SoundKind(const std::string& start) {
  const auto at = [&start](std::size_t offset, std::string_view text) {
    return start.size() >= offset + text.size() && start.compare(offset, text.size(), text) == 0;
  };
  if (at(0, "fLaC")) return "a FLAC file";
  if (at(0, "OggS")) return "an Ogg file";
  if (at(0, "FORM") && (at(8, "AIFF") || at(8, "AIFC"))) return "an AIFF file";
  if (at(0, "RF64")) return "an RF64 file (a WAV file past 4 GiB)";
  if (at(0, "RIFX")) return "a big-endian RIFX file";
  if (at(0, ".snd")) return "an AU file";
  if (at(0, "caff")) return "a CAF file";
  if (at(0, "wvpk")) return "a WavPack file";
  return {};
}

// "a 24-bit stereo floating-point WAV file": what the format fields describe.
std::string FormatDescription(const FormatFields& f, std::string_view encoding) {
  const std::string channels = f.channels == 1   ? "mono"
                               : f.channels == 2 ? "stereo"
                                                 : std::to_string(f.channels) + "-channel";
  const unsigned bits = f.bitsPerSample;
  const bool vowel = bits == 8 || bits == 11 || bits == 18 || (bits >= 80 && bits < 90);
  return (vowel ? "an " : "a ") + std::to_string(bits) + "-bit " + channels + " " + std::string(encoding) +
         "WAV file";
}

// The encoding a format tag names, as the words before "WAV file"; for WAVE_FORMAT_EXTENSIBLE
// the sub-format's, read from the rest of the format chunk where `file` stands.
std::string Encoding(const WavHeader& header, FileHandle& file) {
  switch (header.fields.formatTag) {
    case 1:
      return {};
    case 2:
    case 0x11:
      return "ADPCM ";
    case 3:
      return "floating-point ";
    case 6:
      return "A-law ";
    case 7:
      return "mu-law ";
    case 0x55:
      return "MP3 ";
    case 0xFFFE: {
      // cbSize, valid bits and channel mask, then the sub-format GUID led by its format tag.
      std::array<std::uint8_t, 10> extension{};
      const bool read = header.format.size >= 40 && file.Read(extension.data(), extension.size()) == 10;
      const unsigned tag = read ? extension[8] | extension[9] << 8 : 0;
      return tag == 3 ? "floating-point WAVE_FORMAT_EXTENSIBLE " : "WAVE_FORMAT_EXTENSIBLE ";
    }
    default:
      return "format " + std::to_string(header.fields.formatTag) + " ";
  }
}

// The folder of a file that is to appear or be replaced there, as the way to it fails.
std::optional<std::string> FolderProblem(const std::string& path) {
  const std::string folder = FolderOf(path);
  struct stat info {};
  if (::stat(folder.c_str(), &info) != 0) return SystemText(errno);
  if (!S_ISDIR(info.st_mode)) return SystemText(ENOTDIR);
  if (::access(folder.c_str(), W_OK | X_OK) != 0) return SystemText(errno);
  return std::nullopt;
}

}  // namespace

std::optional<std::string> InputProblem(const std::string& path, FileKind expected, FileUse use) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return SystemText(errno);
  if (S_ISDIR(info.st_mode)) return SystemText(EISDIR);
  if (!S_ISREG(info.st_mode)) return "not a regular file";
  if (::access(path.c_str(), use == FileUse::Change ? R_OK | W_OK : R_OK) != 0) return SystemText(errno);
  if (use == FileUse::Change) {
    if (const std::optional<std::string> folder = FolderProblem(path)) return "its folder: " + *folder;
  }
  const TargetKind found = KindOfFile(path);
  if (expected == FileKind::Sas && found == TargetKind::Wav) return "a WAV recording, not a SAS file";
  if (expected == FileKind::Wav && found == TargetKind::Sas) return "a SAS file, not a WAV recording";
  return std::nullopt;
}

std::optional<std::string> OutputProblem(const std::string& name) {
  // The output goes where a link leads, so the way there is what can fail.
  const std::string path = FollowLinks(name);
  if (path != name) {
    if (std::optional<std::string> problem = OutputProblem(path))
      return *problem + " (it links to " + path + ")";
    return std::nullopt;
  }
  // A target that is something else is never written, whatever its folder allows.
  struct stat info {};
  const bool exists = ::stat(path.c_str(), &info) == 0;
  if (exists && S_ISDIR(info.st_mode)) return SystemText(EISDIR);
  if (exists && !S_ISREG(info.st_mode)) return "not a regular file";
  // A missing folder on the way reads as the name's own ENOENT, as the shell says it.
  if (std::optional<std::string> folder = FolderProblem(path)) return folder;
  // Refused as cp would refuse it, though the folder would let a rename replace it.
  if (exists && ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0) return SystemText(EACCES);
  struct statvfs space {};
  if (::statvfs(FolderOf(path).c_str(), &space) == 0 && space.f_bavail == 0) return SystemText(ENOSPC);
  return std::nullopt;
}

std::optional<std::string> WavContentProblem(const std::string& path, MessageId message) {
  FileHandle file = FileHandle::OpenForReading(path);
  if (!file.IsOpen()) return std::nullopt;
  const std::uint64_t size = file.Size();
  WavHeader header;
  std::uint64_t dataOffset = 0;
  // Read again as the opener read it; a file changed since tells nothing about that refusal.
  if (WavReadLayout(file, header, dataOffset) != message) return std::nullopt;
  const FormatFields& f = header.fields;
  switch (message) {
    case MessageId::WaveToShort:
      return Bytes(size) + ", shorter than the 44-byte header of a WAV file";
    case MessageId::NotRiffFile: {
      const std::string kind = SoundKind(FirstBytes(path, 12));
      if (kind.empty())
        return "not a WAV file (it does not start with RIFF); vocara-cli import " + path +
               " OUT.wav converts a sound file of another kind";
      return kind + ", not a WAV file" + ImportHint(path);
    }
    case MessageId::RiffBiggerThanFileSize:
      return "its RIFF header counts " + Bytes(std::uint64_t{header.riff.size} + 8) + " but the file holds " +
             Bytes(size) + ": it is cut short";
    case MessageId::NotWaveFile: {
      std::string form(header.form.begin(), header.form.end());
      for (char& c : form)
        if (c < ' ' || c > '~') c = '?';
      return "a RIFF file of form '" + form + "', not a WAV file";
    }
    case MessageId::FormatChunkNotFound:
      return "no complete 'fmt ' chunk, which says how the samples are stored";
    case MessageId::CompressionNotSupported:
      return FormatDescription(f, Encoding(header, file)) + ImportHint(path);
    case MessageId::NotMonoFile:
      return FormatDescription(f, "") + ImportHint(path) + " (the mean of the channels, or --channel N)";
    case MessageId::SampleRateToLow:
      return "sample rate " + std::to_string(f.sampleRate) + " Hz is " +
             (f.sampleRate > MaximumSampleRate ? "above " + std::to_string(MaximumSampleRate)
                                               : "below " + std::to_string(MinimumSampleRate)) +
             "; vocara-cli import " + path + " OUT.wav resamples it";
    case MessageId::WrongBytesPerSample:
    case MessageId::WrongBitsPerSample:
      if (f.bitsPerSample == 8 || f.blockAlign == 1) return FormatDescription(f, "") + ImportHint(path);
      return std::to_string(f.blockAlign) + "-byte samples of " + std::to_string(f.bitsPerSample) +
             " bits; samples of 2 to 4 bytes and 16 to 32 bits are read";
    case MessageId::DataChunkNotFound:
      return "no 'data' chunk after its 'fmt ' chunk";
    case MessageId::FileToShort:
      return "its data chunk counts " + Bytes(header.data.size) + " but " +
             Bytes(size - std::min(size, dataOffset)) + " follow its header: it is cut short";
    default:
      return std::nullopt;
  }
}

std::optional<std::string> SasContentProblem(const std::string& path, MessageId message) {
  FileHandle file = FileHandle::OpenForReading(path);
  if (!file.IsOpen()) return std::nullopt;
  const std::uint64_t size = file.Size();
  std::array<std::uint8_t, SasHeader::ByteSize> bytes{};
  const std::size_t got = file.Read(bytes.data(), bytes.size());
  constexpr std::uint64_t Smallest = SasHeader::ByteSize + 2 * TimeLink::ByteSize;
  if (message == MessageId::FileToShort && (got < SasHeader::FixedSize || size < Smallest))
    return Bytes(size) + ", shorter than the smallest SAS file (" + Bytes(Smallest) + ")";
  if (got < SasHeader::FixedSize) return std::nullopt;
  const SasHeader header = SasHeader::ParseFixed(
      std::span<const std::uint8_t, SasHeader::FixedSize>(bytes.data(), SasHeader::FixedSize));
  // The size is checked before the magic, so any short file that is no SAS says "File to short".
  if (header.magic != SasMagic) return "not a SAS file: it does not start with 'SAS '";
  switch (message) {
    case MessageId::FileToShort:
      return "its header counts " + std::to_string(header.frameCount) + " frames and " +
             std::to_string(header.linkCount) + " time links, " +
             Bytes(SasLinksOffset(header.frameCount) + std::uint64_t{header.linkCount} * TimeLink::ByteSize) +
             ", but the file holds " + Bytes(size) + ": it is cut short";
    case MessageId::LinksCorrupted:
      return "its header counts " + std::to_string(header.linkCount) + " time links; a SAS file holds 2 to " +
             std::to_string(MaxTimeLinks);
    case MessageId::SasSettingsCorrupted: {
      if (header.frameLength == 0) return "its header gives frames of 0 samples";
      if (got < bytes.size()) return std::nullopt;
      GeneralSettings settings =
          GeneralSettings::Parse(std::span<const std::uint8_t, GeneralSettings::ByteSize>(
              bytes.data() + SasHeader::FixedSize, GeneralSettings::ByteSize));
      const std::vector<SettingsCorrection> outside = FitToDialogRanges(settings);
      if (!outside.empty())
        return "its settings hold " + std::string(outside.front().field) + " " +
               NumberText(outside.front().given) + ", which the Settings dialog does not allow";
      return "its settings (instrument, notes or bar ruler) are outside what the Settings dialog allows";
    }
    default:
      return std::nullopt;
  }
}

std::optional<std::string> WriteProblem() {
  const int error = TakeWriteError();
  if (error == 0) return std::nullopt;
  if (error != EFBIG) return SystemText(error);
  rlimit limit{};
  if (::getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
    return "stopped by the file size limit (" + Bytes(limit.rlim_cur) + ")";
  return "stopped by the file size limit (" + SystemText(error) + ")";
}

int DoesNotFit(std::ostream& err, const std::string& wavPath, const WavDocument& wav,
               const std::string& sasPath, const SasHeader& sas) {
  const std::string_view question = MessageText(MessageId::WavSasDoesNotFit);
  err << question.substr(0, question.find('\n')) << "\nvocara-cli: " << sasPath << ": ";
  if (sas.wavChecksum != wav.checksum) {
    err << "made from another recording than " << wavPath << " (its WAV checksum " << Hex8(sas.wavChecksum)
        << ", " << wavPath << "'s " << Hex8(wav.checksum) << ")";
  } else if (sas.sampleRate != wav.header.fields.sampleRate) {
    err << "made at " << sas.sampleRate << " Hz, " << wavPath << " is at " << wav.header.fields.sampleRate
        << " Hz";
  } else {
    err << sas.frameCount << " frames of " << sas.frameLength << " samples, but the " << wav.sampleCount
        << " samples of " << wavPath << " make "
        << (sas.frameLength == 0 ? 0 : wav.sampleCount / sas.frameLength);
  }
  err << '\n';
  return ExitFailure;
}

void ExplainInput(std::ostream& err, const std::string& path, FileKind expected, FileUse use) {
  err << "vocara-cli: " << path << ": " << InputProblem(path, expected, use).value_or("could not be opened")
      << '\n';
}

void ExplainOutput(std::ostream& err, const std::string& path) {
  // What shows now, else why the system refused to make the file.
  std::optional<std::string> problem = OutputProblem(path);
  if (!problem) problem = WriteProblem();
  err << "vocara-cli: " << path << ": " << problem.value_or("could not be written") << '\n';
}

int InputRefused(std::ostream& err, MessageId message, const std::string& path, FileKind expected,
                 FileUse use) {
  err << MessageText(message) << '\n';
  std::optional<std::string> problem = InputProblem(path, expected, use);
  if (!problem)
    problem = expected == FileKind::Sas ? SasContentProblem(path, message) : WavContentProblem(path, message);
  if (problem) {
    err << "vocara-cli: " << path << ": " << *problem << '\n';
  } else if (message == MessageId::InvalidFileHandle) {
    ExplainInput(err, path, expected, use);
  }
  return ExitFailure;
}

}  // namespace vocara::cli
