// The command-line front end: subcommands over the same core operations the GUI runs.
//
// Exit codes: 0 success; 1 the operation failed, with the program's own message text alone on
// the first line of the error stream (a second line may say which file and why: FileProblems.h);
// 2 a usage error: "vocara-cli: PROBLEM" (a mistyped name then "vocara-cli: did you mean 'X'?")
// and a line pointing to --help.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/MessageId.h"
#include "base/Progress.h"
#include "base/Settings.h"

namespace vocara {
struct WavDocument;
struct SasDocument;
enum class SasAccess;
}  // namespace vocara

namespace vocara::cli {

inline constexpr int ExitSuccess = 0;
inline constexpr int ExitFailure = 1;
inline constexpr int ExitUsage = 2;

// The failure of an operation that writes `output`: a write that failed part way is "vocara-cli:
// could not write OUTPUT", any other message its own text. Returns ExitFailure.
int OutputFailure(std::ostream& err, MessageId id, const std::string& output);

// How a long operation that writes `output` ended: its message, "interrupted; OUTPUT was not
// written" after Ctrl-C, "could not write OUTPUT" when it failed; ExitSuccess when done.
int LongOperationExit(std::ostream& err, MessageId message, LongOperationResult result,
                      const std::string& output);

// A finite number the whole text spells (no spaces, no trailing characters); nullopt otherwise.
std::optional<double> ParseNumber(std::string_view text);

// A decimal integer, the whole text (a sign allowed); nullopt otherwise.
std::optional<long long> ParseInteger(std::string_view text);

// The text of a dialog's number field, read whole: a sign, digits and at most one point ("12",
// "-0.5", "+3.", ".25"), read as the dialog reads it (ScanNumber, so the value is the one the
// program would use); nullopt for anything else, exponents and spaces included.
std::optional<double> ParseFieldNumber(std::string_view text);

// The usage problems of numbers: "OPTION: 'TEXT' is not a number" and
// "OPTION: TEXT is outside MIN .. MAX".
std::string NotANumber(std::string_view option, std::string_view text);
std::string OutsideRange(std::string_view option, std::string_view text, double min, double max);

// The shortest text that reads back as the same double ("60", "0.5").
std::string NumberText(double value);

// Values a command changed to fit a dialog's range, as the dialog changes them. They are said
// on stderr after everything else the run says ("vocara-cli: --duration 36000 is above 60;
// using 60"), so that the first line of a failure stays the program's message.
class Adjustments {
 public:
  // `given` (typed as `text`) limited to min .. max; noted when that changed it.
  double Clamp(std::string_view option, std::string_view text, double given, double min, double max);
  // The same within a settings field's range, as the Settings dialog limits it.
  double Clamp(std::string_view option, std::string_view text, double given, const SettingsField& field) {
    return Clamp(option, text, given, field.lowest, field.highest);
  }
  // Notes a value the command changed by its own rule.
  void Note(std::string_view option, std::string_view text, double given, double used);
  // Prints the notes unless `exit` is a usage error, and returns `exit`.
  int Tell(std::ostream& err, int exit) const;

