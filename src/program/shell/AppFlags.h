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
  SasUpperBandRedraw = 0x1000,
  SasLowerBandRedraw = 0x2000,
  SasPageDirty = 0x4000,
  // 0x8000 carries no meaning.
  CorrectForPlayback = 0x10000,
  RangeOpScaleAmplitude = 0x20000,
  RangeOpTranspose = 0x40000,
  RangeOpDisableTimeCorrection = 0x80000,
  RangeOpEnableTimeCorrection = 0x100000,
  RangeOpSilence = 0x200000,
  RangeOpRemoveLinks = 0x400000,
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

// Bits that change together, each in one assignment.
inline constexpr std::uint32_t WavCloseClears =
    WavOpen | WavRangeSelected | WavSasMatch | NoiseSampleReady | CorrectedTempCurrent;  // 0x694
inline constexpr std::uint32_t SasCloseClears =
    SasOpen | SasRangeSelected | WavSasMatch | CorrectedTempCurrent;  // 0x4A8
inline constexpr std::uint32_t RangeOpSelectors = RangeOpScaleAmplitude | RangeOpTranspose |
                                                  RangeOpDisableTimeCorrection | RangeOpEnableTimeCorrection |
                                                  RangeOpSilence | RangeOpRemoveLinks;

static_assert(WavCloseClears == 0x694);
static_assert(SasCloseClears == 0x4A8);

}  // namespace vocara
