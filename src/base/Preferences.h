// The program's preferences: choices the user makes in the menus that outlive the run, kept in
// a small text file of their own (not in the settings file, whose 176-byte record other
// programs read, and not in a SAS, which belongs to one recording).
//
// The file is UTF-8 text, one "key=value" a line; spaces around the key and the value do not
// count. Today's keys are "formants" (keep or shift) and "formantShift" (whole cents). A missing or
// unreadable file means the defaults, a value that is not one of the key's words means that key's default,
// and when a key is given twice the last line counts. Lines this version does not know — other keys,
// comments, blank lines — are kept as they are when the file is rewritten: a later version may have written
// them.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace vocara {

inline constexpr int MaxPreferredFormantShift = 1200;

struct Preferences {
  // Correct and Play Corrected keep the voice's formants (its vowel colour) where they are
  // instead of moving them with the pitch: "formants=keep"; the default is "formants=shift".
  bool keepFormants = false;
  // How far Correct and Play Corrected move the formants on their own, in cents (-1200 .. 1200,
  // "formantShift=-300"): a darker or brighter voice at the same notes. A shift other than 0
  // keeps the formants whatever keepFormants says. Files without the key read 0, and the key is
  // added to a file only once it is not 0.
  int formantShift = 0;

  friend bool operator==(const Preferences&, const Preferences&) = default;
};

// The preferences a file's text gives.
Preferences ParsePreferences(std::string_view text);

// The text to write for `preferences` over a file that held `previous` (empty for a new file):
// each key's first line replaced where it stands and its later lines dropped, the keys missing
// from it added at the end, every other line kept byte for byte. Every line ends with '\n'.
std::string FormatPreferences(const Preferences& preferences, std::string_view previous);

// <userConfigDirectory>/vocara/preferences, beside where the settings file goes when the
// program's own folder is not writable; empty when there is no such folder. Only named here:
// nothing is created until something is written into it.
std::filesystem::path PreferencesPath(const std::string& userConfigDirectory);

// The file's preferences; the defaults when `path` is empty, missing, unreadable or too large
// to be one of ours.
Preferences LoadPreferences(const std::filesystem::path& path);

// Rewrites the file whole or not at all (OutputFile), with the lines it holds that this version
// does not know, creating its folder for the user alone when missing. False when nothing was
// written: no path, a folder that cannot be made, a file that exists but cannot be read (its
// lines would be lost), or a failed write. The caller carries on either way.
bool SavePreferences(const std::filesystem::path& path, const Preferences& preferences);

}  // namespace vocara
