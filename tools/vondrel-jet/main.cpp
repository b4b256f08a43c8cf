// vondrel-jet: the engine's command-line tool (see UsageText for its commands).
#include <cstdlib>
#include <iostream>

#include "commands.h"
#include "process_io.h"

namespace {

// Progress shows once work has run this long; VONDREL_PROGRESS_DELAY_MS
// changes it (0 shows progress at once, which the tests use).
std::chrono::milliseconds ProgressDelay() {
  const char* text = std::getenv("VONDREL_PROGRESS_DELAY_MS");
  if (!text || !*text) return std::chrono::milliseconds(1000);
  char* end = nullptr;
  const long milliseconds = std::strtol(text, &end, 10);
  if (*end != '\0' || milliseconds < 0) return std::chrono::milliseconds(1000);
  return std::chrono::milliseconds(milliseconds);
}

}  // namespace

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  vondrel::jet_tool::UseBinaryStandardStreams();
  vondrel::jet_tool::Arguments args = vondrel::jet_tool::ProcessArguments(argc, argv);
  vondrel::jet_tool::ToolSettings settings;
  settings.err_is_terminal = vondrel::jet_tool::StandardErrorIsTerminal();
  settings.progress_delay = ProgressDelay();
  int status = vondrel::jet_tool::RunCommandLine(args, std::cout, std::cerr, settings);
  std::cout.flush();
  return status;
}
