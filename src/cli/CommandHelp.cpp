#include "cli/CommandHelp.h"

#include <algorithm>
#include <array>

namespace vocara::cli {
namespace {

// Written to be read at 80 columns: usage lines go on under "vocara-cli", option descriptions
// start at column 25 (a longer option takes a line of its own).
constexpr std::array<CommandHelp, 24> Table{{
    {"info", "check a WAV or SAS file; print its format, counts and checksum",
     "vocara-cli info FILE [--json]\n",
     "Open FILE as the program opens it and print what it holds as key=value\n"
     "lines: a WAV file's format, channels, rate, block_align, bits, data_offset,\n"
     "samples and checksum; a SAS file's counts, hop, rate, the checksum of its\n"
     "recording and its settings.\n",
     "  --json                the same as one JSON object\n", "vocara-cli info take.sas\n"},
    {"instruments", "list the instruments and their note ranges", "vocara-cli instruments\n",
     "One line each: index TAB name TAB lowest note TAB highest note (- for User\n"
     "Defined, which keeps the notes as they are). build --instrument takes the\n"
     "index or the name.\n",
     "", "vocara-cli instruments\n"},
    {"build", "analyse a WAV recording into a new SAS file",
     "vocara-cli build IN.wav OUT.sas [--settings FILE]\n"
     "           [--instrument N|NAME|auto] [--lowest NOTE] [--highest NOTE]\n"
     "           [--chunk PERIODS] [--threshold PERCENT]\n",
     "Analyse IN into a new SAS file, as SAS File / Build does. The settings are\n"
     "the built-in ones or FILE's, then the options in the order given, as in the\n"
     "Settings dialog. A value outside its range is clamped and said on stderr.\n",
     "  --settings FILE       start from a 176-byte settings file\n"
     "  --instrument N|NAME|auto\n"
     "                        instrument 0 .. 68 or its name (vocara-cli\n"
     "                        instruments), which sets the note range; auto: the\n"
     "                        note range sung in IN, found first\n"
     "  --lowest NOTE         the lowest note, 0 .. 87 or A0 .. C8 (F#4, Gb4);\n"
     "                        the instrument becomes User Defined\n"
     "  --highest NOTE        the highest note, the same way\n"
     "  --chunk PERIODS       pitch periods a frame, 1 .. 5\n"
     "  --threshold PERCENT   base note threshold, 5 .. 100\n",
     "vocara-cli build take.wav take.sas --instrument \"Vocal Tenor\"\n"},
    {"correct", "render the pitch-corrected recording",
     "vocara-cli correct IN.wav IN.sas OUT.wav [--range A:B]\n"
     "           [--time-correction on|off] [--formants keep|shift]\n"
     "           [--formant-shift CENTS]\n",
     "Render the corrected recording, or samples A <= i < B of it, into OUT.\n",
     "  --range A:B           samples A <= i < B (all by default); A and B may be\n"
     "                        seconds: 1.2s:3.4s\n"
     "  --time-correction on|off\n"
     "                        follow the time links or not (default: as stored in\n"
     "                        the SAS file)\n"
     "  --formants keep|shift shift (default): each frame resampled, so the\n"
     "                        formants move with the pitch; keep: the voice's own\n"
     "                        pitch periods overlapped at the target rate, so the\n"
     "                        vowels keep their colour\n"
     "  --formant-shift CENTS the formants moved by -1200 .. 1200 cents (values\n"
     "                        clamped) at the same notes: a darker or brighter\n"
     "                        voice; implies --formants keep\n",
     "vocara-cli correct take.wav take.sas fixed.wav --formants keep\n"},
    {"report", "list the take's notes, or how in tune a rendering came out",
     "vocara-cli report IN.wav IN.sas [OUT.wav] [--range A:B] [--json]\n"
     "           [--time-correction on|off] [--formants keep|shift]\n",
     "The take's notes: start and length (s), note (~ when the range cuts it),\n"
     "centre, drift (end minus start of the held part) and vibrato depth (cents)\n"
     "and rate (Hz). With OUT, rendered by correct with the same options: the\n"
     "target, achieved centre, error, vibrato before and after (- where a note is\n"
     "too short or OUT has no pitch on it), then the mean and 95th-percentile\n"
     "error.\n",
     "  --range A:B           samples A <= i < B (all by default); A and B may be\n"
     "                        seconds: 1.2s:3.4s\n"
     "  --time-correction on|off\n"
     "                        as correct rendered OUT (vocara-cli help correct)\n"
     "  --formants keep|shift the same\n"
     "  --json                the same as one JSON object (null where no figure)\n",
     "vocara-cli report take.wav take.sas fixed.wav\n"},
    {"snap", "move the notes' pitch centres onto a scale, in place",
     "vocara-cli snap IN.sas --key KEY --scale SCALE [--reference HZ]\n"
     "           [--centre P] [--drift P] [--retune MS] [--range A:B]\n",
     "Snap to Scale on frames A <= i < B, in place. A value outside its range is\n"
     "refused.\n",
     "  --key KEY             the key: C, C#, Db ... B\n"
     "  --scale SCALE         chromatic, major, minor, harmonic-minor or\n"
     "                        custom:0,2,4,... (pitch classes 0 .. 11 above KEY)\n"
     "  --reference HZ        the pitch of A4, 415 .. 466 (440)\n"
     "  --centre P            each note's centre moved P percent onto the scale,\n"
     "                        0 .. 100 (100)\n"
     "  --drift P             its slow drift reduced P percent, 0 .. 100 (0)\n"
     "  --retune MS           notes joined over MS ms, 0 .. 1000 (40)\n"
     "  --range A:B           frames A <= i < B (all by default); A and B may be\n"
     "                        seconds: 1.2s:3.4s\n",
     "vocara-cli snap take.sas --key D --scale minor --centre 80\n"},
    {"note", "move or reshape one note, or the notes in a range, in place",
     "vocara-cli note IN.sas (--at FRAME | --range A:B)\n"
     "           (--move CENTS | --to NOTE) [--vibrato P] [--drift P] [--retune MS]\n",
     "The note holding FRAME, or every note starting in frames A <= i < B, in\n"
     "place: vibrato and drift shaped from the pitch as sung, then its targets\n"
     "moved or its centre put on NOTE, joined to its neighbours.\n",
     "  --at FRAME            the note holding FRAME (or seconds: 0.9s)\n"
     "  --range A:B           the notes starting in frames A <= i < B; A and B may\n"
     "                        be seconds: 1.2s:3.4s\n"
     "  --move CENTS          move the targets, -1200 .. 1200\n"
     "  --to NOTE             put the centre on NOTE, 0 .. 87 or A0 .. C8 (F#4, Gb4)\n"
     "  --vibrato P           vibrato P percent of the sung one, 0 .. 200 (100)\n"
     "  --drift P             slow drift reduced P percent, 0 .. 100 (0)\n"
     "  --retune MS           joined to its neighbours over MS ms, 0 .. 1000 (40)\n",
     "vocara-cli note take.sas --at 0.9s --to F#4 --vibrato 50\n"},
    {"guide", "make the take follow a guide melody from a MIDI file, in place",
     "vocara-cli guide IN.sas GUIDE.mid [--track N] [--channel N] [--centre P]\n"
     "           [--drift P] [--retune MS] [--timing P] [--range A:B]\n",
     "Follow a guide melody (MIDI format 0 or 1; where notes sound together the\n"
     "highest is the melody), in place: each sung note is paired with the guide\n"
     "note sounding over half its held part or more, or else starting within\n"
     "150 ms of it. Unpaired notes are listed on stderr.\n",
     "  --track N             the guide's track, 1 .. (all by default)\n"
     "  --channel N           its channel, 1 .. 16 (all by default)\n"
     "  --centre P            a note's centre moved P percent to the guide note,\n"
     "                        0 .. 100 (100)\n"
     "  --drift P             slow drift reduced P percent, 0 .. 100 (0)\n"
     "  --retune MS           notes joined over MS ms, 0 .. 1000 (40)\n"
     "  --timing P            a note starting over 20 ms off its guide note moved\n"
     "                        P percent of the way by a time link, 0 .. 100 (0);\n"
     "                        the links with a source in the range are replaced\n"
     "  --range A:B           frames A <= i < B (all by default); A and B may be\n"
     "                        seconds: 1.2s:3.4s\n",
     "vocara-cli guide take.sas melody.mid --track 2 --timing 100\n"},
    {"midi", "write the take's notes as a Standard MIDI File", "vocara-cli midi IN.sas OUT.mid [--bend]\n",
     "Format 0, 480 ticks a quarter at 120 bpm; each note from where it is heard\n"
     "to begin, its key the target centre rounded to a semitone (21 = A0), its\n"
     "velocity 127 x (1 + dBFS / 48) of the held part's level.\n",
     "  --bend                each note's cents off its key as a pitch bend\n"
     "                        before it (range +-2 semitones)\n",
     "vocara-cli midi take.sas take.mid --bend\n"},
    {"edit", "change a SAS file in place as Global Edit does",
     "vocara-cli edit IN.sas [--range A:B] [--scale P] [--transpose CENTS]\n"
     "           [--disable-above P] [--enable-below P] [--silence-below P]\n"
     "           [--remove-links]\n"
     "   or: vocara-cli edit IN.sas --silence | --clear\n",
     "Global Edit on frames A <= i < B, in place; or SAS File / Silence or Global\n"
     "Clear on the whole file. A value outside its range is clamped and said.\n",
     "  --range A:B           frames A <= i < B (all by default); A and B may be\n"
     "                        seconds: 1.2s:3.4s\n"
     "  --scale P             amplitude scaled to P percent, 0 .. 1000\n"
     "  --transpose CENTS     targets moved, -1200 .. 1200 (whole cents)\n"
     "  --disable-above P     time correction off above P percent amplitude,\n"
     "                        0 .. 100\n"
     "  --enable-below P      time correction on below P percent, 0 .. 100\n"
     "  --silence-below P     frames below P percent silenced, 0 .. 100\n"
     "  --remove-links        the time links in the range removed\n"
     "  --silence             the whole file's frames below its silence threshold\n"
     "                        silenced\n"
     "  --clear               every correction dropped: the targets follow the\n"
     "                        analysis again\n",
     "vocara-cli edit take.sas --range 100:400 --transpose -50\n"},
    {"reanalyse", "measure a range again with another note range, in place",
     "vocara-cli reanalyse IN.wav IN.sas --lowest NOTE --highest NOTE\n"
     "           [--range A:B]\n",
     "Measure frames A <= i < B again with that note range, in place; the target\n"
     "pitches move with the source. A value outside its range is refused.\n",
     "  --lowest NOTE         the lowest note, 0 .. 87 or A0 .. C8 (F#4, Gb4)\n"
     "  --highest NOTE        the highest note, the same way\n"
     "  --range A:B           frames A <= i < B (all by default); A and B may be\n"
     "                        seconds: 1.2s:3.4s\n",
     "vocara-cli reanalyse take.wav take.sas --lowest E2 --highest A4 --range 0:2s\n"},
    {"repair", "repair octave jumps, in place", "vocara-cli repair IN.wav IN.sas [--range A:B]\n",
     "Repair Octave Jumps: short runs an octave or a fifth away from both\n"
     "neighbours are measured again around their note; prints how many frames\n"
     "and jumps.\n",
     "  --range A:B           frames A <= i < B (all by default); A and B may be\n"
     "                        seconds: 1.2s:3.4s\n",
     "vocara-cli repair take.wav take.sas\n"},
    {"pitch", "print the pitch track, one frame a line",
     "vocara-cli pitch IN.sas [--csv | --json] [--range A:B]\n",
     "Per frame of IN (or of frames A <= i < B): the time (s), the frame, the\n"
     "source and the target pitch (Hz, note and cents from it), voiced 0/1 and\n"
     "the peak-to-peak amplitude in percent of full scale; a table with a header\n"
     "line, its fields between tabs. A frame without a pitch has empty fields.\n",
     "  --csv                 the fields between commas\n"
     "  --json                a JSON array of objects, one a frame (null where\n"
     "                        no pitch)\n"
     "  --range A:B           frames A <= i < B (all by default); A and B may be\n"
     "                        seconds: 1.2s:3.4s\n",
     "vocara-cli pitch take.sas --csv --range 1.2s:3.4s\n"},
    {"plot", "draw the take's pitch as an SVG picture",
     "vocara-cli plot IN.sas OUT.svg [--wav IN.wav --out OUT.wav] [--range A:B]\n",
     "Draw the take (or frames A <= i < B) into OUT as an SVG picture: a semitone\n"
     "grid, seconds, the notes named with how far off they were sung, the sung\n"
     "and the target pitch; with a corrected rendering, the pitch found in it.\n",
     "  --wav IN.wav          the recording IN.sas was built from, and\n"
     "  --out OUT.wav         its rendering by correct: the two go together\n"
     "  --range A:B           frames A <= i < B (all by default); A and B may be\n"
     "                        seconds: 1.2s:3.4s\n",
     "vocara-cli plot take.sas take.svg --wav take.wav --out fixed.wav\n"},
    {"import", "convert any sound file into a mono WAV the program opens",
     "vocara-cli import IN OUT.wav [--channel left|right|mix|N]\n"
     "           [--bits 16|24|32] [--rate HZ] [--salvage]\n",
     "Convert a sound file libsndfile reads (WAV of any encoding, AIFF, FLAC,\n"
     "Ogg, ...) into a mono WAV: rounded to the nearest value, full scale\n"
     "clipped, no dither.\n",
     "  --channel left|right|mix|N\n"
     "                        the mean of all channels (mix, default) or channel\n"
     "                        N alone, from 0 (left 0, right 1)\n"
     "  --bits 16|24|32       the width (default the source's; 8-bit to 16,\n"
     "                        float to 24)\n"
     "  --rate HZ             22000 .. 768000 (default the source's; below 22000\n"
     "                        Hz it goes to 44100 or 48000 Hz)\n"
     "  --salvage             a file cut short keeps the whole samples there\n",
     "vocara-cli import take.flac take.wav --channel left\n"},
    {"save-range", "write a range of a recording as a WAV file", "vocara-cli save-range IN.wav OUT.wav A:B\n",
     "Write samples A <= i < B of IN as a WAV file of its format. A and B may be\n"
     "seconds: 1.2s:3.4s.\n",
     "", "vocara-cli save-range take.wav part.wav 48000:96000\n"},
    {"export-text", "write a range of a recording as text", "vocara-cli export-text IN.wav OUT.txt A:B\n",
     "Write samples A <= i < B of IN as text, one percentage of full scale a\n"
     "line. A and B may be seconds: 1.2s:3.4s.\n",
     "", "vocara-cli export-text take.wav part.txt 48000:48100\n"},
    {"denoise", "remove the noise captured from ranges of a recording",
     "vocara-cli denoise IN.wav OUT.wav --noise A:B [--add A:B]...\n"
     "           [--noise-length L] [--white-noise PERCENT] [--gain G]\n"
     "           [--settings FILE]\n",
     "Capture the noise of samples A <= i < B (Noise=, then Noise+ for each\n"
     "--add) and write IN with that noise removed to OUT. A value outside its\n"
     "range is clamped and said.\n",
     "  --noise A:B           the noise sample; A and B may be seconds: 0s:0.5s\n"
     "  --add A:B             a further noise sample (Noise+), as often as needed\n"
     "  --noise-length L      samples, 0 .. 32768, then a power of two from 1024\n"
     "  --white-noise PERCENT\n"
     "                        the noise floor, 0 .. 100 percent of full scale\n"
     "  --gain G              the factor on the captured noise power, 0 .. 5\n"
     "  --settings FILE       the settings file these start from (as build)\n",
     "vocara-cli denoise take.wav clean.wav --noise 0:24000 --gain 1.5\n"},
    {"spectrum", "print the FFT spectrum at a sample",
     "vocara-cli spectrum IN.wav --at S [--fft N] [--window K]\n",
     "The FFT window's spectrum with the cursor at sample S: one line per bin,\n"
     "bin TAB Hz TAB percent of full scale.\n",
     "  --at S                the sample (or seconds: 0.9s)\n"
     "  --fft N               a power of two 1024 .. 1048576 (1024)\n"
     "  --window K            square, Bartlett, Welch, Parzen, Lanczos, Hann,\n"
     "                        Hamming, Blackman: 0 .. 7 (0)\n",
     "vocara-cli spectrum take.wav --at 48000 --fft 4096 --window 5\n"},
    {"peaks", "find and save the peaks of the FFT spectrum at a sample",
     "vocara-cli peaks IN.wav OUT.txt --at S [--fft N] [--window K]\n"
     "           [--mark BIN]... [--settings FILE]\n",
     "Find and save peaks on that spectrum into OUT, with the bins marked as the\n"
     "T key marks them.\n",
     "  --at S                the sample (or seconds: 0.9s)\n"
     "  --fft N               a power of two 1024 .. 1048576 (1024)\n"
     "  --window K            the window function, 0 .. 7 (0), as for spectrum\n"
     "  --mark BIN            a bin to mark, 1 .. N/2 - 1, as often as needed\n"
     "  --settings FILE       the settings file for the silence threshold\n",
     "vocara-cli peaks take.wav peaks.txt --at 48000 --fft 8192\n"},
    {"notes", "print the 88 key strengths and the note at a sample",
     "vocara-cli notes IN.wav --at S [--settings FILE] [--lowest NOTE]\n"
     "           [--highest NOTE]\n",
     "The MFT window's 88 key strengths at sample S, then the detected note and\n"
     "its fine pitch in cents.\n",
     "  --at S                the sample (or seconds: 0.9s)\n"
     "  --settings FILE       the settings file the note range comes from\n"
     "  --lowest NOTE         the lowest note, 0 .. 87 or A0 .. C8 (F#4, Gb4)\n"
     "  --highest NOTE        the highest note, the same way\n",
     "vocara-cli notes take.wav --at 1.5s\n"},
    {"pulse", "average the pulse shape at sample positions", "vocara-cli pulse IN.wav OUT.txt S1 [S2 ...]\n",
     "Shape+ with the cursor at each sample S in turn (or seconds: 0.9s;\n"
     "positions within 30 samples of either end are ignored), then Export Shape\n"
     "into OUT: 60 lines of the normalised shape.\n",
     "", "vocara-cli pulse take.wav shape.txt 4800 5120 5440\n"},
    {"generate", "write a test tone as the Wave Synthesis dialog makes it",
     "vocara-cli generate OUT.wav [--duration S] [--sine F,A[,PHASE]]...\n"
     "           [--square F,A[,PHASE[,DUTY]]] [--triangle F,A[,PHASE[,DUTY]]]\n"
     "           [--noise A]\n",
     "Write the dialog's wave into OUT (16-bit, 48000 Hz). F 0 .. 20000 Hz,\n"
     "A 0 .. 100 percent, PHASE -360 .. 360 degrees, DUTY 0 .. 100 percent (50);\n"
     "values clamped and amplitudes normalised as there.\n",
     "  --duration S          seconds, 1 .. 60 (5)\n"
     "  --sine F,A[,PHASE]    a sine wave, up to ten\n"
     "  --square F,A[,PHASE[,DUTY]]\n"
     "                        a square wave\n"
     "  --triangle F,A[,PHASE[,DUTY]]\n"
     "                        a triangle wave\n"
     "  --noise A             white noise of A percent\n",
     "vocara-cli generate tone.wav --duration 3 --sine 440,50 --noise 2\n"},
    {"help", "the list of commands, or one command's usage and options", "vocara-cli help [COMMAND]\n",
     "Without a command, the list of commands; with one, its usage, options\n"
     "and an example (as vocara-cli COMMAND --help).\n",
     "", "vocara-cli help snap\n"},
}};

constexpr std::array<std::string_view, Table.size() + 3> Words = [] {
  std::array<std::string_view, Table.size() + 3> words{"--help", "--version", "-h"};
  for (std::size_t i = 0; i < Table.size(); ++i) words[i + 3] = Table[i].name;
  return words;
}();

// After the commands: the global options and what holds for every command.
constexpr const char* SummaryTail =
    "\n"
    "global options:\n"
    "  -q, --quiet   nothing on stderr unless the run fails (anywhere on the line)\n"
    "  -h, --help    show this list (vocara-cli COMMAND --help: one command)\n"
    "  --version     show the version and release date\n"
    "\n"
    "A sample or frame number may also be given in seconds (0.9s, 1.2s:3.4s); a note\n"
    "as 0 .. 87 or A0 .. C8, with sharps and flats (F#4, Gb4). Numbers are read\n"
    "whole. A long command draws a progress line on stderr when it is a terminal.\n"
    "Exit status: 0 done, 1 the operation failed (its message on stderr), 2 usage\n"
    "error. Output files are replaced only by a whole file.\n"
    "\n"
    "See 'vocara-cli help COMMAND' for a command's options, and 'man vocara-cli'.\n";

}  // namespace

std::span<const CommandHelp> CommandHelps() { return Table; }

std::span<const std::string_view> CommandWords() { return Words; }

const CommandHelp* FindCommandHelp(std::string_view name) {
  const auto found =
      std::find_if(Table.begin(), Table.end(), [name](const CommandHelp& help) { return help.name == name; });
  return found == Table.end() ? nullptr : &*found;
}

std::string CommandHelpText(const CommandHelp& help) {
  std::string text =
      "vocara-cli " + std::string(help.name) + ": " + std::string(help.summary) + "\n\nusage: ";
  text += std::string(help.usage) + "\n" + std::string(help.about);
  if (!help.options.empty()) text += "\noptions:\n" + std::string(help.options);
  return text + "\nexample:\n  " + std::string(help.example);
}

std::string SummaryText() {
  std::string text =
      "usage: vocara-cli [-q] COMMAND [ARGUMENTS]\n"
      "\n"
      "Batch operations on mono WAV recordings and their SAS analysis files.\n"
      "\n"
      "commands:\n";
  for (const CommandHelp& help : Table) {
    std::string name(help.name);
    name.resize(std::max<std::size_t>(name.size(), 12), ' ');
    text += "  " + name + " " + std::string(help.summary) + "\n";
  }
  return text + SummaryTail;
}

}  // namespace vocara::cli
