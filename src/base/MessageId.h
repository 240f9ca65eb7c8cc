// The program's one table of messages. Every operation that can fail returns a MessageId;
// the GUI shows its text in a message box, the command-line tool prints the same text, so
// the wording exists once. The texts are the program's own, misspellings included.
#pragma once

#include <string_view>

namespace vocara {

enum class MessageId {
  None,  // success: nothing to report
  InvalidFileHandle,
  NotRiffFile,
  WaveToShort,
  RiffBiggerThanFileSize,
  NotWaveFile,
  FormatChunkNotFound,
  CompressionNotSupported,
  NotMonoFile,
  SampleRateToLow,
  WrongBytesPerSample,
  WrongBitsPerSample,
  DataChunkNotFound,
  FileToShort,
  OpenedFileCanNotBeOverwritten,
  NotSasFile,
  LinksCorrupted,
  SasSettingsCorrupted,
  TooManyTimeLinks,
  WavSasDoesNotFit,  // a Yes/No question, not an error
  NotSupportedInputFormat,
  NotSupportedOutputFormat,
  WrongInputHandle,
  WrongOutputHandle,
  // An output whose writing failed part way (a full disk, a file size limit, a read error of
  // its source). The program shows it as "Invalid File Handle"; vocara-cli says "could not
  // write" with the name. Nothing of the output is left behind.
  OutputWriteFailed,
  // An output name that exists as a device, a pipe or a folder: never written or replaced.
  NotARegularFile,
  // An edit of a SAS file the user may read but not write.
  SasReadOnly,
  // A recording stopped early; what was recorded up to then is kept as a whole WAV file.
  RecordingAtLargestSize,
  RecordingWriteFailed,
  RecordingDeviceStopped,
  // Another process held the SAS file's lock for a change all the time a writer waited.
  SasBusy,
  // Another process held an output's target locked (a change of it in progress) all the time
  // the writer waited.
  FileBusy,
  // An output whose target has more than one name (hard links): replacing it would part them.
  HardLinkedTarget,
  // A Yes/No question after the opener's message, for a file the WAV opener refuses and the
  // import reads: Yes converts it into a mono WAV copy and opens that.
  ConvertToMonoWavCopy,
};

// Empty for None.
std::string_view MessageText(MessageId id);

}  // namespace vocara
