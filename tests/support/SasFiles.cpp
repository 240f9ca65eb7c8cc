#include "support/SasFiles.h"

#include <gtest/gtest.h>

#include <span>

#include "engine/sas/SasBuild.h"
#include "engine/wav/WavDocument.h"
#include "support/WavFiles.h"

namespace vocara::test {
namespace {

const std::uint8_t* Bytes(const std::string& text, std::size_t offset) {
  return reinterpret_cast<const std::uint8_t*>(text.data()) + offset;
}

}  // namespace

SasHeader SasHeaderFor(std::uint32_t frameLength, std::uint32_t sampleRate, std::uint32_t wavChecksum,
                       std::size_t frameCount, std::size_t linkCount, const GeneralSettings& settings) {
  return {.frameCount = static_cast<std::uint32_t>(frameCount),
          .linkCount = static_cast<std::uint32_t>(linkCount),
          .frameLength = frameLength,
          .sampleRate = sampleRate,
          .wavChecksum = wavChecksum,
          .settings = settings};
}

std::uint32_t WavChecksum(const std::string& wavPath) {
  WavDocument wav;
  EXPECT_EQ(WavOpenDocument(wav, wavPath).message, MessageId::None) << wavPath;
  return wav.checksum;
}

bool BuildSas(const std::string& wavPath, const std::string& sasPath, const GeneralSettings& settings) {
  WavDocument wav;
  const MessageId opened = WavOpenDocument(wav, wavPath).message;
  EXPECT_EQ(opened, MessageId::None) << wavPath;
  return opened == MessageId::None &&
         SasBuildFile(wav, settings, sasPath, {}).result == LongOperationResult::Done;
}

SasFrame FreshFrame(std::uint16_t pitch, std::int32_t minSample, std::int32_t maxSample) {
  return {pitch, pitch, minSample, maxSample,
          static_cast<std::uint32_t>(static_cast<std::int64_t>(maxSample) - minSample)};
}

std::vector<TimeLink> EndLinks(std::uint32_t sampleCount) { return {{0, 0}, {sampleCount, sampleCount}}; }

std::string SasBytes(const SasHeader& header, const std::vector<SasFrame>& frames,
                     const std::vector<TimeLink>& links) {
  std::string bytes;
  const auto put = [&bytes](const auto& record) { bytes.append(record.begin(), record.end()); };
  put(header.Serialise());
  for (const SasFrame& frame : frames) put(frame.Serialise());
  for (const TimeLink& link : links) put(link.Serialise());
  return bytes;
}

std::string WriteSasFile(const std::string& path, const SasHeader& header,
                         const std::vector<SasFrame>& frames, const std::vector<TimeLink>& links) {
  return WriteFile(path, SasBytes(header, frames, links));
}

SasHeader ReadSasHeader(const std::string& path) {
  const std::string bytes = ReadFile(path);
  if (bytes.size() < SasHeader::ByteSize) return {};
  SasHeader header = SasHeader::ParseFixed(
      std::span<const std::uint8_t, SasHeader::FixedSize>(Bytes(bytes, 0), SasHeader::FixedSize));
  header.settings = GeneralSettings::Parse(std::span<const std::uint8_t, GeneralSettings::ByteSize>(
      Bytes(bytes, SasHeader::FixedSize), GeneralSettings::ByteSize));
  return header;
}

std::vector<SasFrame> ReadSasFrames(const std::string& path) {
  const std::string bytes = ReadFile(path);
  const SasHeader header = ReadSasHeader(path);
  std::vector<SasFrame> frames;
  for (std::uint64_t i = 0; i < header.frameCount; ++i) {
    const std::uint64_t offset = SasFramesOffset + i * SasFrame::ByteSize;
    if (offset + SasFrame::ByteSize > bytes.size()) break;
    frames.push_back(SasFrame::ParseFrom(Bytes(bytes, offset)));
  }
  return frames;
}

std::vector<TimeLink> ReadSasLinks(const std::string& path) {
  const std::string bytes = ReadFile(path);
  const SasHeader header = ReadSasHeader(path);
  std::vector<TimeLink> links;
  for (std::uint64_t i = 0; i < header.linkCount; ++i) {
    const std::uint64_t offset = SasLinksOffset(header.frameCount) + i * TimeLink::ByteSize;
    if (offset + TimeLink::ByteSize > bytes.size()) break;
    links.push_back(TimeLink::Parse(
        std::span<const std::uint8_t, TimeLink::ByteSize>(Bytes(bytes, offset), TimeLink::ByteSize)));
  }
  return links;
}

}  // namespace vocara::test
