#pragma once
// Access to the Access-written sample databases and to scratch folders.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace vondrel::testing {

// The folder of sample databases, or nothing when it is absent on this machine.
std::optional<std::filesystem::path> SamplesDir();

// Every sample database (.mdb, .eap, .eapx), sorted by name; empty when absent.
std::vector<std::filesystem::path> AllSamples();

// The path of one sample by file name, or nothing when it is absent.
std::optional<std::filesystem::path> Sample(const std::string& name);

// A fresh empty folder, removed with everything in it when the object dies.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

// Runs a command through the shell; returns its exit status and its standard output.
struct CommandResult {
  int status = -1;
  std::string output;
};
CommandResult RunCommand(const std::string& command);

// Quotes one argument for the shell.
std::string ShellQuote(const std::string& text);

}  // namespace vondrel::testing

// Skips the current test (reported as skipped) when the samples are absent.
#define VONDREL_REQUIRE_SAMPLES()                                         \
  do {                                                                    \
    if (!::vondrel::testing::SamplesDir()) GTEST_SKIP() << "no sample databases here"; \
  } while (0)
