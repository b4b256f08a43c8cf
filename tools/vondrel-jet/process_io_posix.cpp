#include "process_io.h"

#include <unistd.h>

namespace vondrel::jet_tool {

std::vector<std::string> ProcessArguments(int argc, char** argv) { return std::vector<std::string>(argv, argv + argc); }

void UseBinaryStandardStreams() {}

bool StandardErrorIsTerminal() { return isatty(STDERR_FILENO) == 1; }

}  // namespace vondrel::jet_tool
