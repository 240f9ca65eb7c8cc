// The inner loops of Remove Noise: windowing a block, reducing its bins, taking the trend out
// of the inverse transform, and adding the overlapping halves into the file's sample width.
//
// Each loop exists twice: a plain one, which states the arithmetic and serves as the oracle,
// and a vector one (two doubles or four sums per instruction on the x86-64 vector unit). Both
// put every element through the same IEEE operations in the same order, with no fused
// multiply-add, so they give the same bits; the vector path is chosen at run time where the
// processor has it. Nothing here allocates.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vocara {

enum class NoiseKernelPath { Plain, Vector };

bool NoiseKernelPathAvailable(NoiseKernelPath path);
// The vector path where this processor runs it, else the plain one.
NoiseKernelPath BestNoiseKernelPath();

// b[i] = samples[i] x window[i] for i < n (n even).
void NoiseWindow(NoiseKernelPath path, const std::int32_t* samples, const double* window, std::uint32_t n,
                 double* b);

// Bins 1 .. n/2 - 1 of a packed real transform keep their phase: with p = re^2 + im^2 above
// the threshold t[k + 1] both parts are multiplied by sqrt(1 - t[k + 1] / p), otherwise both
// become +0.
void NoiseSubtract(NoiseKernelPath path, const double* t, std::uint32_t n, double* b);

// values[i] = (b[i] - (b[0] + i s)) x 2 / n, with s the slope from b[0] to b[n - 1]: clamped to
// the 32-bit range and truncated toward zero; not a number gives 0 (n even, at least 4).
void NoiseDetrend(NoiseKernelPath path, const double* b, std::uint32_t n, std::int32_t* values);

// Appends overlap[i] + v[i], each sum clamped to the 32-bit range, for i < count in the file's
// sample width: the upper blockAlign bytes of each left-aligned sum, little-endian. Returns
// the byte after the last written.
std::uint8_t* NoiseAppendSums(NoiseKernelPath path, const std::int32_t* overlap, const std::int32_t* v,
                              std::size_t count, unsigned blockAlign, std::uint8_t* out);

}  // namespace vocara
