// build_test_database PATH [jet3|jet4]: writes the database the salvage
// tests build (customers, orders with memo and OLE values, indexes) at PATH,
// for checks that run outside the test programs, such as CI's check of the
// installed package.
#include <cstdio>
#include <cstring>
#include <exception>

#include "support/salvage_corpus.h"

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3 || (argc == 3 && std::strcmp(argv[2], "jet3") != 0 && std::strcmp(argv[2], "jet4") != 0)) {
    std::fputs("usage: build_test_database PATH [jet3|jet4]\n", stderr);
    return 2;
  }
  const bool jet3 = argc == 3 && std::strcmp(argv[2], "jet3") == 0;
  try {
    vondrel::testing::BuildSalvageDatabase(argv[1], jet3 ? jet::FormatVersion::Jet3 : jet::FormatVersion::Jet4, 600);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "build_test_database: %s\n", error.what());
    return 1;
  }
  return 0;
}