 private:
  std::vector<std::string> lines_;
};

// Opens the recording at `path` into `wav`; on a refusal prints the program's message for it
// (and which file and why: InputRefused) and returns false.
bool OpenWav(std::ostream& err, const std::string& path, WavDocument& wav);

// Opens the SAS file at `path` into `sas` (read-only, or for changes in place); on a refusal
// prints the program's message for it and which file and why (a file another process holds
// locked: "locked by another process") and returns false. A journal found beside the file
// and set aside unapplied is said on err.
bool OpenSas(std::ostream& err, const std::string& path, SasAccess access, SasDocument& sas);

// The line said when a writer or a reader met a file another process holds locked for a change
// (FileBusy, SasBusy): the message, then "vocara-cli: NAME: locked by another process".
int LockedOut(std::ostream& err, MessageId id, const std::string& name);

// A checksum as the tool prints it: "0x" and eight lower-case hex digits.
std::string Hex8(std::uint32_t value);

// A decimal sample index, the whole text.
std::optional<std::uint32_t> ParseIndex(std::string_view text);

// A position as typed: a whole sample or frame number, or seconds with an s suffix ("0.9s"),
// which become a number only once the file says its rate.
struct TimeValue {
  std::uint32_t index = 0;
  std::optional<double> seconds;
};

// The text as a TimeValue: ParseIndex's number, or a number 0 or more ("2", "0.9", ".5",
// "1e2") directly followed by s; nullopt otherwise.
std::optional<TimeValue> ParseTime(std::string_view text);

// Whether `text` was meant as seconds (it ends in s): its problem then says seconds are taken.
bool MeantAsSeconds(std::string_view text);

// What the problems of such a text add to the problem of a number: " or seconds such as 1.5s".
inline constexpr std::string_view OrSeconds = " or seconds such as 1.5s";

// The samples or frames a file counts positions in: `rate` samples a second, `unitLength`
// samples a unit (1 for samples, the frame length for frames).
struct TimeScale {
  std::uint32_t rate = 0;
  std::uint32_t unitLength = 1;
};
TimeScale SampleScale(const WavDocument& wav);  // its samples
TimeScale FrameScale(const SasDocument& sas);   // its frames

// An instant falls in the unit that holds it; a range's end goes to the first unit at or after
// it, so that 0s:1s at 48000 Hz is the samples 0:48000.
enum class TimeEdge { Instant, End };

// The index `time` names on `scale` (its own index when it is a number); seconds past the last
// index a uint32 holds give that last one, which lies past the end of every file.
std::uint32_t TimeIndex(const TimeValue& time, TimeScale scale, TimeEdge edge = TimeEdge::Instant);

// A range argument as typed: "A:B", each end a decimal sample or frame index or seconds, A <= B.
struct RangeArgument {
  std::string text;
  std::uint32_t left = 0;  // the indices; for seconds, once FitRange has put them on a file
  std::uint32_t right = 0;
  std::optional<double> leftSeconds;
  std::optional<double> rightSeconds;
};

// Reads `text` into `range`. Returns the usage problem "range 'TEXT' is not A:B with whole
// numbers A <= B" (with seconds meant: "range 'TEXT' is not A:B with A <= B, each a whole
// number or seconds such as 1.5s"), empty when the text is a range.
std::string ParseRange(std::string_view text, RangeArgument& range);

// What a range that ends past a file's samples or frames is checked against, and whether the
// problem quotes the range: correct and report say "range ends past the ..." alone.
enum class RangeUnit { Samples, Frames };
enum class RangeQuote { Quoted, Unquoted };

// The usage problem "range 'TEXT' ends past the COUNT samples of NAME" (frames with
// RangeUnit::Frames; without 'TEXT' when unquoted) when the range ends past `count`, empty
// when it fits.
std::string RangePastEnd(const RangeArgument& range, std::uint32_t count, RangeUnit unit,
                         std::string_view name, RangeQuote quote = RangeQuote::Quoted);

// The range's seconds put on `scale`, then the range checked: ParseRange's problem when its
// ends, so placed, come the wrong way round, else RangePastEnd's.
std::string FitRange(RangeArgument& range, TimeScale scale, std::uint32_t count, RangeUnit unit,
                     std::string_view name, RangeQuote quote = RangeQuote::Quoted);

// The arguments after a subcommand's name: names in order and options anywhere around them.
// Options listed in `valued` take the next argument as their value (the last one given counts);
// those in `flags` take none. Returns the problem ("unknown option", with the options it may
// mean on a line of its own: WithSuggestion; "needs a value"), empty when the arguments are sound.
struct ParsedArguments {
  std::vector<std::string> names;
  std::vector<std::pair<std::string, std::string>> values;  // in the order given
  std::vector<std::string> flags;
  const std::string* Value(std::string_view option) const;  // the last one given, or null
  bool Flag(std::string_view option) const;
};
std::string ParseArguments(const std::vector<std::string>& args,
                           std::initializer_list<std::string_view> valued,
                           std::initializer_list<std::string_view> flags, ParsedArguments& parsed);

// The options the last ParseArguments call of this thread took, valued and flags: a command's
// help names each of them.
const std::vector<std::string>& LastParsedOptions();

// A usage problem: "vocara-cli: PROBLEM" and the line pointing to --help; ExitUsage.
int UsageError(std::ostream& err, const std::string& problem);

// -q or --quiet, anywhere among the arguments: stderr says nothing unless the run fails (then all
// it would have said, at the end); stdout is the result and is written all the same.
bool QuietOption(std::string_view arg);
// The command word: the first argument other than -q and --quiet (empty when there is none).
std::string_view CommandWord(const std::vector<std::string>& args);

// Whether `command` changes a file in place (edit, snap, note, guide, reanalyse, repair).
bool ChangesInPlace(std::string_view command);

// args are the arguments after the program name. What the run wrote to `out` is flushed and
// checked: a stream that failed turns success into ExitFailure with "vocara-cli: could not
// write to standard output" (and the system's reason when there is one) on err, unless the run
// has replaced a file already: it then says so and stays a success, since the file holds the
// command's result.
int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// The process's run, as main makes it: RunCli on std::cout, then the C stdout flushed and
// checked as well (std::cout writes through it).
int RunProcess(const std::vector<std::string>& args, std::ostream& err);

}  // namespace vocara::cli
