// libFuzzer target for vocara-cli: an input is split at its zero bytes into the arguments of
// one call, which runs in this process (RunCli, the whole tool but main) with string streams
// for its output and error streams.
//
// The call runs in a folder of this process's own that holds small valid files: a.wav, b.wav
// and c.wav (16, 24 and 32 bits), a.sas built from a.wav, and s.ini, a settings file. Every
// '/' of an argument becomes '_', so every name the tool opens or writes is a name in that
// folder; after each call every other file is removed and every changed seed file restored,
// and each input starts from the same folder.
//
// What the tool promises and is checked here: exit status 0, 1 or 2; nothing on the error
// stream on success; a failure's message on a line of its own; a usage error with the usage
// text and no output; at most one file created or replaced by a call, none by a failed one
// (outputs appear whole or not at all), and no temporary output file left behind.
//
// The folder becomes the current folder only for the call itself, so that the fuzzer's own
// relative paths (corpus folders) keep working. A crash inside the call still happens there,
// and its reproducer would be written there, relative to that folder: LLVMFuzzerInitialize
// makes the artifact prefix absolute, the folder the fuzzer started in when none is given.
//
// Build with clang (-DCMAKE_CXX_COMPILER=clang++), run e.g. `fuzz/cli_fuzz -max_total_time=60`.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <sstream>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "FuzzFiles.h"
#include "base/Settings.h"
#include "cli/Cli.h"
#include "engine/sas/SasBuild.h"
#include "engine/wav/WavDocument.h"
#include "engine/wav/WavHeader.h"

namespace {

namespace fs = std::filesystem;
using namespace vocara;

void Require(bool condition) {
  if (!condition) std::abort();
}

// A mono WAV file of a 440 Hz tone at half of full scale.
std::string ToneWav(std::uint16_t blockAlign, std::uint32_t rate, std::uint32_t samples) {
  WavHeader header;
  header.fields.sampleRate = rate;
  header.fields.blockAlign = blockAlign;
  header.fields.bitsPerSample = static_cast<std::uint16_t>(8 * blockAlign);
  header.fields.bytesPerSecond = rate * blockAlign;
  header.SetDataSize(samples * blockAlign);
  const auto head = header.Serialise();
  std::string bytes(head.begin(), head.end());
  for (std::uint32_t i = 0; i < samples; ++i) {
    const double phase = 2.0 * std::numbers::pi * 440.0 * i / rate;
    const auto value = static_cast<std::int32_t>(std::lround(std::sin(phase) * 0x3FFFFFFF));
    const auto bits = static_cast<std::uint32_t>(value);
    for (unsigned b = 4 - blockAlign; b < 4; ++b) bytes.push_back(static_cast<char>(bits >> (8 * b)));
  }
  return bytes;
}

struct SeedFile {
  std::string name;
  std::string bytes;
  struct stat identity {};
};

bool SameIdentity(const struct stat& a, const struct stat& b) {
  return a.st_ino == b.st_ino && a.st_size == b.st_size && a.st_mtim.tv_sec == b.st_mtim.tv_sec &&
         a.st_mtim.tv_nsec == b.st_mtim.tv_nsec && S_ISREG(a.st_mode);
}

void WriteSeed(const fs::path& folder, SeedFile& seed) {
  const fs::path path = folder / seed.name;
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      .write(seed.bytes.data(), static_cast<std::streamsize>(seed.bytes.size()));
  if (::stat(path.c_str(), &seed.identity) != 0 || seed.identity.st_size != std::ssize(seed.bytes))
    fuzz::SetupFailed(path.c_str());
}

std::string ReadWhole(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// The folder the calls run in, with its seed files.
class Workspace {
 public:
  Workspace() : folder_(fuzz::ScratchFolder() / "cli") {
    std::error_code error;
    if (!fs::create_directories(folder_, error)) fuzz::SetupFailed(folder_.c_str());
    seeds_ = {{"a.wav", ToneWav(2, 48000, 800)},
              {"b.wav", ToneWav(3, 44100, 500)},
              {"c.wav", ToneWav(4, 22050, 300)}};
    for (SeedFile& seed : seeds_) WriteSeed(folder_, seed);
    const std::size_t wavSeeds = seeds_.size();

    // The SAS that fits a.wav, as the tool's own build makes it.
    const fs::path sas = folder_ / "a.sas";
    WavDocument wav;
    if (WavOpenDocument(wav, (folder_ / "a.wav").string()).message != MessageId::None ||
        SasBuildFile(wav, GeneralSettings{}, sas.string(), {}).message != MessageId::None)
      fuzz::SetupFailed("a.sas");
    seeds_.push_back({"a.sas", ReadWhole(sas)});

    GeneralSettings settings;
    ChooseInstrument(settings, 0);
    const auto record = settings.Serialise();
    const auto layout = WindowLayout::Defaults().Serialise();
    std::string ini(record.begin(), record.end());
    ini.append(layout.begin(), layout.end());
    seeds_.push_back({"s.ini", ini});
    for (std::size_t i = wavSeeds; i < seeds_.size(); ++i) WriteSeed(folder_, seeds_[i]);

    home_ = ::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    inside_ = ::open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (home_ < 0 || inside_ < 0) fuzz::SetupFailed("open folder");
  }

  int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (::fchdir(inside_) != 0) fuzz::SetupFailed("fchdir");
    const int status = cli::RunCli(args, out, err);
    if (::fchdir(home_) != 0) fuzz::SetupFailed("fchdir");
    return status;
  }

  // Puts the folder back as it was; returns the number of files the call created or replaced.
  int Restore() {
    int changed = 0;
    std::vector<fs::path> strays;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder_)) {
      const std::string name = entry.path().filename().string();
      // An output still in progress after the call returned is one that was never cleaned up.
      // Only this process's own temporaries count: an output the arguments merely named like
      // one ("o.vocara-x.tmp") is a file like any other.
      static const std::string ownInfix = ".vocara-" + std::to_string(::getpid()) + "-";
      Require(!(name.starts_with(".") && name.find(ownInfix) != std::string::npos && name.ends_with(".tmp")));
      const auto seed =
          std::find_if(seeds_.begin(), seeds_.end(), [&](const SeedFile& s) { return s.name == name; });
      if (seed == seeds_.end()) {
        strays.push_back(entry.path());
        continue;
      }
      struct stat now {};
      if (::lstat(entry.path().c_str(), &now) == 0 && SameIdentity(now, seed->identity)) continue;
      ++changed;
      std::error_code ignored;
      fs::remove_all(entry.path(), ignored);
      WriteSeed(folder_, *seed);
    }
    for (const fs::path& stray : strays) {
      ++changed;
      std::error_code ignored;
      fs::remove_all(stray, ignored);
    }
    // A seed removed by the call comes back too.
    for (SeedFile& seed : seeds_) {
      struct stat now {};
      if (::lstat((folder_ / seed.name).c_str(), &now) == 0) continue;
      ++changed;
      WriteSeed(folder_, seed);
    }
    return changed;
  }

 private:
  fs::path folder_;
  std::vector<SeedFile> seeds_;
  int home_ = -1;
  int inside_ = -1;
};

