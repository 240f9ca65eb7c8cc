// Generated recordings shared by the analysis and the command tests.
#pragma once

#include <cstdint>
#include <vector>

namespace vocara::test {

// A recording with something for every rule of the analysis: a harmonic tone gliding over
// two octaves with vibrato and a swelling level, digital silence, quiet noise, and a tone that
// runs to the last sample so that the last frames see the window cut at the end of the data.
// Values are stored integers of blockAlign bytes.
std::vector<std::int32_t> MixedRecording(std::uint32_t rate, std::uint32_t count, unsigned blockAlign);

// A sung phrase at 48 kHz, 16-bit values: a harmonic tone with vibrato (rate Hz, +-depth cents,
// setting in over 0.3 s), gliding into each note over `glide` seconds from the note before (or,
// with a scoop, from `scoop` cents off the note itself), each note `cents` off its key (MIDI
// numbers, 69 = A4; key 0 is a breath: silence, the next note starting afresh). fundamental
// scales the first harmonic over weakFrom <= t < weakTo seconds (a breathy, weak fundamental).
struct SungNote {
  int key;
  double cents;
  double seconds;
  double glide = 0.07;
  double scoop = 0;
};
struct SungOptions {
  double vibratoHz = 5.5;
  double vibratoCents = 30;
  double weakFrom = 0;
  double weakTo = 0;
  double fundamental = 1;
  double weakEvery = 0;  // when above 0, the weak stretch comes back every weakEvery seconds
};
std::vector<std::int32_t> SungMelody(const std::vector<SungNote>& notes, const SungOptions& options = {});

}  // namespace vocara::test
