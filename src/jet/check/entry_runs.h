#pragma once
// Sorted runs of check entries in one temporary file, back to back: writing
// a run, and reading one back through a buffer of its own.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "jet/check/check_entry.h"
#include "jet/io/raw_file.h"

namespace jet {

struct EntryRun {
  std::uint64_t begin = 0, end = 0;  // bytes in the file
};

// Appends `entries` at `offset` of `file`; false when the file cannot take them.
bool WriteEntryRun(io::RawFile& file, std::uint64_t offset, const std::vector<CheckEntry>& entries, EntryRun& run);

class EntryRunReader {
 public:
  EntryRunReader(const io::RawFile& file, EntryRun run, std::size_t buffer_bytes);
  // The next entry of the run; false at its end. Throws vondrel::Error when
  // the file cannot be read back or a record is cut short.
  bool Next(CheckEntry& out);

 private:
  // Makes at least `size` bytes available from position_ onwards.
  void Need(std::size_t size);

  const io::RawFile& file_;
  EntryRun run_;
  std::uint64_t file_offset_;  // the next byte to read into the buffer
  std::vector<std::uint8_t> buffer_;
  std::size_t position_ = 0;  // in buffer_
  std::size_t filled_ = 0;    // bytes of buffer_ in use
};

}  // namespace jet
