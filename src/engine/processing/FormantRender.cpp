#include "engine/processing/FormantRender.h"

#include <fftw3.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <complex>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <mutex>
#include <numbers>
#include <span>
#include <utility>
#include <vector>

#include "engine/sas/NoteSegments.h"

namespace vocara::render {
namespace {

// The render's real transforms run on FFTW plans, one forward (real to complex) and one
// inverse (complex to real) per power-of-two length, made with FFTW_ESTIMATE, so that the same
// input gives the same output on every run, and kept for the life of the program. FFTW's
// planner is not safe to call from two threads at once, so the plans are made under a lock, each
// length the first time a render needs it; executing a plan on other arrays than it was made on
// is safe from any thread, as long as they are aligned as FFTW allocates them.
struct RealPlans {
  fftw_plan forward = nullptr;
  fftw_plan inverse = nullptr;
};

RealPlans PlansFor(std::size_t n) {
  static std::mutex lock;
  static std::array<RealPlans, 32> made{};
  const std::lock_guard<std::mutex> held(lock);
  RealPlans& plans = made[static_cast<std::size_t>(std::countr_zero(n))];
  if (!plans.forward) {
    const int length = static_cast<int>(n);
    double* real = fftw_alloc_real(n);
    fftw_complex* bins = fftw_alloc_complex(n / 2 + 1);
    plans.forward = fftw_plan_dft_r2c_1d(length, real, bins, FFTW_ESTIMATE);
    plans.inverse = fftw_plan_dft_c2r_1d(length, bins, real, FFTW_ESTIMATE);
    fftw_free(bins);
    fftw_free(real);
  }
  return plans;
}

// An array in FFTW's own allocation, aligned as its plans expect.
template <typename T>
struct FftwFree {
  void operator()(T* p) const { fftw_free(p); }
};
template <typename T>
using FftwArray = std::unique_ptr<T[], FftwFree<T>>;
FftwArray<double> RealArray(std::size_t n) { return FftwArray<double>(fftw_alloc_real(n)); }
FftwArray<fftw_complex> ComplexArray(std::size_t n) { return FftwArray<fftw_complex>(fftw_alloc_complex(n)); }

// The render's inner loops over runs of points, each point taking the same steps as it would
// alone while all of them take each step together, so that none waits on another. Built twice,
// plain and for AVX2 (no fused multiply-add, so both give the same doubles), and the second
// taken where the processor has it.
namespace kernels {

// The polynomial p (order + 1 coefficients) at count points (re, im) by Horner, into (sr, si).
[[gnu::always_inline]] inline void PolynomialAt(const double* p, int order, const double* re,
                                                const double* im, std::size_t count, double* sr, double* si) {
  std::fill_n(sr, count, p[order]);
  std::fill_n(si, count, 0.0);
  for (int j = order - 1; j >= 0; --j) {
    const double c = p[j];
    for (std::size_t k = 0; k < count; ++k) {
      const double next = sr[k] * re[k] - si[k] * im[k] + c;
      si[k] = sr[k] * im[k] + si[k] * re[k];
      sr[k] = next;
    }
  }
}

// The cosine series rho_0 + 2 sum rho_j cos(j w) at count angles given by their cosines, by
// Clenshaw's recurrence, into out (q: as many values of scratch). The points take up to four
// steps of the recurrence at a time between memory and registers, and so many points go at
// once that the steps of one never wait on its last.
template <int Steps>
[[gnu::always_inline]] inline void ClenshawSteps(const double* rho, int j, const double* cosine,
                                                 std::size_t count, double* p, double* q) {
  for (std::size_t m = 0; m < count; ++m) {
    const double x = 2 * cosine[m];
    double b1 = p[m];
    double b2 = q[m];
    for (int s = 0; s < Steps; ++s) {
      const double next = (rho[j - s] - b2) + x * b1;
      b2 = b1;
      b1 = next;
    }
    p[m] = b1;
    q[m] = b2;
  }
}
[[gnu::always_inline]] inline void CosineSeriesAt(const double* rho, int order, const double* cosine,
                                                  std::size_t count, double* out, double* q) {
  std::fill_n(out, count, 0.0);
  std::fill_n(q, count, 0.0);
  int j = order;
  for (; j >= 4; j -= 4) ClenshawSteps<4>(rho, j, cosine, count, out, q);
  if (j == 3) ClenshawSteps<3>(rho, j, cosine, count, out, q);
  if (j == 2) ClenshawSteps<2>(rho, j, cosine, count, out, q);
  if (j == 1) ClenshawSteps<1>(rho, j, cosine, count, out, q);
  for (std::size_t m = 0; m < count; ++m) out[m] = rho[0] + (2 * cosine[m] * out[m] - 2 * q[m]);
}

// sum over k of Re(v_k z_k^i) for i = 0 .. order, with v_k = (re, im) and z_k = (tr, ti), into
// moments; re and im are turned on in place.
[[gnu::always_inline]] inline void Moments(double* re, double* im, const double* tr, const double* ti,
                                           std::size_t count, int order, double* moments) {
  for (int i = 0; i <= order; ++i) {
    double sum = 0.0;
    for (std::size_t k = 0; k < count; ++k) sum += re[k];
    moments[i] = sum;
    for (std::size_t k = 0; k < count; ++k) {
      const double next = re[k] * tr[k] - im[k] * ti[k];
      im[k] = re[k] * ti[k] + im[k] * tr[k];
      re[k] = next;
    }
  }
}

// sums[s] = sum over i of lead[i] lagged[i + s] for s < shifts, each in the order of i: sixteen
// sums at a time held in registers (four vectors of four) over all the terms. The last block
// reads up to 15 values past lagged[terms + shifts - 2], and those sums are left out.
using Four = double __attribute__((vector_size(32)));
constexpr std::size_t LaggedBlock = 16;
[[gnu::always_inline]] inline void LaggedSums(const double* lead, const double* lagged, std::size_t terms,
                                              std::size_t shifts, double* sums) {
  constexpr std::size_t Vectors = LaggedBlock / 4;
  for (std::size_t s0 = 0; s0 < shifts; s0 += LaggedBlock) {
    std::array<Four, Vectors> acc{};
    for (std::size_t i = 0; i < terms; ++i) {
      const Four v = Four{} + lead[i];
      const double* l = lagged + i + s0;
      for (std::size_t q = 0; q < Vectors; ++q) {
        Four x;
        std::memcpy(&x, l + 4 * q, sizeof x);
        acc[q] += v * x;
      }
    }
    std::array<double, LaggedBlock> all;
    std::memcpy(all.data(), acc.data(), sizeof all);
    std::copy_n(all.begin(), std::min(LaggedBlock, shifts - s0), sums + s0);
  }
}

// The signal x read at first + along j for j < count by cubic (Catmull-Rom) interpolation, into
// out; x must hold the four samples around every point.
[[gnu::always_inline]] inline void CubicAt(const double* x, double first, double along, std::size_t count,
                                           double* out) {
  for (std::size_t j = 0; j < count; ++j) {
    const double at = first + along * static_cast<double>(j);
    const double whole = std::floor(at);
    const auto i = static_cast<std::int64_t>(whole);
    const double t = at - whole;
    const double p0 = x[i - 1], p1 = x[i], p2 = x[i + 1], p3 = x[i + 2];
    out[j] = p1 + 0.5 * t * (p2 - p0 + t * (2 * p0 - 5 * p1 + 4 * p2 - p3 + t * (3 * (p1 - p2) + p3 - p0)));
  }
}

struct Set {
  void (*polynomialAt)(const double*, int, const double*, const double*, std::size_t, double*, double*);
  void (*cosineSeriesAt)(const double*, int, const double*, std::size_t, double*, double*);
  void (*moments)(double*, double*, const double*, const double*, std::size_t, int, double*);
  void (*laggedSums)(const double*, const double*, std::size_t, std::size_t, double*);
  void (*cubicAt)(const double*, double, double, std::size_t, double*);
};

void PolynomialAtPlain(const double* p, int order, const double* re, const double* im, std::size_t count,
                       double* sr, double* si) {
  PolynomialAt(p, order, re, im, count, sr, si);
}
void CosineSeriesAtPlain(const double* rho, int order, const double* cosine, std::size_t count, double* out,
                         double* q) {
  CosineSeriesAt(rho, order, cosine, count, out, q);
}
void MomentsPlain(double* re, double* im, const double* tr, const double* ti, std::size_t count, int order,
                  double* moments) {
  Moments(re, im, tr, ti, count, order, moments);
}
void LaggedSumsPlain(const double* lead, const double* lagged, std::size_t terms, std::size_t shifts,
                     double* sums) {
  LaggedSums(lead, lagged, terms, shifts, sums);
}

void CubicAtPlain(const double* x, double first, double along, std::size_t count, double* out) {
  CubicAt(x, first, along, count, out);
}

#if (defined(__GNUC__) || defined(__clang__)) && defined(__x86_64__)
__attribute__((target("avx2"))) void PolynomialAtAvx2(const double* p, int order, const double* re,
                                                      const double* im, std::size_t count, double* sr,
                                                      double* si) {
  PolynomialAt(p, order, re, im, count, sr, si);
}
__attribute__((target("avx2"))) void CosineSeriesAtAvx2(const double* rho, int order, const double* cosine,
                                                        std::size_t count, double* out, double* q) {
  CosineSeriesAt(rho, order, cosine, count, out, q);
}
__attribute__((target("avx2"))) void MomentsAvx2(double* re, double* im, const double* tr, const double* ti,
                                                 std::size_t count, int order, double* moments) {
  Moments(re, im, tr, ti, count, order, moments);
}
__attribute__((target("avx2"))) void LaggedSumsAvx2(const double* lead, const double* lagged,
                                                    std::size_t terms, std::size_t shifts, double* sums) {
  LaggedSums(lead, lagged, terms, shifts, sums);
}
__attribute__((target("avx2"))) void CubicAtAvx2(const double* x, double first, double along,
                                                 std::size_t count, double* out) {
  CubicAt(x, first, along, count, out);
}
#endif

const Set& Best() {
#if (defined(__GNUC__) || defined(__clang__)) && defined(__x86_64__)
  static constexpr Set Avx2{PolynomialAtAvx2, CosineSeriesAtAvx2, MomentsAvx2, LaggedSumsAvx2, CubicAtAvx2};
  if (__builtin_cpu_supports("avx2")) return Avx2;
#endif
  static constexpr Set Plain{PolynomialAtPlain, CosineSeriesAtPlain, MomentsPlain, LaggedSumsPlain,
                             CubicAtPlain};
  return Plain;
}

}  // namespace kernels

// The render that keeps the formants: the same walk, so the same output positions, time links
// and length, but each output position is not resampled from the input. Instead, pitch
// synchronous overlap-add: the input is marked at its pitch periods (epochs, one source period
// apart where the waveform best repeats itself; 5 ms apart where the frame is not voiced), and
// at every target period of the
// output (the source period times the walk's ratio) the two periods of input around the epoch
// nearest to where the walk has reached are laid on the output under a Hann window. A grain is
// the recording's own waveform, so the resonances of the voice stay where they were while its
// pulses come at the target rate. Hann windows two periods wide, one period apart, sum to 1, so
// unvoiced and silent stretches at a ratio of 1 are put back together exactly.
class FormantSink {
 public:
  FormantSink(SampleStream& samples, OutputWriter& writer, FrameStream& frames, std::uint32_t frameLength,
              std::uint32_t sampleRate, double silenceLevel, double formantShift,
              const ProgressCallback& progress)
      : samples_(samples),
        writer_(writer),
        frames_(frames),
        frameLength_(frameLength),
        sampleRate_(sampleRate),
        silenceLevel_(silenceLevel),
        unvoicedPeriod_(std::max<std::uint32_t>(1, std::min(frameLength - 1, sampleRate / 200))),
        window_(WindowLength(frameLength)),
        ring_(std::bit_ceil(16 * std::size_t{frameLength} + 64)),
        ringMask_(ring_.size() - 1),
        grain_(2 * std::size_t{frameLength}),
        early_(2 * std::size_t{frameLength}),
        padded_(2 * std::size_t{frameLength} + 2 * GrainPad),
        trackLead_(std::size_t{frameLength} / 2 + 2),
        trackLagged_(std::size_t{frameLength} + 2 + LaggedPad),
        trackSums_(std::size_t{frameLength} / 2 + 2),
        envelopeScale_(std::exp2(formantShift / 1200.0)),
        shiftAmount_(std::min(1.0, std::abs(formantShift) / 100.0)),
        transformLength_(TransformLength(frameLength - 1)),
        spectrum_(RealArray(transformLength_)),
        bins_(ComplexArray(transformLength_ / 2 + 1)),
        magnitudes_(transformLength_ / 2 + 1),
        harmonics_(transformLength_ / 2 + 2),
        wanted_(transformLength_ / 2 + 1),
        resonance_(transformLength_ / 2 + 2),
        misfit_(transformLength_ / 2 + 2),
        turnRe_(transformLength_ / 2 + 2),
        turnIm_(transformLength_ / 2 + 2),
        atRe_(transformLength_ / 2 + 2),
        atIm_(transformLength_ / 2 + 2),
        pointRe_(transformLength_ / 2 + 2),
        scratch_(transformLength_ / 2 + 2),
        analysisLength_(2 * transformLength_),
        analysis_(RealArray(analysisLength_)),
        analysisBins_(ComplexArray(analysisLength_ / 4 + 1)),
        pulse_(PulseSteps * PulseReach + 1),
        out_(writer.Capacity()),
        progress_(progress) {
    for (std::size_t i = 0; i < pulse_.size(); ++i)
      pulse_[i] = PulseSpectrum(static_cast<double>(i) / PulseSteps);
    reshaped_.samples.resize(2 * std::size_t{frameLength});
    for (Window& window : hann_) window.values.resize(2 * std::size_t{frameLength});
    for (std::vector<double>& taper : taper_) taper.resize(std::size_t{frameLength} + 1);
    // The epochs kept are trimmed at 4096, so the list never grows while the render runs.
    epochs_.reserve(4097);
  }

