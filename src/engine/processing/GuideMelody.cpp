#include "engine/processing/GuideMelody.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <tuple>

#include "engine/sas/NoteSegments.h"
#include "engine/sas/NoteShift.h"
#include "engine/sas/SasChange.h"
#include "engine/sas/SasDocument.h"
#include "engine/sas/ScaleSnap.h"

namespace vocara {
namespace {

constexpr double FullScale = 4294967296.0;  // peak to peak, left-aligned 32-bit samples

double Limited(double value, double low, double high, double fallback) {
  return std::isfinite(value) ? std::clamp(value, low, high) : fallback;
}

double TargetCentre(const NoteReport& note) {
  return note.note * 100.0 + (std::isfinite(note.targetCents) ? note.targetCents : note.centreCents);
}

// The source pitch and peak-to-peak amplitude of frames first <= i < first + pitch.size(), the
// frames that are not voiced 0: read once for all the notes.
struct NoteFrames {
  std::uint32_t first = 0;
  std::vector<double> pitch;
  std::vector<double> amplitude;
};

bool ReadNoteFrames(SasDocument& sas, const std::vector<NoteReport>& notes, NoteFrames& frames) {
  frames = NoteFrames{};
  if (notes.empty()) return true;
  frames.first = notes.front().firstFrame;
  const std::size_t count = notes.back().endFrame - frames.first;
  frames.pitch.assign(count, 0.0);
  frames.amplitude.assign(count, 0.0);
  return ForEachVoicedRun(sas, frames.first, notes.back().endFrame,
                          SilenceLevel(sas.header.settings.silenceThreshold),
                          [&](std::uint32_t runFirst, std::span<SasFrame> run) {
                            for (std::size_t i = 0; i < run.size(); ++i) {
                              frames.pitch[runFirst - frames.first + i] = run[i].sourcePitch;
                              frames.amplitude[runFirst - frames.first + i] = run[i].Amplitude();
                            }
                            return true;
                          });
}

// Where each note begins as a listener hears it, in frames: a note reached by a glide from the
// note before begins where the pitch passes the middle between the two notes' centres, the
// moment the ear takes the new note; a note after a breath, or one that repeats the note before,
// begins at its first frame.
std::vector<double> Onsets(const std::vector<NoteReport>& notes, const NoteFrames& frames) {
  std::vector<double> onsets;
  for (const NoteReport& note : notes) onsets.push_back(note.firstFrame);
  for (std::size_t n = 1; n < notes.size(); ++n) {
    const NoteReport& before = notes[n - 1];
    const NoteReport& note = notes[n];
    const double from = before.note * 100.0 + before.centreCents;
    const double to = note.note * 100.0 + note.centreCents;
    if (before.endFrame != note.firstFrame || !std::isfinite(from) || !std::isfinite(to) ||
        std::abs(to - from) < 50)
      continue;
    // From the end of the held part before to the start of this one, the first frame on the new
    // note's side of the middle.
    const double middle = (from + to) / 2;
    const std::uint32_t searchFrom = before.heldEnd > before.heldFirst ? before.heldEnd : before.firstFrame;
    const std::uint32_t searchTo = note.heldEnd > note.heldFirst ? note.heldFirst : note.endFrame;
    for (std::uint32_t k = searchFrom; k < searchTo; ++k) {
      const double p = frames.pitch[k - frames.first];
      if (p > 0 && (p - middle) * (to - from) >= 0) {
        onsets[n] = k;
        break;
      }
    }
  }
  return onsets;
}

double Overlap(double a0, double a1, double b0, double b1) {
  return std::max(0.0, std::min(a1, b1) - std::max(a0, b0));
}

// Sung note i paired with melody note j, by the order of `score` (lower first).
struct Candidate {
  double score;
  std::size_t sung;
  std::size_t guide;
};

// Pairs by overlap with the held part, then by the distance of the starts; one guide note to
// one sung note. pairOf[i] is the melody index of sung note i, or npos.
std::vector<std::size_t> PairNotes(const std::vector<NoteReport>& sung, const std::vector<double>& onsets,
                                   const std::vector<MidiNote>& melody, double secondsPerFrame) {
  constexpr std::size_t None = std::numeric_limits<std::size_t>::max();
  std::vector<std::size_t> pairOf(sung.size(), None);
  std::vector<bool> taken(melody.size(), false);
  // Overlap pairs a sung note with the guide note it is sung over, however many sung notes the
  // analysis split a long guide note into; closeness in time pairs a guide note once.
  const auto assign = [&](std::vector<Candidate>& candidates, bool once) {
    std::stable_sort(candidates.begin(), candidates.end(),
                     [](const Candidate& a, const Candidate& b) { return a.score < b.score; });
    for (const Candidate& c : candidates) {
      if (pairOf[c.sung] != None || (once && taken[c.guide])) continue;
      pairOf[c.sung] = c.guide;
      taken[c.guide] = true;
    }
  };
  std::vector<Candidate> candidates;
  for (std::size_t i = 0; i < sung.size(); ++i) {
    const NoteReport& note = sung[i];
    const bool held = note.heldEnd > note.heldFirst;
    const double from = (held ? note.heldFirst : note.firstFrame) * secondsPerFrame;
    const double to = (held ? note.heldEnd : note.endFrame) * secondsPerFrame;
    if (!(to > from)) continue;
    // The melody is sorted by start: the notes starting after the held part ends cannot overlap it.
    for (std::size_t j = 0; j < melody.size() && melody[j].start < to; ++j) {
      const double share = Overlap(from, to, melody[j].start, melody[j].end) / (to - from);
      if (share >= 0.5) candidates.push_back({-share, i, j});
    }
  }
  assign(candidates, false);
  candidates.clear();
  for (std::size_t i = 0; i < sung.size(); ++i) {
    if (pairOf[i] != None) continue;
    const double start = onsets[i] * secondsPerFrame;
    for (std::size_t j = 0; j < melody.size(); ++j) {
      const double distance = std::abs(melody[j].start - start);
      if (!taken[j] && distance <= GuidePairingReach) candidates.push_back({distance, i, j});
    }
  }
  assign(candidates, true);
  return pairOf;
}

// Where the links place source sample `source`: linearly between the links around it (the
// table is ordered by target with increasing sources); outside them, shifted as the nearest.
double MappedTarget(const std::vector<TimeLink>& links, double source) {
  if (links.empty()) return source;
  const auto after =
      std::find_if(links.begin(), links.end(), [&](const TimeLink& l) { return l.source > source; });
  if (after == links.begin()) return source - links.front().source + links.front().target;
  const TimeLink& a = *std::prev(after);
  if (after == links.end()) return source - a.source + a.target;
  const TimeLink& b = *after;
  const double span = static_cast<double>(b.source) - a.source;
  return a.target + (source - a.source) * (static_cast<double>(b.target) - a.target) / span;
}

// The notes of the range as the timing sees them, in samples: where each begins as heard, its
// voiced frames, and the range.
struct NoteSpans {
  const std::vector<NoteReport>& notes;
  const std::vector<double>& onsets;  // frames
  std::uint32_t first;
  std::uint32_t end;
  double frameLength;
  double rate;

