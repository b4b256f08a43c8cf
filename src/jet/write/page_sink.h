#pragma once
// The destination file of a database being written: pages are numbered as
// they are allocated and written at their place, encrypted when the database
// is encoded. Consecutive pages are gathered into large writes. The file is
// created exclusively; unless Commit() succeeds it is removed again, so a
// failed write never leaves something that could pass for a database.

#include <cstdint>
#include <filesystem>
#include <vector>

#include "jet/format/bytes_encode.h"
#include "jet/format/format_constants.h"

namespace jet::write {

class PageSink {
 public:
  // Throws vondrel::Error 3204 when the file exists, or a write error.
  PageSink(const std::filesystem::path& path, FormatVersion version, std::uint32_t database_key);
  ~PageSink();
  PageSink(const PageSink&) = delete;
  PageSink& operator=(const PageSink&) = delete;

  // Reserves `count` consecutive pages and returns the first one's number.
  std::uint32_t Allocate(std::uint32_t count = 1);
  std::uint32_t page_count() const { return page_count_; }
  std::size_t page_size() const { return page_size_; }
  FormatVersion version() const { return version_; }

  // Writes an allocated page (plain bytes; encryption is applied here).
  void Write(std::uint32_t page, const encode::Bytes& bytes);

  // Forgets every page from `page_count` on, as if they had never been
  // allocated: they are allocated and written again later. Bytes they left in
  // the file are overwritten then, or zeroed by Commit.
  void Rewind(std::uint32_t page_count);

  // Writes every pending page, extends the file to its page count, flushes to
  // disk and closes. The file stays.
  void Commit();

 private:
  void Flush();
  void WriteAt(std::uint64_t offset, const std::uint8_t* data, std::size_t size);
  [[noreturn]] void Fail(const std::string& what) const;

  std::filesystem::path path_;
  FormatVersion version_;
  std::size_t page_size_;
  std::uint32_t database_key_;
  int fd_ = -1;
  bool committed_ = false;
  std::uint32_t page_count_ = 0;
  // Pages [pending_first_, pending_first_ + pending_count) waiting in pending_.
  std::uint32_t pending_first_ = 0;
  std::vector<std::uint8_t> pending_;
  // After a Rewind: pages [stale_begin_, stale_end_) may hold bytes written
  // before it. written_ says which pages have been written (since the last
  // rewind that gave them up).
  std::uint32_t stale_begin_ = 0, stale_end_ = 0;
  std::vector<bool> written_;
};

}  // namespace jet::write