  // The lagged stretch's room past its end for kernels::LaggedSums' widest block.
  static constexpr std::size_t LaggedPad = kernels::LaggedBlock;

  // The input it keeps at hand: grains and epoch searches reach a few frames around the walk.
  static std::size_t WindowLength(std::uint32_t frameLength) { return 8 * std::size_t{frameLength} + 64; }

  void First(std::uint32_t start, double gain) {
    written_ = start;
    epochs_.push_back(start);
    Mark(start, start, start, gain, 1.0);
  }
  void Load(std::uint32_t inPos) {
    segmentStart_ = inPos;
    scale_ = 1.0;
  }
  void Flush() { WriteFinished(); }
  // A dropped or repeated period: the frame's input is walked in fewer or more steps, which for
  // grains means reading the frame faster or slower.
  void DropPeriod(std::uint32_t P) { scale_ = static_cast<double>(frameLength_) / (frameLength_ - P); }
  void RepeatPeriod(std::uint32_t P) { scale_ = static_cast<double>(frameLength_) / (frameLength_ + P); }
  bool Continue(std::uint32_t reached, std::uint32_t end) { return !progress_ || progress_(reached, end); }
  void Produce(std::uint32_t k, std::uint32_t L, double gF, double gDelta, double xPrev, double x,
               std::uint64_t outPos, std::uint64_t last) {
    const double ratio = x - xPrev;
    for (std::uint64_t t = outPos; t <= last; ++t) {
      if (static_cast<double>(t) < nextMark_) continue;
      const double u = (k - 1) + (static_cast<double>(t) - xPrev) / ratio;
      const double gain = gF + gDelta * u / L;
      // The mark keeps its fractional place, so the periods average exactly the target one;
      // its grain goes to the first whole position at or after it.
      const double mark = static_cast<double>(t) - nextMark_ < 1.0 ? nextMark_ : static_cast<double>(t);
      Mark(t, mark, segmentStart_ + u * scale_, gain, ratio);
    }
    produced_ = last + 1;
    WriteFinished();
  }
  // After the walk: everything up to its last output position.
  void Finish(std::uint64_t end) {
    produced_ = end;
    nextMark_ = std::numeric_limits<double>::infinity();
    WriteUpTo(end);
  }

 private:
  // The input sample at `pos` (0 before the recording and past its data).
  double In(std::int64_t pos) { return pos < 0 ? 0.0 : *Span(pos, pos); }

  // The source period at an input position: the frame's when it is voiced there (a frame whose
  // time correction is off still has its pitch corrected), in whole samples for the search and
  // exactly for the step to the next epoch; a fixed 5 ms where it is not.
  struct Period {
    bool voiced = false;
    std::uint32_t whole = 0;
    double exact = 0.0;
  };
  Period PeriodAt(std::uint64_t pos) {
    const SasFrame frame = frames_.Get(pos / frameLength_);
    Period p;
    p.voiced = FrameHasPitch(frame) && frame.Amplitude() > silenceLevel_;
    p.whole = p.voiced ? std::max<std::uint32_t>(2, FrameSourcePeriod(frame, sampleRate_, frameLength_))
                       : unvoicedPeriod_;
    const double period = SourcePeriod(frame, sampleRate_);
    p.exact = p.voiced && period < frameLength_ - 1 ? period : p.whole;
    return p;
  }

