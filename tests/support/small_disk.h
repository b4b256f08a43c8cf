#pragma once
// A small, real file system for tests of a full disk: a tmpfs of a given
// size mounted on a fresh folder, unmounted again when the object dies.
// Mounting needs the right to mount (root in the test machines); where it is
// refused, Mount gives nothing and the test skips.

#include <cstddef>
#include <filesystem>
#include <memory>

namespace vondrel::testing {

class SmallDisk {
 public:
  static std::unique_ptr<SmallDisk> Mount(const std::filesystem::path& folder, std::size_t bytes);
  ~SmallDisk();
  SmallDisk(const SmallDisk&) = delete;
  SmallDisk& operator=(const SmallDisk&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  explicit SmallDisk(std::filesystem::path path) : path_(std::move(path)) {}
  std::filesystem::path path_;
};

}  // namespace vondrel::testing
