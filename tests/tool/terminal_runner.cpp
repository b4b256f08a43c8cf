#include "tool/terminal_runner.h"

#include <fcntl.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "support/samples.h"
#include "support/tool_runner.h"

namespace vondrel::testing {

TerminalRun RunJetToolOnTerminal(const std::vector<std::string>& args, const std::vector<std::string>& environment) {
  TerminalRun run;
  const std::string tool = JetToolPath().value_or("vondrel-jet");
  ScratchDir scratch;
  const std::string out_path = (scratch / "stdout").string();

  // Everything the child needs is prepared before the fork.
  std::vector<std::string> argv_text = {tool};
  argv_text.insert(argv_text.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& arg : argv_text) argv.push_back(arg.data());
  argv.push_back(nullptr);
  std::vector<std::string> env_text = environment;

  int master = -1;
  const pid_t child = forkpty(&master, nullptr, nullptr, nullptr);
  if (child < 0) return run;
  if (child == 0) {
    const int in = open("/dev/null", O_RDONLY);
    const int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0) _exit(126);
    dup2(in, STDIN_FILENO);
    dup2(out, STDOUT_FILENO);
    for (auto& entry : env_text) putenv(entry.data());
    execv(tool.c_str(), argv.data());
    _exit(127);
  }
  // Read until the child has closed the terminal (EIO on Linux) or EOF.
  char buffer[4096];
  for (;;) {
    const ssize_t n = read(master, buffer, sizeof buffer);
    if (n > 0) {
      run.terminal.append(buffer, static_cast<std::size_t>(n));
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      break;
    }
  }
  close(master);
  int status = 0;
  if (waitpid(child, &status, 0) == child && WIFEXITED(status)) run.status = WEXITSTATUS(status);
  std::ifstream out(out_path, std::ios::binary);
  std::ostringstream text;
  text << out.rdbuf();
  run.out = text.str();
  return run;
}

}  // namespace vondrel::testing
