// The conventions of a command-line tool: --help and --version on standard
// output with exit 0, COMMAND --help for every command the help lists, bad
// usage on standard error with exit 2, and a man page that describes every
// command and the exit codes.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>

#include "resources/version.h"
#include "support/tool_runner.h"

namespace vondrel::testing {
namespace {

// The command names the help lists ("  name ..." under "commands:").
std::vector<std::string> ListedCommands(const std::string& help) {
  std::vector<std::string> names;
  bool listing = false;
  const std::regex entry("  ([a-z]+) .*");
  std::smatch match;
  for (const auto& line : SplitLines(help)) {
    if (line == "commands:") listing = true;
    else if (line.empty()) listing = false;
    else if (listing && std::regex_match(line, match, entry)) names.push_back(match[1]);
  }
  return names;
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

class ToolHelp : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!JetToolPath()) GTEST_SKIP() << "VONDREL_JET_TOOL is not set";
  }
};

TEST_F(ToolHelp, HelpAndVersionGoToStandardOutput) {
  Captured help = RunJetTool({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.err, "");
  EXPECT_EQ(help.out.rfind("usage: vondrel-jet COMMAND", 0), 0u) << help.out;
  EXPECT_NE(help.out.find("exit status: 0 success, 1 "), std::string::npos);
  // The same version the window shows.
  Captured version = RunJetTool({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, std::string("vondrel-jet ") + resources::kVersionText + "\n");
  // Without a command the help goes to standard error, as bad usage.
  Captured bare = RunJetTool({});
  EXPECT_EQ(bare.status, 2);
  EXPECT_EQ(bare.out, "");
  EXPECT_EQ(bare.err, help.out);
}

TEST_F(ToolHelp, EveryListedCommandHasItsOwnHelp) {
  const std::vector<std::string> commands = ListedCommands(RunJetTool({"--help"}).out);
  EXPECT_EQ(commands,
            (std::vector<std::string>{"info", "tables", "export", "dump", "check", "compact", "repair"}));
  for (const auto& command : commands) {
    Captured help = RunJetTool({command, "--help"});
    EXPECT_EQ(help.status, 0) << command;
    EXPECT_EQ(help.err, "") << command;
    EXPECT_EQ(help.out.rfind("usage: vondrel-jet " + command, 0), 0u) << help.out;
    EXPECT_NE(help.out.find("exit status: 0 "), std::string::npos) << help.out;
  }
  Captured unknown = RunJetTool({"frobnicate", "--help"});
  EXPECT_EQ(unknown.status, 2);
  EXPECT_EQ(unknown.out, "");
  EXPECT_NE(unknown.err.find("unknown command 'frobnicate'"), std::string::npos);
}

TEST_F(ToolHelp, ManPagesDescribeEveryCommandAndTheExitStatus) {
  const std::string page = ReadText(VONDREL_SOURCE_DIR "/docs/man/vondrel-jet.1");
  ASSERT_FALSE(page.empty());
  EXPECT_NE(page.find(std::string(".TH VONDREL-JET 1 ")), std::string::npos);
  EXPECT_NE(page.find(std::string("\"Vondrel ") + resources::kVersionText + "\""), std::string::npos);
  for (const auto& command : ListedCommands(RunJetTool({"--help"}).out))
    EXPECT_NE(page.find(".B " + command + "\n"), std::string::npos) << command;
  EXPECT_NE(page.find(".SH EXIT STATUS"), std::string::npos);
  const std::string window = ReadText(VONDREL_SOURCE_DIR "/docs/man/vondrel.1");
  EXPECT_NE(window.find(".TH VONDREL 1 "), std::string::npos);
  EXPECT_NE(window.find(std::string("\"Vondrel ") + resources::kVersionText + "\""), std::string::npos);
}

}  // namespace
}  // namespace vondrel::testing
