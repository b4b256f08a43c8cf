#pragma once
// A whole file mapped read-only (private), so that only the parts being read
// are in memory and the kernel can drop them again at any time: for an
// unmodified private file mapping, dropped pages come back from the file on
// the next access, so pointers into the mapping stay valid.
//
// A mapped file that another program shrinks would normally kill the process
// with SIGBUS on the next read past its new end. A process-wide SIGBUS
// handler guards every live mapping: a fault inside one puts a zero page in
// place of the vanished one, marks the mapping as damaged and lets the read
// go on. Readers see zeros (which bounds-checked decoding treats as damaged
// data), and the owner turns the mark into an error (see vanished()).

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>

namespace jet::io {

class MappedFile {
 public:
  // Maps `path` read-only. Returns nothing when the file is missing, empty,
  // not a regular file or cannot be mapped: the caller then reads it the
  // ordinary way, which reports what is wrong.
  static std::unique_ptr<MappedFile> Map(const std::filesystem::path& path);
  ~MappedFile();
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;

  std::span<const std::uint8_t> bytes() const { return {data_, size_}; }

  // Gives the resident pages back to the kernel; the bytes stay readable.
  void DropResident() const;
  // True once a read found part of the file gone (it shrank while mapped).
  bool read_past_end() const;
  // read_past_end(), or the file is now shorter than the mapping.
  bool vanished() const;

 private:
  MappedFile(int fd, const std::uint8_t* data, std::size_t size, int slot);

  int fd_;
  const std::uint8_t* data_;
  std::size_t size_;
  int slot_;  // in the SIGBUS guard's table
};

}  // namespace jet::io
