// A platform without a display for the core's tests: records what the core asks of the
// windows (states, titles, menu and toolbar states, invalidated rectangles, scroll bars,
// cursors) and answers message boxes and file dialogs from a script.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/Platform.h"

namespace vocara::test {

struct FakeWindow {
  bool created = false;
  bool destroyed = false;
  platform::WindowSpec spec;
  platform::ShowState state = platform::ShowState::Hidden;
  std::string title;
  platform::Rect screenRect;
  platform::Size clientSize{640, 160};
  platform::Size minTrack, maxTrack;
  bool sizeLimitsSet = false;
  std::vector<std::optional<platform::Rect>> invalidated;  // nullopt: the whole window
  std::vector<platform::Rect> presented;
  platform::PixelView image;
  std::map<platform::ScrollBar, platform::ScrollInfo> scroll;
  std::map<platform::ScrollBar, platform::Rect> controls;
  std::map<int, bool> buttonEnabled;  // by command
  std::map<int, bool> buttonChecked;
};

class FakeWindows final : public platform::WindowPort {
 public:
  FakeWindow views[4];
  std::map<int, bool> menuEnabled;  // by command
  std::map<int, bool> menuChecked;  // by command, checkable items only
  std::map<int, std::string> commandNotes;
  int menuRedraws = 0;
  int stateChanges = 0;  // menu item and button state changes
  std::vector<platform::CursorShape> cursors;
  std::vector<platform::Point> popups;
  std::vector<std::pair<int, platform::ShowCommand>> shows;
  platform::Rect workArea{0, 0, 1280, 1000};
  platform::Size dpi{96, 96};
  int toolbarHeight = 26;
  int toolbarWidths[4] = {};              // by view: what WidthShowingToolbar answers
  int failCreateView = -1;                // a view whose creation fails
  platform::MessageSink* sink = nullptr;  // receives Destroy after Destroy()
  int captured = -1;

  bool CreateWindow(const platform::WindowSpec& spec) override;
  void Show(int view, platform::ShowCommand command) override;
  platform::ShowState GetShowState(int view) const override { return views[view].state; }
  void BringToTop(int) override {}
  void SetTitle(int view, const std::string& title) override { views[view].title = title; }
  void Destroy(int view) override;
  platform::Rect GetClientRect(int view) const override;
  platform::Rect GetScreenRect(int view) const override { return views[view].screenRect; }
  platform::Point ClientToScreen(int view, platform::Point p) const override;
  int ToolbarHeight(int) const override { return toolbarHeight; }
  int WidthShowingToolbar(const platform::WindowSpec& spec) const override {
    return toolbarWidths[spec.view];
  }
  void SetSizeLimits(int view, platform::Size minimum, platform::Size maximum) override;
  void AttachImage(int view, const platform::PixelView& image) override { views[view].image = image; }
  void Invalidate(int view, const platform::Rect* rect) override;
  void Present(int view, const platform::Rect& rect) override { views[view].presented.push_back(rect); }
  void CaptureMouse(int view) override { captured = view; }
  void ReleaseMouse() override { captured = -1; }
  void SetCursor(platform::CursorShape shape) override { cursors.push_back(shape); }
  void SetScrollInfo(int view, platform::ScrollBar bar, const platform::ScrollInfo& info, bool) override {
    views[view].scroll[bar] = info;
  }
  platform::ScrollInfo GetScrollInfo(int view, platform::ScrollBar bar) const override;
  void MoveScrollControl(int view, platform::ScrollBar control, const platform::Rect& rect) override {
    views[view].controls[control] = rect;
  }
  void SetButtonEnabled(int view, int command, bool enabled) override;
  void SetButtonChecked(int view, int command, bool checked) override {
    views[view].buttonChecked[command] = checked;
  }
  void SetMenuItemEnabled(int command, bool enabled) override;
  void SetMenuItemChecked(int command, bool checked) override { menuChecked[command] = checked; }
  void SetCommandNote(int command, const std::string& note) override { commandNotes[command] = note; }
  void RedrawMenuBar() override { ++menuRedraws; }
  void PopupEditModeMenu(platform::Point screen) override { popups.push_back(screen); }
  platform::Rect WorkArea() const override { return workArea; }
  platform::Size LogicalDpi() const override { return dpi; }