  // Epochs are found on as far as `pos` needs. Where voiced, the next one is a source period on,
  // moved by up to a tenth of a period to where the waveform best repeats the period around
  // the last (its correlation over every second sample), so that every grain starts at the same
  // point of the voice's cycle; one fixed period on where not voiced.
  void EpochsUpTo(double pos) {
    while (static_cast<double>(epochs_.back()) < pos + frameLength_) {
      const std::uint64_t e = epochs_.back();
      const auto [voiced, P, exact] = PeriodAt(e);
      const auto step = static_cast<std::int64_t>(std::lround(exact));
      std::int64_t next = static_cast<std::int64_t>(e) + std::max<std::int64_t>(1, step);
      if (voiced && !lastVoiced_) {
        // The voice starts: the first epoch goes to the period's strongest sample, where the
        // glottis closes, so that every grain holds one pulse and the ringing after it.
        const auto here = static_cast<std::int64_t>(e);
        double best = -1;
        for (std::int64_t j = 0; j < static_cast<std::int64_t>(P); ++j) {
          const double v = std::abs(In(here + j));
          if (v > best) {
            best = v;
            next = here + std::max<std::int64_t>(1, j);
          }
        }
        // A pulse right after the last epoch takes its place rather than leaving a grain a few
        // samples wide between them, which laid again and again sounds as a click. The last
        // epoch is a frame ahead of every grain laid so far, so none has used it yet.
        if (next - here < static_cast<std::int64_t>(P) / 4) {
          epochs_.back() = static_cast<std::uint64_t>(next);
          lastVoiced_ = true;
          continue;
        }
      } else if (voiced) {
        const auto here = static_cast<std::int64_t>(e);
        double score = 0.0;
        next = here + Track(here, step, static_cast<std::int64_t>(P / 2), score);
        // A voice whose second harmonic stands far above its first (a back vowel's low first
        // resonance on it) may be heard an octave high and still repeat itself closely over
        // the half cycle the search compares. Compared over a whole period either side, such a
        // waveform repeats clearly better two source periods on than one, where a voice heard
        // right repeats equally well at both. Judged over the last epochs too, so that a
        // single one at a note's edge does not double the grains. The comparison costs more
        // than the search itself, so a voice that has shown no sign of it lately is compared
        // every OctaveJudgeEvery epochs only. Two periods on, with a period either side, must
        // stay within the search's own buffers: longer periods are not compared.
        if (2 * std::max<std::int64_t>(step, P) >= static_cast<std::int64_t>(frameLength_) - 1) {
          octaveHigh_ = 0.0;
        } else if (octaveHigh_ > OctaveWatch || ++sinceOctaveJudged_ >= OctaveJudgeEvery) {
          sinceOctaveJudged_ = 0;
          double once = 0.0;
          double twice = 0.0;
          Track(here, step, static_cast<std::int64_t>(P), once);
          const std::int64_t reached = Track(here, 2 * step, static_cast<std::int64_t>(P), twice);
          const double better = twice - once;
          octaveHigh_ = 0.8 * octaveHigh_ + 0.2 * better;
          if (better > OctaveHighEpoch && octaveHigh_ > OctaveHighVoice) {
            score = twice;
            next = here + reached;
          }
        }
        // The analysis may have heard the voice an octave or two high (a strong second or
        // fourth harmonic): where one source period on does not repeat the waveform, two,
        // three or four may, and the grains must hold whole cycles of the voice. Only a true
        // repeat counts: where the voice stops, one period on repeats nothing and neither does
        // any longer step, however they compare, and a grain stretched over the last cycles
        // and the silence after them would sound the voice on past its end.
        for (std::int64_t times = 2; times <= 4 && score < 0.8; ++times) {
          if (step * times >= static_cast<std::int64_t>(frameLength_) - 1) break;
          double longer = 0.0;
          const std::int64_t reached = Track(here, step * times, static_cast<std::int64_t>(P / 2), longer);
          if (longer > score + 0.1 && longer >= LongerRepeats) {
            score = longer;
            next = here + reached;
          }
        }
      }
      if (!voiced) octaveHigh_ = 0.0;
      lastVoiced_ = voiced;
      epochs_.push_back(static_cast<std::uint64_t>(next));
      // Only the last frames' epochs are ever asked for again.
      if (epochs_.size() > 4096) epochs_.erase(epochs_.begin(), epochs_.begin() + 2048);
    }
  }

  // How far on from `here` the waveform around it best repeats, within a tenth of `lag`: the
  // correlation over every second sample of +-half, and its normalised value in `score`.
  std::int64_t Track(std::int64_t here, std::int64_t lag, std::int64_t half, double& score) {
    const std::int64_t reach = std::max<std::int64_t>(1, lag / 10);
    const std::int64_t first = here - half;
    if (first < 0) {
      score = 1.0;  // no voice before the recording to compare with
      return std::max<std::int64_t>(1, lag);
    }
    const std::int32_t* a = Span(first, here + lag + reach + half);
    const std::int32_t* b = a + lag;
    const auto n = static_cast<std::size_t>(2 * half + 1);
    // Every second shift first, then the two beside the best of them.
    const auto correlate = [&](std::int64_t shift) {
      const std::int32_t* c = b + shift;
      double sum = 0;
      for (std::size_t j = 0; j < n; j += 2) sum += static_cast<double>(a[j]) * static_cast<double>(c[j]);
      return sum;
    };
    // The coarse shifts all at once: each sum still takes its products in the same order, but
    // the sums no longer wait on one another. Every second sample of the lagged stretch the
    // shifts read is taken out as doubles first, so the shifts' sums are neighbours in memory.
    const std::size_t terms = (n + 1) / 2;
    const auto shifts = static_cast<std::size_t>(reach) + 1;
    double* lead = trackLead_.data();
    double* lagged = trackLagged_.data();
    double* sums = trackSums_.data();
    for (std::size_t i = 0; i < terms; ++i) lead[i] = static_cast<double>(a[2 * i]);
    const std::int32_t* from = b - reach;
    for (std::size_t i = 0; i + 1 < terms + shifts; ++i) lagged[i] = static_cast<double>(from[2 * i]);
    kernels_.laggedSums(lead, lagged, terms, shifts, sums);
    double best = -std::numeric_limits<double>::infinity();
    std::int64_t bestShift = 0;
    for (std::size_t s = 0; s < shifts; ++s) {
      if (sums[s] > best) {
        best = sums[s];
        bestShift = 2 * static_cast<std::int64_t>(s) - reach;
      }
    }
    const std::int64_t coarse = bestShift;
    for (const std::int64_t shift : {coarse - 1, coarse + 1}) {
      if (shift < -reach || shift > reach) continue;
      const double sum = correlate(shift);
      if (sum > best) {
        best = sum;
        bestShift = shift;
      }
    }
    double ea = 0;
    double eb = 0;
    for (std::size_t j = 0; j < n; j += 2) {
      ea += static_cast<double>(a[j]) * static_cast<double>(a[j]);
      eb += static_cast<double>(b[bestShift + static_cast<std::int64_t>(j)]) *
            static_cast<double>(b[bestShift + static_cast<std::int64_t>(j)]);
    }
    // Silence repeats silence; a voice repeats nothing in silence, where it has stopped.
    score = ea > 0 && eb > 0 ? best / std::sqrt(ea * eb) : (ea > 0 || eb > 0 ? 0.0 : 1.0);
    return std::max<std::int64_t>(1, lag + bestShift);
  }

  // The input first <= i <= last (first >= 0) in the window, reloaded around them if needed.
  const std::int32_t* Span(std::int64_t first, std::int64_t last) {
    const auto from = static_cast<std::uint64_t>(first);
    const auto to = static_cast<std::uint64_t>(last);
    if (!windowLoaded_ || from < windowFirst_ || to >= windowFirst_ + window_.size()) {
      const std::uint64_t margin = 2 * std::uint64_t{frameLength_} + 8;
      windowFirst_ = from > margin ? from - margin : 0;
      samples_.Read(windowFirst_, window_);
      windowLoaded_ = true;
    }
    return window_.data() + (from - windowFirst_);
  }

