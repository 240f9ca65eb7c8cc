// "Did you mean": the names close to a word the command line did not know, for a second line
// after the usage problem (the first line stays the problem alone).
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vocara::cli {

// The edit distance between a and b, letters in either case the same, a swap of two
// neighbouring letters one edit.
std::size_t EditDistance(std::string_view a, std::string_view b);

// The names `typed` is close to (at most three, all equally close, in alphabetical order): within two
// edits, or the start of a name (two letters or more).
std::vector<std::string_view> CloseNames(std::string_view typed, std::span<const std::string_view> names);

// The instrument names `typed` may have meant, best first (at most three): every word of it a
// word of the name ("tenor"), the start of a word or a part of the name ("sax"), or a letter
// or two away from the name or its words ("Vocal Tenr"). Among equals the voices come first,
// as the program is made for singing.
std::vector<std::string_view> CloseInstruments(std::string_view typed);

// `problem`, then "vocara-cli: did you mean 'A'?" (or 'A' or 'B', ...) on a line of its own
// when there are names; for UsageError, which puts "vocara-cli: " before the first line.
std::string WithSuggestion(std::string problem, const std::vector<std::string_view>& names);

}  // namespace vocara::cli
