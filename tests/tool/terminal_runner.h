#pragma once
// Running vondrel-jet with its standard error on a pseudo-terminal, the way a
// person at a terminal runs it, to see what it shows there.

#include <string>
#include <vector>

namespace vondrel::testing {

struct TerminalRun {
  int status = -1;
  std::string terminal;  // what reached the terminal (standard error)
  std::string out;       // standard output, kept apart in a file
};

// Runs the built vondrel-jet with `args`, `environment` ("NAME=value") added
// to the test's own, standard input from /dev/null.
TerminalRun RunJetToolOnTerminal(const std::vector<std::string>& args, const std::vector<std::string>& environment);

}  // namespace vondrel::testing
