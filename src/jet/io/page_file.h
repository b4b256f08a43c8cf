#pragma once
// A database file as numbered pages held in memory. Reading the whole file at
// once keeps page access cheap (compaction touches every page several times)
// and lets tests and the fuzzer work on bytes without a file.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "jet/io/byte_view.h"

namespace jet::io {

// Reads a whole file. Throws 3024 when it does not exist, 3051 when it cannot
// be opened or read.
std::vector<std::uint8_t> ReadWholeFile(const std::filesystem::path& path);

class PageFile {
 public:
  // `name` is used in error messages. Pages >= 1 are decrypted in memory when
  // `database_key` is non-zero. A trailing partial page is not a page.
  PageFile(std::vector<std::uint8_t> bytes, std::size_t page_size, std::uint32_t database_key,
           std::string name);
  PageFile(const PageFile&) = delete;
  PageFile& operator=(const PageFile&) = delete;

  const std::string& name() const { return name_; }
  std::size_t page_size() const { return page_size_; }
  std::uint32_t page_count() const { return page_count_; }
  std::uint64_t file_size() const { return file_size_; }
  // True when the file length is not a multiple of the page size.
  bool has_partial_page() const { return file_size_ % page_size_ != 0; }
  bool encrypted() const { return database_key_ != 0; }

  bool HasPage(std::uint32_t page) const { return page < page_count_; }
  // The bytes of one page; throws 3049 when the page lies beyond the file.
  ByteView Page(std::uint32_t page) const;
  // The (decrypted) bytes of the whole file.
  const std::vector<std::uint8_t>& bytes() const { return bytes_; }

 private:
  std::vector<std::uint8_t> bytes_;
  std::size_t page_size_;
  std::uint32_t database_key_;
  std::string name_;
  std::uint64_t file_size_;
  std::uint32_t page_count_;
};

}  // namespace jet::io
