#include "support/PitchTrack.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace vocara::test {

PitchTrack TrackPitch(std::span<const std::int32_t> values, double rate, double lowestHz, double highestHz,
                      double hop) {
  constexpr double Threshold = 0.15;
  const auto tauMin = static_cast<std::size_t>(std::floor(rate / highestHz));
  const auto tauMax = static_cast<std::size_t>(std::ceil(rate / lowestHz)) + 1;
  const std::size_t window = 2 * tauMax;
  PitchTrack track;
  track.hop = hop;
  std::vector<double> d(tauMax + 2);
  for (double t = 0;; t += hop) {
    const auto centre = static_cast<std::int64_t>(std::lround(t * rate));
    const std::int64_t begin = centre - static_cast<std::int64_t>(window / 2 + tauMax / 2);
    if (centre >= static_cast<std::int64_t>(values.size())) break;
    double found = 0;
    if (begin >= 0 && begin + static_cast<std::int64_t>(window + tauMax + 1) <= std::ssize(values)) {
      const std::int32_t* x = values.data() + begin;
      double energy = 0;
      for (std::size_t j = 0; j < window; ++j) energy += double(x[j]) * x[j];
      double sum = 0;
      d[0] = 1;
      for (std::size_t tau = 1; tau <= tauMax + 1; ++tau) {
        double s = 0;
        for (std::size_t j = 0; j < window; ++j) {
          const double e = double(x[j]) - x[j + tau];
          s += e * e;
        }
        sum += s;
        d[tau] = sum > 0 ? s * static_cast<double>(tau) / sum : 1;
      }
      if (energy > window * 100.0) {  // above about -50 dB of full scale
        for (std::size_t tau = std::max<std::size_t>(tauMin, 2); tau <= tauMax; ++tau) {
          if (d[tau] >= Threshold) continue;
          while (tau + 1 <= tauMax && d[tau + 1] < d[tau]) ++tau;
          const double a = d[tau - 1], b = d[tau], c = d[tau + 1];
          const double shift = (a - 2 * b + c) != 0 ? 0.5 * (a - c) / (a - 2 * b + c) : 0;
          const double hz = rate / (static_cast<double>(tau) + shift);
          found = 1200 * std::log2(hz / 27.5);
          break;
        }
      }
    }
    track.cents.push_back(found);
  }
  return track;
}

HeldFigures MeasureHeld(const PitchTrack& track, double t0, double t1) {
  constexpr double Nan = std::numeric_limits<double>::quiet_NaN();
  std::vector<double> ts;
  std::vector<double> ps;
  std::size_t total = 0;
  for (std::size_t i = 0; i < track.cents.size(); ++i) {
    const double t = static_cast<double>(i) * track.hop;
    if (t < t0 || t >= t1) continue;
    ++total;
    if (track.cents[i] > 0) {
      ts.push_back(t);
      ps.push_back(track.cents[i]);
    }
  }
  if (ps.empty() || 2 * ps.size() < total) return {Nan, Nan};
  std::vector<double> sorted = ps;
  std::nth_element(sorted.begin(), sorted.begin() + static_cast<std::ptrdiff_t>(sorted.size() / 2),
                   sorted.end());
  const double centre = sorted[sorted.size() / 2];
  const auto n = static_cast<double>(ps.size());
  double mt = 0, mp = 0;
  for (std::size_t i = 0; i < ps.size(); ++i) mt += ts[i] / n, mp += ps[i] / n;
  double stt = 0, stp = 0;
  for (std::size_t i = 0; i < ps.size(); ++i) {
    stt += (ts[i] - mt) * (ts[i] - mt);
    stp += (ts[i] - mt) * (ps[i] - mp);
  }
  const double slope = stt > 0 ? stp / stt : 0;
  double square = 0;
  for (std::size_t i = 0; i < ps.size(); ++i) {
    const double r = ps[i] - mp - slope * (ts[i] - mt);
    square += r * r / n;
  }
  return {centre, std::sqrt(2 * square)};
}

bool SolveNormalEquations(double (&m)[3][4]) {
  for (int c = 0; c < 3; ++c)
    for (int r = 0; r < 3; ++r) {
      if (r == c || m[c][c] == 0) continue;
      const double f = m[r][c] / m[c][c];
      for (int k = 0; k < 4; ++k) m[r][k] -= f * m[c][k];
    }
  return m[0][0] != 0 && m[1][1] != 0 && m[2][2] != 0;
}

}  // namespace vocara::test
