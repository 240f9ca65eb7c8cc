// Sung vowels made the way a voice makes them, and their formants measured back: a glottal pulse
// train with vibrato through formant resonators, and linear prediction over the steady middle.
// The tests of the formant-keeping render measure its input and its output the same way, so the
// measure's own bias cancels.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace vocara::test {

struct Vowel {
  std::array<double, 5> formants;    // Hz
  std::array<double, 5> bandwidths;  // Hz
};
inline constexpr Vowel VowelA{{730, 1090, 2440, 3400, 4400}, {80, 90, 120, 200, 250}};
inline constexpr Vowel VowelI{{300, 2250, 3000, 3700, 4600}, {60, 100, 150, 200, 250}};
inline constexpr Vowel VowelU{{320, 870, 2240, 3300, 4300}, {60, 80, 120, 200, 250}};

// `seconds` of the vowel at `f0` Hz with a +-vibratoCents vibrato at 5.5 Hz, at `rate`, as
// 16-bit values (about -12 dBFS), with `silence` seconds of silence before and after.
std::vector<std::int32_t> SungVowel(const Vowel& vowel, double f0, double vibratoCents, double seconds,
                                    std::uint32_t rate, double silence = 0.1);

// F1, F2 and F3 (Hz) of samples first <= i < end: the resonances below 4 kHz of the linear
// prediction of the summed correlations of 40 ms frames, 10 ms apart (the signal brought to
// 11025 Hz first); 0 for a formant not found.
std::array<double, 3> MeasuredFormants(const std::vector<std::int32_t>& samples, std::uint32_t rate,
                                       std::size_t first, std::size_t end);

}  // namespace vocara::test
