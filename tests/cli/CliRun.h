// What the command-line tests share: vocara-cli run in this process with what it printed kept,
// and run in a child process whose writes stop at a size limit or that runs as a user.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "cli/Cli.h"
#include "engine/processing/CorrectionReport.h"
#include "engine/sas/SasDocument.h"
#include "engine/wav/WavDocument.h"
#include "support/ChildProcess.h"
#include "support/Recordings.h"
#include "support/TempDir.h"
#include "support/WavFiles.h"

namespace vocara::test {

// The words with each placeholder among them ("{wav}", say) replaced by what it stands for.
inline std::vector<std::string> Filled(std::vector<std::string> words,
                                       const std::map<std::string, std::string>& values) {
  for (std::string& word : words)
    if (const auto it = values.find(word); it != values.end()) word = it->second;
  return words;
}

// Runs vocara-cli in this process; what it wrote to stderr goes to *err when asked for.
inline int RunInProcess(const std::vector<std::string>& args, std::string* err = nullptr) {
  std::ostringstream out;
  std::ostringstream errors;
  const int code = cli::RunCli(args, out, errors);
  if (err) *err = errors.str();
  return code;
}

// The same in a child process that cannot write past `limit` bytes; its text is its stderr.
inline ChildResult RunCliWithFileSizeLimit(std::uint64_t limit, const std::vector<std::string>& args) {
  return RunWithFileSizeLimit(limit, [&args](int& exitCode) {
    std::string text;
    exitCode = RunInProcess(args, &text);
    return text;
  });
}

// The same in a child process that has given up root.
inline ChildResult RunCliAsUser(const std::vector<std::string>& args) {
  return RunAsUser([&args](int& exitCode) {
    std::string text;
    exitCode = RunInProcess(args, &text);
    return text;
  });
}

// The real program as a process of its own, so that a kill or a signal ends a real process; its
// stderr goes to `errorFile`.
inline int StartCli(const std::vector<std::string>& args, const std::string& errorFile = "/dev/null") {
  return StartProcess(VOCARA_CLI_PATH, args, errorFile);
}

// The report of a rendering correct wrote, made by the engine as report makes it: following the
// time links as correct does by default, by the SAS's own setting.
inline CorrectionReport RenderingReport(const std::string& wav, const std::string& sas,
                                        const std::string& corrected) {
  WavDocument in;
  WavDocument output;
  SasDocument document;
  EXPECT_EQ(WavOpenDocument(in, wav).message, MessageId::None);
  EXPECT_EQ(WavOpenDocument(output, corrected).message, MessageId::None);
  EXPECT_EQ(SasOpenDocument(document, sas, SasAccess::ReadOnly), MessageId::None);
  CorrectionReport report;
  EXPECT_TRUE(MakeCorrectionReport(
      document, output, {0, in.sampleCount, document.header.settings.timeCorrection != 0}, report));
  return report;
}

// A folder of the test's own, and Run, which clears what the last run printed before the next.
class CliFixture : public ::testing::Test {
 protected:
  int Run(const std::vector<std::string>& args) {
    out.str("");
    err.str("");
    return cli::RunCli(args, out, err);
  }
  // `args` after the words a fixture's commands all start with.
  int Run(std::vector<std::string> first, const std::vector<std::string>& args) {
    first.insert(first.end(), args.begin(), args.end());
    return Run(first);
  }
  // build INPUT into `name` in the folder.
  std::string Build(const std::string& input, const std::string& name) {
    const std::string sas = dir.File(name);
    EXPECT_EQ(Run({"build", input, sas}), cli::ExitSuccess) << err.str();
    return sas;
  }
  // The notes sung into sung.wav and built into sung.sas.
  std::string Sing(const std::vector<SungNote>& notes, const SungOptions& options = {}) {
    WriteWav16(dir.File("sung.wav"), SungMelody(notes, options));
    return Build(dir.File("sung.wav"), "sung.sas");
  }

  TempDir dir;
  std::ostringstream out;
  std::ostringstream err;
};

}  // namespace vocara::test
