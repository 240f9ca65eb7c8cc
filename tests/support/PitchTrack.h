// An analysis of its own for checking what the render sang: a plain YIN pitch tracker
// (difference function, cumulative mean normalisation, first dip under a threshold, parabolic
// refinement), sharing nothing with the Build's analysis, so that a fault there cannot hide
// the same fault in the result.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace vocara::test {

struct PitchTrack {
  double hop = 0;             // seconds between values; value i is centred at i x hop
  std::vector<double> cents;  // cents above A0 (27.5 Hz); 0 where no pitch was found
};

// Pitches between lowestHz and highestHz, every `hop` seconds.
PitchTrack TrackPitch(std::span<const std::int32_t> values, double rate, double lowestHz, double highestHz,
                      double hop = 0.005);

// Figures over t0 <= t < t1 of a track: the median pitch, and the vibrato depth as sqrt(2) x the
// root mean square of the pitch about its least-squares line (a sine of +-d cents gives d).
// NaN when under half of the stretch has a pitch.
struct HeldFigures {
  double centre;
  double depth;
};
HeldFigures MeasureHeld(const PitchTrack& track, double t0, double t1);

// Three normal equations of a least-squares fit, each row its three coefficients and then its
// right-hand side, brought to diagonal form in place (Gauss-Jordan): unknown r is then
// m[r][3] / m[r][r] for each r whose m[r][r] is not 0. False when any of them is 0.
bool SolveNormalEquations(double (&m)[3][4]);

}  // namespace vocara::test
