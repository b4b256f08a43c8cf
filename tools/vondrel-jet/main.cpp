// vondrel-jet: the engine's command-line tool.
#include <cstdio>

int main(int, char**) {
  std::fprintf(stderr, "usage: vondrel-jet info|tables|export|check|compact FILE ...\n");
  return 2;
}
