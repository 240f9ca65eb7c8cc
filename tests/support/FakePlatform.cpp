#include "support/FakePlatform.h"

namespace vocara::test {

bool FakeWindows::CreateWindow(const platform::WindowSpec& spec) {
  if (spec.view == failCreateView) return false;
  FakeWindow& w = views[spec.view];
  w.created = true;
  w.spec = spec;
  w.title = spec.title;
  w.screenRect = spec.rect;
  for (const platform::ToolbarButton& button : spec.toolbar) {
    if (!button.separator) w.buttonEnabled[button.command] = button.enabled;
  }
  if (!spec.menu.empty()) {
    std::function<void(const std::vector<platform::MenuItem>&)> walk = [&](const auto& items) {
      for (const platform::MenuItem& item : items) {
        if (item.kind == platform::MenuItem::Kind::Command) menuEnabled[item.command] = !item.greyed;
        if (item.checkable) menuChecked[item.command] = item.checked;
        if (item.kind == platform::MenuItem::Kind::Submenu) walk(item.items);
      }
    };
    for (const platform::MenuPopup& popup : spec.menu) walk(popup.items);
  }
  return true;
}

void FakeWindows::Show(int view, platform::ShowCommand command) {
  shows.emplace_back(view, command);
  FakeWindow& w = views[view];
  switch (command) {
    case platform::ShowCommand::Hide:
      w.state = platform::ShowState::Hidden;
      break;
    case platform::ShowCommand::Restore:
      w.state = platform::ShowState::Normal;
      break;
    case platform::ShowCommand::Minimise:
      w.state = platform::ShowState::Minimised;
      break;
    case platform::ShowCommand::Maximise:
      w.state = platform::ShowState::Maximised;
      break;
  }
}

void FakeWindows::Destroy(int view) {
  views[view].destroyed = true;
  views[view].state = platform::ShowState::Hidden;
  if (sink != nullptr) sink->Dispatch(view, {.kind = platform::MessageKind::Destroy});
}

platform::Rect FakeWindows::GetClientRect(int view) const {
  return {0, 0, views[view].clientSize.width, views[view].clientSize.height};
}

platform::Point FakeWindows::ClientToScreen(int view, platform::Point p) const {
  return {p.x + views[view].screenRect.left, p.y + views[view].screenRect.top};
}

void FakeWindows::SetSizeLimits(int view, platform::Size minimum, platform::Size maximum) {
  views[view].minTrack = minimum;
  views[view].maxTrack = maximum;
  views[view].sizeLimitsSet = true;
}

void FakeWindows::Invalidate(int view, const platform::Rect* rect) {
  views[view].invalidated.push_back(rect ? std::optional<platform::Rect>(*rect) : std::nullopt);
}

platform::ScrollInfo FakeWindows::GetScrollInfo(int view, platform::ScrollBar bar) const {
  const auto it = views[view].scroll.find(bar);
  return it == views[view].scroll.end() ? platform::ScrollInfo{} : it->second;
}

void FakeWindows::SetButtonEnabled(int view, int command, bool enabled) {
  ++stateChanges;
  views[view].buttonEnabled[command] = enabled;
}

void FakeWindows::SetMenuItemEnabled(int command, bool enabled) {
  ++stateChanges;
  menuEnabled[command] = enabled;
}

FakeDialog::FakeDialog(const platform::DialogTemplate& dialog) : dialogTemplate(dialog) {
  for (const platform::ControlTemplate& control : dialog.controls) {
    if (control.id >= 0) texts[control.id] = control.text;
  }
}

std::string FakeDialog::GetText(int id) const {
  const auto it = texts.find(id);
  return it == texts.end() ? std::string() : it->second;
}

bool FakeDialog::IsChecked(int id) const {
  const auto it = checks.find(id);
  return it != checks.end() && it->second;
}

int FakeDialog::GetSelection(int id) const {
  const auto it = selections.find(id);
  return it == selections.end() ? -1 : it->second;
}

int FakeDialogs::RunModal(int, const platform::DialogTemplate& dialog, platform::DialogProcedure& procedure) {
  titles.push_back(dialog.title);
  FakeDialog handle(dialog);
  procedure.OnInit(handle);
  if (!script.empty()) {
    DialogScript next = std::move(script.front());
    script.pop_front();
    next(handle, procedure);
  }
  if (!handle.ended) procedure.OnCommand(handle, platform::DialogCancel);
  return handle.result;
}

platform::DialogHandle* FakeDialogs::CreateModeless(int, const platform::DialogTemplate& dialog,
                                                    platform::DialogProcedure& procedure) {
  titles.push_back(dialog.title);
  modeless.push_back(std::make_unique<FakeDialog>(dialog));
  procedure.OnInit(*modeless.back());
  return modeless.back().get();
}

platform::MessageAnswer FakeDesktop::ShowMessage(const std::string& text, platform::MessageIcon icon,
                                                 platform::MessageButtons buttons,
                                                 platform::MessageAnswer defaultAnswer) {
  messages.push_back({text, icon, buttons, defaultAnswer});
  if (onMessage) onMessage();
  if (answers.empty()) return defaultAnswer;
  const platform::MessageAnswer answer = answers.front();
  answers.pop_front();
  return answer;
}

std::optional<std::string> FakeDesktop::GetOpenFileName(const platform::FileDialogRequest& request) {
  fileRequests.push_back(request);
  if (fileAnswers.empty()) return std::nullopt;
  auto answer = fileAnswers.front();
  fileAnswers.pop_front();
  return answer;
}

std::optional<std::string> FakeDesktop::GetSaveFileName(const platform::FileDialogRequest& request) {
  return GetOpenFileName(request);
}

}  // namespace vocara::test
