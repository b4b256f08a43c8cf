// Progress of compact and repair: shown on standard error when it is a
// terminal (a pseudo-terminal here), never when it is a pipe, and not on a
// terminal either while the work is shorter than the delay.
#include <gtest/gtest.h>

#include <regex>

#include "support/salvage_corpus.h"
#include "support/samples.h"
#include "tool/terminal_runner.h"
#include "support/tool_runner.h"

namespace vondrel::testing {
namespace {

const std::string kShowAtOnce = "VONDREL_PROGRESS_DELAY_MS=0";
const std::regex kProgressLine("compacting table 1 of [0-9]+, [A-Za-z]+: [0-9]+ of [0-9]+ pages");

class ToolProgress : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!JetToolPath()) GTEST_SKIP() << "VONDREL_JET_TOOL is not set";
    BuildSalvageDatabase(Source(), jet::FormatVersion::Jet4, 600);
  }
  std::filesystem::path Source() const { return scratch_ / "orders.mdb"; }
  std::string Tool() const { return ShellQuote(*JetToolPath()); }

  ScratchDir scratch_;
};

TEST_F(ToolProgress, CompactShowsTablesAndPagesOnATerminal) {
  const auto destination = scratch_ / "copy.mdb";
  TerminalRun run = RunJetToolOnTerminal({"compact", Source().string(), destination.string()}, {kShowAtOnce});
  EXPECT_EQ(run.status, 0) << run.terminal;
  EXPECT_TRUE(std::regex_search(run.terminal, kProgressLine)) << run.terminal;
  // The line is erased at the end, so that what follows starts clean.
  EXPECT_EQ(run.terminal.substr(run.terminal.size() - 4), "\r\x1b[K");
  EXPECT_EQ(run.out, "compacted " + Source().string() + " to " + destination.string() + "\n");
}

TEST_F(ToolProgress, RepairShowsTablesAndPagesOnATerminal) {
  TerminalRun run = RunJetToolOnTerminal({"repair", Source().string()}, {kShowAtOnce});
  EXPECT_EQ(run.status, 0) << run.terminal;
  EXPECT_TRUE(std::regex_search(run.terminal, kProgressLine)) << run.terminal;
  EXPECT_EQ(run.out, "Repair was successful!\n");
}

TEST_F(ToolProgress, NothingWhenStandardErrorIsAPipe) {
  // Standard error into the pipe that RunCommand reads, standard output away.
  const std::string show = "env " + kShowAtOnce + " " + Tool();
  CommandResult compact =
      RunCommand(show + " compact " + ShellQuote(Source().string()) + " " +
                 ShellQuote((scratch_ / "copy.mdb").string()) + " 2>&1 >/dev/null");
  EXPECT_EQ(compact.status, 0);
  EXPECT_EQ(compact.output, "");
  CommandResult repair = RunCommand(show + " repair " + ShellQuote(Source().string()) + " 2>&1 >/dev/null");
  EXPECT_EQ(repair.status, 0);
  EXPECT_EQ(repair.output, "");
}

TEST_F(ToolProgress, NothingOnATerminalForWorkShorterThanTheDelay) {
  // An empty value leaves the delay at its default of a second.
  TerminalRun run = RunJetToolOnTerminal({"repair", Source().string()}, {"VONDREL_PROGRESS_DELAY_MS="});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.terminal, "");
  EXPECT_EQ(run.out, "Repair was successful!\n");
}

}  // namespace
}  // namespace vondrel::testing
