// Shell commands for tests that run Linux programs (Linux only).
#include <sys/wait.h>

#include <array>
#include <cstdio>

#include "support/samples.h"

namespace vondrel::testing {

CommandResult RunCommand(const std::string& command) {
  CommandResult result;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return result;
  std::array<char, 65536> buffer;
  size_t n;
  while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0) result.output.append(buffer.data(), n);
  int status = pclose(pipe);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

}  // namespace vondrel::testing