  // A grain at output position t: the input around the epoch nearest `source`, under a Hann
  // window two source periods wide, scaled by the gain; the next mark one target period on.
  void Mark(std::uint64_t t, double mark, double source, double gain, double ratio) {
    EpochsUpTo(source);
    auto it =
        std::lower_bound(epochs_.begin(), epochs_.end(), static_cast<std::uint64_t>(std::max(source, 0.0)));
    if (it == epochs_.end()) --it;
    if (it != epochs_.begin() &&
        source - static_cast<double>(*std::prev(it)) < static_cast<double>(*it) - source)
      --it;
    const std::uint64_t epoch = *it;
    // The period is the epochs' own distance, so that at a ratio of 1 the grains fall exactly
    // where they came from and their windows sum to 1.
    const std::uint64_t period = std::next(it) != epochs_.end()
                                     ? *std::next(it) - epoch
                                     : (it != epochs_.begin() ? epoch - *std::prev(it) : 1);
    const auto interval = static_cast<std::int64_t>(std::clamp<std::uint64_t>(period, 1, frameLength_ - 1));
    const double spacing = std::max(1.0, static_cast<double>(interval) * ratio);
    nextMark_ = mark + spacing;
    const std::int64_t half = interval;
    std::size_t width = 2 * static_cast<std::size_t>(half) - 1;
    // Within a semitone the output's harmonics lie close to the source's, where the grain
    // already holds the envelope; the reshaping comes in from there and is whole at 300 cents.
    // An epoch laid again at the same ratio (a raised pitch lays some twice) reuses its grain,
    // its input's power and, at the same spacing, the power it gives.
    const double moved = std::abs(std::log2(ratio)) * 1200.0;
    const double reshaping = std::max(std::clamp((moved - 100.0) / 200.0, 0.0, 1.0), shiftAmount_);
    const auto lag = static_cast<std::size_t>(std::lround(spacing));
    const bool again = reshaping > 0 && epoch == reshaped_.epoch && reshaping == reshaped_.amount &&
                       half == reshaped_.half && ratio == reshaped_.ratio;
    if (again) {
      width = reshaped_.width;
      Lay(t, spacing, gain, ratio, reshaped_, lag);
      return;
    }
    // The grain: the input around the epoch under a Hann window, read straight from the window.
    const auto e = static_cast<std::int64_t>(epoch);
    // Near the recording's start the grain reaches before it, where the input is silence.
    const std::int64_t from = e - half + 1;
    const std::int32_t* x = nullptr;
    if (from >= 0) {
      x = Span(from, e + half);
    } else {
      for (std::size_t j = 0; j < width; ++j)
        early_[j] = static_cast<std::int32_t>(In(from + static_cast<std::int64_t>(j)));
      x = early_.data();
    }
    const Window& window = HannWindow(half);
    const double* hann = window.values.data();
    double power = 0.0;
    for (std::size_t j = 0; j < width; ++j) {
      const double v = static_cast<double>(x[j]);
      grain_[j] = hann[j] * v;
      power += hann[j] * v * v;
    }
    // What the grain gives laid at its own interval: its energy and its overlap with itself
    // one interval on, per sample.
    double repeated = 0.0;
    for (std::size_t j = 0; j < width; ++j) repeated += grain_[j] * grain_[j];
    for (std::size_t j = 0; j + static_cast<std::size_t>(half) < width; ++j)
      repeated += 2 * grain_[j] * grain_[j + static_cast<std::size_t>(half)];
    Grain& grain = reshaped_;
    grain.epoch = reshaping > 0 ? epoch : std::numeric_limits<std::uint64_t>::max();
    grain.amount = reshaping;
    grain.half = half;
    grain.ratio = ratio;
    grain.centre = half - 1;
    grain.power = power;
    grain.weights = window.weights;
    grain.repeated = repeated / static_cast<double>(half);
    grain.lag = 0;
    grain.reshaped = false;
    if (reshaping > 0) {
      const Period source = PeriodAt(epoch);
      grain.reshaped = source.voiced;
      if (grain.reshaped) {
        // The grain's period is the epochs' distance: a whole number of source periods where
        // the analysis heard the voice an octave or two high.
        const double cycles = std::max(1.0, std::round(static_cast<double>(interval) / source.exact));
        grain.centre = Reshape(half, width, source.exact * cycles, ratio, reshaping);
      }
    }
    std::swap(grain_, grain.samples);
    grain.width = width;
    Lay(t, spacing, gain, ratio, grain, lag);
  }

  // The Hann window two periods of `half` wide (2 half - 1 values, its peak at half - 1) and
  // its sum, its cosine turned on by a rotation rather than computed per sample. The last two
  // are kept: the next grain mostly has the period of one of them (a period between two whole
  // numbers of samples has epochs alternately on either side).
  struct Window {
    std::vector<double> values;
    std::int64_t half = 0;
    double weights = 0.0;
  };
  const Window& HannWindow(std::int64_t half) {
    if (hann_[hannLast_].half == half) return hann_[hannLast_];
    hannLast_ = 1 - hannLast_;
    Window& window = hann_[hannLast_];
    if (window.half != half) {
      const double step = std::numbers::pi / static_cast<double>(half);
      const double cosStep = std::cos(step);
      const double sinStep = std::sin(step);
      double c = std::cos(step * static_cast<double>(1 - half));
      double sn = std::sin(step * static_cast<double>(1 - half));
      double weights = 0.0;
      for (std::size_t j = 0; j + 1 < 2 * static_cast<std::size_t>(half); ++j) {
        const double w = 0.5 + 0.5 * c;
        window.values[j] = w;
        weights += w;
        const double nextC = c * cosStep - sn * sinStep;
        sn = sn * cosStep + c * sinStep;
        c = nextC;
      }
      window.half = half;
      window.weights = weights;
    }
    return window;
  }

  // A grain as laid: its samples (the epoch at `centre`) and what it was made from, kept for
  // the next mark, which may lay the same epoch again.
  struct Grain {
    std::vector<double> samples;
    std::size_t width = 0;
    std::int64_t centre = 0;
    std::uint64_t epoch = std::numeric_limits<std::uint64_t>::max();  // none: not kept
    double amount = 0.0;
    std::int64_t half = 0;
    double ratio = 1.0;
    bool reshaped = false;
    double power = 0.0;  // the input's power under the window, and the window's sum
    double weights = 0.0;
    double repeated = 0.0;  // the power the grain as cut gives laid at its own interval
    std::size_t lag = 0;    // the spacing `energy` is for (0: none yet)
    double energy = 0.0;
  };

  // Adds the grain at output position t at the level that keeps the voice as loud as it was.
  void Lay(std::uint64_t t, double spacing, double gain, double ratio, Grain& grain, std::size_t lag) {
    const double* g = grain.samples.data();
    const std::size_t width = grain.width;
    // The level. Grains laid `spacing` apart give, for a voice that repeats itself, a power of
    // their own energy plus their overlaps with the grains one, two ... spacings on, per
    // spacing; the input's power is the window's weighted mean. Scaling by the root of their
    // ratio keeps the voice as loud as it was, whether the overlapping grains add in step (a
    // small change) or by power (a large one). Where the pitch is not moved at all the grains
    // fall back where they came from and add up exactly, so there the scale is 1; it is
    // brought in over the first semitone of a change.
    const double apart = std::min(1.0, std::abs(std::log2(ratio)) * 12.0);
    if (grain.lag != lag) {
      // The energy and the overlaps are sums over the grain, four at a time side by side, each
      // in its own order, so that none waits on another.
      double energy = 0.0;
      for (std::size_t m = 0; m < width; m += 4 * lag) {
        const auto end = [&](std::size_t q) { return m + q * lag < width ? width - (m + q * lag) : 0; };
        const std::size_t m1 = m + lag;
        const std::size_t m2 = m + 2 * lag;
        const std::size_t m3 = m + 3 * lag;
        double s0 = 0.0, s1 = 0.0, s2 = 0.0, s3 = 0.0;
        std::size_t j = 0;
        for (; j < end(3); ++j) {
          const double v = g[j];
          s0 += v * g[j + m];
          s1 += v * g[j + m1];
          s2 += v * g[j + m2];
          s3 += v * g[j + m3];
        }
        for (; j < end(2); ++j) {
          const double v = g[j];
          s0 += v * g[j + m];
          s1 += v * g[j + m1];
          s2 += v * g[j + m2];
        }
        for (; j < end(1); ++j) {
          const double v = g[j];
          s0 += v * g[j + m];
          s1 += v * g[j + m1];
        }
        for (; j < end(0); ++j) s0 += g[j] * g[j + m];
        energy += m == 0 ? s0 : 2 * s0;
        if (m1 < width) energy += 2 * s1;
        if (m2 < width) energy += 2 * s2;
        if (m3 < width) energy += 2 * s3;
      }
      grain.energy = energy;
      grain.lag = lag;
    }
    // The input's power as the window weighs it is what grains laid at their own interval
    // rebuild where the voice repeats itself. Where it starts or stops under the grain's edge,
    // that weighing says far more than the grain holds, and the level would leap for this
    // grain and, smoothed, the next ones: a click where the voice begins or ends. So it is
    // taken as no more than NotRepeating times what the grain gives laid at its own interval,
    // which a voice that repeats (1) or noise (4/3 under a Hann window) stays within.
    const double wanted = std::min(grain.power / grain.weights, NotRepeating * grain.repeated);
    const double made = grain.energy / spacing;
    const double scale = made > wanted * 1e-6 && wanted > 0 ? std::sqrt(wanted / made) : std::sqrt(ratio);
    smoothedScale_ = firstScale_ ? scale : 0.6 * smoothedScale_ + 0.4 * scale;
    firstScale_ = false;
    // A reshaped grain no longer adds up to the input where it falls back in place (a formant
    // shift at the source's own pitch), so its level is always the measured one.
    const double measured = grain.reshaped ? std::max(apart, shiftAmount_) : apart;
    const double level =
        gain * std::pow(std::sqrt(ratio), 1.0 - measured) * std::pow(smoothedScale_, measured);
    // What falls before the written output is gone; the rest is added in at most two runs,
    // split where the ring wraps round.
    const std::int64_t firstAt = static_cast<std::int64_t>(t) - grain.centre;
    auto j = static_cast<std::size_t>(std::clamp<std::int64_t>(static_cast<std::int64_t>(written_) - firstAt,
                                                               0, static_cast<std::int64_t>(width)));
    while (j < width) {
      const std::size_t at = static_cast<std::size_t>(firstAt + static_cast<std::int64_t>(j)) & ringMask_;
      const std::size_t run = std::min(width - j, ringMask_ + 1 - at);
      double* out = ring_.data() + at;
      const double* in = g + j;
      for (std::size_t i = 0; i < run; ++i) out[i] += level * in[i];
      j += run;
    }
  }

