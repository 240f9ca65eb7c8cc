// The take's notes and a guide melody, both ways: the notes out as MIDI notes, and a guide's
// notes in as target pitches and time links.
//
// A note begins where a listener hears it begin: a note reached by a glide from the note before
// where the pitch passes the middle between the two notes' centres; a note after a breath, or
// one that repeats the note before, at its first frame.
//
// Notes out: each note of the take (ListNotes) becomes a MIDI note from where it begins to
// where the next begins (or its end frame); its key is the target centre rounded to the nearest
// semitone (MIDI 21 = A0; as sung for a SAS nobody corrected), its bend the target centre's
// cents off that key, its velocity the held part's mean peak-to-peak amplitude as
// 127 x (1 + dBFS / 48), limited to 1 .. 127 (full scale 127, -24 dB 64, -48 dB and below 1).
//
// Guide in: the guide is reduced to its melody first (GuideMelodyLine: where notes sound
// together, the highest is the melody). Each sung note is paired with the guide note that
// sounds over at least half of its held part, the one that sounds longest over it when several
// do; a long guide note may take several sung notes (a held note the analysis split). A sung
// note without one is paired with the guide note starting nearest where it begins, when that
// lies within GuidePairingReach (150 ms) and no sung note is paired with it yet. Each paired
// note's target centre then goes the centre share of the way from the centre as sung to the
// guide note's key (at A4 = 440 Hz), its slow drift shrinks by the drift share and the
// correction ramps into its neighbours over the retune time, as Snap to Scale does it.
// Unpaired notes, sung or guide, are left alone and reported.
//
// With a timing share above 0 the paired notes are also put in time when any of them begins
// more than GuideTimingSlack (20 ms) from its guide note as the links place it (otherwise the
// links stay as they are). The time links with a source inside the range are removed (never
// the two end links), and every paired note (the first, where several share a guide note) gets
// a link where it begins: where that lies more than the slack from the guide note's start, the
// link moves it the timing share of its offset; otherwise the link holds it where it is. A moved
// note moves alone: links on both sides of it hold its neighbours where they were sung, and the
// stretch stays in voiced parts, so that no breath, consonant or silence is sung over.
// - Before it: sung legato from the note before, that note's start is held and that note takes
//   the change. After a pause of GuidePauseSeconds (100 ms) or more that keeps at least half its
//   length, the pause's start is held and the pause grows or shrinks at its end (the singer
//   waits longer or shorter). After a shorter unvoiced stretch (a consonant, which belongs to
//   the note it leads into) the stretch keeps its length and moves with the note, and the voiced
//   part of the note before takes the change from that note's start on.
// - After it: sung legato into the next note, that note's start is held and the moved note
//   takes the change back; else the end of its voiced part is held, so that the breath,
//   consonant or silence after it keeps its place and length (unless the next note moves its
//   consonant along, which then holds that stretch's start where the next note needs it).
// Links go in with the rule of the Set Time Link mode (strictly ordered; a link that would cross
// its neighbours is not set) and stop at MaxTimeLinks; a moved note any of whose links cannot
// be set is not moved (the links are found again without it), and it and the notes whose own
// link was not set are counted as untimed.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/midi/StandardMidiFile.h"
#include "engine/processing/CorrectionReport.h"
#include "engine/sas/SasRangeOps.h"

namespace vocara {

struct SasDocument;

inline constexpr double GuidePairingReach = 0.150;  // seconds
inline constexpr double GuideTimingSlack = 0.020;   // seconds
inline constexpr double GuidePauseSeconds = 0.100;  // seconds: shorter, a consonant

// MIDI velocity of a peak-to-peak amplitude (0 .. 2^32 on the SAS's scale).
int MidiVelocity(double peakToPeak);

// The notes of frames first <= i < end as MIDI notes; false when a read failed.
bool TakeNotesAsMidi(SasDocument& sas, std::uint32_t first, std::uint32_t end,
                     std::vector<MidiOutNote>& notes);

// The guide's melody: sorted by start, and where notes overlap the higher one kept whole and the
// lower one cut to the part before the higher one starts (left out when nothing is left of it).
std::vector<MidiNote> GuideMelodyLine(std::vector<MidiNote> notes);

struct GuideParams {
  double centre = 100;  // percent of the way to the guide note's pitch
  double drift = 0;     // percent of the slow drift removed
  double retuneMs = 40;
  double timing = 0;  // percent of the way to the guide note's start; 0 leaves the links alone
};

// Each value limited to its range, NaN to the default.
GuideParams ClampGuideParams(const GuideParams& params);

struct GuideOutcome {
  int paired = 0;
  std::vector<NoteReport> unpairedSung;
  std::vector<MidiNote> unpairedGuide;  // of the melody line, within the range's time
  int timed = 0;                        // paired notes put in time by a link of their own
  int untimed = 0;                      // paired notes not put in time (a link crossing, or the limit)
};

// Follows the guide (a melody line) over frames first <= i < end, through the document's file.
// False when a read or a write failed or the document is open for reading only.
bool SasFollowGuide(SasDocument& sas, const std::vector<MidiNote>& melody, std::uint32_t first,
                    std::uint32_t end, const GuideParams& params, GuideOutcome& outcome,
                    const FrameChangeSink& sink = {});

}  // namespace vocara
