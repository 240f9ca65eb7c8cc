// The program ended from outside: SIGTERM, SIGHUP and SIGINT, and the session manager at a
// logout or shutdown, reach the core as messages (Quit, SaveSession) so that it keeps the
// user's work as WAV File / Exit does and ends with exit code 0. A signal handler may do almost
// nothing safely: it writes a byte into a pipe, and the event loop reads it there and delivers
// the message.
#pragma once

#include <QObject>
#include <csignal>
#include <memory>

class QSocketNotifier;

namespace vocara::platform::qt {

class MessageRouter;

class QtSessionEnd final : public QObject {
 public:
  // Installs the signal handlers (the ones before come back with the destructor) and listens to
  // the application's session signals. Create it after the QApplication.
  explicit QtSessionEnd(MessageRouter& router);
  ~QtSessionEnd() override;
  QtSessionEnd(const QtSessionEnd&) = delete;
  QtSessionEnd& operator=(const QtSessionEnd&) = delete;

 private:
  void DeliverQuit();

  MessageRouter& router_;
  std::unique_ptr<QSocketNotifier> notifier_;
  struct sigaction previous_[3] = {};
  int modalsClosed_ = 0;
};

}  // namespace vocara::platform::qt
