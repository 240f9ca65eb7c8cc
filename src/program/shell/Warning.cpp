#include "program/shell/Warning.h"

#include <algorithm>
#include <array>
#include <string>

#include "base/NumberText.h"

namespace vocara {

namespace {
// The warning text is built in a buffer of this many bytes, terminator included.
constexpr int WarningBufferSize = 256;
}  // namespace

void ShowWarning(platform::DesktopPort& desktop, WarningSwitch& warnings, const char* prefix, int prefixSize,
                 long long value) {
  if (!warnings.on) return;
  // The prefix takes at most prefixSize - 1 characters and the number the 256 - prefixSize
  // that remain, so the whole text always fits the buffer with its terminator.
  std::array<char, WarningBufferSize> buffer{};
  const std::size_t prefixLength =
      CopyBounded(buffer.data(), std::min(prefixSize, WarningBufferSize), prefix);
  std::string text(buffer.data(), prefixLength);
  const long long room = std::clamp(WarningBufferSize - static_cast<long long>(prefixSize), 0LL,
                                    static_cast<long long>(WarningBufferSize));
  text += FormatNumber(static_cast<double>(value), 0, static_cast<int>(room), true);

  const platform::MessageAnswer answer =
      desktop.ShowMessage(text, platform::MessageIcon::Information, platform::MessageButtons::YesNo,
                          platform::MessageAnswer::Yes);
  if (answer == platform::MessageAnswer::No) warnings.on = false;
}

}  // namespace vocara
