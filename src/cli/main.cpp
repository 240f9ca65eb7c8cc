// vocara-cli: the batch front end on the same core as the GUI.
#include <iostream>
#include <string>
#include <vector>

#include "cli/Cli.h"
#include "cli/TerminalProgress.h"

// Before anything else of the process runs: a Ctrl-C or SIGTERM in the first milliseconds of an
// in-place change must end it with its message like one later on.
__attribute__((constructor(101))) static void CatchEarlySignals() {
  vocara::cli::CatchInterruptsFromTheStart();
}

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  vocara::cli::SettleInterrupts(vocara::cli::ChangesInPlace(vocara::cli::CommandWord(args)));
  return vocara::cli::RunProcess(args, std::cerr);
}