std::vector<std::string> Arguments(std::string_view input) {
  std::vector<std::string> args;
  for (;;) {
    const std::size_t end = input.find('\0');
    std::string word(input.substr(0, end));
    std::replace(word.begin(), word.end(), '/', '_');
    args.push_back(std::move(word));
    if (end == std::string_view::npos) break;
    input.remove_prefix(end + 1);
  }
  return args;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  std::error_code error;
  const std::string start = fs::current_path(error).string() + "/";
  if (error) return 0;
  // Kept for the life of the process, as libFuzzer keeps argv.
  auto* args = new char*[static_cast<std::size_t>(*argc) + 2];
  int count = 0;
  bool named = false;
  for (int i = 0; i < *argc; ++i) {
    const std::string_view arg = (*argv)[i];
    args[count++] = (*argv)[i];
    for (const std::string_view flag : {"-artifact_prefix=", "-exact_artifact_path="}) {
      if (i == 0 || !arg.starts_with(flag)) continue;
      named = true;
      const std::string_view value = arg.substr(flag.size());
      if (!value.starts_with('/'))
        args[count - 1] = strdup((std::string(flag) + start + std::string(value)).c_str());
    }
  }
  if (!named) args[count++] = strdup(("-artifact_prefix=" + start).c_str());
  args[count] = nullptr;
  *argc = count;
  *argv = args;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Workspace& workspace = *new Workspace;
  static std::ostringstream& out = *new std::ostringstream;
  static std::ostringstream& err = *new std::ostringstream;
  out.str({});
  err.str({});
  out.clear();
  err.clear();

  const std::vector<std::string> args =
      Arguments(std::string_view(reinterpret_cast<const char*>(data), size));
  const int status = size == 0 ? workspace.Run({}, out, err) : workspace.Run(args, out, err);
  const int changed = workspace.Restore();

  const std::string& errText = err.str();
  switch (status) {
    case cli::ExitSuccess:
      // Only the tool's own notes (a clamped value, a range found), each a line of its own.
      Require(errText.empty() || (errText.starts_with("vocara-cli: ") && errText.back() == '\n'));
      Require(changed <= 1);
      break;
    case cli::ExitFailure:
      Require(out.str().empty());
      Require(!errText.empty() && errText.back() == '\n');
      Require(changed == 0);
      break;
    case cli::ExitUsage:
      Require(out.str().empty());
      Require(errText.starts_with("vocara-cli: ") &&
              errText.ends_with("\nTry 'vocara-cli --help' for more information.\n"));
      Require(changed == 0);
      break;
    default:
      std::abort();
  }
  return 0;
}
