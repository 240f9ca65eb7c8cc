// The 16- and 32-bit loops are plain loops the compiler vectorises. The 16-bit loop works on
// the stored values and left-aligns once per run: the extremes shift by 16 unchanged, and the
// wrap-around sum of v x 2^16 equals (sum of v) x 2^16 modulo 2^32.
//
// Three-byte samples defeat the compiler's vectoriser, and the plain loop runs at about a
// third of the speed of reading the file. On processors with AVX2 a hand-written path takes
// 8 samples per step: two 12-byte groups are loaded into the two halves of a register and a
// byte shuffle puts each sample into the upper three bytes of its 32-bit lane, with a zero
// byte below, which is exactly its left-aligned value. The plain loop stays as the fallback
// and as the reference in the tests.

#include "engine/wav/ScanKernels.h"

#include <algorithm>
#include <bit>
#include <cstring>

#if (defined(__GNUC__) || defined(__clang__)) && defined(__x86_64__)
#define VOCARA_AVX2_SCAN 1
#include <immintrin.h>
#endif

namespace vocara {
namespace {

// The loops load sample bytes with native loads; the stored order is little-endian.
static_assert(std::endian::native == std::endian::little, "sample loops assume a little-endian host");

void Merge(RunState& state, std::uint32_t sum, std::int32_t lo, std::int32_t hi) {
  state.sum += sum;
  state.min = std::min(state.min, lo);
  state.max = std::max(state.max, hi);
}

#ifdef VOCARA_AVX2_SCAN
__attribute__((target("avx2"))) std::size_t ScanRun24Avx2(const std::uint8_t* p, std::size_t n,
                                                          RunState& state) {
  // Per 16-byte half: lane k takes bytes 3k..3k+2 above a zero byte (index -1 gives zero).
  const __m256i toLanes = _mm256_setr_epi8(-1, 0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11,  //
                                           -1, 0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11);
  __m256i sum = _mm256_setzero_si256();
  __m256i lo = _mm256_set1_epi32(state.min);
  __m256i hi = _mm256_set1_epi32(state.max);
  std::size_t i = 0;
  // The second 16-byte load of a step ends 28 bytes in, so 10 samples must remain.
  for (; i + 10 <= n; i += 8) {
    const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 3 * i));
    const __m128i second = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 3 * i + 12));
    const __m256i v =
        _mm256_shuffle_epi8(_mm256_inserti128_si256(_mm256_castsi128_si256(first), second, 1), toLanes);
    sum = _mm256_add_epi32(sum, v);
    lo = _mm256_min_epi32(lo, v);
    hi = _mm256_max_epi32(hi, v);
  }
  alignas(32) std::int32_t sums[8];
  alignas(32) std::int32_t lows[8];
  alignas(32) std::int32_t highs[8];
  _mm256_store_si256(reinterpret_cast<__m256i*>(sums), sum);
  _mm256_store_si256(reinterpret_cast<__m256i*>(lows), lo);
  _mm256_store_si256(reinterpret_cast<__m256i*>(highs), hi);
  std::uint32_t total = 0;
  for (std::int32_t s : sums) total += static_cast<std::uint32_t>(s);
  Merge(state, total, *std::min_element(lows, lows + 8), *std::max_element(highs, highs + 8));
  return i;
}

bool HasAvx2() {
  static const bool has = __builtin_cpu_supports("avx2");
  return has;
}
#endif

}  // namespace

void ScanRun16(const std::uint8_t* p, std::size_t n, RunState& state) {
  if (n == 0) return;
  std::uint32_t sum = 0;
  std::int16_t lo = std::numeric_limits<std::int16_t>::max();
  std::int16_t hi = std::numeric_limits<std::int16_t>::min();
  for (std::size_t i = 0; i < n; ++i) {
    std::int16_t v;
    std::memcpy(&v, p + 2 * i, 2);
    sum += static_cast<std::uint32_t>(v);
    lo = v < lo ? v : lo;
    hi = v > hi ? v : hi;
  }
  Merge(state, sum << 16, std::int32_t{lo} * 65536, std::int32_t{hi} * 65536);
}

void ScanRun32(const std::uint8_t* p, std::size_t n, RunState& state) {
  std::uint32_t sum = 0;
  std::int32_t lo = state.min;
  std::int32_t hi = state.max;
  for (std::size_t i = 0; i < n; ++i) {
    std::int32_t v;
    std::memcpy(&v, p + 4 * i, 4);
    sum += static_cast<std::uint32_t>(v);
    lo = v < lo ? v : lo;
    hi = v > hi ? v : hi;
  }
  Merge(state, sum, lo, hi);
}

// Each sample is the 32-bit word ending with its last byte, its lowest byte masked off.
void ScanRun24Plain(const std::uint8_t* p, std::size_t n, RunState& state) {
  std::uint32_t sum = 0;
  std::int32_t lo = state.min;
  std::int32_t hi = state.max;
  for (std::size_t i = 0; i < n; ++i) {
    std::uint32_t word;
    std::memcpy(&word, p + 3 * i - 1, 4);
    const auto v = static_cast<std::int32_t>(word & 0xFFFFFF00u);
    sum += static_cast<std::uint32_t>(v);
    lo = v < lo ? v : lo;
    hi = v > hi ? v : hi;
  }
  Merge(state, sum, lo, hi);
}

bool ScanRun24Vector(const std::uint8_t* p, std::size_t n, RunState& state) {
#ifdef VOCARA_AVX2_SCAN
  if (!HasAvx2()) return false;
  const std::size_t done = ScanRun24Avx2(p, n, state);
  ScanRun24Plain(p + 3 * done, n - done, state);
  return true;
#else
  (void)p;
  (void)n;
  (void)state;
  return false;
#endif
}

void ScanRun24(const std::uint8_t* p, std::size_t n, RunState& state) {
  if (!ScanRun24Vector(p, n, state)) ScanRun24Plain(p, n, state);
}

}  // namespace vocara
