// libFuzzer target for the WAV opener: each input is opened as a WAV file; an accepted file is
// then read the ways the program reads it (window, range RMS) and copied whole with the range
// copy, which must be the canonical header of the same format followed by the data bytes
// unchanged.
//
// The document lives for the whole run and is closed after each input, as the program keeps
// its one document and closes it between files: a new document per input spent most of the
// time clearing its overview table and its read buffer.
//
// Build with clang (-DCMAKE_CXX_COMPILER=clang++), run e.g. `fuzz/wav_open_fuzz -max_total_time=60`.

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "FuzzFiles.h"
#include "base/FileHandle.h"
#include "engine/wav/RangeExport.h"
#include "engine/wav/SampleAccess.h"
#include "engine/wav/WavDocument.h"
#include "engine/wav/WavHeader.h"

namespace {

using namespace vocara;

struct CloseAfterInput {
  WavDocument& document;
  ~CloseAfterInput() { document.file.Close(); }
};

void Require(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static fuzz::InputFile input = fuzz::InputFile::Memory("wav-input");
  static const std::string output = fuzz::ScratchPath("range.wav");
  static WavDocument& wav = *new WavDocument;
  const CloseAfterInput closeWav{wav};

  input.Fill(data, size);
  const WavOpenResult opened = WavOpenDocument(wav, input.Path());
  if (opened.message != MessageId::None) {
    Require(!wav.file.IsOpen());
    return 0;
  }
  const unsigned align = wav.BlockAlign();
  Require(align >= 2 && align <= 4);
  const std::uint64_t dataBytes = std::uint64_t{wav.sampleCount} * align;
  Require(wav.dataOffset + dataBytes <= size);
  Require(wav.overviewLength <= OverviewCapacity);

  std::vector<double> window(64);
  WavReadWindow(wav, wav.sampleCount / 2, window);
  WavRangeRms(wav, 0, wav.sampleCount);

  // The copy: the canonical header of the open file's format (RIFF size = data size + 36) and
  // the data bytes unchanged, nothing else. That is a file the opener takes as the same
  // recording: same format fields, same samples, so the same checksum and overview.
  Require(WriteRangeAsWav(wav, output, 0, wav.sampleCount) == MessageId::None);
  FileHandle copy = FileHandle::OpenForReading(output);
  Require(copy.IsOpen() && copy.Size() == WavHeader::ByteSize + dataBytes);
  std::string bytes(WavHeader::ByteSize + dataBytes, '\0');
  Require(copy.Read(bytes.data(), bytes.size()) == bytes.size());
  const WavHeader header = WavHeader::Parse(std::span<const std::uint8_t, WavHeader::ByteSize>(
      reinterpret_cast<const std::uint8_t*>(bytes.data()), WavHeader::ByteSize));
  Require(header.riff == ChunkHeader{RiffId, static_cast<std::uint32_t>(dataBytes + 36)} &&
          header.form == WaveId);
  Require(header.format == ChunkHeader{FormatId, 16} && header.fields == wav.header.fields);
  Require(header.data == ChunkHeader{DataId, static_cast<std::uint32_t>(dataBytes)});
  Require(std::memcmp(bytes.data() + WavHeader::ByteSize, data + wav.dataOffset, dataBytes) == 0);
  return 0;
}
