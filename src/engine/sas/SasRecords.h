// The fixed-layout records of a SAS file ("Sound Attributes Set"), all little-endian:
//
//   0                      SasHeader: "SAS ", frameCount, linkCount, frameLength,
//                          sampleRate, wavChecksum (24 bytes) and a GeneralSettings copy
//                          (112 bytes)
//   136                    frameCount SasFrame records of 16 bytes, frame 0 first
//   136 + 16 × frameCount  linkCount TimeLink records of 8 bytes, in increasing order
//
// Nothing follows the link table. Pitches are cents above A0 (27.5 Hz); samples and
// amplitudes are left-aligned 32-bit values (full scale is the same for every sample width).
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "base/Settings.h"

namespace vocara {

inline constexpr std::array<char, 4> SasMagic{'S', 'A', 'S', ' '};  // 0x20534153 as a word

struct SasHeader {
  std::array<char, 4> magic = SasMagic;
  std::uint32_t frameCount = 0;
  std::uint32_t linkCount = 2;
  std::uint32_t frameLength = 0;  // samples per frame: the analysis hop
  std::uint32_t sampleRate = 0;   // of the analysed WAV file
  std::uint32_t wavChecksum = 0;  // the analysed WAV file's sample checksum
  GeneralSettings settings{};     // in force when built, partly refreshed by write-back

  static constexpr std::size_t FixedSize = 24;
  static constexpr std::size_t ByteSize = FixedSize + GeneralSettings::ByteSize;
  std::array<std::uint8_t, ByteSize> Serialise() const;
  // The 24 fixed bytes only; the settings copy is parsed (and validated) separately.
  static SasHeader ParseFixed(std::span<const std::uint8_t, FixedSize> bytes);
};

// Bit 15 of targetPitch: time correction is off for the frame.
inline constexpr std::uint16_t TimeCorrectionOffBit = 0x8000;
// The highest target pitch any edit sets, in cents above A0: C8.
inline constexpr int HighestTargetPitch = 8700;

// A target field with its pitch set to `cents` rounded and limited to 0 .. HighestTargetPitch, its
// time-correction bit (bit 15) kept.
inline std::uint16_t WithTargetPitch(std::uint16_t targetField, double cents) {
  const double limited = std::clamp(std::round(cents), 0.0, double{HighestTargetPitch});
  return static_cast<std::uint16_t>((targetField & TimeCorrectionOffBit) |
                                    static_cast<std::uint16_t>(limited));
}
inline constexpr std::uint16_t TargetPitchMask = 0x7fff;

struct SasFrame {
  std::uint16_t sourcePitch = 0;  // 0: no pitch found
  std::uint16_t targetPitch = 0;  // low 15 bits the pitch to produce; bit 15 timeCorrectionOff
  std::int32_t minSample = 0;
  std::int32_t maxSample = 0;
  std::uint32_t targetAmplitude = 0;  // peak-to-peak to produce; 0 silences the frame

  static constexpr std::size_t ByteSize = 16;
  std::array<std::uint8_t, ByteSize> Serialise() const;
  static SasFrame Parse(std::span<const std::uint8_t, ByteSize> bytes);
  void SerialiseInto(std::uint8_t* destination) const;
  static SasFrame ParseFrom(const std::uint8_t* source);

  // Peak-to-peak amplitude, 0 .. 4294967295, in double precision from the two signed values.
  double Amplitude() const { return static_cast<double>(maxSample) - static_cast<double>(minSample); }
  bool TimeCorrectionOff() const { return (targetPitch & TimeCorrectionOffBit) != 0; }
  std::uint16_t TargetPitch() const { return targetPitch & TargetPitchMask; }
  friend bool operator==(const SasFrame&, const SasFrame&) = default;
};

// Pins the instant `source` of the analysed recording to the instant `target` of the output.
struct TimeLink {
  std::uint32_t source = 0;
  std::uint32_t target = 0;

  static constexpr std::size_t ByteSize = 8;
  std::array<std::uint8_t, ByteSize> Serialise() const;
  static TimeLink Parse(std::span<const std::uint8_t, ByteSize> bytes);
  friend bool operator==(const TimeLink&, const TimeLink&) = default;
};

inline constexpr std::size_t MaxTimeLinks = 1000;

// How a time link insertion ended.
enum class LinkInsertion { Inserted, TooMany, Refused };

// Inserts a link from `source` to `target` into a table ordered by target, keeping it ordered:
// at the index i of the first link whose target is not below the new one, and only when the new
// source lies strictly between the sources of links i - 1 and i. A table of 1000 links takes no
// more; a target after the last link's or at or before the first link's is refused.
LinkInsertion InsertTimeLink(std::vector<TimeLink>& links, std::uint32_t source, std::uint32_t target);
inline constexpr std::uint64_t SasFramesOffset = SasHeader::ByteSize;  // 136

// Offset of the link table: 64-bit, so large counts cannot wrap.
inline std::uint64_t SasLinksOffset(std::uint32_t frameCount) {
  return SasFramesOffset + SasFrame::ByteSize * static_cast<std::uint64_t>(frameCount);
}

static_assert(SasHeader::ByteSize == 136);
static_assert(SasFrame::ByteSize == 16);
static_assert(TimeLink::ByteSize == 8);

}  // namespace vocara
