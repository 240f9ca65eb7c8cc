// The switchable warning box: silenced by No, the prefix bounded by its buffer size.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "program/shell/Warning.h"
#include "support/FakePlatform.h"

namespace vocara {
namespace {

constexpr char LostBuffers[] = "Lost Buffers=";

std::vector<std::string> Texts(const test::FakeDesktop& desktop) {
  std::vector<std::string> texts;
  for (const test::ShownMessage& m : desktop.messages) {
    EXPECT_EQ(m.icon, platform::MessageIcon::Information);
    EXPECT_EQ(m.buttons, platform::MessageButtons::YesNo);
    EXPECT_EQ(m.defaultAnswer, platform::MessageAnswer::Yes);
    texts.push_back(m.text);
  }
  return texts;
}

TEST(ShowWarningTest, YesKeepsThemNoSilencesTheRestAndThePrefixSizeBoundsThePrefix) {
  test::FakeDesktop desktop;
  using platform::MessageAnswer;
  desktop.answers = {MessageAnswer::Yes, MessageAnswer::Yes, MessageAnswer::No, MessageAnswer::No};
  WarningSwitch warnings;
  ShowWarning(desktop, warnings, LostBuffers, 5, -12);
  ShowWarning(desktop, warnings, LostBuffers, 254, 12345);  // room for two characters
  EXPECT_TRUE(warnings.on);
  ShowWarning(desktop, warnings, LostBuffers, sizeof LostBuffers, 7);
  ShowWarning(desktop, warnings, LostBuffers, sizeof LostBuffers, 8);
  EXPECT_EQ(Texts(desktop), (std::vector<std::string>{"Lost-12", "Lost Buffers=45", "Lost Buffers=7"}));
  EXPECT_FALSE(warnings.on);
}

}  // namespace
}  // namespace vocara
