#include "support/Vowels.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>

namespace vocara::test {
namespace {

constexpr double Pi = std::numbers::pi;
constexpr double LpcRate = 11025;
constexpr int LpcOrder = 12;

// The glottal flow of one period at phase p (0 .. 1): opening over 40 %, closing over 16 %.
double GlottalFlow(double p) {
  if (p < 0.4) return 0.5 * (1 - std::cos(Pi * p / 0.4));
  if (p < 0.56) return std::cos(Pi * (p - 0.4) / 0.32);
  return 0;
}

std::vector<double> Decimated(const std::vector<std::int32_t>& samples, std::uint32_t rate, std::size_t first,
                              std::size_t end) {
  // Low-pass at 5 kHz (a Blackman-windowed sinc), then read off at 11025 Hz.
  constexpr int Half = 50;
  const double cutoff = 5000.0 / rate;
  std::vector<double> taps(2 * Half + 1);
  for (int i = -Half; i <= Half; ++i) {
    const double sinc = i == 0 ? 2 * cutoff : std::sin(2 * Pi * cutoff * i) / (Pi * i);
    const double w = 0.42 + 0.5 * std::cos(Pi * i / Half) + 0.08 * std::cos(2 * Pi * i / Half);
    taps[static_cast<std::size_t>(i + Half)] = sinc * w;
  }
  const auto filtered = [&](std::int64_t n) {
    double sum = 0;
    for (int i = -Half; i <= Half; ++i) {
      const std::int64_t at = n + i;
      if (at >= 0 && at < static_cast<std::int64_t>(samples.size()))
        sum += taps[static_cast<std::size_t>(i + Half)] * samples[static_cast<std::size_t>(at)];
    }
    return sum;
  };
  std::vector<double> out;
  for (double t = static_cast<double>(first); t + 1 < static_cast<double>(end); t += rate / LpcRate) {
    const auto n = static_cast<std::int64_t>(t);
    const double frac = t - static_cast<double>(n);
    out.push_back((1 - frac) * filtered(n) + frac * filtered(n + 1));
  }
  return out;
}

// The autocorrelation of one frame (pre-emphasised, Hamming-windowed), lags 0 .. LpcOrder.
std::array<double, LpcOrder + 1> FrameCorrelation(const double* x, std::size_t length) {
  std::vector<double> w(length);
  for (std::size_t i = 0; i < length; ++i) {
    const double pre = x[i] - (i > 0 ? 0.97 * x[i - 1] : 0.0);
    w[i] = pre * (0.54 - 0.46 * std::cos(2 * Pi * static_cast<double>(i) / static_cast<double>(length - 1)));
  }
  std::array<double, LpcOrder + 1> r{};
  for (int lag = 0; lag <= LpcOrder; ++lag)
    for (std::size_t i = static_cast<std::size_t>(lag); i < length; ++i) r[lag] += w[i] * w[i - lag];
  return r;
}

// The resonances of the all-pole model of an autocorrelation, lowest first.
std::vector<double> Resonances(const std::array<double, LpcOrder + 1>& r) {
  if (!(r[0] > 0)) return {};
  // Levinson-Durbin.
  std::array<double, LpcOrder + 1> a{};
  a[0] = 1;
  double error = r[0];
  for (int i = 1; i <= LpcOrder; ++i) {
    double acc = r[i];
    for (int j = 1; j < i; ++j) acc += a[j] * r[i - j];
    const double k = -acc / error;
    std::array<double, LpcOrder + 1> next = a;
    for (int j = 1; j < i; ++j) next[j] = a[j] + k * a[i - j];
    next[i] = k;
    a = next;
    error *= 1 - k * k;
    if (!(error > 0)) return {};
  }
  // The roots of z^p + a1 z^(p-1) + ... + ap (Durand-Kerner).
  using C = std::complex<double>;
  std::array<C, LpcOrder> roots;
  for (int i = 0; i < LpcOrder; ++i) roots[i] = std::pow(C(0.4, 0.9), i);
  const auto value = [&](C z) {
    C v = 1;
    for (int i = 1; i <= LpcOrder; ++i) v = v * z + a[i];
    return v;
  };
  for (int round = 0; round < 500; ++round) {
    for (int i = 0; i < LpcOrder; ++i) {
      C d = 1;
      for (int j = 0; j < LpcOrder; ++j)
        if (j != i) d *= roots[i] - roots[j];
      if (std::abs(d) > 0) roots[i] -= value(roots[i]) / d;
    }
  }
  std::vector<double> formants;
  for (const C& z : roots) {
    if (z.imag() <= 0) continue;
    const double f = std::arg(z) * LpcRate / (2 * Pi);
    const double b = -std::log(std::abs(z)) * LpcRate / Pi;
    if (f > 90 && f < 4000 && b < 600) formants.push_back(f);
  }
  std::sort(formants.begin(), formants.end());
  return formants;
}

}  // namespace

std::vector<std::int32_t> SungVowel(const Vowel& vowel, double f0, double vibratoCents, double seconds,
                                    std::uint32_t rate, double silence) {
  const auto gap = static_cast<std::size_t>(silence * rate);
  const auto count = static_cast<std::size_t>(seconds * rate);
  std::vector<double> voice(count);
  double phase = 0;
  double flowBefore = 0;
  std::array<std::array<double, 2>, 5> state{};
  for (std::size_t n = 0; n < count; ++n) {
    const double t = static_cast<double>(n) / rate;
    phase += f0 * std::exp2(vibratoCents * std::sin(2 * Pi * 5.5 * t) / 1200) / rate;
    phase -= std::floor(phase);
    const double flow = GlottalFlow(phase);
    double x = flow - flowBefore;  // the flow's derivative excites the tract
    flowBefore = flow;
    for (std::size_t f = 0; f < 5; ++f) {
      const double r = std::exp(-Pi * vowel.bandwidths[f] / rate);
      const double c = 2 * r * std::cos(2 * Pi * vowel.formants[f] / rate);
      const double y = (1 - c + r * r) * x + c * state[f][0] - r * r * state[f][1];
      state[f][1] = state[f][0];
      state[f][0] = y;
      x = y;
    }
    voice[n] = x;
  }
  double peak = 0;
  for (const double v : voice) peak = std::max(peak, std::abs(v));
  std::vector<std::int32_t> samples(gap, 0);
  for (std::size_t n = 0; n < count; ++n) {
    // Faded in and out over 20 ms, as a voice starts and stops.
    const double t = static_cast<double>(n) / rate;
    const double fade = std::min({1.0, t / 0.02, (seconds - t) / 0.02});
    samples.push_back(static_cast<std::int32_t>(std::lround(8000 * fade * voice[n] / peak)));
  }
  samples.resize(samples.size() + gap, 0);
  return samples;
}

std::array<double, 3> MeasuredFormants(const std::vector<std::int32_t>& samples, std::uint32_t rate,
                                       std::size_t first, std::size_t end) {
  // The frames' correlations summed: the vibrato sweeps the harmonics across the envelope, so
  // the sum is the envelope's rather than any one harmonic's.
  const std::vector<double> x = Decimated(samples, rate, first, end);
  const auto frame = static_cast<std::size_t>(0.04 * LpcRate);
  const auto hop = static_cast<std::size_t>(0.01 * LpcRate);
  std::array<double, LpcOrder + 1> sum{};
  for (std::size_t at = 0; at + frame <= x.size(); at += hop) {
    const std::array<double, LpcOrder + 1> r = FrameCorrelation(x.data() + at, frame);
    for (int lag = 0; lag <= LpcOrder; ++lag) sum[lag] += r[lag];
  }
  const std::vector<double> formants = Resonances(sum);
  std::array<double, 3> found{};
  for (std::size_t f = 0; f < 3 && f < formants.size(); ++f) found[f] = formants[f];
  return found;
}

}  // namespace vocara::test
