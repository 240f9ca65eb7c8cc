#include "support/SungTakes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numbers>
#include <sstream>

#include "base/Settings.h"
#include "engine/sas/SasBuild.h"
#include "engine/sas/SasDocument.h"
#include "engine/wav/WavDocument.h"
#include "support/WavFiles.h"

namespace vocara::test {
namespace {

constexpr double Pi = std::numbers::pi;
constexpr double Rate = 48000;
constexpr double Source = 2 * Rate;  // the glottis runs at twice the rate, then is decimated

// xorshift32 and Box-Muller: the same numbers from every standard library.
struct Random {
  std::uint32_t state;
  double Uniform() {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return (state + 0.5) / 4294967296.0;
  }
  double Gauss() { return std::sqrt(-2 * std::log(Uniform())) * std::cos(2 * Pi * Uniform()); }
  double Between(double a, double b) { return a + (b - a) * Uniform(); }
};

// Two-pole section (the cookbook's high-pass and band-pass).
struct Biquad {
  double b0, b1, b2, a1, a2, x1 = 0, x2 = 0, y1 = 0, y2 = 0;
  static Biquad Make(bool highPass, double hz, double q) {
    const double w = 2 * Pi * hz / Rate, alpha = std::sin(w) / (2 * q), a0 = 1 + alpha, c = std::cos(w);
    if (highPass) return {(1 + c) / 2 / a0, -(1 + c) / a0, (1 + c) / 2 / a0, -2 * c / a0, (1 - alpha) / a0};
    return {alpha / a0, 0, -alpha / a0, -2 * c / a0, (1 - alpha) / a0};
  }
  double operator()(double x) {
    const double y = b0 * x + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
    x2 = x1, x1 = x, y2 = y1, y1 = y;
    return y;
  }
};

double Rms(const std::vector<double>& x) {
  double sum = 0;
  for (const double v : x) sum += v * v;
  return std::sqrt(sum / std::max<std::size_t>(x.size(), 1));
}

// White noise through the band's sections, brought to unit root mean square.
std::vector<double> BandNoise(std::size_t count, Random& random, std::vector<Biquad> band) {
  std::vector<double> x(count);
  for (double& v : x) {
    v = random.Gauss();
    for (Biquad& b : band) v = b(v);
  }
  const double rms = Rms(x);
  for (double& v : x) v /= rms;
  return x;
}

double Smooth(double u) { return u <= 0 ? 0 : u >= 1 ? 1 : 0.5 - 0.5 * std::cos(Pi * u); }

// Rosenberg glottal flow over one period, open over `open` of it: 70 % of that opening, 30 %
// closing. Higher voices stay open longer, which keeps their fundamental strong.
double Flow(double p, double open) {
  if (p < 0.7 * open) return 0.5 * (1 - std::cos(Pi * p / (0.7 * open)));
  if (p < open) return std::cos(Pi * (p - 0.7 * open) / (0.6 * open));
  return 0;
}

const Vowel& VowelOf(char v) {
  switch (v) {
    case 'e':
      return VowelE;
    case 'i':
      return VowelI;
    case 'o':
      return VowelO;
    case 'u':
      return VowelU;
    default:
      return VowelA;
  }
}

// One note of a script and how it follows the one before: '-' legato, '~' portamento,
// 'b' breath, 'r' rest, 's' 't' 'k' consonant. Written "~0.03 E4-15/a:0.5,s150,f200,v0.3:40:5.5"
// (a 30 ms glide into E4 15 cents flat sung on /a/ for 0.5 s, scooped from 150 cents below,
// falling 200 cents at the end, vibrato +-40 cents at 5.5 Hz from 0.3 s in).
struct Step {
  TakeNote note;
  char join = '-';
  double joinSeconds = 0, scoop = 0, scoopSeconds = 0, fall = 0, fallSeconds = 0, glide = 0, level = 1;
};

std::vector<Step> Parse(const std::string& script) {
  std::istringstream in(script);
  std::vector<Step> steps;
  char join = 'r';
  double joinSeconds = 0;
  for (std::string token; in >> token;) {
    char* p = token.data();
    if (!std::isupper(static_cast<unsigned char>(*p))) {
      join = *p;
      joinSeconds = std::strtod(p + 1, nullptr);
      continue;
    }
    Step s;
    s.join = join;
    s.joinSeconds = joinSeconds;
    constexpr int Semitone[] = {9, 11, 0, 2, 4, 5, 7};
    int semitone = Semitone[*p++ - 'A'];
    if (*p == '#') ++semitone, ++p;
    s.note.midi = 12 * (static_cast<int>(std::strtol(p, &p, 10)) + 1) + semitone;
    if (*p == '+' || *p == '-') s.note.cents = std::strtod(p, &p);
    s.note.vowel = p[1];
    s.note.offset = std::strtod(p + 3, &p);  // the length, until placed
    while (*p == ',') {
      const char kind = p[1];
      const double value = std::strtod(p + 2, &p);
      if (kind == 's') s.scoop = -value;
      if (kind == 'f') s.fall = value;
      if (kind == 'v') {
        s.note.vibratoStart = value;
        s.note.vibratoDepth = std::strtod(p + 1, &p);
        s.note.vibratoHz = std::strtod(p + 1, &p);
      }
    }
    steps.push_back(s);
    join = '-';
    joinSeconds = 0;
  }
  return steps;
}

struct Style {
  bool weakFundamental = false, reverb = false;
  double open = 0.6;  // of each glottal period
};

// Schroeder's reverberator: four combs in parallel (RT60 0.5 s), two all-passes in series.
std::vector<double> Reverberated(const std::vector<double>& dry) {
  std::vector<double> wet(dry.size());
  for (const double ms : {29.7, 37.1, 41.1, 43.7}) {
    const auto d = static_cast<std::size_t>(ms * Rate / 1000);
    const double g = std::pow(10.0, -3 * ms / 1000 / 0.5);
    std::vector<double> y(dry.size());
    for (std::size_t n = 0; n < dry.size(); ++n) y[n] = dry[n] + (n >= d ? g * y[n - d] : 0);
    for (std::size_t n = 0; n < dry.size(); ++n) wet[n] += y[n];
  }
  for (const double ms : {5.0, 1.7}) {
    const auto d = static_cast<std::size_t>(ms * Rate / 1000);
    std::vector<double> y(wet.size());
    for (std::size_t n = 0; n < wet.size(); ++n)
      y[n] = -0.7 * wet[n] + (n >= d ? wet[n - d] + 0.7 * y[n - d] : 0);
    wet = y;
  }
  return wet;
}

Take Sing(const std::string& name, const std::string& script, Style style, std::uint32_t seed) {
  Random random{seed};
  std::vector<Step> steps = Parse(script);
  Take take;
  take.name = name;
  struct Noise {
    double from, to;
    char kind;
  };
  std::vector<Noise> noises;
  double t = 0;
  for (std::size_t i = 0; i < steps.size(); ++i) {
    Step& s = steps[i];
    TakeNote& n = s.note;
    const double length = n.offset;
    const bool afterGap = i == 0 || !(s.join == '-' || s.join == '~');
    if (afterGap) {
      double gap = s.joinSeconds > 0 ? s.joinSeconds : s.join == 'b' ? 0.4 : s.join == 'r' ? 0.3 : 0.07;
      if (s.join == 't' || s.join == 'k') gap = 0.08;  // a 25 ms closure, then the release
      const double from = t + (s.join == 'b' ? 0.05 : s.join == 's' ? 0 : 0.025);
      const double to = t + gap - (s.join == 'b' ? 0.05 : 0);
      if (s.join == 'b') take.breaths.emplace_back(from, to);
      if (s.join == 's' || s.join == 't' || s.join == 'k') take.consonants.emplace_back(from, to);
      if (s.join != 'r') noises.push_back({from, to, s.join});
      t += gap;
    } else {
      s.glide = s.join == '~' ? (s.joinSeconds > 0 ? s.joinSeconds : 0.12) : 0.015;
      n.legato = true;
      n.portamento = s.join == '~';
    }
    n.onset = t;
    n.offset = t + length;
    t = n.offset;
    n.scooped = s.scoop != 0;
    n.fall = s.fall != 0;
    s.scoopSeconds = n.scooped ? random.Between(0.06, 0.12) : 0;
    s.fallSeconds = n.fall ? random.Between(0.08, 0.15) : 0;
    s.level = random.Between(0.75, 1.0);
    n.heldFrom = n.onset + std::max(s.glide / 2, s.scoopSeconds);
    n.vibratoStart = n.vibratoDepth > 0 ? n.onset + n.vibratoStart : 0;
    if (i > 0 && !afterGap) steps[i - 1].note.heldTo = n.onset - s.glide / 2;
    n.heldTo = n.offset - s.fallSeconds;
  }
  const double total = t + 0.4;

  // The voice at twice the rate: pitch contour, glottal pulses with jitter and shimmer, and
  // five resonators gliding from vowel to vowel.
  const auto count96 = static_cast<std::size_t>(total * Source);
  std::vector<double> voice96(count96), envelope(count96 / 2);
  std::array<double, 5> formants = VowelOf(steps[0].note.vowel).formants;
  std::array<std::array<double, 2>, 5> state{}, coef{};
  double phase = 0, flowBefore = 0, jitter = 1, shimmer = 1, vibratoPhase = 0, depth = 0, level = 0;
  const double follow = 1 - std::exp(-1 / (0.012 * Source));
  int k = -1;
  const auto target = [&](int i) { return (steps[i].note.midi - 69) * 100.0 + steps[i].note.cents; };
  for (std::size_t m = 0; m < count96; ++m) {
    const double time = m / Source;
    while (k + 1 < std::ssize(steps) && time >= steps[k + 1].note.onset) ++k;
    double amp = 0, cents = 0;
    const Step* next = k + 1 < std::ssize(steps) ? &steps[k + 1] : nullptr;
    if (k >= 0 && time < steps[k].note.offset) {
      const Step& s = steps[k];
      const TakeNote& n = s.note;
      cents = target(k);
      if (s.glide > 0)
        cents =
            target(k - 1) + (target(k) - target(k - 1)) * Smooth((time - n.onset + s.glide / 2) / s.glide);
      if (next && next->glide > 0)
        cents +=
            (target(k + 1) - target(k)) * Smooth((time - next->note.onset + next->glide / 2) / next->glide);
      cents += s.scoop * (1 - Smooth((time - n.onset) / std::max(s.scoopSeconds, 1e-9)));
      const double falling = n.fall ? std::clamp((time - n.heldTo) / s.fallSeconds, 0.0, 1.0) : 0;
      cents -= s.fall * falling * falling;
      amp = (1 - 0.7 * falling) * std::min(s.glide > 0 ? 1 : (time - n.onset) / 0.015, 1.0);
      if (!next || next->glide == 0) amp *= std::min(1.0, (n.offset - time) / 0.02);
      level += (s.level - level) * follow;
      depth += (n.vibratoDepth * std::clamp((time - n.vibratoStart) / 0.15, 0.0, 1.0) - depth) * follow;
      vibratoPhase += n.vibratoHz / Source;
    }
    cents += depth * std::sin(2 * Pi * vibratoPhase);
    phase += 440 * std::exp2(cents / 1200) * jitter / Source;
    if (phase >= 1) {
      phase -= std::floor(phase);
      jitter = 1 + 0.006 * std::clamp(random.Gauss(), -3.0, 3.0);
      shimmer = 1 + 0.04 * std::clamp(random.Gauss(), -3.0, 3.0);
    }
    const double flow = Flow(phase, style.open);
    double x = (flow - flowBefore) * shimmer * amp * level;
    flowBefore = flow;
    if (m % 8 == 0) {
      const bool change = next && time >= next->note.onset - 0.02;
      const Vowel& vowel = VowelOf((change ? *next : steps[std::max(k, 0)]).note.vowel);
      // A singer opens the mouth so that the first formant stays above the fundamental.
      const double lowest = std::max(vowel.formants[0], amp > 0 ? 1.1 * 440 * std::exp2(cents / 1200) : 0);
      for (std::size_t f = 0; f < 5; ++f) {
        formants[f] += ((f == 0 ? lowest : vowel.formants[f]) - formants[f]) * 8 * follow;
        const double r = std::exp(-Pi * vowel.bandwidths[f] / Source);
        coef[f] = {2 * r * std::cos(2 * Pi * formants[f] / Source), r * r};
      }
    }
    for (std::size_t f = 0; f < 5; ++f) {
      const double y =
          (1 - coef[f][0] + coef[f][1]) * x + coef[f][0] * state[f][0] - coef[f][1] * state[f][1];
      state[f][1] = state[f][0];
      state[f][0] = y;
      x = y;
    }
    voice96[m] = x;
    if (m % 2 == 0 && m / 2 < envelope.size()) envelope[m / 2] = amp * level;
  }

  // Down to the rate through a Blackman-windowed half-band sinc.
  constexpr int Half = 48;
  std::array<double, 2 * Half + 1> taps{};
  for (int i = -Half; i <= Half; ++i)
    taps[i + Half] = (i == 0 ? 0.5 : std::sin(Pi * i / 2) / (Pi * i)) *
                     (0.42 + 0.5 * std::cos(Pi * i / Half) + 0.08 * std::cos(2 * Pi * i / Half));
  const std::size_t count = envelope.size();
  std::vector<double> voice(count);
  Biquad weak = Biquad::Make(true, 160, 0.7);
  for (std::size_t j = 0; j < count; ++j) {
    double sum = 0;
    for (int i = -Half; i <= Half; ++i) {
      const auto at = static_cast<std::int64_t>(2 * j) + i;
      if (at >= 0 && at < std::ssize(voice96)) sum += taps[i + Half] * voice96[at];
    }
    voice[j] = style.weakFundamental ? weak(sum) : sum;
  }
  // A singer keeps the notes at about one loudness whatever the resonators make of them: each
  // note brought to its own level, the gains crossing over some 20 ms at the changes.
  std::vector<double> gain(count, 0);
  for (std::size_t i = 0; i < steps.size(); ++i) {
    const TakeNote& n = steps[i].note;
    double sum = 0, samples = 0;
    for (auto j = static_cast<std::size_t>(n.heldFrom * Rate); j < n.heldTo * Rate; ++j, ++samples)
      sum += voice[j] * voice[j];
    const double noteGain = steps[i].level / std::sqrt(sum / samples + 1e-30);
    const auto from = static_cast<std::size_t>(n.onset * Rate);
    const std::size_t to =
        i + 1 < steps.size() ? static_cast<std::size_t>(steps[i + 1].note.onset * Rate) : count;
    std::fill(gain.begin() + from, gain.begin() + to, noteGain);
  }
  const auto first = static_cast<std::size_t>(steps[0].note.onset * Rate);
  std::fill(gain.begin(), gain.begin() + static_cast<std::ptrdiff_t>(first), gain[first]);
  const double glide = 1 - std::exp(-1 / (0.01 * Rate));
  for (std::size_t j = 1; j < count; ++j) gain[j] += (gain[j - 1] - gain[j]) * (1 - glide);
  for (std::size_t j = count - 1; j-- > 0;) gain[j] += (gain[j + 1] - gain[j]) * (1 - glide);
  for (std::size_t j = 0; j < count; ++j) voice[j] *= gain[j];
  double voiced = 0, voicedCount = 0;
  for (std::size_t j = 0; j < count; ++j)
    if (envelope[j] > 0.5) voiced += voice[j] * voice[j], ++voicedCount;
  const double voiceRms = std::sqrt(voiced / std::max(voicedCount, 1.0));

  // Aspiration with the voice at -30 dB, consonants at -16 dB, breaths at -40 dB.
  const std::vector<double> aspiration = BandNoise(count, random, {Biquad::Make(false, 2500, 0.6)});
  const std::vector<double> hiss =
      BandNoise(count, random, {Biquad::Make(true, 4000, 0.7), Biquad::Make(true, 4000, 0.7)});
  const std::vector<double> tBand = BandNoise(count, random, {Biquad::Make(false, 2900, 1.4)});
  const std::vector<double> kBand = BandNoise(count, random, {Biquad::Make(false, 1450, 1.4)});
  const std::vector<double> breath = BandNoise(count, random, {Biquad::Make(false, 1225, 0.5)});
  std::vector<double> mix(count);
  for (std::size_t j = 0; j < count; ++j) mix[j] = voice[j] + 0.0316 * voiceRms * envelope[j] * aspiration[j];
  for (const Noise& noise : noises) {
    const double burst = random.Between(0.005, 0.015);
    for (auto j = static_cast<std::size_t>(noise.from * Rate); j < noise.to * Rate && j < count; ++j) {
      const double at = j / Rate - noise.from, left = noise.to - j / Rate;
      double shape = std::min({1.0, at / 0.01, left / 0.015});
      if (noise.kind == 'b') {
        mix[j] += 0.01 * voiceRms * shape * breath[j];
        continue;
      }
      if (noise.kind != 's') shape = at < burst ? 1.5 : 0.7 * std::min(1.0, left / 0.015);
      mix[j] += 0.158 * voiceRms * shape * (noise.kind == 's' ? hiss : noise.kind == 't' ? tBand : kBand)[j];
    }
  }
  if (style.reverb) {
    std::vector<double> wet = Reverberated(mix);
    const double gain = 0.25 * Rms(mix) / Rms(wet);
    double peak = 0;
    for (const double v : voice) peak = std::max(peak, std::abs(v));
    for (std::size_t j = 0; j < count; ++j) mix[j] += gain * wet[j] + 0.0178 * peak * random.Gauss();
  }
  double peak = 0;
  for (const double v : mix) peak = std::max(peak, std::abs(v));
  const double scale = std::pow(10.0, -8.0 / 20) * 32767 / peak;
  take.samples.resize(count);
  for (std::size_t j = 0; j < count; ++j)
    take.samples[j] = static_cast<std::int32_t>(std::lround(mix[j] * scale));
  take.lowest = 127;
  for (const Step& s : steps) {
    take.notes.push_back(s.note);
    take.lowest = std::min(take.lowest, s.note.midi);
    take.highest = std::max(take.highest, s.note.midi);
  }
  return take;
}

std::string Melisma() {
  std::string script = "D4/a:0.6";
  constexpr const char* Run[] = {"E4", "F#4", "G4", "A4", "G4", "F#4", "E4", "D4"};
  for (int i = 0; i < 32; ++i) script += std::string(" ~0.03 ") + Run[i % 8] + "/a:0.125";
  return script + " ~0.03 E4/a:0.8,v0.3:40:5.5,f150 b A4/o:0.6 - G4/a:0.4 ~ D4/e:0.9,f150";
}

}  // namespace

std::vector<Take> RealisticTakes() {
  std::vector<Take> takes;
  takes.push_back(Sing("bass",
                       "E2/a:0.6 t G2/o:0.45 - A2/o:0.4 k B2/e:0.5,s150 - D3/a:0.6 s E3/o:0.8,v0.35:40:5 b "
                       "B2/u:0.4 t E3/a:0.5,s120 - G3/e:0.35 - A3/a:0.3 ~ D4/o:0.7 - E4/a:0.5 ~ B3/o:0.6 t "
                       "G3/u:0.4 - E3/a:1.0,v0.4:35:5,f200",
                       {.weakFundamental = true}, 101));
  takes.push_back(
      Sing("tenor",
           "F3/a:0.6 ~ A#3-20/o:0.9,v0.3:30:5.5 - C4/o:0.4 t D4/e:0.5 - C4/e:0.3 - A#3/a:0.35 s "
           "G3/i:0.5,s120 - A3/a:0.4 ~ C4/o:0.6 - D#4/a:0.45 k F4/a:0.7,v0.35:35:5.8 - D#4/e:0.3 - "
           "D4/o:0.5 b C4/a:0.5 - A#3/o:0.4 - G3/u:0.3 ~ F3/a:1.0,v0.4:30:5.5,f150",
           {}, 102));
  takes.push_back(Sing("alto-long",
                       "A3/a:1.5,v0.6:60:5 ~ C4/o:1.6,v0.7:70:4.8 t E4/e:1.5,v0.5:55:5.2 - F#4/a:0.5 - "
                       "G4/o:0.4 ~ B4/a:1.8,v0.8:80:4.6 b E5/a:1.6,v0.6:65:5.4,s150 ~ C#5/o:1.5,v0.5:50:5 - "
                       "A4/e:0.5 ~ E4/a:1.5,v0.7:60:5,f200",
                       {.open = 0.85}, 103));
  takes.push_back(Sing("soprano",
                       "G4/a:0.5 - A4/a:0.4 t C5/e:0.5,s120 - E5/o:0.6 ~ G5/a:0.7,v0.35:40:5.8 - A5/a:0.4 b "
                       "C6-40/a:0.6 - B5+40/a:0.7,v0.4:35:6 ~ G5/e:0.5 - E5/o:0.4 k D5/i:0.5 - C5/a:0.4 ~ "
                       "E5/a:0.5 - F5/e:0.35 - G5/o:0.8,v0.4:40:5.5 s C6/a:0.6,s150 - B5/a:0.35 - A5/o:0.4 ~ "
                       "C5/a:0.9,v0.4:40:5.5,f200",
                       {.open = 0.85}, 104));
  takes.push_back(Sing("semitone-pairs",
                       "B4+40/e:0.3 - C5-40/a:0.5 t E5+40/a:0.3 - F5-40/o:0.5 k G#5-35/e:0.3 - G5/a:0.5 b "
                       "C5-40/a:0.3 - B4+40/e:0.5 t F5-40/o:0.3 - E5+40/a:0.5 k G5/a:0.3 - G#5-35/e:0.5 s "
                       "A4/a:0.4 - A#4-30/o:0.4 - A4+20/a:0.6",
                       {.open = 0.85}, 105));
  takes.push_back(Sing("melisma", Melisma(), {}, 106));
  takes.push_back(
      Sing("portamenti",
           "C4/a:0.6 ~ E4-15/a:0.6 ~ A4/o:0.8,v0.4:35:5.5 t G4/e:0.5 ~0.15 D4/a:0.6 - E4/a:0.4 "
           "~0.2 A4/e:0.7 s F4/o:0.5 ~ C4/a:0.7 k A3/a:0.5 ~0.15 E4/o:0.7,v0.35:30:5.5 ~ C4/u:0.5 "
           "~ G3/a:1.0,v0.4:35:5.2,f150",
           {}, 107));
  takes.push_back(Sing("repeated",
                       "G4/a:0.4 t G4/a:0.4 k G4/o:0.35 s G4/e:0.4 t G4/a:0.3 b0.35 G4/a:0.4 k G4/o:0.4 - "
                       "A4/a:0.4 t A4/a:0.3 s A4/e:0.35 k A4/a:0.3 t A4/o:0.5 - F4/a:0.4 k F4/a:0.4 s "
                       "F4/e:0.35 t E4/a:0.4 t E4/a:0.8,f150",
                       {}, 108));
  takes.push_back(Sing("mezzo-reverb",
                       "A3/a:0.5 - C4/o:0.4 t E4/a:0.6 ~ A4/a:0.8,v0.4:45:5.2 - G4/e:0.4 - F4/a:0.4 k "
                       "E4/o:0.5 - D4/a:0.4 ~ C4/a:0.8,v0.4:40:5,f150 b D4/e:0.5 - F4/a:0.4 s A4/o:0.6 ~ "
                       "D5/a:1.0,v0.4:50:5.2 - C5/a:0.4 t A4/e:0.5 ~ F4/a:1.0,v0.4:40:5,f200",
                       {.reverb = true, .open = 0.85}, 109));
  takes.push_back(Sing("tenor-scoops",
                       "C4/a:0.6,s150 t E4/o:0.5,s120 - G4/a:0.7,s180,f200 b G4/e:0.5,s200 k A4/a:0.6,s100 - "
                       "G4/o:0.4 s E4/a:0.6,s150,f150 b D4/a:0.5,s130 t F4/e:0.5,s160 - "
                       "A4/a:0.8,s120,v0.4:30:5.5 k C5/o:0.7,s200,f250 b A4/a:0.5,s150 - G4/a:0.4 t "
                       "E4/a:0.5,s110 - C4/o:1.0,s180,v0.4:35:5,f200",
                       {}, 110));
  takes.push_back(
      Sing("soprano-vibrato",
           "E5/a:1.4,v0.5:50:5.8 - D5/a:0.15 - C5/e:0.15 - B4/a:0.2 ~ G5/a:1.5,v0.6:60:6 t "
           "F5/o:0.18 - E5/a:0.12 - D5/e:0.2 - E5/a:1.6,v0.5:55:5.5,f150 b A5/a:1.2,v0.4:50:6.2,s120 "
           "- G5/e:0.15 - F5/a:0.15 - E5/o:0.2 ~ C6/a:1.5,v0.6:60:5.8 - B5/a:0.2 - "
           "A5/o:1.5,v0.5:50:5.5,f200",
           {.open = 0.85}, 111));
  takes.push_back(
      Sing("baritone",
           "A2/a:2.0,v0.6:40:5 - A#2/o:0.5 - B2/a:0.6 - C3/e:0.12 - C#3/a:0.12 - "
           "D3/a:0.8,v0.4:35:5.2 t D3/o:0.4 - C#3/a:0.4 - C3/a:0.5 ~ F3/e:1.2,v0.5:40:5 k E3/a:0.3 "
           "- D#3/o:0.3 - E3/a:0.12 - F3/a:0.12 - F#3/a:0.12 - G3/o:1.5,v0.5:45:5,f200 b "
           "G2/a:0.4,s150 - G#2/a:0.4 - A2/o:1.6,v0.5:40:5,f150",
           {.weakFundamental = true}, 112));
  return takes;
}

std::string MidiName(int midi) {
  constexpr const char* Names[] = {"C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"};
  return Names[((midi % 12) + 12) % 12] + std::to_string(midi / 12 - 1);
}

NoteScore ScoreNotes(const Take& take, const std::vector<FoundNote>& found, double tolerance) {
  NoteScore score;
  score.sung = static_cast<int>(take.notes.size());
  score.found = static_cast<int>(found.size());
  struct Pair {
    double distance;
    std::size_t sung, found;
  };
  std::vector<Pair> pairs;
  for (std::size_t i = 0; i < take.notes.size(); ++i)
    for (std::size_t j = 0; j < found.size(); ++j)
      if (const double d = std::abs(found[j].onset - take.notes[i].onset); d <= tolerance)
        pairs.push_back({d, i, j});
  std::sort(pairs.begin(), pairs.end(), [](const Pair& a, const Pair& b) { return a.distance < b.distance; });
  std::vector<bool> sungUsed(take.notes.size()), foundUsed(found.size());
  for (const Pair& p : pairs)
    if (!sungUsed[p.sung] && !foundUsed[p.found])
      sungUsed[p.sung] = foundUsed[p.found] = true, ++score.matchedOnsets;
  const double precision = score.found > 0 ? double(score.matchedOnsets) / score.found : 0;
  const double recall = score.sung > 0 ? double(score.matchedOnsets) / score.sung : 0;
  score.onsetF = precision + recall > 0 ? 2 * precision * recall / (precision + recall) : 0;

  const auto overlap = [](const FoundNote& f, const TakeNote& n) {
    return std::max(0.0, std::min(f.offset, n.heldTo) - std::max(f.onset, n.heldFrom));
  };
  char line[160];
  std::vector<int> within(take.notes.size());
  for (std::size_t i = 0; i < take.notes.size(); ++i) {
    const TakeNote& n = take.notes[i];
    const FoundNote* best = nullptr;
    for (const FoundNote& f : found)
      if (overlap(f, n) > 0 && (!best || overlap(f, n) > overlap(*best, n))) best = &f;
    if (best && best->midi == n.midi) continue;
    ++score.misnamed;
    std::snprintf(line, sizeof line, "note %zu (%s at %.3f s) %s%s", i, MidiName(n.midi).c_str(), n.onset,
                  best ? "found as " : "not found", best ? MidiName(best->midi).c_str() : "");
    score.problems.emplace_back(line);
  }
  for (const FoundNote& f : found) {
    std::size_t owner = take.notes.size();
    for (std::size_t i = 0; i < take.notes.size(); ++i)
      if (overlap(f, take.notes[i]) >= 0.5 * (f.offset - f.onset)) owner = i;
    if (owner < take.notes.size() && within[owner]++ == 0) continue;
    ++score.phantoms;
    std::snprintf(line, sizeof line, "phantom %s at %.3f-%.3f s%s", MidiName(f.midi).c_str(), f.onset,
                  f.offset, owner < take.notes.size() ? " (splits a sung note)" : "");
    score.problems.emplace_back(line);
  }
  return score;
}

NoteRangeResult BuildTake(const Take& take, const std::string& wavPath, const std::string& sasPath,
                          WavDocument& wav, SasDocument& sas) {
  WriteWav16(wavPath, take.samples, static_cast<std::uint32_t>(take.rate));
  if (WavOpenDocument(wav, wavPath).message != MessageId::None) {
    ADD_FAILURE() << take.name << ": the take does not open";
    return {};
  }
  GeneralSettings settings;
  const NoteRangeResult range = DetectNoteRange(wav, settings);
  if (!range.found) {
    ADD_FAILURE() << take.name << ": no note range found";
    return range;
  }
  settings.lowestNote = range.lowestNote;
  settings.highestNote = range.highestNote;
  if (SasBuildFile(wav, settings, sasPath, {}).message != MessageId::None ||
      SasOpenDocument(sas, sasPath, SasAccess::ReadWrite) != MessageId::None) {
    ADD_FAILURE() << take.name << ": the SAS is not built";
    return {};
  }
  return range;
}

}  // namespace vocara::test
