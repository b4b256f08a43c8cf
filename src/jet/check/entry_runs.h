#pragma once
// Check entries as records: held in memory in one buffer with a sortable
// index, and written as sorted runs, back to back, to one temporary file and
// read back from it through a buffer of each run's own. Records keep an
// entry's key and reason inline, so holding, sorting and spilling entries
// costs no allocation per entry.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "jet/check/check_entry.h"
#include "jet/io/raw_file.h"

namespace jet {

struct EntryRun {
  std::uint64_t begin = 0, end = 0;  // bytes in the file
};

// Entries held in memory, sorted on request by row pointer, then order.
class EntryRecords {
 public:
  void Add(const CheckEntry& entry);
  void Sort();
  void Clear();
  std::size_t size() const { return places_.size(); }
  // What the records and their index take, counted by size: the buffers'
  // room is kept after Clear() for the next entries.
  std::size_t bytes() const { return records_.size() + places_.size() * sizeof(Place); }
  // The i-th entry: in sorted order once sorted.
  void Read(std::size_t i, CheckEntry& out) const;
  // Appends every entry, in the order they stand, at `offset` of `file`;
  // false when the file cannot take them.
  bool WriteRun(io::RawFile& file, std::uint64_t offset, EntryRun& run) const;

 private:
  struct Place {
    std::uint64_t row;  // the row pointer as one number, ordered as row pointers are
    std::uint64_t order;
    std::size_t record;  // offset in records_
    friend bool operator<(const Place& a, const Place& b) {
      return a.row != b.row ? a.row < b.row : a.order < b.order;
    }
  };
  std::vector<std::uint8_t> records_;
  std::vector<Place> places_;
};

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
