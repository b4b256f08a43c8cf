#pragma once
// A file written and read at positions, with the flushing and sizing a
// database copy needs: the platform's file calls behind one small interface
// (raw_file_posix.cpp, raw_file_win32.cpp). Failures return false with errno
// set to the C library's number for them (ENOSPC for a full disk, EEXIST for
// a file that exists), so that callers report them one way on every platform.

#include <cstddef>
#include <cstdint>
#include <filesystem>

namespace jet::io {

class RawFile {
 public:
  RawFile() = default;
  ~RawFile();
  RawFile(RawFile&& other) noexcept;
  RawFile& operator=(RawFile&& other) noexcept;
  RawFile(const RawFile&) = delete;
  RawFile& operator=(const RawFile&) = delete;

  // A new file for writing; not open (errno EEXIST) when it exists already.
  static RawFile CreateNew(const std::filesystem::path& path);
  // A file in the user's temporary folder, deleted when closed.
  static RawFile CreateTemporary();

  bool is_open() const { return handle_ != kClosed; }
  // Writes all of [data, data + size) at `offset`.
  bool WriteAt(std::uint64_t offset, const std::uint8_t* data, std::size_t size);
  // Reads up to `size` bytes at `offset`: how many were read (0 at the end), -1 on failure.
  std::ptrdiff_t ReadAt(std::uint64_t offset, std::uint8_t* data, std::size_t size) const;
  // Makes the written bytes durable.
  bool Flush();
  // Asks the system to start writing [offset, offset + size) to the device
  // now, without waiting for it; does nothing where that cannot be asked.
  void StartWriteBack(std::uint64_t offset, std::size_t size);
  bool Resize(std::uint64_t size);
  bool Close();

  // From now on, writes go from the caller's memory straight to the device,
  // past the system's file cache, where the platform and file system allow
  // it (Linux: O_DIRECT); returns whether they do. A file written once and
  // not read again soon gains nothing from the cache but the cost of copying
  // every byte into it. The caller's buffers must then start at multiples of
  // kDirectAlignment, and offsets and sizes be multiples of the device's
  // block size (512 bytes on most disks, 4096 on some); a write refused on
  // those grounds is made through the cache instead, as are all after it.
  // Flush() is still needed to make the bytes durable.
  static constexpr std::size_t kDirectAlignment = 4096;
  bool WriteDirect();
  bool writes_direct() const { return direct_; }

 private:
  static constexpr std::intptr_t kClosed = -1;
  explicit RawFile(std::intptr_t handle) : handle_(handle) {}
  // Turns direct writes off again.
  void WriteCached();
  std::intptr_t handle_ = kClosed;
  bool direct_ = false;
};

}  // namespace jet::io