  // The transform a grain of half-width `half` is reshaped in: at least a quarter more than
  // the grain, room for its ringing on either side; what it rings past half the transform
  // would come back round on the other side, so the grain is read no further than that.
  // The plans of length n (a power of two). Grains are reshaped in transforms of 8 ..
  // transformLength_ values and their harmonics read from folded ones of 8 .. analysisLength_ / 2,
  // but a voice meets only the few lengths its periods ask for, and planning the others would
  // cost a short render more than the render itself: a length is planned the first time a grain
  // needs it, once in the program's run (PlansFor), and kept here from then on.
  const RealPlans& Plans(std::size_t n) {
    RealPlans& plans = plans_[static_cast<std::size_t>(std::countr_zero(n))];
    if (plans.forward == nullptr) plans = PlansFor(n);
    return plans;
  }

  static std::size_t TransformLength(std::uint32_t half) {
    return std::max<std::size_t>(8, std::bit_ceil(5 * std::size_t{half} / 2));
  }

  // Gives the grain in grain_ (width samples, its epoch at half - 1) the voice's own spectral
  // envelope at every frequency instead of only at the source's harmonics, so that laid at any
  // other rate it is sampled where the voice would have its resonances. A grain two periods
  // wide holds each harmonic exactly at its own frequency (the Hann window's transform is zero
  // one harmonic away) but between them only a mix of the two neighbours, whose phases decide
  // whether the spectrum sags or bulges there; at a new pitch the output's harmonics fall
  // there, and a resonance between two source harmonics reads as if it lay on one of them.
  // The envelope wanted at each bin comes from ModelEnvelope where the harmonics lie densely
  // enough for a model of the resonances, from DrawEnvelope elsewhere; it is read
  // `envelopeScale_` times lower in frequency for a formant shift, and the grain's spectrum is
  // brought to it by a zero-phase gain per bin, limited to +-18 dB where the grain has next to
  // nothing; `amount` brings the gain in (1: fully). The result is longer than the grain: it is
  // tapered off over half a period more on either side (less where the frame or the transform
  // is short) and replaces it in grain_ and width. Returns the new index of the epoch.
  std::int64_t Reshape(std::int64_t half, std::size_t& width, double period, double ratio, double amount) {
    const auto h = static_cast<std::size_t>(half);
    const std::size_t n = TransformLength(static_cast<std::uint32_t>(h));
    const std::size_t mask = n - 1;
    const std::size_t bins = n / 2;
    const double spacing = static_cast<double>(n) / period;  // bins from one harmonic to the next
    // The resonances that make a vowel lie below 5 kHz: the grain is reshaped up to 8 kHz, the
    // gain eased back to 1 from 6 kHz, and left as it is above.
    const double binsPerHz = static_cast<double>(n) / sampleRate_;
    const std::size_t top = std::min(bins, static_cast<std::size_t>(8000.0 * binsPerHz));
    const double easeFrom = 6000.0 * binsPerHz;
    const double easeOver = static_cast<double>(top) - easeFrom;
    const std::size_t magTop = std::min(bins, top + static_cast<std::size_t>(3 * spacing) + 2);
    const auto count = static_cast<std::size_t>(static_cast<double>(magTop - 1) / spacing);
    if (count < 2 || h < 2) return half - 1;
    double* b = spectrum_.get();
    fftw_complex* x = bins_.get();
    const RealPlans& plans = Plans(n);
    std::fill_n(b, n, 0.0);
    for (std::size_t j = 0; j < width; ++j) b[(j + n - (h - 1)) & mask] = grain_[j];
    fftw_execute_dft_r2c(plans.forward, b, x);
    double* mag = magnitudes_.data();
    for (std::size_t m = 0; m <= magTop; ++m) mag[m] = std::sqrt(x[m][0] * x[m][0] + x[m][1] * x[m][1]);
    double least = 0.0;
    const Modelled modelled = ModelEnvelope(half, width, period, ratio, n, count, top, least);
    if (modelled != Modelled::Yes) {
      // A voice whose model is only set aside keeps it as the next grain's start.
      if (modelled == Modelled::No) polyOrder_ = -1;
      if (!DrawEnvelope(spacing, count, top, least)) return half - 1;
      amount *= 1.0 - HeldBack(period, count, ratio);
      if (amount <= 0) return half - 1;
    }
    const double* wanted = wanted_.data();
    constexpr double MostGain = 8.0;
    for (std::size_t m = 0; m < top; ++m) {
      double gain = wanted[m] / std::max(mag[m], least / MostGain);
      gain = std::clamp(gain, 1 / MostGain, MostGain);
      const double ease = static_cast<double>(m) > easeFrom ? (static_cast<double>(top) - m) / easeOver : 1.0;
      gain = 1 + amount * ease * (gain - 1);
      x[m][0] *= gain;
      x[m][1] *= gain;
    }
    fftw_execute_dft_c2r(plans.inverse, x, b);
    const double norm = 1.0 / static_cast<double>(n);
    const std::size_t reach = std::max(h, std::min({h + h / 2, n / 2, std::size_t{frameLength_} - 1}));
    width = 2 * reach - 1;
    const double* taper = Taper(h, reach);
    for (std::size_t j = 0; j < width; ++j) {
      const std::size_t d = j < reach - 1 ? reach - 1 - j : j - (reach - 1);
      const double w = d <= h ? 1.0 : taper[d - h];
      grain_[j] = w * norm * b[(j + n - (reach - 1)) & mask];
    }
    return static_cast<std::int64_t>(reach) - 1;
  }

  // A reshaped grain's taper from its half-width h out to `reach`, at d - h for h < d <= reach;
  // the last two are kept, as the windows are.
  const double* Taper(std::size_t h, std::size_t reach) {
    if (taperHalf_[taperLast_] == h && taperReach_[taperLast_] == reach) return taper_[taperLast_].data();
    taperLast_ = 1 - taperLast_;
    double* values = taper_[taperLast_].data();
    if (taperHalf_[taperLast_] != h || taperReach_[taperLast_] != reach) {
      const double step = reach > h ? std::numbers::pi / static_cast<double>(reach - h) : 0.0;
      for (std::size_t d = h + 1; d <= reach; ++d)
        values[d - h] = 0.5 + 0.5 * std::cos(step * static_cast<double>(d - h));
      taperHalf_[taperLast_] = h;
      taperReach_[taperLast_] = reach;
    }
    return values;
  }

  // The envelope drawn through the harmonics' amplitudes as the grain's transform gives them
  // (read between its bins): a cubic through every four, which rises to a peak between two
  // where the resonance lies, flat below the first and above the last. Leaves it for the bins
  // below `top` in wanted_, and in `least` the floor under it; false where the grain is silent.
  bool DrawEnvelope(double spacing, std::size_t count, std::size_t top, double& least) {
    const double* mag = magnitudes_.data();
    double* a = harmonics_.data();
    double loudest = 0;
    for (std::size_t k = 1; k <= count; ++k) {
      const double at = static_cast<double>(k) * spacing;
      const auto i = static_cast<std::size_t>(at);
      const double f = at - static_cast<double>(i);
      a[k] = mag[i] + (mag[i + 1] - mag[i]) * f;
      loudest = std::max(loudest, a[k]);
    }
    if (!(loudest > 0)) return false;
    a[0] = a[1];
    a[count + 1] = a[count];
    least = loudest * 1e-4;
    const double perBin = 1.0 / (spacing * envelopeScale_);
    for (std::size_t m = 0; m < top; ++m) {
      // The envelope at harmonic number u (fractional), flat below the first and above the last.
      const double u = std::clamp(static_cast<double>(m) * perBin, 1.0, static_cast<double>(count));
      const auto k = std::min(static_cast<std::size_t>(u), count - 1);
      const double t = u - static_cast<double>(k);
      const double p0 = a[k - 1], p1 = a[k], p2 = a[k + 1], p3 = a[k + 2];
      const double envelope =
          p1 + 0.5 * t * (p2 - p0 + t * (2 * p0 - 5 * p1 + 4 * p2 - p3 + t * (3 * (p1 - p2) + p3 - p0)));
      wanted_[m] = std::max(envelope, least);
    }
    return true;
  }

