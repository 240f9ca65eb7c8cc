// One template per loop, written with the compiler's generic vector types and instantiated
// three times: inside functions compiled for AVX-512 (8 doubles), for AVX2 (4 doubles) and
// for the baseline instruction set (2 doubles). The templates are always inlined into those
// functions, so each copy is compiled for its own instruction set; vectors never cross a
// function boundary by value. Floating-point contraction is off for the whole core, so a
// multiply followed by an add stays two rounded operations on every processor.
//
// The per-frame loop masks by a bit operation with a mask that is fixed over the call: outside
// its slots a lane adds +0, which leaves its sums exactly as they are (x + 0 = x, and the sums
// never hold -0). Comparing slot numbers inside the loop would be simpler, but compilers turn
// 64-bit vector comparisons of the generic vector types into scalar code.

#include "engine/sas/AnalysisKernels.h"

#include <cstring>

#if (defined(__GNUC__) || defined(__clang__)) && defined(__x86_64__)
#define VOCARA_X86_KERNELS 1
#endif

namespace vocara {
namespace {

// Chains per width: enough independent rotations in flight to cover the latency of a
// multiply followed by an add, within the vector registers the width has (32 for AVX-512,
// 16 for AVX2 and SSE2). Of 2, 3 and 4 chains, 3 was the fastest for every width.
constexpr int Avx512Chains = 3;
constexpr int Avx2Chains = 3;
constexpr int PortableChains = 3;

typedef double D2 __attribute__((vector_size(16)));
typedef double D4 __attribute__((vector_size(32)));
typedef double D8 __attribute__((vector_size(64)));
typedef long long I2 __attribute__((vector_size(16)));
typedef long long I4 __attribute__((vector_size(32)));
typedef long long I8 __attribute__((vector_size(64)));

template <class D, class I, int V, int C>
[[gnu::always_inline]] inline void Steps(const double* x, std::size_t steps, double cosStep, double sinStep,
                                         double* state) {
  constexpr int F = V * C;
  D sumRe[C], sumIm[C], re[C], im[C];
  for (int ch = 0; ch < C; ++ch) {
    std::memcpy(&sumRe[ch], state + ch * V, sizeof(D));
    std::memcpy(&sumIm[ch], state + F + ch * V, sizeof(D));
    std::memcpy(&re[ch], state + 2 * F + ch * V, sizeof(D));
    std::memcpy(&im[ch], state + 3 * F + ch * V, sizeof(D));
  }
  D c, s;
  for (int l = 0; l < V; ++l) {
    c[l] = cosStep;
    s[l] = sinStep;
  }
  for (std::size_t t = 0; t < steps; ++t) {
    const double* row = x + t * F;
    for (int ch = 0; ch < C; ++ch) {
      D v;
      std::memcpy(&v, row + ch * V, sizeof(D));
      sumRe[ch] = sumRe[ch] + v * re[ch];
      sumIm[ch] = sumIm[ch] + v * im[ch];
      const D nextRe = c * re[ch] - s * im[ch];
      const D nextIm = s * re[ch] + c * im[ch];
      re[ch] = nextRe;
      im[ch] = nextIm;
    }
  }
  for (int ch = 0; ch < C; ++ch) {
    std::memcpy(state + ch * V, &sumRe[ch], sizeof(D));
    std::memcpy(state + F + ch * V, &sumIm[ch], sizeof(D));
    std::memcpy(state + 2 * F + ch * V, &re[ch], sizeof(D));
    std::memcpy(state + 3 * F + ch * V, &im[ch], sizeof(D));
  }
}

template <class D, class I, int V, int C>
[[gnu::always_inline]] inline void StepsPerFrame(const double* x, std::size_t steps, const double* cosStep,
                                                 const double* sinStep, const std::uint64_t* mask,
                                                 double* state) {
  constexpr int F = V * C;
  D sumRe[C], sumIm[C], re[C], im[C], c[C], s[C];
  I keep[C];
  for (int ch = 0; ch < C; ++ch) {
    std::memcpy(&sumRe[ch], state + ch * V, sizeof(D));
    std::memcpy(&sumIm[ch], state + F + ch * V, sizeof(D));
    std::memcpy(&re[ch], state + 2 * F + ch * V, sizeof(D));
    std::memcpy(&im[ch], state + 3 * F + ch * V, sizeof(D));
    std::memcpy(&c[ch], cosStep + ch * V, sizeof(D));
    std::memcpy(&s[ch], sinStep + ch * V, sizeof(D));
    std::memcpy(&keep[ch], mask + ch * V, sizeof(I));
  }
  for (std::size_t t = 0; t < steps; ++t) {
    const double* row = x + t * F;
    for (int ch = 0; ch < C; ++ch) {
      D v;
      std::memcpy(&v, row + ch * V, sizeof(D));
      const D masked = (D)((I)v & keep[ch]);
      sumRe[ch] = sumRe[ch] + masked * re[ch];
      sumIm[ch] = sumIm[ch] + masked * im[ch];
      const D nextRe = c[ch] * re[ch] - s[ch] * im[ch];
      const D nextIm = s[ch] * re[ch] + c[ch] * im[ch];
      re[ch] = nextRe;
      im[ch] = nextIm;
    }
  }
  for (int ch = 0; ch < C; ++ch) {
    std::memcpy(state + ch * V, &sumRe[ch], sizeof(D));
    std::memcpy(state + F + ch * V, &sumIm[ch], sizeof(D));
    std::memcpy(state + 2 * F + ch * V, &re[ch], sizeof(D));
    std::memcpy(state + 3 * F + ch * V, &im[ch], sizeof(D));
  }
}

void StepsPortable(const double* x, std::size_t steps, double cosStep, double sinStep, double* state) {
  Steps<D2, I2, 2, PortableChains>(x, steps, cosStep, sinStep, state);
}

void StepsPerFramePortable(const double* x, std::size_t steps, const double* cosStep, const double* sinStep,
                           const std::uint64_t* mask, double* state) {
  StepsPerFrame<D2, I2, 2, PortableChains>(x, steps, cosStep, sinStep, mask, state);
}

#ifdef VOCARA_X86_KERNELS
__attribute__((target("avx2"))) void StepsAvx2(const double* x, std::size_t steps, double cosStep,
                                               double sinStep, double* state) {
  Steps<D4, I4, 4, Avx2Chains>(x, steps, cosStep, sinStep, state);
}

__attribute__((target("avx2"))) void StepsPerFrameAvx2(const double* x, std::size_t steps,
                                                       const double* cosStep, const double* sinStep,
                                                       const std::uint64_t* mask, double* state) {
  StepsPerFrame<D4, I4, 4, Avx2Chains>(x, steps, cosStep, sinStep, mask, state);
}

__attribute__((target("avx512f"))) void StepsAvx512(const double* x, std::size_t steps, double cosStep,
                                                    double sinStep, double* state) {
  Steps<D8, I8, 8, Avx512Chains>(x, steps, cosStep, sinStep, state);
}

__attribute__((target("avx512f"))) void StepsPerFrameAvx512(const double* x, std::size_t steps,
                                                            const double* cosStep, const double* sinStep,
                                                            const std::uint64_t* mask, double* state) {
  StepsPerFrame<D8, I8, 8, Avx512Chains>(x, steps, cosStep, sinStep, mask, state);
}
#endif

}  // namespace

bool KernelWidthAvailable(KernelWidth width) {
  switch (width) {
    case KernelWidth::Portable:
      return true;
#ifdef VOCARA_X86_KERNELS
    case KernelWidth::Avx2:
      return __builtin_cpu_supports("avx2");
    case KernelWidth::Avx512:
      return __builtin_cpu_supports("avx512f");
#else
    default:
      return false;
#endif
  }
  return false;
}

KernelWidth BestKernelWidth() {
  static const KernelWidth best = KernelWidthAvailable(KernelWidth::Avx512) ? KernelWidth::Avx512
                                  : KernelWidthAvailable(KernelWidth::Avx2) ? KernelWidth::Avx2
                                                                            : KernelWidth::Portable;
  return best;
}

KernelShape ShapeOf(KernelWidth width) {
  switch (width) {
    case KernelWidth::Avx512:
      return {8, Avx512Chains};
    case KernelWidth::Avx2:
      return {4, Avx2Chains};
    case KernelWidth::Portable:
      break;
  }
  return {2, PortableChains};
}

void PhasorSteps(KernelWidth width, const double* x, std::size_t steps, double cosStep, double sinStep,
                 double* state) {
  switch (width) {
#ifdef VOCARA_X86_KERNELS
    case KernelWidth::Avx512:
      StepsAvx512(x, steps, cosStep, sinStep, state);
      return;
    case KernelWidth::Avx2:
      StepsAvx2(x, steps, cosStep, sinStep, state);
      return;
#endif
    default:
      StepsPortable(x, steps, cosStep, sinStep, state);
      return;
  }
}

void PhasorStepsPerFrame(KernelWidth width, const double* x, std::size_t steps, const double* cosStep,
                         const double* sinStep, const std::uint64_t* mask, double* state) {
  switch (width) {
#ifdef VOCARA_X86_KERNELS
    case KernelWidth::Avx512:
      StepsPerFrameAvx512(x, steps, cosStep, sinStep, mask, state);
      return;
    case KernelWidth::Avx2:
      StepsPerFrameAvx2(x, steps, cosStep, sinStep, mask, state);
      return;
#endif
    default:
      StepsPerFramePortable(x, steps, cosStep, sinStep, mask, state);
      return;
  }
}

}  // namespace vocara
