#include "engine/processing/NoiseKernels.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "engine/wav/SampleAccess.h"

#if defined(__x86_64__) || defined(__i386__)
#include <emmintrin.h>
#define VOCARA_X86_KERNELS 1
#endif

namespace vocara {
namespace {

std::int32_t ClampSum(std::int32_t a, std::int32_t b) {
  const std::int64_t sum = std::int64_t{a} + b;
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(sum, std::numeric_limits<std::int32_t>::min(),
                                                            std::numeric_limits<std::int32_t>::max()));
}

std::uint8_t* AppendSumsPlain(const std::int32_t* overlap, const std::int32_t* v, std::size_t count,
                              unsigned blockAlign, std::uint8_t* out) {
  const unsigned shift = 8 * (4 - blockAlign);
  for (std::size_t i = 0; i < count; ++i) {
    const auto stored = static_cast<std::uint32_t>(ClampSum(overlap[i], v[i]) >> shift);
    for (unsigned byte = 0; byte < blockAlign; ++byte)
      *out++ = static_cast<std::uint8_t>(stored >> (8 * byte));
  }
  return out;
}

void WindowPlain(const std::int32_t* samples, const double* window, std::uint32_t n, double* b) {
  for (std::uint32_t i = 0; i < n; ++i) b[i] = static_cast<double>(samples[i]) * window[i];
}

void SubtractBin(const double* t, std::uint32_t k, double* b) {
  const double re = b[2 * k];
  const double im = b[2 * k + 1];
  const double p = re * re + im * im;
  const double threshold = t[k + 1];
  if (p > threshold) {
    const double f = std::sqrt(1.0 - threshold / p);
    b[2 * k] = re * f;
    b[2 * k + 1] = im * f;
  } else {
    b[2 * k] = 0.0;
    b[2 * k + 1] = 0.0;
  }
}

void SubtractPlain(const double* t, std::uint32_t n, double* b) {
  for (std::uint32_t k = 1; k < n / 2; ++k) SubtractBin(t, k, b);
}

// Multiplying by 2/n, a power of two, rounds exactly as multiplying by 2 and dividing by n does.
void DetrendPlain(const double* b, std::uint32_t n, std::int32_t* values) {
  const double a = b[0];
  const double s = (b[n - 1] - b[0]) / static_cast<double>(n - 1);
  const double scale = 2.0 / static_cast<double>(n);
  for (std::uint32_t i = 0; i < n; ++i)
    values[i] = ToSample((b[i] - (a + static_cast<double>(i) * s)) * scale);
}

#ifdef VOCARA_X86_KERNELS

__attribute__((target("sse2"))) std::uint8_t* AppendSumsVector(const std::int32_t* overlap,
                                                               const std::int32_t* v, std::size_t count,
                                                               unsigned blockAlign, std::uint8_t* out) {
  std::size_t i = 0;
  if (blockAlign == 2) {
    // A wrapped sum is one whose sign differs from both addends'; it becomes the bound on their side.
    const auto sums = [](const std::int32_t* x, const std::int32_t* y) {
      const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(x));
      const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(y));
      const __m128i sum = _mm_add_epi32(a, b);
      const __m128i wrapped =
          _mm_srai_epi32(_mm_andnot_si128(_mm_xor_si128(a, b), _mm_xor_si128(a, sum)), 31);
      const __m128i bound = _mm_xor_si128(_mm_srai_epi32(a, 31), _mm_set1_epi32(0x7FFFFFFF));
      const __m128i clamped = _mm_or_si128(_mm_and_si128(wrapped, bound), _mm_andnot_si128(wrapped, sum));
      return _mm_srai_epi32(clamped, 16);
    };
    for (; i + 8 <= count; i += 8, out += 16) {
      const __m128i stored = _mm_packs_epi32(sums(overlap + i, v + i), sums(overlap + i + 4, v + i + 4));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out), stored);
    }
  }
  return AppendSumsPlain(overlap + i, v + i, count - i, blockAlign, out);
}

__attribute__((target("sse2"))) void WindowVector(const std::int32_t* samples, const double* window,
                                                  std::uint32_t n, double* b) {
  for (std::uint32_t i = 0; i < n; i += 2) {
    const __m128d x = _mm_cvtepi32_pd(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(samples + i)));
    _mm_storeu_pd(b + i, _mm_mul_pd(x, _mm_loadu_pd(window + i)));
  }
}

