#include "jet/io/raw_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <utility>

namespace jet::io {

RawFile::~RawFile() { Close(); }

RawFile::RawFile(RawFile&& other) noexcept : handle_(std::exchange(other.handle_, kClosed)) {}

RawFile& RawFile::operator=(RawFile&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = std::exchange(other.handle_, kClosed);
  }
  return *this;
}

RawFile RawFile::CreateNew(const std::filesystem::path& path) {
  return RawFile(::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
}

RawFile RawFile::CreateTemporary() {
  // tmpfile() honours TMPDIR's default folder and leaves no name behind.
  std::FILE* file = std::tmpfile();
  if (!file) return RawFile();
  const int fd = ::dup(fileno(file));
  std::fclose(file);
  return RawFile(fd);
}

bool RawFile::WriteAt(std::uint64_t offset, const std::uint8_t* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::pwrite(static_cast<int>(handle_), data, size, static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
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

bool RawFile::FlushData() { return ::fdatasync(static_cast<int>(handle_)) == 0; }

bool RawFile::Flush() { return ::fsync(static_cast<int>(handle_)) == 0; }

bool RawFile::Resize(std::uint64_t size) {
  return ::ftruncate(static_cast<int>(handle_), static_cast<off_t>(size)) == 0;
}

bool RawFile::Close() {
  if (handle_ == kClosed) return true;
  const int fd = static_cast<int>(std::exchange(handle_, kClosed));
  return ::close(fd) == 0;
}

}  // namespace jet::io