  // How far the envelope drawn through the harmonics (DrawEnvelope) is held back, 0 .. 1 (the
  // grain then laid as it came). Where a back vowel's two lowest resonances lie within a
  // harmonic or two of each other, the loudest harmonic may stand far above the next one up,
  // which the second resonance holds level with the one after it: the harmonics say only that
  // one resonance lies within a harmonic of the loudest and another somewhere over the next
  // two. The curve through them makes of the first a peak one harmonic wide, on whose steep
  // sides the output's harmonics fall, while the grain as it came (two periods under its
  // window) holds both resonances, smoothed. A loudest harmonic whose neighbours fall away on
  // and on (a front vowel's first resonance alone, or any lone resonance), or whose neighbour
  // below is the louder, is drawn as it is. Held back in full where the loudest harmonic below
  // LowHumps Hz stands Isolated dB above the next one up and the one after that falls no more
  // than Shoulder dB below it; not at all Ease dB from either. The window's smoothing suits
  // only output harmonics near the source's: the hold eases out over the HoldEase cents under
  // HeldWithin, and from a fifth away the drawn envelope does better.
  static constexpr double LowHumps = 1500.0;
  static constexpr double Isolated = 12.0;
  static constexpr double Shoulder = 4.0;
  static constexpr double Ease = 2.0;
  static constexpr double HeldWithin = 600.0;
  static constexpr double HoldEase = 150.0;
  double HeldBack(double period, std::size_t count, double ratio) const {
    const double* a = harmonics_.data();
    const auto within = std::min(count, static_cast<std::size_t>(LowHumps * period / sampleRate_));
    if (within < 3) return 0.0;
    std::size_t top = 1;
    for (std::size_t k = 2; k <= within; ++k)
      if (a[k] > a[top]) top = k;
    const std::size_t next = top + 1;
    if (next + 1 > count || (top > 1 && a[top - 1] > a[next]) || !(a[next] > 0) || !(a[next + 1] > 0))
      return 0.0;
    const double above = 20 * std::log10(a[top] / a[next]);
    const double falls = 20 * std::log10(a[next] / a[next + 1]);
    const double isolated = std::clamp((above - (Isolated - Ease)) / Ease, 0.0, 1.0);
    const double shoulder = std::clamp((Shoulder + Ease - falls) / Ease, 0.0, 1.0);
    const double moved = std::abs(std::log2(ratio)) * 1200.0;
    const double near = std::clamp((HeldWithin - moved) / HoldEase, 0.0, 1.0);
    return isolated * shoulder * near;
  }

  // The envelope as a voice makes it: a glottal pulse (see PulseSpectrum) through the
  // resonances of the tract. The pulse belongs to the harmonics' numbers and moves with the
  // pitch; the resonances keep their frequencies. Each harmonic's amplitude, with the pulse's
  // taken out, is what the resonances give it; an all-pole model of them (FitAllPole) carries
  // the resonances between the harmonics, and its misfit at each harmonic, drawn straight from
  // one to the next, is put back so that the envelope meets every harmonic. The pulse is put
  // back at the output's harmonic numbers (`ratio` output periods per source period).
  //
  // The model is only as good as the harmonics that pin it down. With DenseHarmonics of them
  // under 8 kHz (a voice at or below 125 Hz) it is taken as it comes. With fewer, a resonance
  // that falls between two harmonics is free to peak as high and as narrow as the model likes,
  // so its bandwidths are widened by Widening times the fundamental and its envelope is held
  // flat below the first harmonic (where no harmonic says anything); and it is used only where
  // its first resonance is low, with harmonics on either side, and the next far above it (a
  // front vowel: see ResonancesApart). An open or a back vowel has its two lowest resonances
  // close together with a harmonic or two between them, a shape the harmonics do not decide,
  // and the model there puts a voice an octave out or its resonances where they are not: the
  // envelope is drawn through the harmonics instead (Aside). Under SparseHarmonics it is always
  // drawn (No), as where the fit fails.
  enum class Modelled { Yes, Aside, No };
  static constexpr std::size_t DenseHarmonics = 64;
  static constexpr std::size_t SparseHarmonics = 12;
  static constexpr double Widening = 0.4;
  static constexpr double LowResonance = 600.0;
  static constexpr double SeparateResonances = 1100.0;
  static constexpr double TrustToModel = 0.7;
  static constexpr int JudgeEvery = 4;
  static constexpr std::int64_t GrainPad = 8;
  Modelled ModelEnvelope(std::int64_t half, std::size_t width, double period, double ratio, std::size_t n,
                         std::size_t count, std::size_t top, double& least) {
    const double spacing = static_cast<double>(n) / period;
    // The model spans 0 .. 8 kHz (the band reshaped) as 0 .. pi, every harmonic in it a point.
    const double band = std::min(8000.0, sampleRate_ / 2.0);
    const double step = std::numbers::pi * sampleRate_ / (period * band);
    const auto fitted = std::min(count, static_cast<std::size_t>(std::numbers::pi / step));
    const std::size_t length = std::max<std::size_t>(16, std::bit_ceil(4 * (count + 2)));
    if (fitted < SparseHarmonics || length > analysisLength_) return Modelled::No;
    const bool dense = fitted >= DenseHarmonics;
    // While a sparse voice's model is set aside it is judged again every JudgeEvery grains
    // only: its envelope is drawn all the same, and the fit is most of the work.
    const bool aside = !dense && trust_ < TrustToModel;
    if (aside && ++sinceJudged_ < JudgeEvery) return Modelled::Aside;
    sinceJudged_ = 0;
    // Each harmonic's amplitude exactly at its frequency: read between the bins of the grain's
    // transform it would take in its neighbours too, so the grain is laid again (cubic
    // interpolation) over exactly two periods, where the harmonics fall on every second bin of
    // its transform and the window hides each from the others. Only those bins are read, and the
    // even bins of a transform are the transform of its two halves added, half as long.
    const auto h = static_cast<std::size_t>(half);
    double* c = analysis_.get();
    const double along = 2 * period / static_cast<double>(length);
    const double first = static_cast<double>(h - 1) - period;
    // Read from a copy of the grain with silence on either side where the points reach no
    // further than that, so that no read needs a bounds check.
    const auto w = static_cast<std::int64_t>(width);
    const auto lowest = static_cast<std::int64_t>(std::floor(first)) - 1;
    const auto highest =
        static_cast<std::int64_t>(std::floor(first + along * static_cast<double>(length - 1))) + 2;
    const bool padded = lowest >= -GrainPad && highest < w + GrainPad;
    if (padded) {
      std::fill_n(padded_.begin(), GrainPad, 0.0);
      std::copy_n(grain_.begin(), width, padded_.begin() + GrainPad);
      std::fill_n(padded_.begin() + GrainPad + w, GrainPad, 0.0);
    }
    if (padded) {
      kernels_.cubicAt(padded_.data() + GrainPad, first, along, length, c);
    } else {
      const double* g = grain_.data();
      for (std::size_t j = 0; j < length; ++j) {
        const double at = first + along * static_cast<double>(j);
        const double whole = std::floor(at);
        const auto i = static_cast<std::int64_t>(whole);
        const double t = at - whole;
        const auto sample = [&](std::int64_t k) { return k >= 0 && k < w ? g[k] : 0.0; };
        const double p0 = sample(i - 1), p1 = sample(i), p2 = sample(i + 1), p3 = sample(i + 2);
        c[j] = p1 + 0.5 * t * (p2 - p0 + t * (2 * p0 - 5 * p1 + 4 * p2 - p3 + t * (3 * (p1 - p2) + p3 - p0)));
      }
    }
    const std::size_t folded = length / 2;
    for (std::size_t j = 0; j < folded; ++j) c[j] += c[j + folded];
    fftw_complex* x = analysisBins_.get();
    fftw_execute_dft_r2c(Plans(folded).forward, c, x);
    double* a = harmonics_.data();
    double loudest = 0;
    for (std::size_t k = 1; k <= fitted; ++k) {
      a[k] = along * std::sqrt(x[k][0] * x[k][0] + x[k][1] * x[k][1]);
      loudest = std::max(loudest, a[k]);
    }
    if (!(loudest > 0)) return Modelled::No;
    least = loudest * 1e-4;
    double* power = resonance_.data();
    for (std::size_t k = 1; k <= fitted; ++k) {
      const double v = std::max(a[k], least) / Pulse(static_cast<double>(k));
      power[k - 1] = v * v;
    }
    const int order = static_cast<int>(std::min<std::size_t>(MaxOrder, fitted - 1));
    const double level = FitAllPole(power, fitted, step, order);
    if (!(level > 0)) return Modelled::No;
    // The model the envelope is drawn from: the fit, or for a sparse voice the fit with its
    // poles drawn in towards the centre (each coefficient a_i times g^i) and so its bandwidths
    // widened, and then taken again at the harmonics.
    Poly shape = poly_;
    if (!dense) {
      const double g = std::exp(-std::numbers::pi * Widening * sampleRate_ / (period * 2 * band));
      double gi = 1.0;
      for (int i = 0; i <= order; ++i, gi *= g) shape[i] *= gi;
      const Poly rho = Correlations(shape, order);
      kernels_.cosineSeriesAt(rho.data(), order, turnRe_.data(), fitted, atRe_.data(), scratch_.data());
    }
    double* misfit = misfit_.data();
    const double* fit = atRe_.data();  // |A|^2 at the harmonics
    for (std::size_t k = 1; k <= fitted; ++k)
      misfit[k] = std::sqrt(power[k - 1] * std::max(fit[k - 1], 1e-30) / level);
    misfit[fitted + 1] = misfit[fitted];
    // Bin m at the model's angle m x perBin and the envelope's harmonic number m x perHarmonic
    // (both read lower for a formant shift), and the output's harmonic number m x perTarget.
    const double perBin = std::numbers::pi * sampleRate_ / (static_cast<double>(n) * band * envelopeScale_);
    const double perHarmonic = 1.0 / (spacing * envelopeScale_);
    const double perTarget = ratio / spacing;
    // Only the model's power is wanted at the bins: |A|^2, a cosine series in the angle with
    // the polynomial's own correlations as its terms, at the cosines of the bins' angles (turned
    // on by a rotation).
    const Poly rho = Correlations(shape, order);
    const double turnRe = std::cos(perBin);
    const double turnIm = std::sin(perBin);
    double* cosine = pointRe_.data();
    double zr = 1.0;
    double zi = 0.0;
    for (std::size_t m = 0; m < top; ++m) {
      cosine[m] = zr;
      const double next = zr * turnRe - zi * turnIm;
      zi = zr * turnIm + zi * turnRe;
      zr = next;
    }
    double* model = atIm_.data();
    kernels_.cosineSeriesAt(rho.data(), order, cosine, top, model, scratch_.data());
    if (!dense) {
      // The voice's resonances are judged over its last grains (the trust falls by a twentieth
      // a grain), so that the odd grain whose model joins or splits two of them does not
      // switch it from one envelope to the other.
      const bool apart =
          ResonancesApart(model, top, perHarmonic, static_cast<double>(n) * envelopeScale_, ratio < 1.0);
      const double keep = aside ? std::pow(0.95, JudgeEvery) : 0.95;
      trust_ = keep * trust_ + (apart ? 1 - keep : 0.0);
      if (trust_ < TrustToModel) return Modelled::Aside;
    }
    for (std::size_t m = 0; m < top; ++m) {
      const double u = static_cast<double>(m) * perHarmonic;
      double envelope = std::sqrt(power[0]);
      if (dense || u >= 1.0) {
        const double at = std::clamp(u, 1.0, static_cast<double>(fitted));
        const auto k = std::min(static_cast<std::size_t>(at), fitted);
        const double off = misfit[k] + (misfit[k + 1] - misfit[k]) * (at - static_cast<double>(k));
        envelope = std::sqrt(level / std::max(model[m], 1e-30)) * off;
      }
      wanted_[m] = std::max(envelope, least) * Pulse(static_cast<double>(m) * perTarget);
    }
    return Modelled::Yes;
  }

