#include "platform/qt/QtSessionEnd.h"

#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QSessionManager>
#include <QSocketNotifier>
#include <QTimer>
#include <QWidget>
#include <cerrno>

#include "platform/qt/MessageRouter.h"

namespace vocara::platform::qt {
namespace {

constexpr int EndingSignals[] = {SIGTERM, SIGHUP, SIGINT};

// The main window, which the core's end messages go to.
constexpr int MainView = 0;

// How many modal windows in a row are closed for a quit before it is delivered regardless.
constexpr int MostModalsClosed = 50;

// Written by the handlers, read by the event loop; made once for the process.
int signalPipe[2] = {-1, -1};

void OnEndingSignal(int) {
  const int saved = errno;
  const char byte = 1;
  if (::write(signalPipe[1], &byte, 1) < 0) {
    // A full pipe already holds a request to end.
  }
  errno = saved;
}

bool OpenSignalPipe() {
  if (signalPipe[0] >= 0) return true;
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, signalPipe) != 0) return false;
  return true;
}

Message OfKind(MessageKind kind) {
  Message message;
  message.kind = kind;
  return message;
}

}  // namespace

QtSessionEnd::QtSessionEnd(MessageRouter& router) : router_(router) {
  if (OpenSignalPipe()) {
    notifier_ = std::make_unique<QSocketNotifier>(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, this, [this] {
      char bytes[64];
      while (::read(signalPipe[0], bytes, sizeof bytes) > 0) {
      }
      modalsClosed_ = 0;
      DeliverQuit();
    });
    struct sigaction action = {};
    action.sa_handler = OnEndingSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int i = 0; i < 3; ++i) sigaction(EndingSignals[i], &action, &previous_[i]);
    // A starter that held these signals back (one sent while the program was starting) hands
    // them over now: they are ours to answer.
    sigset_t ending;
    sigemptyset(&ending);
    for (const int signal : EndingSignals) sigaddset(&ending, signal);
    pthread_sigmask(SIG_UNBLOCK, &ending, nullptr);
  }
  // At a logout the session manager first asks for the user's work to be saved; the logout may
  // still be cancelled, so the program goes on. Its quit then arrives as a signal or as Qt's own
  // quit, which closes the windows (the WAV window's Close ends the program as Exit does) or
  // ends the loop (the quit below).
  QObject::connect(qApp, &QGuiApplication::commitDataRequest, this,
                   [this](QSessionManager&) { router_.Send(MainView, OfKind(MessageKind::SaveSession)); });
  QObject::connect(qApp, &QCoreApplication::aboutToQuit, this,
                   [this] { router_.Send(MainView, OfKind(MessageKind::Quit)); });
}

QtSessionEnd::~QtSessionEnd() {
  if (notifier_ == nullptr) return;
  for (int i = 0; i < 3; ++i) sigaction(EndingSignals[i], &previous_[i], nullptr);
}

void QtSessionEnd::DeliverQuit() {
  // A modal window runs a loop of its own inside a command. It is closed (a dialog cancelled, a
  // message box given its Escape answer), and the quit tried again once the command went on;
  // the core ends the program when the command is over.
  if (QWidget* modal = QApplication::activeModalWidget();
      modal != nullptr && modalsClosed_ < MostModalsClosed) {
    ++modalsClosed_;
    modal->close();
    QTimer::singleShot(20, this, [this] { DeliverQuit(); });
    return;
  }
  router_.Send(MainView, OfKind(MessageKind::Quit));
}

}  // namespace vocara::platform::qt
