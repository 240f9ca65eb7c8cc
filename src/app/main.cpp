// The desktop program: the command line, then the Qt application, the platform adapters, the
// core, and the message loop until the WAV window closes.
#include <QApplication>
#include <iostream>
#include <string>
#include <vector>

#include "platform/qt/QtPlatform.h"
#include "program/dispatch/StartUp.h"
#include "program/dispatch/WindowProcedure.h"
#include "program/shell/App.h"
#include "program/dispatch/ProgramOptions.h"

int main(int argc, char* argv[]) {
  // --help, --version and unknown options are answered before any display is opened.
  const vocara::ProgramOptions options =
      vocara::ReadProgramOptions(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr);
  if (options.exitCode) return *options.exitCode;

  // The words were read above; Qt sees only the program name, so that no word of a file name is
  // taken as one of Qt's own options.
  int qtArgc = 1;
  QApplication application(qtArgc, argv);
  vocara::platform::qt::QtPlatform qt;
  vocara::App app(qt.Ports());
  vocara::WindowProcedureSink sink(app);
  qt.SetSink(sink);

  if (!vocara::ProgramStart(app, options.commandLine)) {
    qt.ClearSink();
    return 0;
  }
  const int exitCode = qt.Run();
  qt.ClearSink();
  return exitCode;
}