  // Whether a sparse voice's model can be trusted, from its two lowest resonances (the first
  // two dips of |A|^2 over the bins below `top`; bin m lies at harmonic m x perHarmonic and, in
  // the model's own frequencies, at m x sampleRate / binsPerRate): the first low (under
  // LowResonance Hz) but at least one and a half harmonics up, with harmonics on either side
  // of it (for a `raised` voice nine tenths of a harmonic will do: the output's harmonics lie
  // further apart than the source's, and fewer of them fall where the model is unsure), and
  // the second at least SeparateResonances Hz and three harmonics above it.
  bool ResonancesApart(const double* model, std::size_t top, double perHarmonic, double binsPerRate,
                       bool raised) const {
    std::array<std::size_t, 2> dips{};
    std::size_t found = 0;
    for (std::size_t m = 1; m + 1 < top && found < 2; ++m)
      if (model[m] < model[m - 1] && model[m] <= model[m + 1]) dips[found++] = m;
    if (found < 2) return false;
    const double hz = sampleRate_ / binsPerRate;
    const auto first = static_cast<double>(dips[0]);
    const auto apart = static_cast<double>(dips[1] - dips[0]);
    return first * hz < LowResonance && first * perHarmonic >= (raised ? 0.9 : 1.5) &&
           apart * hz >= SeparateResonances && apart * perHarmonic >= 3.0;
  }

  // The resonances' envelope as an all-pole model fitted to their powers at the harmonics
  // (count of them, `step` radians apart from the first): the model of the given order whose
  // spectrum meets those powers best on the ratio's measure (Itakura-Saito), found by
  // iterating towards it (discrete all-pole modelling). A voice's tract is such a model, and
  // unlike a curve through the harmonics it can put a resonance between two of them. The
  // voice changes slowly from one period to the next, so each grain goes on from the last
  // grain's model with a few rounds; the first starts from the linear prediction of the
  // harmonics' correlations. Leaves the polynomial A, scaled so that 1/|A|^2 is the model's
  // spectrum, in poly_ and |A|^2 at the harmonics in atRe_, and returns the level that
  // spectrum is scaled by to carry the harmonics' power (0: no model).
  static constexpr int MaxOrder = 16;
  static constexpr int FirstRounds = 8;
  static constexpr int NextRounds = 1;
  using Poly = std::array<double, MaxOrder + 1>;
  double FitAllPole(const double* power, std::size_t count, double step, int order) {
    double* turnRe = turnRe_.data();
    double* turnIm = turnIm_.data();
    const std::complex<double> turn(std::cos(step), -std::sin(step));
    std::complex<double> at = turn;
    for (std::size_t k = 0; k < count; ++k) {
      turnRe[k] = at.real();
      turnIm[k] = at.imag();
      at *= turn;
    }
    Poly r{};
    for (std::size_t k = 0; k < count; ++k) {
      const double c1 = turnRe[k];
      double before = 1.0;
      double c = c1;
      r[0] += power[k];
      for (int i = 1; i <= order; ++i) {
        r[i] += power[k] * c;
        const double next = 2 * c1 * c - before;
        before = c;
        c = next;
      }
    }
    r[0] *= 1 + 1e-9;
    Poly target{};
    Poly solved{};
    int rounds = NextRounds;
    if (order != polyOrder_) {
      target[0] = 1.0;
      if (!SolveToeplitz(r, target, order, solved) || !(solved[0] > 0)) return 0.0;
      const double gain = 1 / std::sqrt(solved[0]);
      for (int i = 0; i <= order; ++i) poly_[i] = solved[i] * gain;
      polyOrder_ = order;
      rounds = FirstRounds;
    }
    double* ar = atRe_.data();
    double* ai = atIm_.data();
    for (int round = 0; round < rounds; ++round) {
      // The model's impulse response as the harmonics see it: 1/A sampled at them.
      kernels_.polynomialAt(poly_.data(), order, turnRe, turnIm, count, ar, ai);
      for (std::size_t k = 0; k < count; ++k) {
        const double norm = std::max(ar[k] * ar[k] + ai[k] * ai[k], 1e-30);
        ar[k] /= norm;
        ai[k] = -ai[k] / norm;
      }
      kernels_.moments(ar, ai, turnRe, turnIm, count, order, target.data());
      for (int i = 0; i <= order; ++i) target[i] /= static_cast<double>(count);
      if (!SolveToeplitz(r, target, order, solved)) break;
      poly_ = solved;
    }
    const Poly rho = Correlations(poly_, order);
    kernels_.cosineSeriesAt(rho.data(), order, turnRe, count, ar, scratch_.data());
    double made = 0.0;
    double wanted = 0.0;
    for (std::size_t k = 0; k < count; ++k) {
      made += 1.0 / std::max(ar[k], 1e-30);
      wanted += power[k];
    }
    return made > 0 && std::isfinite(made) ? wanted / made : 0.0;
  }

  // The correlations of the model's polynomial, sum a_i a_(i+j) for j = 0 .. order: the terms
  // of |A|^2 as a cosine series in the angle.
  static Poly Correlations(const Poly& poly, int order) {
    Poly rho{};
    for (int j = 0; j <= order; ++j)
      for (int i = 0; i + j <= order; ++i) rho[j] += poly[i] * poly[i + j];
    return rho;
  }