  platform::CursorShape LastCursor() const {
    return cursors.empty() ? platform::CursorShape::Arrow : cursors.back();
  }
};

struct DrawnText {
  int x;
  int y;
  std::string text;
  platform::Rgb colour;
};

class FakeText final : public platform::TextRenderer {
 public:
  std::vector<DrawnText> drawn;
  void DrawText(const platform::PixelView&, const platform::Rect&, int x, int y, std::string_view text,
                platform::Rgb colour) override {
    drawn.push_back({x, y, std::string(text), colour});
  }
};

// A dialog as the fake host keeps it: control texts, checks, lists and selections by id.
class FakeDialog final : public platform::DialogHandle {
 public:
  explicit FakeDialog(const platform::DialogTemplate& dialog);
  std::string GetText(int id) const override;
  void SetText(int id, const std::string& text) override { texts[id] = text; }
  bool IsChecked(int id) const override;
  void SetChecked(int id, bool checked) override { checks[id] = checked; }
  void ClearItems(int id) override { items[id].clear(); }
  void AddItem(int id, const std::string& text) override { items[id].push_back(text); }
  int GetSelection(int id) const override;
  void SetSelection(int id, int index) override { selections[id] = index; }
  void SetEnabled(int, bool) override {}
  bool IsVisible() const override { return !ended; }
  void BringToTop() override {}
  void End(int value) override {
    ended = true;
    result = value;
  }

  platform::DialogTemplate dialogTemplate;
  std::map<int, std::string> texts;
  std::map<int, bool> checks;
  std::map<int, std::vector<std::string>> items;
  std::map<int, int> selections;
  bool ended = false;
  int result = 0;
};

// Drives a dialog the way a user would: set controls, press buttons through the procedure.
using DialogScript = std::function<void(FakeDialog&, platform::DialogProcedure&)>;

class FakeDialogs final : public platform::DialogPort {
 public:
  std::deque<DialogScript> script;  // one entry per modal dialog; an empty script presses Cancel
  std::vector<std::string> titles;  // of every dialog run
  std::vector<std::unique_ptr<FakeDialog>> modeless;

  int RunModal(int ownerView, const platform::DialogTemplate& dialog,
               platform::DialogProcedure& procedure) override;
  platform::DialogHandle* CreateModeless(int ownerView, const platform::DialogTemplate& dialog,
                                         platform::DialogProcedure& procedure) override;
};

struct ShownMessage {
  std::string text;
  platform::MessageIcon icon;
  platform::MessageButtons buttons;
  platform::MessageAnswer defaultAnswer;
};

class FakeDesktop final : public platform::DesktopPort {
 public:
  std::vector<ShownMessage> messages;
  std::function<void()> onMessage;  // a message box about to be shown, for tests that order events
  std::deque<platform::MessageAnswer> answers;         // empty: the default answer
  std::deque<std::optional<std::string>> fileAnswers;  // empty: cancelled
  std::vector<platform::FileDialogRequest> fileRequests;
  std::optional<std::string> clipboard;
  std::vector<std::string> opened;
  bool viewerOpens = true;  // false: no viewer can open a document
  std::string programPath = "/tmp/vocara";
  std::string configDirectory = "/tmp";
  std::map<std::string, std::string> environment;

  platform::MessageAnswer ShowMessage(const std::string& text, platform::MessageIcon icon,
                                      platform::MessageButtons buttons,
                                      platform::MessageAnswer defaultAnswer) override;
  std::optional<std::string> GetOpenFileName(const platform::FileDialogRequest& request) override;
  std::optional<std::string> GetSaveFileName(const platform::FileDialogRequest& request) override;
  bool SetClipboardText(const std::string& text) override {
    clipboard = text;
    return true;
  }
  bool OpenWithViewer(const std::string& path) override {
    opened.push_back(path);
    return viewerOpens;
  }
  std::string ProgramPath() const override { return programPath; }
  std::string UserConfigDirectory() const override { return configDirectory; }
  std::string EnvironmentValue(const std::string& name) const override {
    const auto it = environment.find(name);
    return it != environment.end() ? it->second : std::string();
  }
};

// Devices without sound: records every stream call; tests return buffers by dispatching
// WaveOutDone / WaveInData messages themselves.
class FakeAudio final : public platform::AudioPort {
 public:
  struct Queued {
    platform::AudioHandle handle = 0;
    int buffer = 0;
    const std::uint8_t* data = nullptr;
    std::uint8_t* inData = nullptr;
    std::size_t length = 0;           // bytes to play, or the capacity of an input buffer
    std::vector<std::uint8_t> bytes;  // a copy of the output bytes at the time they were queued
  };
  struct Opened {
    int device = 0;
    platform::WaveFormatRecord format{};
    int notifyView = 0;
    platform::AudioHandle handle = 0;
  };
  std::vector<std::string> inputs;
  std::vector<std::string> outputs;
  bool formatsSupported = true;
  bool inputFormatSupported = true;
  bool outputFormatSupported = true;
  bool openSucceeds = true;
  std::vector<platform::WaveFormatRecord> inputQueries;
  std::vector<platform::WaveFormatRecord> outputQueries;
  std::vector<Opened> outputOpens;
  std::vector<Opened> inputOpens;
  std::vector<Queued> outputQueue;  // every QueueOutput, in order
  std::vector<Queued> inputQueue;   // every QueueInput, in order
  std::vector<platform::AudioHandle> resets;
  std::vector<platform::AudioHandle> closes;
  std::vector<platform::AudioHandle> started;
  platform::AudioHandle nextHandle = 0x51;
  platform::AudioHandle openOutput = 0;  // the output stream open now, 0 when none
  platform::AudioHandle openInput = 0;
  std::function<void()> onOutputOpen;  // a stream about to start, for tests that order events
  bool keepBytes = true;               // copy queued output (the benchmarks turn it off)

