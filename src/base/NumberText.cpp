// Number texts.
//
// FormatNumber rounds by adding half a unit of the last decimal, scales the magnitude up to
// an integer and writes its digits from the right-hand end of the text towards the left,
// putting the decimal point in when the fill reaches its column. Writing from the right means
// that a text cut to maxLen keeps its lowest digits and loses the highest; the callers size
// maxLen so that this does not happen for the values they show.

#include "base/NumberText.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>

namespace vocara {

namespace {

// Truncation toward zero into an unsigned 64-bit integer, defined for every double: NaN gives
// 0 and magnitudes past the range saturate, where a plain cast would be undefined.
std::uint64_t TruncateToUnsigned(double a) {
  constexpr double twoTo64 = 18446744073709551616.0;
  if (!(a >= 0.0)) return 0;
  if (a >= twoTo64) return std::numeric_limits<std::uint64_t>::max();
  return static_cast<std::uint64_t>(a);
}

int DecimalDigits(std::uint64_t n) {
  int count = 0;
  for (; n != 0; n /= 10) ++count;
  return count;
}

// Edit fields hand over at most this many characters to the scan.
constexpr std::size_t FieldTextLimit = 9;

}  // namespace

std::string FormatNumber(double value, int decimals, int maxLen, bool trim) {
  const int d = std::max(decimals, 0);

  // The half unit and the scaling are formed by repeated multiplication, not by a power
  // function, so that a value lands on the same integer on every platform.
  double half = 0.5;
  for (int i = 0; i < d; ++i) half *= 0.1;
  double a = std::fabs(value) + half;
  for (int i = 0; i < d; ++i) a *= 10.0;
  std::uint64_t n = TruncateToUnsigned(a);

  const bool negative = value < 0.0 || std::isnan(value);
  long long width = std::max(DecimalDigits(n), d + 1);
  if (negative) ++width;
  const long long length = std::max(0LL, std::min(width + (d > 0 ? 1 : 0), static_cast<long long>(maxLen)));

  std::string text(static_cast<std::size_t>(length), '0');
  long long first = 0;
  if (negative && length > 0) {
    text[0] = '-';
    first = 1;
  }
  const long long pointPosition = d > 0 ? length - d - 1 : -1;
  for (long long pos = length - 1; pos >= first; --pos) {
    if (pos == pointPosition) {
      text[static_cast<std::size_t>(pos)] = '.';
    } else {
      text[static_cast<std::size_t>(pos)] = static_cast<char>('0' + n % 10);
      n /= 10;
    }
  }

  if (trim && d > 0) {
    // Only the fraction's columns (and the point itself) may go; the sign is never a '0'.
    const long long limit = std::max(pointPosition, 0LL);
    long long end = length;
    while (end > limit && (text[static_cast<std::size_t>(end - 1)] == '0' ||
                           text[static_cast<std::size_t>(end - 1)] == '.')) {
      --end;
    }
    text.resize(static_cast<std::size_t>(end));
  }
  return text;
}

double ScanNumber(std::string_view text) {
  text = text.substr(0, std::min(text.size(), FieldTextLimit));
  double value = 0.0;
  int sign = 0;  // 0 while no sign has been seen
  bool inFraction = false;
  double scale = 1.0;
  for (const char c : text) {
    if (c == ' ') continue;
    if (c == '-' || c == '+') {
      if (sign != 0) break;
      sign = c == '-' ? -1 : 1;
    } else if (c == '.') {
      if (inFraction) break;
      inFraction = true;
    } else if (c >= '0' && c <= '9') {
      const int digit = c - '0';
      if (inFraction) {
        scale *= 0.1;
        value += digit * scale;
      } else {
        value = value * 10.0 + digit;
      }
    } else {
      break;
    }
  }
  return sign < 0 ? -value : value;
}

double ClampNumber(double value, double min, double max) {
  if (value < min) value = min;
  if (value > max) value = max;
  return value;
}

std::size_t CopyBounded(char* destination, std::ptrdiff_t capacity, const char* source) {
  if (capacity < 1) return 0;
  const auto limit = static_cast<std::size_t>(capacity - 1);
  std::size_t count = 0;
  if (source != nullptr) {
    for (; count < limit && source[count] != '\0'; ++count) destination[count] = source[count];
  }
  destination[count] = '\0';
  return count;
}

}  // namespace vocara
