// vondrel-jet: the engine's command-line tool (see UsageText for its commands).
#include <iostream>

#include "commands.h"

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  vondrel::jet_tool::Arguments args(argv, argv + argc);
  int status = vondrel::jet_tool::RunCommandLine(args, std::cout, std::cerr);
  std::cout.flush();
  return status;
}
