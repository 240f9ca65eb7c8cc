// vocara-cli: the batch front end on the same core as the GUI.
#include <cstdio>
#include <cstring>

namespace {

constexpr const char* Usage =
    "usage: vocara-cli <command> [arguments]\n"
    "\n"
    "Batch operations on mono WAV recordings and their SAS analysis files.\n"
    "\n"
    "commands:\n"
    "  --help    show this text\n";

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::fputs(Usage, stdout);
    return 0;
  }
  std::fputs(Usage, stderr);
  return 2;
}
