#pragma once
// Points TMPDIR, where the engine makes its spill files, at a given folder
// for the life of the object.

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

namespace vondrel::testing {

class TemporaryFolder {
 public:
  explicit TemporaryFolder(const std::filesystem::path& folder) {
    if (const char* old = std::getenv("TMPDIR")) old_ = old;
    setenv("TMPDIR", folder.c_str(), 1);
  }
  ~TemporaryFolder() {
    if (old_) setenv("TMPDIR", old_->c_str(), 1);
    else unsetenv("TMPDIR");
  }
  TemporaryFolder(const TemporaryFolder&) = delete;
  TemporaryFolder& operator=(const TemporaryFolder&) = delete;

 private:
  std::optional<std::string> old_;
};

}  // namespace vondrel::testing