  double Onset(std::size_t n) const { return onsets[n] * frameLength; }
  double VoicedFirst(std::size_t n) const { return notes[n].firstFrame * frameLength; }
  double VoicedEnd(std::size_t n) const { return notes[n].endFrame * frameLength; }
  // Where the unvoiced stretch before note n begins (its voiced first sample when the note
  // before runs into it).
  double GapStart(std::size_t n) const { return n > 0 ? VoicedEnd(n - 1) : first * frameLength; }
  // Whether the stretch before note n, moved by `shift` samples, takes the change itself: a
  // pause (a breath, a rest) keeps its start and grows or shrinks at its end, as long as it keeps
  // half its length; a shorter stretch (a consonant) keeps its length and moves with its note.
  bool PauseTakes(std::size_t n, double shift) const {
    const double gap = VoicedFirst(n) - GapStart(n);
    return n == 0 || (gap >= GuidePauseSeconds * rate && 2 * std::abs(shift) <= gap);
  }
};

// A point the links hold: input sample `source` goes `shift` samples past where the kept links
// place it. owner is the moved note that needs it (npos: the start of an in-time note); onsetOf
// the timed note whose start it is (npos: none).
struct Anchor {
  double source;
  double shift;
  std::size_t owner;
  std::size_t onsetOf;
};
constexpr std::size_t NoNote = std::numeric_limits<std::size_t>::max();

// The points the links hold (see SasFollowGuide): every timed note's start, moved or held, and
// around each moved note the points of its neighbours that keep the change inside voiced parts.
std::vector<Anchor> TimingAnchors(const NoteSpans& spans, const std::vector<bool>& timed,
                                  const std::vector<double>& shifts) {
  std::vector<Anchor> anchors;
  const std::size_t count = spans.notes.size();
  for (std::size_t i = 0; i < count; ++i) {
    if (timed[i]) anchors.push_back({spans.Onset(i), shifts[i], shifts[i] != 0 ? i : NoNote, i});
  }
  const auto legato = [&](std::size_t n) { return n > 0 && spans.VoicedEnd(n - 1) >= spans.VoicedFirst(n); };
  for (std::size_t b = 0; b < count; ++b) {
    const double shift = shifts[b];
    if (shift == 0) continue;
    if (legato(b)) {
      anchors.push_back({spans.Onset(b - 1), shifts[b - 1], b, NoNote});
    } else {
      const bool pause = spans.PauseTakes(b, shift);
      anchors.push_back({spans.GapStart(b), pause ? 0 : shift, b, NoNote});
      anchors.push_back({spans.VoicedFirst(b), shift, b, NoNote});
      if (!pause) anchors.push_back({spans.Onset(b - 1), shifts[b - 1], b, NoNote});
    }
    const std::size_t c = b + 1;
    if (c < count && legato(c)) {
      anchors.push_back({spans.Onset(c), shifts[c], b, NoNote});
    } else if (c >= count || shifts[c] == 0 || spans.PauseTakes(c, shifts[c])) {
      // (A next note that moves its consonant along holds that stretch's start itself.)
      anchors.push_back({spans.VoicedEnd(b), 0, b, NoNote});
    }
  }
  std::stable_sort(anchors.begin(), anchors.end(),
                   [](const Anchor& a, const Anchor& b) { return a.source < b.source; });
  return anchors;
}

// The kept links with the anchors among them, each set as the Set Time Link mode would set it:
// strictly between its neighbours in source and target, and only while the table has room (the
// anchors in order of source). An anchor where a link already holds the same target is met.
// refused lists the owners of the anchors not met; onsetSet[i] whether note i's start got a
// link of its own.
std::vector<TimeLink> LinksWithAnchors(const std::vector<TimeLink>& kept, const std::vector<Anchor>& anchors,
                                       std::vector<std::size_t>& refused, std::vector<bool>& onsetSet) {
  refused.clear();
  std::fill(onsetSet.begin(), onsetSet.end(), false);
  std::vector<TimeLink> links;
  links.reserve(std::min(MaxTimeLinks, kept.size() + anchors.size()));
  std::size_t k = 0;  // the next kept link
  const auto refuse = [&](const Anchor& a) {
    if (a.owner != NoNote) refused.push_back(a.owner);
  };
  for (const Anchor& a : anchors) {
    const double source = std::round(a.source);
    const double target = std::round(MappedTarget(kept, a.source) + a.shift);
    while (k < kept.size() && kept[k].source < source) links.push_back(kept[k++]);
    if (!(source >= 0 && source <= UINT32_MAX && target >= 0 && target <= UINT32_MAX)) {
      refuse(a);
      continue;
    }
    const TimeLink link{static_cast<std::uint32_t>(source), static_cast<std::uint32_t>(target)};
    const bool atKept = k < kept.size() && kept[k].source == link.source;
    const bool atLast = !links.empty() && links.back().source == link.source;
    if (atKept || atLast) {
      if ((atKept ? kept[k] : links.back()).target != link.target) refuse(a);
      continue;
    }
    const bool fits = (links.empty() || links.back().target < link.target) &&
                      (k == kept.size() || link.target < kept[k].target) && !links.empty() &&
                      k < kept.size() && links.size() + (kept.size() - k) < MaxTimeLinks;
    if (!fits) {
      refuse(a);
      continue;
    }
    links.push_back(link);
    if (a.onsetOf != NoNote) onsetSet[a.onsetOf] = true;
  }
  while (k < kept.size()) links.push_back(kept[k++]);
  return links;
}
}  // namespace

int MidiVelocity(double peakToPeak) {
  if (!(peakToPeak > 0)) return 1;
  const double db = 20 * std::log10(peakToPeak / FullScale);
  return static_cast<int>(std::clamp(std::lround(127 * (1 + db / 48)), 1L, 127L));
}

bool TakeNotesAsMidi(SasDocument& sas, std::uint32_t first, std::uint32_t end,
                     std::vector<MidiOutNote>& notes) {
  notes.clear();
  CorrectionReport listing;
  if (!ListNotesOfFrames(sas, first, end, listing)) return false;
  NoteFrames frames;
  if (!ReadNoteFrames(sas, listing.notes, frames)) return false;
  const std::vector<double> onsets = Onsets(listing.notes, frames);
  const double secondsPerFrame = static_cast<double>(sas.header.frameLength) / sas.header.sampleRate;
  for (std::size_t n = 0; n < listing.notes.size(); ++n) {
    const NoteReport& note = listing.notes[n];
    const double centre = TargetCentre(note);
    if (!std::isfinite(centre)) continue;
    const long semitone = std::lround(centre / 100.0);
    MidiOutNote out;
    out.start = onsets[n] * secondsPerFrame;
    // Up to where the next note begins, which a glide brings before this note's last frame.
    const double end = n + 1 < onsets.size() ? std::min<double>(onsets[n + 1], note.endFrame) : note.endFrame;
    out.end = end * secondsPerFrame;
    out.key = static_cast<int>(std::clamp(21 + semitone, 0L, 127L));
    out.bendCents = centre - semitone * 100.0;
    // The held part's mean level (of its voiced frames).
    const bool held = note.heldEnd > note.heldFirst;
    double sum = 0;
    double count = 0;
    for (std::uint32_t i = held ? note.heldFirst : note.firstFrame; i < (held ? note.heldEnd : note.endFrame);
         ++i) {
      const double amplitude = frames.amplitude[i - frames.first];
      sum += amplitude;
      count += amplitude > 0 ? 1 : 0;
    }
    out.velocity = MidiVelocity(count > 0 ? sum / count : 0);
    notes.push_back(out);
  }
  return true;
}

std::vector<MidiNote> GuideMelodyLine(std::vector<MidiNote> notes) {
  std::erase_if(notes, [](const MidiNote& n) { return !(n.end > n.start); });
  std::stable_sort(notes.begin(), notes.end(), [](const MidiNote& a, const MidiNote& b) {
    return std::tie(a.start, b.key) < std::tie(b.start, a.key);
  });
  std::vector<MidiNote> melody;
  std::vector<std::size_t> active;  // melody notes still sounding at the start of the note at hand
  for (MidiNote note : notes) {
    std::erase_if(active, [&](std::size_t k) { return melody[k].end <= note.start; });
    for (const std::size_t k : active) {
      MidiNote& kept = melody[k];
      if (note.key > kept.key) {
        kept.end = std::min(kept.end, note.start);
      } else {
        note.start = std::max(note.start, kept.end);
      }
    }
    if (!(note.end > note.start)) continue;
    active.push_back(melody.size());
    melody.push_back(note);
  }
  std::erase_if(melody, [](const MidiNote& n) { return !(n.end > n.start); });
  std::stable_sort(melody.begin(), melody.end(),
                   [](const MidiNote& a, const MidiNote& b) { return a.start < b.start; });
  return melody;
}

GuideParams ClampGuideParams(const GuideParams& params) {
  const GuideParams defaults;
  GuideParams p;
  p.centre = Limited(params.centre, 0, 100, defaults.centre);
  p.drift = Limited(params.drift, 0, 100, defaults.drift);
  p.retuneMs = Limited(params.retuneMs, 0, MaxRetuneMs, defaults.retuneMs);
  p.timing = Limited(params.timing, 0, 100, defaults.timing);
  return p;
}

bool SasFollowGuide(SasDocument& sas, const std::vector<MidiNote>& melody, std::uint32_t first,
                    std::uint32_t end, const GuideParams& params, GuideOutcome& outcome,
                    const FrameChangeSink& sink) {
  outcome = GuideOutcome{};
  if (sas.readOnly || sas.header.sampleRate == 0 || sas.header.frameLength == 0) return false;
  const GuideParams p = ClampGuideParams(params);
  end = std::min(end, sas.header.frameCount);
  first = std::min(first, end);
  CorrectionReport listing;
  if (!ListNotesOfFrames(sas, first, end, listing)) return false;
  const std::vector<NoteReport>& sung = listing.notes;
  const double rate = sas.header.sampleRate;
  const double secondsPerFrame = sas.header.frameLength / rate;
  NoteFrames frames;
  if (!ReadNoteFrames(sas, sung, frames)) return false;
  const std::vector<double> onsets = Onsets(sung, frames);
  const std::vector<std::size_t> pairOf = PairNotes(sung, onsets, melody, secondsPerFrame);

  std::vector<bool> guideTaken(melody.size(), false);
  std::vector<NoteShift> spans;
  std::vector<NoteShift> shifts;
  for (std::size_t i = 0; i < sung.size(); ++i) {
    if (pairOf[i] >= melody.size()) {
      outcome.unpairedSung.push_back(sung[i]);
      continue;
    }
    guideTaken[pairOf[i]] = true;
    ++outcome.paired;
    const NoteReport& note = sung[i];
    const double asSung = note.note * 100.0 + note.centreCents;
    const double guide = (melody[pairOf[i]].key - 21) * 100.0;
    spans.push_back({{note.firstFrame, note.endFrame}, 0});
    if (std::isfinite(asSung))
      shifts.push_back({{note.firstFrame, note.endFrame},
                        asSung + p.centre / 100 * (guide - asSung) - TargetCentre(note)});
  }
  const double rangeStart = first * secondsPerFrame;
  const double rangeEnd = end * secondsPerFrame;
  for (std::size_t j = 0; j < melody.size(); ++j) {
    if (!guideTaken[j] && melody[j].end > rangeStart && melody[j].start < rangeEnd)
      outcome.unpairedGuide.push_back(melody[j]);
  }
  if (p.drift > 0 && !SasShapeNotes(sas, spans, p.drift, 100, sink)) return false;
  if (!SasShiftNotes(sas, shifts, p.retuneMs, sink)) return false;
  if (p.timing <= 0 || outcome.paired == 0) return true;

  // The links with a source in the range make way; the end links stay.
  const std::uint64_t lo = std::uint64_t{first} * sas.header.frameLength;
  const std::uint64_t hi = std::uint64_t{end} * sas.header.frameLength;
  std::vector<TimeLink>& links = sas.links;
  const std::vector<TimeLink> before = links;
  if (links.size() > 2) {
    links.erase(std::remove_if(links.begin() + 1, links.end() - 1,
                               [&](const TimeLink& l) { return l.source >= lo && l.source < hi; }),
                links.end() - 1);
  }
  const std::vector<TimeLink> kept = links;
  // How far each note's start goes: the timing share of the way to its guide note when it is
  // off by more than the slack; nothing for the others, nor for the notes without a guide note
  // of their own.
  // A guide note that several sung notes are paired with times the first of them; the others
  // hold where they are.
  std::vector<double> moves(sung.size(), 0.0);
  std::vector<bool> timed(sung.size(), false);
  for (std::size_t i = 0; i < sung.size(); ++i)
    timed[i] = pairOf[i] < melody.size() && (i == 0 || pairOf[i - 1] != pairOf[i]);
  bool anyOff = false;
  for (std::size_t i = 0; i < sung.size(); ++i) {
    if (!timed[i]) continue;
    const double source = onsets[i] * sas.header.frameLength;
    const double guide = melody[pairOf[i]].start * rate;
    const double off = guide - MappedTarget(kept, source);
    if (std::abs(off) > GuideTimingSlack * rate) {
      anyOff = true;
      moves[i] = p.timing / 100 * off;
    }
  }
  // A take in time with its guide keeps the links it has.
  if (!anyOff) {
    links = before;
    return true;
  }
  const std::vector<double> asked = moves;
  const NoteSpans timing{sung, onsets, first, end, static_cast<double>(sas.header.frameLength), rate};
  std::vector<bool> onsetSet(sung.size(), false);
  // A note whose links cannot all be set is not moved; the links are worked out again without
  // it, so that nothing around it is moved on its behalf.
  while (true) {
    const std::vector<Anchor> anchors = TimingAnchors(timing, timed, moves);
    std::vector<std::size_t> refused;
    links = LinksWithAnchors(kept, anchors, refused, onsetSet);
    bool again = false;
    for (const std::size_t owner : refused) {
      if (moves[owner] != 0) again = true;
      moves[owner] = 0;
    }
    if (!again) break;
  }
  for (std::size_t i = 0; i < sung.size(); ++i) {
    if (!timed[i]) continue;
    if (onsetSet[i] && moves[i] == asked[i]) {
      ++outcome.timed;
    } else {
      ++outcome.untimed;
    }
  }
  return SasChangeRecords(sas, SasHeaderAndLinkChanges(sas));
}

}  // namespace vocara
