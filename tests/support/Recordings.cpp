#include "support/Recordings.h"

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

}  // namespace vocara::test
