// The help: `help CMD` and `CMD --help` alike, within 80 columns and naming exactly the options
// the command takes; the summary of every command; "did you mean" on a line after the problem.
#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "cli/Cli.h"
#include "cli/CommandHelp.h"

namespace vocara::test {
namespace {

struct Said {
  int exit;
  std::string out;
  std::string err;
};

Said RunTool(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  const int exit = cli::RunCli(args, out, err);
  return {exit, out.str(), err.str()};
}

// The options the text names anywhere, or (described) at the start of an option's line.
std::set<std::string> OptionsIn(const std::string& text, bool described = false) {
  const std::regex option(described ? "\n  (--[a-z][a-z-]*)" : "(--[a-z][a-z-]*)");
  return {std::sregex_token_iterator(text.begin(), text.end(), option, 1), std::sregex_token_iterator()};
}

void ExpectWithin80Columns(const std::string& text, const std::string& what) {
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) EXPECT_LE(line.size(), 80u) << what << ": " << line;
}

TEST(CommandHelpTest, EachCommandsHelpFitsAndNamesTheOptionsItTakes) {
  const std::set<std::string> global = {"--help", "--quiet", "--version"};
  // The options to try on every command: those any help names and those any parser takes.
  std::set<std::string> candidates;
  for (const cli::CommandHelp& help : cli::CommandHelps()) {
    candidates.merge(OptionsIn(cli::CommandHelpText(help)));
    RunTool({std::string(help.name), "--no-such-option"});
    candidates.insert(cli::LastParsedOptions().begin(), cli::LastParsedOptions().end());
  }
  std::string all;
  for (const cli::CommandHelp& help : cli::CommandHelps()) {
    const std::string name(help.name);
    const Said asked = RunTool({"help", name});
    EXPECT_EQ(asked.exit, cli::ExitSuccess) << name;
    EXPECT_EQ(asked.err, "") << name;
    EXPECT_TRUE(asked.out.starts_with("vocara-cli " + name + ": ")) << asked.out;
    for (const std::vector<std::string>& args : {std::vector<std::string>{name, "--help"}, {name, "x", "-h"}})
      EXPECT_EQ(RunTool(args).out, asked.out) << name;
    ExpectWithin80Columns(asked.out, name);
    all += asked.out;
    // A command whose parser names an unknown option says which options it takes.
    if (RunTool({name, "--no-such-option"}).err.find("unknown option") == std::string::npos) continue;
    const std::set<std::string> named = OptionsIn(asked.out), described = OptionsIn(asked.out, true);
    for (const std::string& option : candidates) {
      if (global.contains(option)) continue;
      const bool taken =
          RunTool({name, option}).err.find("unknown option '" + option + "'") == std::string::npos;
      EXPECT_EQ(taken, named.contains(option))
          << name << " " << option << (taken ? " not named" : " refused");
      EXPECT_TRUE(!taken || described.contains(option)) << name << " " << option << " without its line";
    }
  }
  for (const char* range :
       {"1 .. 5", "-1200 .. 1200", "0 .. 5", "1 .. 60", "0 .. 1000 (40)", "1.2s:3.4s", "F#4"})
    EXPECT_NE(all.find(range), std::string::npos) << range;
}

TEST(CommandHelpTest, TheSummaryListsEveryCommandOnALine) {
  for (const std::vector<std::string>& args : {std::vector<std::string>{"--help"}, {"-h"}, {"help"}}) {
    const Said summary = RunTool(args);
    EXPECT_EQ(summary.exit, cli::ExitSuccess);
    EXPECT_EQ(summary.err, "");
    EXPECT_NE(summary.out.find("--version"), std::string::npos);
    ExpectWithin80Columns(summary.out, "summary");
    for (const cli::CommandHelp& help : cli::CommandHelps())
      EXPECT_NE(summary.out.find("\n  " + std::string(help.name) + " "), std::string::npos) << help.name;
    EXPECT_NE(summary.out.find("'vocara-cli help COMMAND'"), std::string::npos);
    EXPECT_NE(summary.out.find("'man vocara-cli'"), std::string::npos);
  }
}

}  // namespace
}  // namespace vocara::test
