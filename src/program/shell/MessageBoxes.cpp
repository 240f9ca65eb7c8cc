#include "program/shell/MessageBoxes.h"

#include <string>

namespace vocara {

void ShowErrorMessage(platform::DesktopPort& desktop, MessageId id) {
  if (id == MessageId::None) return;
  desktop.ShowMessage(std::string(MessageText(id)), platform::MessageIcon::Error,
                      platform::MessageButtons::Ok, platform::MessageAnswer::Ok);
}

void ShowErrorText(platform::DesktopPort& desktop, const std::string& text) {
  desktop.ShowMessage(text, platform::MessageIcon::Error, platform::MessageButtons::Ok,
                      platform::MessageAnswer::Ok);
}

bool AskConvertToMonoCopy(platform::DesktopPort& desktop, MessageId refusal, const std::string& what) {
  const std::string question = std::string(MessageText(refusal)) + "\n" + (what.empty() ? "" : what + "\n") +
                               std::string(MessageText(MessageId::ConvertToMonoWavCopy));
  return desktop.ShowMessage(question, platform::MessageIcon::Question, platform::MessageButtons::YesNo,
                             platform::MessageAnswer::Yes) == platform::MessageAnswer::Yes;
}

bool AskKeepUnfittingFile(platform::DesktopPort& desktop) {
  return desktop.ShowMessage(std::string(MessageText(MessageId::WavSasDoesNotFit)),
                             platform::MessageIcon::Question, platform::MessageButtons::YesNo,
                             platform::MessageAnswer::No) == platform::MessageAnswer::Yes;
}

}  // namespace vocara
