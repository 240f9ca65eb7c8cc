#include "base/MessageId.h"

#include <string>

namespace vocara {

std::string_view MessageText(MessageId id) {
  switch (id) {
    case MessageId::None:
      return {};
    case MessageId::InvalidFileHandle:
      return "Invalid File Handle";
    case MessageId::NotRiffFile:
      return "Not a RIFF file";
    case MessageId::WaveToShort:
      return "WAVE to short";
    case MessageId::RiffBiggerThanFileSize:
      return "RIFF bigger than file size";
    case MessageId::NotWaveFile:
      return "Not a WAVE file";
    case MessageId::FormatChunkNotFound:
      return "Format chunk not found";
    case MessageId::CompressionNotSupported:
      return "Compression not supported";
    case MessageId::NotMonoFile:
      return "Not a mono file";
    case MessageId::SampleRateToLow:
      return "Sample rate to low";
    case MessageId::WrongBytesPerSample:
      return "Wrong number bytes per sample";
    case MessageId::WrongBitsPerSample:
      return "Wrong number bits per sample";
    case MessageId::DataChunkNotFound:
      return "DATA chunk not found";
    case MessageId::FileToShort:
      return "File to short";
    case MessageId::OpenedFileCanNotBeOverwritten:
      return "Opened file can not be overwritten";
    case MessageId::NotSasFile:
      return "Not a SAS file";
    case MessageId::LinksCorrupted:
      return "Links corrupted";
    case MessageId::SasSettingsCorrupted:
      return "The SAS file settings are corrupted";
    case MessageId::TooManyTimeLinks:
      return "Too many Time Links";
    case MessageId::WavSasDoesNotFit:
      return "WAV and SAS files does not fit.\nContinue?";
    case MessageId::NotSupportedInputFormat:
      return "Not supported input format";
    case MessageId::NotSupportedOutputFormat:
      return "Not supported output format";
    case MessageId::WrongInputHandle:
      return "Wrong input handle";
    case MessageId::WrongOutputHandle:
      return "Wrong output handle";
    case MessageId::OutputWriteFailed:
      return "Invalid File Handle";
    case MessageId::NotARegularFile:
      return "The target is not a regular file";
    case MessageId::SasReadOnly:
      return "The SAS file is read-only; use Save As to edit a copy.";
    case MessageId::RecordingAtLargestSize:
      return "The recording has reached the largest size a WAV file can hold. It was stopped; the part "
             "recorded is kept.";
    case MessageId::RecordingWriteFailed:
      return "The recording could not be written (is the disk full?). It was stopped; the part recorded "
             "is kept.";
    case MessageId::RecordingDeviceStopped:
      return "The recording device stopped. The recording was ended; the part recorded is kept.";
    case MessageId::SasBusy:
      return "The SAS file is being changed by another program. Try again when it has finished.";
    case MessageId::FileBusy:
      return "The file is being changed by another program. Try again when it has finished.";
    case MessageId::HardLinkedTarget:
      return "The file has other names (hard links) that would no longer share it. Write to a new name "
             "or remove the other links first.";
    case MessageId::ConvertToMonoWavCopy:
      return "Convert to a mono WAV copy?";
  }
  return {};
}

}  // namespace vocara
