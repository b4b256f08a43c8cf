#pragma once
// A database file open for reading through mapped windows: parts of the
// file mapped read-only one window at a time, never the whole file, so that
// a 2 GB file fits a 32-bit address space and memory stays bounded. The
// platform's mapping calls live in mapped_file_posix.cpp or
// mapped_file_win32.cpp, one of which is built.
//
// POSIX: a mapped file that another program shrinks would normally kill the
// process with SIGBUS on the next read past its new end. A process-wide
// SIGBUS handler guards every live window: a fault inside one puts a zero
// page in place of the vanished one, marks the file as damaged and lets the
// read go on. Readers see zeros (which bounds-checked decoding treats as
// damaged data), and the owner turns the mark into an error (see vanished()).
// Windows refuses to shorten a file while a view of it is mapped.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>

namespace jet::io {

class MappedFile {
 public:
  // Opens `path` for mapped reading. Returns nothing when the file is
  // missing, empty, not a regular file or cannot be mapped: the caller then
  // reads it the ordinary way, which reports what is wrong.
  static std::unique_ptr<MappedFile> Open(const std::filesystem::path& path);
  ~MappedFile();
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;

  std::uint64_t size() const { return size_; }
  // Window offsets are multiples of this (the system's mapping granularity).
  static std::size_t Granularity();

  // Maps [offset, offset + length) read-only; offset is a multiple of
  // Granularity() and the range lies inside the file. Throws 3051 when the
  // system refuses (address space or mappings exhausted).
  const std::uint8_t* MapWindow(std::uint64_t offset, std::size_t length);
  // Unmaps a window. With `poison` the address range stays reserved and
  // inaccessible, so that a view still pointing into it faults at once
  // instead of reading whatever is mapped there next (checking builds).
  void UnmapWindow(const std::uint8_t* data, std::size_t length, bool poison);
  // Copies [offset, offset + length) by an ordinary read, without mapping:
  // cheaper than a window for one page read out of file order. Returns the
  // bytes read, fewer at the file's present end; throws 3051 when the read fails.
  std::size_t ReadAt(std::uint64_t offset, std::uint8_t* data, std::size_t length) const;

  // True once a read found part of the file gone (it shrank while mapped).
  bool read_past_end() const { return vanished_.load(); }
  // read_past_end(), or the file is now shorter than when it was opened.
  bool vanished() const;

 private:
  struct Handle;
  MappedFile(std::unique_ptr<Handle> handle, std::uint64_t size);

  std::unique_ptr<Handle> handle_;
  std::uint64_t size_;
  std::atomic<bool> vanished_{false};  // set by the SIGBUS guard
};

}  // namespace jet::io
