#include "jet/io/raw_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <system_error>
#include <utility>

namespace jet::io {

RawFile::~RawFile() { Close(); }

RawFile::RawFile(RawFile&& other) noexcept
    : handle_(std::exchange(other.handle_, kClosed)), direct_(std::exchange(other.direct_, false)) {}

RawFile& RawFile::operator=(RawFile&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = std::exchange(other.handle_, kClosed);
    direct_ = std::exchange(other.direct_, false);
  }
  return *this;
}

RawFile RawFile::CreateNew(const std::filesystem::path& path) {
  return RawFile(::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
}

RawFile RawFile::CreateTemporary() {
  // The user's temporary folder (TMPDIR, else /tmp), with no name left
  // behind: a nameless file where the file system has them, else a file
  // removed as soon as it is open.
  std::error_code code;
  std::filesystem::path folder = std::filesystem::temp_directory_path(code);
  if (code) folder = "/tmp";
#ifdef O_TMPFILE
  const int nameless = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (nameless >= 0) return RawFile(nameless);
#endif
  std::string name = (folder / "vondrel-XXXXXX").string();
  const int fd = ::mkostemp(name.data(), O_CLOEXEC);
  if (fd < 0) return RawFile();
  ::unlink(name.c_str());
  return RawFile(fd);
}

bool RawFile::WriteAt(std::uint64_t offset, const std::uint8_t* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::pwrite(static_cast<int>(handle_), data, size, static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    // Not aligned as this device wants, or not to be written directly after all.
    if (n < 0 && (errno == EINVAL || errno == EOPNOTSUPP) && direct_) {
      WriteCached();
      continue;
    }
    if (n <= 0) {
      if (n == 0) errno = EIO;
      return false;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
    offset += static_cast<std::uint64_t>(n);
  }
  return true;
}

std::ptrdiff_t RawFile::ReadAt(std::uint64_t offset, std::uint8_t* data, std::size_t size) const {
  for (;;) {
    const ssize_t n = ::pread(static_cast<int>(handle_), data, size, static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    return n;
  }
}

bool RawFile::Flush() { return ::fsync(static_cast<int>(handle_)) == 0; }

void RawFile::StartWriteBack(std::uint64_t offset, std::size_t size) {
#if defined(__linux__)
  // A hint only: a failure here shows again, and is reported, at Flush().
  ::sync_file_range(static_cast<int>(handle_), static_cast<off_t>(offset), static_cast<off_t>(size), SYNC_FILE_RANGE_WRITE);
#else
  (void)offset;
  (void)size;
#endif
}

bool RawFile::WriteDirect() {
#if defined(O_DIRECT)
  const int fd = static_cast<int>(handle_);
  const int flags = ::fcntl(fd, F_GETFL);
  direct_ = flags >= 0 && ::fcntl(fd, F_SETFL, flags | O_DIRECT) == 0;
#endif
  return direct_;
}

void RawFile::WriteCached() {
#if defined(O_DIRECT)
  const int fd = static_cast<int>(handle_);
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_DIRECT);
#endif
  direct_ = false;
}

bool RawFile::Resize(std::uint64_t size) {
  return ::ftruncate(static_cast<int>(handle_), static_cast<off_t>(size)) == 0;
}

bool RawFile::Close() {
  if (handle_ == kClosed) return true;
  const int fd = static_cast<int>(std::exchange(handle_, kClosed));
  direct_ = false;
  return ::close(fd) == 0;
}

}  // namespace jet::io
