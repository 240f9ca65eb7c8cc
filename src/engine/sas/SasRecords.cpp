#include "engine/sas/SasRecords.h"

#include <algorithm>

namespace vocara {
namespace {

void Put32(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
  p[2] = static_cast<std::uint8_t>(v >> 16);
  p[3] = static_cast<std::uint8_t>(v >> 24);
}

void Put16(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}

std::uint32_t Get32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
         std::uint32_t{p[3]} << 24;
}

std::uint16_t Get16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }

}  // namespace

std::array<std::uint8_t, SasHeader::ByteSize> SasHeader::Serialise() const {
  std::array<std::uint8_t, ByteSize> b{};
  std::copy(magic.begin(), magic.end(), b.begin());
  Put32(&b[4], frameCount);
  Put32(&b[8], linkCount);
  Put32(&b[12], frameLength);
  Put32(&b[16], sampleRate);
  Put32(&b[20], wavChecksum);
  const auto s = settings.Serialise();
  std::copy(s.begin(), s.end(), b.begin() + FixedSize);
  return b;
}

SasHeader SasHeader::ParseFixed(std::span<const std::uint8_t, FixedSize> b) {
  SasHeader h;
  std::copy(b.begin(), b.begin() + 4, h.magic.begin());
  h.frameCount = Get32(&b[4]);
  h.linkCount = Get32(&b[8]);
  h.frameLength = Get32(&b[12]);
  h.sampleRate = Get32(&b[16]);
  h.wavChecksum = Get32(&b[20]);
  return h;
}

void SasFrame::SerialiseInto(std::uint8_t* p) const {
  Put16(p, sourcePitch);
  Put16(p + 2, targetPitch);
  Put32(p + 4, static_cast<std::uint32_t>(minSample));
  Put32(p + 8, static_cast<std::uint32_t>(maxSample));
  Put32(p + 12, targetAmplitude);
}

SasFrame SasFrame::ParseFrom(const std::uint8_t* p) {
  SasFrame f;
  f.sourcePitch = Get16(p);
  f.targetPitch = Get16(p + 2);
  f.minSample = static_cast<std::int32_t>(Get32(p + 4));
  f.maxSample = static_cast<std::int32_t>(Get32(p + 8));
  f.targetAmplitude = Get32(p + 12);
  return f;
}

std::array<std::uint8_t, SasFrame::ByteSize> SasFrame::Serialise() const {
  std::array<std::uint8_t, ByteSize> b{};
  SerialiseInto(b.data());
  return b;
}

SasFrame SasFrame::Parse(std::span<const std::uint8_t, ByteSize> bytes) { return ParseFrom(bytes.data()); }

std::array<std::uint8_t, TimeLink::ByteSize> TimeLink::Serialise() const {
  std::array<std::uint8_t, ByteSize> b{};
  Put32(&b[0], source);
  Put32(&b[4], target);
  return b;
}

TimeLink TimeLink::Parse(std::span<const std::uint8_t, ByteSize> b) { return {Get32(&b[0]), Get32(&b[4])}; }

LinkInsertion InsertTimeLink(std::vector<TimeLink>& links, std::uint32_t source, std::uint32_t target) {
  if (links.size() >= MaxTimeLinks) return LinkInsertion::TooMany;
  const auto at =
      std::find_if(links.begin(), links.end(), [&](const TimeLink& link) { return link.target >= target; });
  // No link at or after the target, or the new one would come first: the table's ends stay.
  if (at == links.end() || at == links.begin()) return LinkInsertion::Refused;
  // Strictly between the neighbours' sources, so that no two links cross.
  if (!(std::prev(at)->source < source && source < at->source)) return LinkInsertion::Refused;
  links.insert(at, TimeLink{source, target});
  return LinkInsertion::Inserted;
}

}  // namespace vocara
