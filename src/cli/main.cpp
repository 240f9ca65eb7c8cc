// vocara-cli: the batch front end on the same core as the GUI.
#include <iostream>
#include <string>
#include <vector>

#include "cli/Cli.h"
#include "cli/TerminalProgress.h"

int main(int argc, char** argv) {
  vocara::cli::InstallOutputCleanup();
  const std::vector<std::string> args(argv + 1, argv + argc);
  return vocara::cli::RunProcess(args, std::cerr);
}
