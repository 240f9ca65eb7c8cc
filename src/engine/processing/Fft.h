// The program's own transforms: a radix-2 complex FFT and the real FFT built on it, with the
// packing, sign and scaling every spectrum, noise profile and noise removal relies on, and
// the window functions of the spectrum window.
//
// RealFft forward over n real values leaves X_0 in value 0, X_(n/2) in value 1 and the real
// and imaginary parts of X_k in values 2k and 2k + 1 (1 <= k < n/2), with
// X_k = sum x_j e^(+2 pi i jk/n); no scaling, so the inverse of a forward transform gives
// n/2 times the input.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace vocara {

// In place over count complex values stored as (re, im) pairs; direction +1 or -1; count a
// power of two.
void ComplexFft(int direction, std::uint32_t count, std::span<double> data);

// In place over n real values; n a power of two, at least 4.
void RealFft(int direction, std::uint32_t n, std::span<double> data);

// The two above run from twiddle tables built on first use, once per block length and
// direction, and shared by every thread. Building them here first keeps the first transform of
// n real values in `direction` (or of n/2 complex values) from allocating.
void PrepareFft(int direction, std::uint32_t n);

// The plain loops of the two transforms, stage after stage with the twiddle recurrence inline:
// what the fast versions above reproduce bit for bit.
void ComplexFftReference(int direction, std::uint32_t count, std::span<double> data);
void RealFftReference(int direction, std::uint32_t n, std::span<double> data);

inline constexpr int WindowKindCount = 8;

// Square, triangular (Bartlett), parabolic (Welch), Parzen, Lanczos, Hann, Hamming, Blackman:
// the factor that makes a sine lying on a bin read its amplitude.
inline constexpr std::array<double, WindowKindCount> WindowAmplitude{
    1.9989945057636012, 3.4643072424807206, 2.7387543323670096, 3.8517537034611857,
    2.9769081236845785, 3.2661486554899057, 3.1728958544529213, 3.6239893599672395};

inline constexpr int HannWindow = 5;

// n values of the window function of `kind`, with x = (j - n/2) / (n/2) for j = 0 .. n-1.
void ComputeWindowTable(int kind, std::uint32_t n, std::span<double> table);

}  // namespace vocara
