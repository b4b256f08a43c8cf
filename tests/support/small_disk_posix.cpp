#include "support/small_disk.h"

#include <sys/mount.h>

#include <string>

namespace vondrel::testing {

std::unique_ptr<SmallDisk> SmallDisk::Mount(const std::filesystem::path& folder, std::size_t bytes) {
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  const std::string options = "size=" + std::to_string(bytes);
  if (::mount("tmpfs", folder.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) != 0) return nullptr;
  return std::unique_ptr<SmallDisk>(new SmallDisk(folder));
}

SmallDisk::~SmallDisk() { ::umount2(path_.c_str(), MNT_DETACH); }

}  // namespace vondrel::testing
