#include "support/Recordings.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

namespace vocara::test {

std::vector<std::int32_t> MixedRecording(std::uint32_t rate, std::uint32_t count, unsigned blockAlign) {
  const double full = std::ldexp(1.0, 8 * static_cast<int>(blockAlign) - 1) - 1;
  std::vector<std::int32_t> values(count);
  std::uint32_t noise = 1;
  double phase = 0.0;
  for (std::uint32_t i = 0; i < count; ++i) {
    const double t = static_cast<double>(i) / count;
    double v = 0.0;
    if (t < 0.45) {
      const double f =
          110.0 * std::pow(4.0, t / 0.45) * (1.0 + 0.01 * std::sin(2 * std::numbers::pi * 5.5 * i / rate));
      phase += 2 * std::numbers::pi * f / rate;
      v = (0.2 + 0.6 * t) * (std::sin(phase) + 0.5 * std::sin(2 * phase) + 0.3 * std::sin(3 * phase));
    } else if (t < 0.55) {
      v = 0.0;
    } else if (t < 0.7) {
      noise = noise * 1664525u + 1013904223u;
      v = 0.05 * (static_cast<double>(noise >> 8) / 8388608.0 - 1.0);
    } else {
      v = 0.7 * std::sin(2 * std::numbers::pi * 329.63 * i / rate) +
          0.2 * std::sin(2 * std::numbers::pi * 659.26 * i / rate);
    }
    values[i] = static_cast<std::int32_t>(std::lround(v * full));
  }
  return values;
}

std::vector<std::int32_t> SungMelody(const std::vector<SungNote>& notes, const SungOptions& options) {
  constexpr double Rate = 48000;
  constexpr double Fade = 0.005;  // into and out of a breath
  constexpr std::array<double, 5> Harmonics{1.0, 0.6, 0.4, 0.25, 0.12};
  const auto hz = [](const SungNote& note, double cents) {
    return 440.0 * std::pow(2.0, (note.key - 69 + (note.cents + cents) / 100) / 12);
  };
  double total = 0;
  for (const SungNote& note : notes) total += note.seconds;
  std::vector<std::int32_t> values(static_cast<std::size_t>(std::lround(total * Rate)));
  std::size_t index = 0;
  double start = 0;
  double phase = 0;
  for (std::size_t n = 0; n < values.size(); ++n) {
    const double t = static_cast<double>(n) / Rate;
    while (index + 1 < notes.size() && t >= start + notes[index].seconds) start += notes[index++].seconds;
    const SungNote& note = notes[index];
    const double into = t - start;
    const bool breath = note.key == 0;
    const bool afterBreath = index == 0 || notes[index - 1].key == 0;
    double f = breath ? 0 : hz(note, 0);
    if (!breath && into < note.glide && (note.scoop != 0 || !afterBreath)) {
      const double from = note.scoop != 0 ? hz(note, note.scoop) : hz(notes[index - 1], 0);
      f = from * std::pow(f / from, into / note.glide);
    }
    const double depth = options.vibratoCents * std::min(1.0, into / 0.3);
    f *= std::pow(2.0, depth * std::sin(2 * std::numbers::pi * options.vibratoHz * t) / 1200);
    phase = std::fmod(phase + 2 * std::numbers::pi * f / Rate, 2 * std::numbers::pi);
    const double at = options.weakEvery > 0 ? std::fmod(t, options.weakEvery) : t;
    const bool weak = at >= options.weakFrom && at < options.weakTo;
    double v = 0;
    for (std::size_t k = 0; k < Harmonics.size(); ++k)
      v += Harmonics[k] * (k == 0 && weak ? options.fundamental : 1.0) *
           std::sin(static_cast<double>(k + 1) * phase);
    double fade = std::min({1.0, t / 0.05, (total - t) / 0.05});
    if (breath) fade = 0;
    if (!breath && afterBreath && index > 0) fade = std::min(fade, into / Fade);
    if (!breath && index + 1 < notes.size() && notes[index + 1].key == 0)
      fade = std::min(fade, (note.seconds - into) / Fade);
    values[n] = static_cast<std::int32_t>(std::lround(v / 2.37 * 0.7 * fade * 32767));
  }
  return values;
}

}  // namespace vocara::test
