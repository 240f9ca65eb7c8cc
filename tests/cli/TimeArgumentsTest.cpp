// A run given seconds does exactly what the run given the samples or frames holding them does;
// a misspelt time is a usage error naming it; one past the end is refused as the number is.
#include <gtest/gtest.h>

#include <cstdio>
#include <regex>
#include <string>
#include <tuple>
#include <vector>

#include "CliRun.h"
#include "support/Recordings.h"
#include "support/WavFiles.h"

namespace vocara::test {
namespace {

using TimeArgumentsTest = CliFixture;

TEST_F(TimeArgumentsTest, SecondsNameTheSamplesOrFramesThatHoldThem) {
  const std::string sas = Sing({{60, 0, 0.7}, {64, 0, 0.7}}), wav = dir.File("sung.wav");
  const std::string mid = dir.File("guide.mid");
  ASSERT_EQ(Run({"midi", sas, mid}) + Run({"info", sas}), cli::ExitSuccess);
  const auto hop = std::stoul(out.str().substr(out.str().find("frame_length=") + 13));
  const std::string end = std::string(":").append(std::to_string((33600 + hop - 1) / hop));
  const std::string frames = std::to_string(14400 / hop) + end;
  const std::string r = "0.3s:0.7s";
  // {words, T as seconds, T as samples or frames}; 0.018 s, 0.035 s x 48000 are not whole in doubles
  const std::vector<std::tuple<std::vector<std::string>, std::string, std::string>> cases{
      {{"save-range", wav, "{out}", "T"}, "0s:1s", "0:48000"},
      {{"export-text", wav, "{out}", "T"}, "0.018s:0.035s", "864:1680"},
      {{"correct", wav, sas, "{out}", "--range", "T"}, "0.3s:0.7s", "14400:33600"},
      {{"report", wav, sas, "--range", "T"}, "1000:0.7s", "1000:33600"},
      {{"denoise", wav, "{out}", "--noise", "T", "--add", "0.5s:1s"}, "0.1s:0.3s", "4800:14400"},
      {{"spectrum", wav, "--at", "T"}, "0.018s", "864"},
      {{"peaks", wav, "{out}", "--at", "T"}, "0.45s", "21600"},
      {{"notes", wav, "--at", "T"}, "1.2s", "57600"},
      {{"pulse", wav, "{out}", "0.5s", "T"}, "0.6s", "28800"},
      {{"edit", "{sas}", "--scale", "50", "--range", "T"}, r, frames},
      {{"snap", "{sas}", "--key", "Db", "--scale", "major", "--range", "T"}, r, frames},
      {{"note", "{sas}", "--move", "30", "--at", "T"}, "0.3s", std::to_string(14400 / hop)},
      {{"note", "{sas}", "--to", "gb4", "--range", "T"}, "0:0.7s", "0" + end},
      {{"guide", "{sas}", mid, "--range", "T"}, r, frames},
      {{"reanalyse", wav, "{sas}", "--lowest", "Bb3", "--highest", "f#5", "--range", "T"}, r, frames},
      {{"repair", wav, "{sas}", "--range", "T"}, r, frames}};
  // Everything a run left: its exit, its output, the file it wrote and the SAS it changed.
  std::string problem;
  const auto runWith = [&](std::vector<std::string> words, const std::string& time) {
    const std::string copy = WriteFile(dir.File("copy.sas"), ReadFile(sas));
    const std::string file = dir.File("out");
    std::remove(file.c_str());
    for (std::string& word : words) word = word == "T" ? time : word;
    const int exit = Run(Filled(words, {{"{out}", file}, {"{sas}", copy}}));
    problem = err.str().substr(0, err.str().find('\n'));
    return std::to_string(exit) + out.str() + ReadFile(file) + ReadFile(copy);
  };
  for (const auto& [words, seconds, number] : cases) {
    const std::string what = words[0] + " " + seconds;
    const std::string bySeconds = runWith(words, seconds);
    EXPECT_EQ(bySeconds[0], '0') << what << ": " << problem;
    EXPECT_TRUE(bySeconds == runWith(words, number)) << what;
    const std::string range = seconds.find(':') != std::string::npos ? "0:" : "";
    for (const std::string bad : {"0.9ms", "1.2x", "-1s", "s", "nan s", "1e400s"}) {
      EXPECT_EQ(runWith(words, range + bad)[0], '2') << what;
      EXPECT_NE(problem.find("'" + range + bad + "'"), std::string::npos) << problem;
      EXPECT_EQ(problem.find("seconds such as 1.5s") != std::string::npos, bad.ends_with('s')) << problem;
    }
    // Past the end: refused (or for pulse ignored) as the number past the end is.
    const char byNumber = runWith(words, range + "4800000")[0];
    const std::string pastEnd = std::regex_replace(problem, std::regex("4800000"), "100s");
    EXPECT_EQ(runWith(words, range + "100s")[0], byNumber) << what;
    EXPECT_EQ(problem, pastEnd) << what;
  }
}

}  // namespace
}  // namespace vocara::test
