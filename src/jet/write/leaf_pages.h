#pragma once
// The leaf pages of an index built before their page numbers are known, in
// order. They are kept in memory until Spill() moves them to a temporary
// file, so that the owner's memory budget can count them and bound them; they
// are read back once, in order, from the file first and then from memory.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "jet/io/raw_file.h"

namespace jet::write {

class LeafPages {
 public:
  // Pages are all of one size, that of the first one appended.
  void Append(std::vector<std::uint8_t> page);
  std::size_t size() const { return filed_ + memory_.size(); }
  // Bytes of the pages held in memory.
  std::size_t memory_bytes() const { return memory_.size() * page_size_; }
  // Bytes of the pages moved to the temporary file.
  std::uint64_t filed_bytes() const { return std::uint64_t{filed_} * page_size_; }

  // Moves the pages held in memory to the temporary file. When no temporary
  // file can be written they stay in memory (and later calls do nothing).
  void Spill();

  // Page `i`; pages are taken in order from 0, each once. Throws
  // io::WriteFailure when the temporary file cannot be read back.
  std::vector<std::uint8_t> Take(std::size_t i);

 private:
  // Reads filed pages [first, first + count) into read_buffer_.
  void ReadFiled(std::size_t first, std::size_t count);

  std::size_t page_size_ = 0;
  std::vector<std::vector<std::uint8_t>> memory_;  // pages [filed_, size())
  io::RawFile file_;
  std::size_t filed_ = 0;
  bool spill_possible_ = true;
  // Filed pages read ahead: [buffer_first_, buffer_first_ + buffer_count_).
  std::vector<std::uint8_t> read_buffer_;
  std::size_t buffer_first_ = 0, buffer_count_ = 0;
};

}  // namespace jet::write