  // Solves the symmetric Toeplitz system of the correlations r for the right side `target`
  // (order + 1 unknowns) by elimination; false where it is singular.
  static bool SolveToeplitz(const Poly& r, const Poly& target, int order, Poly& x) {
    const int n = order + 1;
    std::array<std::array<double, MaxOrder + 2>, MaxOrder + 1> m{};
    for (int i = 0; i < n; ++i) {
      for (int j = 0; j < n; ++j) m[i][j] = r[static_cast<std::size_t>(std::abs(i - j))];
      m[i][n] = target[i];
    }
    for (int col = 0; col < n; ++col) {
      int pivot = col;
      for (int i = col + 1; i < n; ++i)
        if (std::abs(m[i][col]) > std::abs(m[pivot][col])) pivot = i;
      if (!(std::abs(m[pivot][col]) > 0)) return false;
      if (pivot != col) std::swap(m[col], m[pivot]);
      for (int i = col + 1; i < n; ++i) {
        const double f = m[i][col] / m[col][col];
        for (int j = col; j <= n; ++j) m[i][j] -= f * m[col][j];
      }
    }
    for (int i = n - 1; i >= 0; --i) {
      double v = m[i][n];
      for (int j = i + 1; j < n; ++j) v -= m[i][j] * x[j];
      x[i] = v / m[i][i];
    }
    return true;
  }

  // The pulse table: the glottal pulse's spectrum at every PulseSteps-th of a harmonic up to
  // harmonic PulseReach; past it the spectrum falls as the corner at the closing makes it.
  static constexpr std::size_t PulseSteps = 16;
  static constexpr std::size_t PulseReach = 64;
  double Pulse(double harmonic) const {
    const double at = harmonic * PulseSteps;
    if (at >= static_cast<double>(pulse_.size() - 1))
      return pulse_.back() * static_cast<double>(PulseReach) / harmonic;
    const auto i = static_cast<std::size_t>(at);
    return pulse_[i] + (pulse_[i + 1] - pulse_[i]) * (at - static_cast<double>(i));
  }

  // The magnitude of the glottal pulse (the derivative of its flow) at `harmonic`, a multiple
  // of the voice's fundamental: the flow opens over 40 % of the period along half a cosine and
  // closes over 16 % along a quarter, the same share of every period whatever its length, so
  // its spectrum belongs to the harmonics' numbers rather than their frequencies. Integrated
  // exactly as a sum of exponentials.
  static double PulseSpectrum(double harmonic) {
    using Complex = std::complex<double>;
    constexpr double Pi = std::numbers::pi;
    const double w = 2 * Pi * harmonic;
    // The integral of e^(i k p) over a <= p <= b.
    const auto wave = [](double k, double a, double b) {
      if (std::abs(k) < 1e-9) return Complex(b - a);
      return (std::exp(Complex(0, k * b)) - std::exp(Complex(0, k * a))) / Complex(0, k);
    };
    // The integral of cos(alpha p + beta) e^(-i w p) over a <= p <= b.
    const auto cosine = [&](double alpha, double beta, double a, double b) {
      return 0.5 * (std::exp(Complex(0, beta)) * wave(alpha - w, a, b) +
                    std::exp(Complex(0, -beta)) * wave(-alpha - w, a, b));
    };
    const Complex flow = 0.5 * wave(-w, 0, 0.4) - 0.5 * cosine(Pi / 0.4, 0, 0, 0.4) +
                         cosine(Pi / 0.32, -Pi * 0.4 / 0.32, 0.4, 0.56);
    return std::max(std::abs(Complex(0, w) * flow), 1e-3);
  }

  // Positions no later grain can reach: before the next mark less the longest half-window.
  void WriteFinished() {
    const double reach = nextMark_ - frameLength_;
    if (!(reach > static_cast<double>(written_))) return;
    WriteUpTo(std::min<std::uint64_t>(produced_, static_cast<std::uint64_t>(reach)));
  }

  void WriteUpTo(std::uint64_t end) {
    std::size_t count = 0;
    for (; written_ < end; ++written_) {
      const std::size_t slot = written_ & ringMask_;
      out_[count++] = ToSample(ring_[slot]);
      ring_[slot] = 0.0;
      if (count == out_.size()) {
        writer_.Write(std::span<const std::int32_t>(out_.data(), count));
        count = 0;
      }
    }
    writer_.Write(std::span<const std::int32_t>(out_.data(), count));
  }

  SampleStream& samples_;
  OutputWriter& writer_;
  FrameStream& frames_;
  std::uint32_t frameLength_;
  std::uint32_t sampleRate_;
  double silenceLevel_;
  std::uint32_t unvoicedPeriod_;
  std::vector<std::int32_t> window_;
  std::uint64_t windowFirst_ = 0;
  bool windowLoaded_ = false;
  std::vector<std::uint64_t> epochs_;
  bool lastVoiced_ = false;
  // How much better the voice has lately repeated two source periods on than one, and the
  // epochs since that was last compared (EpochsUpTo).
  static constexpr double OctaveHighEpoch = 0.05;
  static constexpr double OctaveHighVoice = 0.06;
  static constexpr double OctaveWatch = 0.01;
  static constexpr int OctaveJudgeEvery = 4;
  // How well a step of two to four periods must repeat the waveform to be taken at all.
  static constexpr double LongerRepeats = 0.6;
  // How far the input's power under a grain may stand above what the grain rebuilds (Lay).
  static constexpr double NotRepeating = 1.5;
  double octaveHigh_ = 0.0;
  int sinceOctaveJudged_ = 0;
  std::vector<double> ring_;
  std::size_t ringMask_;
  std::vector<double> grain_;
  std::vector<std::int32_t> early_;
  std::vector<double> padded_;  // the grain between silence (ModelEnvelope)
  std::array<Window, 2> hann_;  // the last two grains' windows (HannWindow)
  std::size_t hannLast_ = 0;
  std::array<std::vector<double>, 2> taper_;  // the last two reshaped grains' tapers (Taper)
  std::array<std::size_t, 2> taperHalf_{};
  std::array<std::size_t, 2> taperReach_{};
  std::size_t taperLast_ = 0;
  std::vector<double> trackLead_;    // Track's every second sample around the epoch, its lagged
  std::vector<double> trackLagged_;  // stretch (with room for the sums' last block to read past
                                     // it) and the coarse shifts' sums
  std::vector<double> trackSums_;
  double envelopeScale_;          // the formant shift as a frequency ratio
  double shiftAmount_;            // how far the shift brings the reshaping in, 0 .. 1
  std::size_t transformLength_;   // the longest transform a grain is reshaped in
  FftwArray<double> spectrum_;    // the grain to be reshaped, and the reshaped grain
  FftwArray<fftw_complex> bins_;  // its transform
  std::vector<double> magnitudes_;
  std::vector<double> harmonics_;
  std::vector<double> wanted_;     // the spectrum each bin is brought to
  std::vector<double> resonance_;  // the harmonics' powers with the pulse taken out
  std::vector<double> misfit_;     // the model's misfit at each harmonic (the amplitudes' ratio)
  std::vector<double> turnRe_;     // the harmonics' points on the unit circle (FitAllPole)
  std::vector<double> turnIm_;
  std::vector<double> atRe_;  // the model at a run of points (FitAllPole, ModelEnvelope)
  std::vector<double> atIm_;
  std::vector<double> pointRe_;           // the cosines of the bins' angles (ModelEnvelope)
  std::vector<double> scratch_;           // the cosine series' second term (kernels::CosineSeriesAt)
  std::size_t analysisLength_;            // the longest grain laid again for its harmonics
  FftwArray<double> analysis_;            // (ModelEnvelope), and the transform of its folded
  FftwArray<fftw_complex> analysisBins_;  // halves
  std::array<RealPlans, 32> plans_{};     // by the length's power of two; see Plans
  std::vector<double> pulse_;
  Poly poly_{};          // the last modelled grain's all-pole model of the resonances
  int polyOrder_ = -1;   // its order (-1: none, the next model starts afresh)
  int sinceJudged_ = 0;  // grains since a set-aside model was last judged
  double trust_ = 0.0;   // how far the last sparse voices' models were trusted, 0 .. 1 (ModelEnvelope)
  Grain reshaped_;       // the last grain laid
  double smoothedScale_ = 1.0;
  bool firstScale_ = true;
  std::vector<std::int32_t> out_;
  std::uint64_t written_ = 0;   // output positions before this are in the file
  std::uint64_t produced_ = 0;  // output positions before this have their marks
  double nextMark_ = 0.0;
  std::uint32_t segmentStart_ = 0;
  double scale_ = 1.0;
  const ProgressCallback& progress_;
  const kernels::Set& kernels_ = kernels::Best();
};

}  // namespace

std::size_t FormantWindowLength(std::uint32_t frameLength) { return FormantSink::WindowLength(frameLength); }

WalkEnd RenderKeepingFormants(SampleStream& samples, OutputWriter& writer, FrameStream& frames,
                              std::span<const TimeLink> links, const WalkParameters& parameters,
                              double silenceLevel, double formantShift, const ProgressCallback& progress) {
  FormantSink sink(samples, writer, frames, parameters.frameLength, parameters.sampleRate, silenceLevel,
                   formantShift, progress);
  const WalkEnd walked = Walk(frames, links, parameters, sink);
  sink.Finish(walked.outPos);
  return walked;
}

}  // namespace vocara::render
