// Helpers for the adapter tests: a message sink that records what the adapters deliver,
// waiting on the event loop, acting on a modal window once it is up, and the whole program on
// the adapters.
#pragma once

#include <QApplication>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

#include "platform/Message.h"
#include "platform/qt/QtDesktop.h"
#include "platform/qt/QtPlatform.h"
#include "program/dispatch/WindowProcedure.h"
#include "program/shell/App.h"
#include "support/TempDir.h"

namespace vocara::platform::qt::test {

class RecordingSink final : public MessageSink {
 public:
  std::intptr_t Dispatch(int view, const Message& message) override {
    views.push_back(view);
    messages.push_back(message);
    if (onMessage) onMessage(view, message);
    return 0;
  }

  std::vector<Message> OfKind(MessageKind kind) const {
    std::vector<Message> result;
    for (const Message& message : messages)
      if (message.kind == kind) result.push_back(message);
    return result;
  }

  void Clear() {
    views.clear();
    messages.clear();
  }

  std::vector<int> views;
  std::vector<Message> messages;
  // Answers a message the way the core would (sets a scroll bar, draws while painting).
  std::function<void(int view, const Message& message)> onMessage;
};

// Runs the event loop until the condition holds; false when it did not within the time.
inline bool WaitFor(const std::function<bool()>& condition, int timeoutMs = 3000) {
  for (int waited = 0; waited < timeoutMs; waited += 10) {
    if (condition()) return true;
    QTest::qWait(10);
  }
  return condition();
}

// Watches for a modal window while it lives; the watch ends with it, so that an action
// never outlives the variables it refers to.
class ModalWatch {
 public:
  explicit ModalWatch(QTimer* timer) : timer_(timer) {}
  ~ModalWatch() { delete timer_.data(); }
  ModalWatch(ModalWatch&& other) noexcept : timer_(other.timer_) { other.timer_ = nullptr; }
  ModalWatch(const ModalWatch&) = delete;
  ModalWatch& operator=(const ModalWatch&) = delete;
  ModalWatch& operator=(ModalWatch&&) = delete;

 private:
  QPointer<QTimer> timer_;
};

// Once a modal window of type T is active, hands it to the action. Set up before a call
// that blocks in its own event loop (a modal dialog, a message box).
template <typename T>
[[nodiscard]] ModalWatch WhenModal(std::function<void(T*)> action) {
  auto* timer = new QTimer;
  timer->setInterval(10);
  QObject::connect(timer, &QTimer::timeout, timer, [timer, action = std::move(action)] {
    if (auto* window = qobject_cast<T*>(QApplication::activeModalWidget())) {
      timer->stop();
      timer->deleteLater();
      action(window);
    }
  });
  timer->start();
  return ModalWatch(timer);
}

// The real program on the Qt adapters, the window procedure taking their messages while it
// lives. The settings file goes beside the program: here, into a folder of the test's own.
struct QtProgram {
  QtProgram() {
    qt.Desktop().OverrideProgramPath(dir.File("vocara"));
    qt.SetSink(sink);
  }
  ~QtProgram() { qt.ClearSink(); }
  QtProgram(const QtProgram&) = delete;
  QtProgram& operator=(const QtProgram&) = delete;

  vocara::test::TempDir dir;
  QtPlatform qt;
  App app{qt.Ports()};
  WindowProcedureSink sink{app};
};

}  // namespace vocara::platform::qt::test
