// The process-wide state word: which documents are open, what is selected, what runs.
// Every command's usability is derived from it (CommandTable).
#pragma once

#include <cstdint>

namespace vocara {

enum AppFlag : std::uint32_t {
  Ready = 0x1,
  AbortRequested = 0x2,
  WavOpen = 0x4,
  SasOpen = 0x8,
  WavRangeSelected = 0x10,
  SasRangeSelected = 0x20,
  FftRangeSelected = 0x40,
  WavSasMatch = 0x80,
  RangeHoldsNoiseLength = 0x100,
  NoiseSampleReady = 0x200,
  CorrectedTempCurrent = 0x400,
  Busy = 0x800,
  // 0x1000 and 0x2000 carry no meaning: the redraw requests are a word of their own.
  SasPageDirty = 0x4000,
  // 0x8000 carries no meaning.
  CorrectForPlayback = 0x10000,
  // 0x20000 .. 0x400000 carry no meaning.
  PlayAvailable = 0x800000,
  RecordAvailable = 0x1000000,
  Playing = 0x2000000,
  Recording = 0x4000000,
  StopAvailable = 0x8000000,
  // 0x10000000 carries no meaning.
  GenerateToTemp = 0x20000000,
  SynthesisDialogOpen = 0x40000000,
  PulseShapeReady = 0x80000000,
};

// Whether every one of `bits` is set in the state word.
inline bool HasAll(std::uint32_t flags, std::uint32_t bits) { return (flags & bits) == bits; }

// What the next paint of the SAS window redraws besides what the region asks for: the
// amplitude pane's band and cursor, the pitch pane's (WindowStates::redraw).
enum RedrawRequest : std::uint32_t {
  SasUpperBandRedraw = 0x1,
  SasLowerBandRedraw = 0x2,
};

// Bits that change together, each in one assignment.
inline constexpr std::uint32_t WavCloseClears =
    WavOpen | WavRangeSelected | WavSasMatch | NoiseSampleReady | CorrectedTempCurrent;  // 0x694
inline constexpr std::uint32_t SasCloseClears =
    SasOpen | SasRangeSelected | WavSasMatch | CorrectedTempCurrent;  // 0x4A8

static_assert(WavCloseClears == 0x694);
static_assert(SasCloseClears == 0x4A8);

inline void ClearBits(std::uint32_t& flags, std::uint32_t bits) { flags &= ~bits; }

}  // namespace vocara
