#include "platform/qt/QtPlatform.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QCoreApplication>
#include <QEventLoop>

#include "platform/qt/MessageRouter.h"
#include "platform/qt/PortAudioDevices.h"
#include "platform/qt/QtDesktop.h"
#include "platform/qt/QtDialogs.h"
#include "platform/qt/QtImages.h"
#include "platform/qt/QtSessionEnd.h"
#include "platform/qt/QtTextRenderer.h"
#include "platform/qt/QtWindows.h"

namespace vocara::platform::qt {

QtPlatform::QtPlatform()
    : router_(std::make_unique<MessageRouter>()),
      windows_(std::make_unique<QtWindows>(*router_)),
      text_(std::make_unique<QtTextRenderer>(windows_->LogicalDpi().width)),
      dialogs_(std::make_unique<QtDialogs>(*windows_)),
      desktop_(std::make_unique<QtDesktop>()),
      audio_(std::make_unique<PortAudioDevices>()),
      ports_(std::make_unique<Platform>(Platform{*windows_, *text_, *dialogs_, *desktop_, *audio_, *this})),
      sessionEnd_(std::make_unique<QtSessionEnd>(*router_)) {
  // Finished sound buffers reach the core's window procedure like any input message.
  audio_->SetDelivery(
      [router = router_.get()](int view, const Message& message) { router->Send(view, message); });
  // The program ends when the core says so, not when its last window is hidden.
  QApplication::setQuitOnLastWindowClosed(false);
  QApplication::setWindowIcon(ProgramIcon());
}

QtPlatform::~QtPlatform() {
  router_->SetSink(nullptr);
  sessionEnd_.reset();
  windows_.reset();
}

void QtPlatform::SetSink(MessageSink& sink) { router_->SetSink(&sink); }

void QtPlatform::ClearSink() { router_->SetSink(nullptr); }

int QtPlatform::Run() {
  if (!quitPosted_) {
    running_ = true;
    const int code = QCoreApplication::exec();
    running_ = false;
    if (!quitPosted_) {
      return code;
    }
  }
  quitPosted_ = false;
  return exitCode_;
}

bool QtPlatform::PumpOneMessage() {
  QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
  return dispatcher != nullptr && dispatcher->processEvents(QEventLoop::AllEvents);
}

void QtPlatform::PostQuit(int exitCode) {
  exitCode_ = exitCode;
  quitPosted_ = true;
  // Only a running loop is told: an exit request outside the loop would stay pending and
  // end every later modal dialog at once.
  if (running_) {
    QCoreApplication::exit(exitCode);
  }
}

}  // namespace vocara::platform::qt
