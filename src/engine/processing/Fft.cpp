// Two evaluations of the same transform. The reference functions are the plain loops: one stage
// after another over the whole array, the twiddle advanced by its recurrence inside the loop.
// The fast functions perform exactly the same butterflies on exactly the same doubles, so their
// results are identical bit for bit, and differ only in when and how they do them:
//
// - The twiddles of a stage depend only on its block length m, so each stage's sequence is
//   produced once by the recurrence itself (the same multiplications in the same order) and
//   kept in a table per direction and block length, built on first use.
// - Butterflies of a stage are independent of each other, so two (AVX2) or one (the baseline
//   vector unit) of them run in one vector instruction, each lane doing the plain loop's
//   operations: t = (wr xr - wi xi, wr xi + wi xr), then x_j - t and x_j + t. Contraction is
//   off for the engine, so nothing is fused.
// - A butterfly of block length m needs only the results of the smaller stages within its own
//   block, so the stages run block by block (depth first) rather than stage by stage: a block
//   that fits the first-level cache goes through all of its stages while it is there, and the
//   larger stages combine two finished blocks as soon as both exist.
// - The real transform's split step pairs element i with element n/2 - i; it runs with the
//   twiddle table of block length n, which holds the split step's recurrence values.

#include "engine/processing/Fft.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <memory>
#include <mutex>
#include <numbers>
#include <utility>

#if (defined(__GNUC__) || defined(__clang__)) && defined(__x86_64__)
#define VOCARA_X86_FFT 1
#endif