// Bins k and k + 1 at once; a silenced bin is masked to +0 exactly as the plain loop writes it.
__attribute__((target("sse2"))) void SubtractVector(const double* t, std::uint32_t n, double* b) {
  std::uint32_t k = 1;
  const __m128d one = _mm_set1_pd(1.0);
  for (; k + 1 < n / 2; k += 2) {
    const __m128d x0 = _mm_loadu_pd(b + 2 * k);
    const __m128d x1 = _mm_loadu_pd(b + 2 * k + 2);
    const __m128d s0 = _mm_mul_pd(x0, x0);
    const __m128d s1 = _mm_mul_pd(x1, x1);
    const __m128d p = _mm_add_pd(_mm_unpacklo_pd(s0, s1), _mm_unpackhi_pd(s0, s1));
    const __m128d threshold = _mm_loadu_pd(t + k + 1);
    const __m128d f = _mm_sqrt_pd(_mm_sub_pd(one, _mm_div_pd(threshold, p)));
    const __m128d keep = _mm_cmpgt_pd(p, threshold);
    const __m128d f0 = _mm_unpacklo_pd(f, f);
    const __m128d f1 = _mm_unpackhi_pd(f, f);
    _mm_storeu_pd(b + 2 * k, _mm_and_pd(_mm_unpacklo_pd(keep, keep), _mm_mul_pd(x0, f0)));
    _mm_storeu_pd(b + 2 * k + 2, _mm_and_pd(_mm_unpackhi_pd(keep, keep), _mm_mul_pd(x1, f1)));
  }
  for (; k < n / 2; ++k) SubtractBin(t, k, b);
}

__attribute__((target("sse2"))) void DetrendVector(const double* b, std::uint32_t n, std::int32_t* values) {
  const double a = b[0];
  const double s = (b[n - 1] - b[0]) / static_cast<double>(n - 1);
  const double scale = 2.0 / static_cast<double>(n);
  const __m128d va = _mm_set1_pd(a);
  const __m128d vs = _mm_set1_pd(s);
  const __m128d vscale = _mm_set1_pd(scale);
  const __m128d two = _mm_set1_pd(2.0);
  const __m128d low = _mm_set1_pd(-2147483648.0);
  const __m128d high = _mm_set1_pd(2147483647.0);
  __m128d index = _mm_set_pd(1.0, 0.0);
  for (std::uint32_t i = 0; i < n; i += 2) {
    __m128d v = _mm_sub_pd(_mm_loadu_pd(b + i), _mm_add_pd(va, _mm_mul_pd(index, vs)));
    v = _mm_mul_pd(v, vscale);
    v = _mm_and_pd(v, _mm_cmpord_pd(v, v));  // NaN gives 0
    v = _mm_min_pd(_mm_max_pd(v, low), high);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(values + i), _mm_cvttpd_epi32(v));
    index = _mm_add_pd(index, two);
  }
}

#endif

}  // namespace

bool NoiseKernelPathAvailable(NoiseKernelPath path) {
  if (path == NoiseKernelPath::Plain) return true;
#ifdef VOCARA_X86_KERNELS
  return __builtin_cpu_supports("sse2");
#else
  return false;
#endif
}

NoiseKernelPath BestNoiseKernelPath() {
  static const NoiseKernelPath best =
      NoiseKernelPathAvailable(NoiseKernelPath::Vector) ? NoiseKernelPath::Vector : NoiseKernelPath::Plain;
  return best;
}

void NoiseWindow(NoiseKernelPath path, const std::int32_t* samples, const double* window, std::uint32_t n,
                 double* b) {
#ifdef VOCARA_X86_KERNELS
  if (path == NoiseKernelPath::Vector) return WindowVector(samples, window, n, b);
#endif
  (void)path;
  return WindowPlain(samples, window, n, b);
}

void NoiseSubtract(NoiseKernelPath path, const double* t, std::uint32_t n, double* b) {
#ifdef VOCARA_X86_KERNELS
  if (path == NoiseKernelPath::Vector) return SubtractVector(t, n, b);
#endif
  (void)path;
  return SubtractPlain(t, n, b);
}

void NoiseDetrend(NoiseKernelPath path, const double* b, std::uint32_t n, std::int32_t* values) {
#ifdef VOCARA_X86_KERNELS
  if (path == NoiseKernelPath::Vector) return DetrendVector(b, n, values);
#endif
  (void)path;
  return DetrendPlain(b, n, values);
}

std::uint8_t* NoiseAppendSums(NoiseKernelPath path, const std::int32_t* overlap, const std::int32_t* v,
                              std::size_t count, unsigned blockAlign, std::uint8_t* out) {
#ifdef VOCARA_X86_KERNELS
  if (path == NoiseKernelPath::Vector) return AppendSumsVector(overlap, v, count, blockAlign, out);
#endif
  (void)path;
  return AppendSumsPlain(overlap, v, count, blockAlign, out);
}

}  // namespace vocara
