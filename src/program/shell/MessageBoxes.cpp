#include "program/shell/MessageBoxes.h"

#include <string>

namespace vocara {

void ShowErrorMessage(platform::DesktopPort& desktop, MessageId id) {
  if (id == MessageId::None) return;
  desktop.ShowMessage(std::string(MessageText(id)), platform::MessageIcon::Error,
                      platform::MessageButtons::Ok, platform::MessageAnswer::Ok);
}

bool AskKeepUnfittingFile(platform::DesktopPort& desktop) {
  return desktop.ShowMessage(std::string(MessageText(MessageId::WavSasDoesNotFit)),
                             platform::MessageIcon::Question, platform::MessageButtons::YesNo,
                             platform::MessageAnswer::No) == platform::MessageAnswer::Yes;
}

}  // namespace vocara
