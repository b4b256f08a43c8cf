#pragma once
// What the tool takes from its process, per platform: the command line as
// UTF-8, standard output written byte for byte, and whether standard error
// is a terminal.

#include <string>
#include <vector>

namespace vondrel::jet_tool {

// The program's arguments, its own name first, as UTF-8. On Windows they are
// read as UTF-16 from the process, so that no name passes through the ANSI
// code page.
std::vector<std::string> ProcessArguments(int argc, char** argv);

// Standard output and error carry bytes as written ("\n" stays "\n").
void UseBinaryStandardStreams();

bool StandardErrorIsTerminal();

}  // namespace vondrel::jet_tool