namespace vocara {
namespace {

// Tables exist for block lengths 2 .. 2^MaxStageLog; longer transforms take the plain loops.
constexpr int MaxStageLog = 21;
// Complex values per block that runs all its stages in one go: 32 KiB of data.
constexpr std::uint32_t LeafCount = 2048;

struct StageTable {
  std::once_flag built;
  std::unique_ptr<double[]> twiddles;  // m/2 values as (re, im)
};
StageTable stageTables[2][MaxStageLog + 1];

int Log2(std::uint32_t n) { return std::countr_zero(n); }

// The twiddles of block length 2^log for direction +1 or -1: the recurrence of the plain loop.
const double* Twiddles(int direction, int log) {
  StageTable& table = stageTables[direction > 0 ? 0 : 1][log];
  std::call_once(table.built, [&] {
    const std::uint32_t m = 1u << log;
    const std::uint32_t half = m / 2;
    table.twiddles = std::make_unique<double[]>(2 * std::size_t{half});
    const double theta = direction * 2.0 * std::numbers::pi / m;
    const double c = std::cos(theta);
    const double s = std::sin(theta);
    double wr = 1.0;
    double wi = 0.0;
    for (std::uint32_t k = 0; k < half; ++k) {
      table.twiddles[2 * k] = wr;
      table.twiddles[2 * k + 1] = wi;
      const double next = wr * c - wi * s;
      wi = wr * s + wi * c;
      wr = next;
    }
  });
  return table.twiddles.get();
}

void BitReverse(std::uint32_t count, double* data) {
  for (std::uint32_t i = 1, j = 0; i < count; ++i) {
    std::uint32_t bit = count >> 1;
    for (; (j & bit) != 0; bit >>= 1) j ^= bit;
    j |= bit;
    if (i < j) {
      std::swap(data[2 * i], data[2 * j]);
      std::swap(data[2 * i + 1], data[2 * j + 1]);
    }
  }
}

typedef double D2 __attribute__((vector_size(16)));
typedef double D4 __attribute__((vector_size(32)));

// The kernels are templates over the vector type, always inlined into functions compiled for
// their instruction set; vectors never cross a function boundary by value.
template <class D>
[[gnu::always_inline]] inline void Load(D& v, const double* p) {
  std::memcpy(&v, p, sizeof(D));
}

template <class D>
[[gnu::always_inline]] inline void Store(double* p, const D& v) {
  std::memcpy(p, &v, sizeof(D));
}

// t = (wr xr - wi xi, wr xi + wi xr) per complex value: the negative lanes are an exact
// negation, so each lane's sum is the plain loop's difference or sum.
template <class D>
[[gnu::always_inline]] inline void Multiply(const D& w, const D& x, D& t) {
  if constexpr (sizeof(D) == 32) {
    const D wr = __builtin_shufflevector(w, w, 0, 0, 2, 2);
    const D wi = __builtin_shufflevector(w, w, 1, 1, 3, 3);
    const D xs = __builtin_shufflevector(x, x, 1, 0, 3, 2);
    const D sign = {-1.0, 1.0, -1.0, 1.0};
    t = wr * x + (wi * xs) * sign;
  } else {
    const D wr = __builtin_shufflevector(w, w, 0, 0);
    const D wi = __builtin_shufflevector(w, w, 1, 1);
    const D xs = __builtin_shufflevector(x, x, 1, 0);
    const D sign = {-1.0, 1.0};
    t = wr * x + (wi * xs) * sign;
  }
}

// One stage of block length m over `count` complex values (m/2 at least the values per vector).
template <class D>
[[gnu::always_inline]] inline void Stage(double* data, std::uint32_t count, std::uint32_t m,
                                         const double* twiddles) {
  constexpr std::uint32_t lanes = sizeof(D) / 16;  // complex values per vector
  const std::uint32_t half = m / 2;
  for (std::uint32_t base = 0; base < count; base += m) {
    double* a = data + 2 * std::size_t{base};
    double* b = a + 2 * std::size_t{half};
    for (std::uint32_t k = 0; k < half; k += lanes) {
      D w, y, x, t;
      Load(w, twiddles + 2 * k);
      Load(y, b + 2 * k);
      Load(x, a + 2 * k);
      Multiply(w, y, t);
      Store(b + 2 * k, x - t);
      Store(a + 2 * k, x + t);
    }
  }
}

// Block length 2 with two values per vector: the pairs (0, 1) and (2, 3) of each group of four.
[[gnu::always_inline]] inline void FirstStagePairs(double* data, std::uint32_t count,
                                                   const double* twiddles) {
  const D4 w = {twiddles[0], twiddles[1], twiddles[0], twiddles[1]};
  for (std::uint32_t j = 0; j < count; j += 4) {
    double* p = data + 2 * std::size_t{j};
    D4 v0, v1, t;
    Load(v0, p);
    Load(v1, p + 4);
    const D4 a = __builtin_shufflevector(v0, v1, 0, 1, 4, 5);  // values 0 and 2
    const D4 b = __builtin_shufflevector(v0, v1, 2, 3, 6, 7);  // values 1 and 3
    Multiply(w, b, t);
    const D4 sum = a + t;
    const D4 difference = a - t;
    Store(p, __builtin_shufflevector(sum, difference, 0, 1, 4, 5));
    Store(p + 4, __builtin_shufflevector(sum, difference, 2, 3, 6, 7));
  }
}

template <class D>
[[gnu::always_inline]] inline void LeafStages(double* data, std::uint32_t count,
                                              const double* const* tables) {
  if constexpr (sizeof(D) == 32) {
    FirstStagePairs(data, count, tables[1]);
  } else {
    Stage<D>(data, count, 2, tables[1]);
  }
  for (int log = 2; (1u << log) <= count; ++log) Stage<D>(data, count, 1u << log, tables[log]);
}

// Every stage, depth first: after leaf block i, each larger block that block i completes is
// combined at once (post-order), so every butterfly still follows the ones it depends on.
template <class D>
[[gnu::always_inline]] inline void AllStages(double* data, std::uint32_t count, const double* const* tables) {
  const std::uint32_t leaf = std::min(count, LeafCount);
  const std::uint32_t leaves = count / leaf;
  for (std::uint32_t i = 0; i < leaves; ++i) {
    LeafStages<D>(data + 2 * std::size_t{i} * leaf, leaf, tables);
    std::uint32_t size = 2 * leaf;
    for (std::uint32_t done = i + 1; done % 2 == 0; done /= 2, size *= 2) {
      const std::uint32_t start = (i + 1) * leaf - size;
      Stage<D>(data + 2 * std::size_t{start}, size, size, tables[Log2(size)]);
    }
  }
}

void AllStagesPortable(double* data, std::uint32_t count, const double* const* tables) {
  AllStages<D2>(data, count, tables);
}

#ifdef VOCARA_X86_FFT
__attribute__((target("avx2"))) void AllStagesAvx2(double* data, std::uint32_t count,
                                                   const double* const* tables) {
  AllStages<D4>(data, count, tables);
}
#endif

bool HasAvx2() {
#ifdef VOCARA_X86_FFT
  static const bool available = __builtin_cpu_supports("avx2");
  return available;
#else
  return false;
#endif
}

bool FastPathFits(int direction, std::uint32_t count) {
  return (direction == 1 || direction == -1) && count >= 4 && std::has_single_bit(count) &&
         Log2(count) <= MaxStageLog;
}

// The real transform's split step for element i and its partner n/2 - i, with the twiddle
// (wr, wi) of element i.
[[gnu::always_inline]] inline void SplitPair(double* data, std::uint32_t n, std::uint32_t i, double sign,
                                             double wr, double wi) {
  const std::uint32_t k = n / 2 - i;
  const double a = data[2 * i];
  const double b = data[2 * i + 1];
  const double cc = data[2 * k];
  const double d = data[2 * k + 1];
  data[2 * i] = 0.5 * ((a + cc) + sign * wr * (b + d) + wi * (a - cc));
  data[2 * i + 1] = 0.5 * (wi * (b + d) - sign * wr * (a - cc) + (b - d));
  data[2 * k] = 0.5 * ((a + cc) - sign * wr * (b + d) - wi * (a - cc));
  data[2 * k + 1] = 0.5 * (wi * (b + d) - sign * wr * (a - cc) - (b - d));
}

// Bins 0 and n/2, packed as data[0] and data[1]: their sum and difference, halved on the
// way back.
void CombineEnds(int direction, double* data) {
  const double a = data[0];
  const double b = data[1];
  data[0] = a + b;
  data[1] = a - b;
  if (direction < 0) {
    data[0] *= 0.5;
    data[1] *= 0.5;
  }
}

void SplitStep(int direction, std::uint32_t n, double* data, const double* twiddles) {
  const double sign = direction > 0 ? 1.0 : -1.0;
  for (std::uint32_t i = 1; i < n / 4; ++i) {
    const double wr = twiddles[2 * i];
    const double wi = twiddles[2 * i + 1];
    SplitPair(data, n, i, sign, wr, wi);
  }
}

}  // namespace

void ComplexFftReference(int direction, std::uint32_t count, std::span<double> data) {
  BitReverse(count, data.data());
  // Butterflies; the twiddle advances by recurrence from one cosine and one sine per stage.
  for (std::uint32_t m = 2; m <= count; m <<= 1) {
    const double theta = direction * 2.0 * std::numbers::pi / m;
    const double c = std::cos(theta);
    const double s = std::sin(theta);
    double wr = 1.0;
    double wi = 0.0;
    const std::uint32_t half = m / 2;
    for (std::uint32_t k = 0; k < half; ++k) {
      for (std::uint32_t j = k; j < count; j += m) {
        const std::uint32_t l = j + half;
        const double tr = wr * data[2 * l] - wi * data[2 * l + 1];
        const double ti = wr * data[2 * l + 1] + wi * data[2 * l];
        data[2 * l] = data[2 * j] - tr;
        data[2 * l + 1] = data[2 * j + 1] - ti;
        data[2 * j] += tr;
        data[2 * j + 1] += ti;
      }
      const double next = wr * c - wi * s;
      wi = wr * s + wi * c;
      wr = next;
    }
  }
}

void RealFftReference(int direction, std::uint32_t n, std::span<double> data) {
  if (direction > 0) ComplexFftReference(1, n / 2, data);
  const double theta = 2.0 * std::numbers::pi / n;
  const double c = std::cos(theta);
  const double s = std::sin(theta);
  const double sign = direction > 0 ? 1.0 : -1.0;
  double wr = 1.0;
  double wi = 0.0;
  for (std::uint32_t i = 1; i < n / 4; ++i) {
    const double next = wr * c - wi * s;
    wi = wr * s + wi * c;
    wr = next;
    SplitPair(data.data(), n, i, sign, wr, wi);
  }
  CombineEnds(direction, data.data());
  if (direction < 0) ComplexFftReference(-1, n / 2, data);
}

void PrepareFft(int direction, std::uint32_t n) {
  if (!FastPathFits(direction, n)) return;
  for (int log = 1; log < Log2(n); ++log) Twiddles(direction, log);
  // The split step always turns the positive way.
  Twiddles(1, Log2(n));
}

void ComplexFft(int direction, std::uint32_t count, std::span<double> data) {
  if (!FastPathFits(direction, count)) {
    ComplexFftReference(direction, count, data);
    return;
  }
  BitReverse(count, data.data());
  const double* tables[MaxStageLog + 1] = {};
  for (int log = 1; log <= Log2(count); ++log) tables[log] = Twiddles(direction, log);
#ifdef VOCARA_X86_FFT
  if (HasAvx2()) {
    AllStagesAvx2(data.data(), count, tables);
    return;
  }
#endif
  AllStagesPortable(data.data(), count, tables);
}

void RealFft(int direction, std::uint32_t n, std::span<double> data) {
  if (!FastPathFits(direction, n)) {
    RealFftReference(direction, n, data);
    return;
  }
  if (direction > 0) ComplexFft(1, n / 2, data);
  SplitStep(direction, n, data.data(), Twiddles(1, Log2(n)));
  CombineEnds(direction, data.data());
  if (direction < 0) ComplexFft(-1, n / 2, data);
}

void ComputeWindowTable(int kind, std::uint32_t n, std::span<double> table) {
  const double half = n / 2.0;
  for (std::uint32_t j = 0; j < n; ++j) {
    const double x = (j - half) / half;
    const double ax = std::fabs(x);
    double w = 1.0;
    switch (kind) {
      case 1:
        w = 1.0 - ax;
        break;
      case 2:
        w = 1.0 - x * x;
        break;
      case 3:
        w = ax <= 0.5 ? 1.0 - 6.0 * x * x * (1.0 - ax) : 2.0 * (1.0 - ax) * (1.0 - ax) * (1.0 - ax);
        break;
      case 4:
        w = x == 0.0 ? 1.0 : std::sin(std::numbers::pi * x) / (std::numbers::pi * x);
        break;
      case 5:
        w = 0.5 + 0.5 * std::cos(std::numbers::pi * x);
        break;
      case 6:
        w = 0.54 + 0.46 * std::cos(std::numbers::pi * x);
        break;
      case 7:
        w = 0.42 + 0.5 * std::cos(std::numbers::pi * x) + 0.08 * std::cos(2.0 * std::numbers::pi * x);
        break;
      default:
        break;
    }
    table[j] = w;
  }
}

}  // namespace vocara