  std::vector<std::string> InputDevices() override { return inputs; }
  std::vector<std::string> OutputDevices() override { return outputs; }
  bool IsInputFormatSupported(int, const platform::WaveFormatRecord& format) override {
    inputQueries.push_back(format);
    return formatsSupported && inputFormatSupported;
  }
  bool IsOutputFormatSupported(int, const platform::WaveFormatRecord& format) override {
    outputQueries.push_back(format);
    return formatsSupported && outputFormatSupported;
  }
  platform::AudioHandle OpenOutput(int device, const platform::WaveFormatRecord& format, int view) override {
    if (!openSucceeds) return 0;
    openOutput = nextHandle++;
    outputOpens.push_back({device, format, view, openOutput});
    if (onOutputOpen) onOutputOpen();
    return openOutput;
  }
  void QueueOutput(platform::AudioHandle handle, int buffer, const std::uint8_t* data,
                   std::size_t length) override {
    if (!keepBytes) return;
    outputQueue.push_back(
        {handle, buffer, data, nullptr, length, std::vector<std::uint8_t>(data, data + length)});
  }
  void ResetOutput(platform::AudioHandle handle) override { resets.push_back(handle); }
  void CloseOutput(platform::AudioHandle handle) override {
    closes.push_back(handle);
    if (handle == openOutput) openOutput = 0;
  }
  platform::AudioHandle OpenInput(int device, const platform::WaveFormatRecord& format, int view) override {
    if (!openSucceeds) return 0;
    openInput = nextHandle++;
    inputOpens.push_back({device, format, view, openInput});
    return openInput;
  }
  void QueueInput(platform::AudioHandle handle, int buffer, std::uint8_t* data,
                  std::size_t capacity) override {
    if (!keepBytes) return;
    inputQueue.push_back({handle, buffer, nullptr, data, capacity, {}});
  }
  void StartInput(platform::AudioHandle handle) override { started.push_back(handle); }
  void ResetInput(platform::AudioHandle handle) override { resets.push_back(handle); }
  void CloseInput(platform::AudioHandle handle) override {
    closes.push_back(handle);
    if (handle == openInput) openInput = 0;
  }
};

class FakePump final : public platform::MessagePump {
 public:
  std::optional<int> quitCode;
  int pumped = 0;
  std::function<void()> onPump;  // a message arriving while a long operation runs
  bool PumpOneMessage() override {
    ++pumped;
    if (onPump) onPump();
    return false;
  }
  void PostQuit(int exitCode) override { quitCode = exitCode; }
  // A scripted clock: each reading advances it by `step` (0 keeps it still); with realTime the
  // system's clock, for the benchmarks.
  std::chrono::steady_clock::time_point now{};
  std::chrono::microseconds step{0};
  bool realTime = false;
  std::chrono::steady_clock::time_point Now() override {
    return realTime ? std::chrono::steady_clock::now() : now += step;
  }
};

struct FakePlatform {
  FakeWindows windows;
  FakeText text;
  FakeDialogs dialogs;
  FakeDesktop desktop;
  FakeAudio audio;
  FakePump pump;
  platform::Platform ports{windows, text, dialogs, desktop, audio, pump};
};

}  // namespace vocara::test
