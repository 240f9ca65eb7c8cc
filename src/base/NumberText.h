// Number texts shared by the dialogs, the status strips and the warning box: fixed-decimal
// formatting, the lenient scan of dialog edit fields, and a bounded C-string copy.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vocara {

// Formats value rounded half away from zero to `decimals` fixed decimals, with leading zeros
// ("0.50"), at most maxLen characters. When the text would be longer, the highest digits are
// lost, not the lowest. A negative value, or NaN, gets a leading "-" (so -0.001 with two
// decimals gives "-0.00", trimmed "-0"). With trim, trailing zeros of the fraction and a bare
// decimal point are removed. The rounded magnitude is held in an unsigned 64-bit integer:
// larger magnitudes saturate and NaN counts as 0. Negative decimals count as 0.
std::string FormatNumber(double value, int decimals, int maxLen, bool trim);

// The lenient reading of an edit field. Only the first 9 characters count (the field buffer
// holds 10 bytes); spaces are skipped anywhere; one "+" or "-" is taken at any position (a
// second sign ends the scan, so "12-3" reads as -123); the first "." starts the fraction and a
// second one ends the scan ("1.2.3" reads as 1.2); any other character ends the scan. Text
// without digits reads as 0.
double ScanNumber(std::string_view text);

// Below min gives min, above max gives max; with min > max the result is max.
double ClampNumber(double value, double min, double max);

// Copies source into a buffer of `capacity` bytes: at most capacity - 1 characters and the
// terminator. Returns the number of characters copied. A capacity below 1 leaves the
// destination untouched (there is no room even for the terminator) and returns 0.
std::size_t CopyBounded(char* destination, std::ptrdiff_t capacity, const char* source);

}  // namespace vocara
