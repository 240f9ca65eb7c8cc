// libFuzzer target for the SAS opener: each input is written to a file and opened; an accepted
// file is then paged from a position and width taken from the input, its page edited, and
// written back, the ways the program uses an open SAS. The file must keep every frame and end
// exactly behind its links.
//
// An input whose first byte is odd is not taken as it is: its next 12 bytes become frameCount,
// linkCount and frameLength (the counts kept small) in front of a sound header with the
// default settings, and the rest follows as frames and links. Without a seed corpus that is
// how the fuzzer reaches the accepting paths; an even first byte passes the rest unchanged.
// Build with clang (-DCMAKE_CXX_COMPILER=clang++), run e.g. `fuzz/sas_open_fuzz -max_total_time=60`.

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "FuzzFiles.h"
#include "engine/sas/SasDocument.h"

using vocara::fuzz::TempName;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string input = TempName(".sas");
  static const std::string copy = TempName("-copy.sas");
  if (size == 0) return 0;
  std::string bytes;
  if (data[0] % 2 == 0 || size < 13) {
    bytes.assign(reinterpret_cast<const char*>(data + 1), size - 1);
  } else {
    vocara::SasHeader header;
    std::memcpy(&header.frameCount, data + 1, 4);
    std::memcpy(&header.linkCount, data + 5, 4);
    std::memcpy(&header.frameLength, data + 9, 4);
    header.frameCount %= 4096;
    header.linkCount %= 1100;
    const auto head = header.Serialise();
    bytes.assign(head.begin(), head.end());
    bytes.append(reinterpret_cast<const char*>(data + 13), size - 13);
  }
  size = bytes.size();
  std::ofstream(input, std::ios::binary | std::ios::trunc)
      .write(bytes.data(), static_cast<std::streamsize>(size));
  vocara::SasDocument sas;
  const vocara::MessageId result = vocara::SasOpenDocument(sas, input);
  if (result != vocara::MessageId::None) {
    if (sas.file.IsOpen()) std::abort();
    return 0;
  }
  const vocara::SasHeader& h = sas.header;
  const std::uint64_t frameEnd = vocara::SasLinksOffset(h.frameCount);
  if (frameEnd + 8 * std::uint64_t{h.linkCount} > size) std::abort();
  if (h.linkCount < 2 || h.linkCount > vocara::MaxTimeLinks || sas.links.size() != h.linkCount) std::abort();
  if (h.frameLength == 0) std::abort();

  // The last bytes of the input (inside the link table or behind it) choose the page.
  std::int32_t first = 0;
  std::uint16_t width = 0;
  if (size >= 6) {
    std::memcpy(&first, bytes.data() + size - 6, 4);
    std::memcpy(&width, bytes.data() + size - 2, 2);
  }
  sas.shownFrameCount = h.frameCount;
  sas.firstFrame = first;
  sas.pageLength = width;
  if (!vocara::SasReadPageRecords(sas)) std::abort();
  if (sas.firstFrame < 0 || sas.pageCount > vocara::MaxSasPageLength ||
      std::uint64_t(sas.firstFrame) + std::uint64_t(sas.pageCount) > h.frameCount)
    std::abort();
  for (int i = 0; i < sas.pageCount; ++i) sas.page[static_cast<std::size_t>(i)].targetAmplitude = 0;
  if (sas.links.size() > 2) sas.links.pop_back();
  if (!vocara::SasWriteRecords(sas, vocara::GeneralSettings{})) std::abort();
  sas.file.Flush();
  if (std::filesystem::file_size(input) != frameEnd + 8 * sas.links.size()) std::abort();
  if (vocara::SasCopyFile(sas, copy) != vocara::MessageId::None) std::abort();
  if (std::filesystem::file_size(copy) != frameEnd + 8 * sas.links.size()) std::abort();
  return 0;
}
