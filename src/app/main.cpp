// The desktop program: the Qt application, the platform adapters, the core, and the
// message loop until the WAV window closes.
#include <QApplication>
#include <string>

#include "platform/qt/QtPlatform.h"
#include "program/shell/App.h"
#include "program/shell/StartUp.h"

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  vocara::platform::qt::QtPlatform qt;
  vocara::App app(qt.Ports());
  vocara::WindowProcedureSink sink(app);
  qt.SetSink(sink);

  // The core takes one file name; the words of the command line are joined as they came.
  std::string commandLine;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) {
      commandLine += ' ';
    }
    commandLine += argv[i];
  }
  if (!vocara::ProgramStart(app, commandLine)) {
    qt.ClearSink();
    return 0;
  }
  const int exitCode = qt.Run();
  qt.ClearSink();
  return exitCode;
}
