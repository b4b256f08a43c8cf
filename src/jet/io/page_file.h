#pragma once
// A database file as numbered pages, read through a bounded set of windows.
//
// A file read from disk is mapped one window (1 MiB by default) at a time,
// never whole (see mapped_file.h), and only a bounded number of windows is
// mapped at once, so a 2 GB file reads within a 32-bit address space and in
// bounded memory whatever order the pages are read in. An encoded file's
// windows are decrypted copies. Tests and the fuzzer hand in bytes, which
// are used in place.
//
// Lifetime of what Page() and PageOrPart() hand out:
// - A view stays valid until the next page read through the same PageFile.
// - While a ReadHold of the file is alive, every page read through the file
//   stays valid until that hold ends (its window is pinned). Whoever keeps a
//   view while reading other pages (a row and its long values, a scan's
//   page while its rows are visited) opens a hold first; whatever must
//   outlive the hold is copied.
// A checking mode (ReadLimits::checking, or VONDREL_READ_CHECK=1 in the
// environment) maps the smallest windows, keeps one unpinned window and makes
// every window it lets go unreadable, so that a view used past its lifetime
// faults at once in the tests instead of reading other bytes.
//
// A PageFile is used by one thread at a time.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "jet/io/byte_view.h"
#include "jet/io/mapped_file.h"

namespace jet::io {

// Reads a whole file. Throws 3024 when it does not exist, 3051 when it cannot
// be opened or read.
std::vector<std::uint8_t> ReadWholeFile(const std::filesystem::path& path);

// The bytes of a file before they become pages: open for mapping, or held in memory.
struct FileImage {
  std::vector<std::uint8_t> bytes;     // when not mapped
  std::unique_ptr<MappedFile> mapped;  // when mapped

  std::uint64_t size() const { return mapped ? mapped->size() : bytes.size(); }
  // A copy of the first `length` bytes (fewer when the file is shorter).
  std::vector<std::uint8_t> Head(std::size_t length) const;
  // A copy of every byte; for rescuing a file whose header is damaged, where
  // the memory bound gives way to reading the file at all.
  std::vector<std::uint8_t> All() const;
};

// Opens the file for mapping, or reads it when it cannot be mapped (empty,
// not a regular file). Errors as ReadWholeFile.
FileImage LoadFile(const std::filesystem::path& path);

// How a PageFile holds a file read from disk in memory.
struct ReadLimits {
  std::size_t window_bytes = 0;  // rounded to whole pages and mapping granularity; 0: 1 MiB
  std::size_t windows = 0;       // unpinned windows kept mapped; 0: from the file size
  bool checking = false;         // smallest windows, one kept, the others made unreadable

  // The defaults, or checking when the environment asks for it.
  static ReadLimits Default();
};

class PageFile {
 public:
  // `name` is used in error messages. Pages >= 1 are decrypted when
  // `database_key` is non-zero. A trailing partial page is not counted as a
  // page (see PageOrPart).
  PageFile(FileImage image, std::size_t page_size, std::uint32_t database_key, std::string name,
           ReadLimits limits = ReadLimits::Default());
  PageFile(std::vector<std::uint8_t> bytes, std::size_t page_size, std::uint32_t database_key, std::string name,
           ReadLimits limits = ReadLimits::Default());
  ~PageFile();
  PageFile(const PageFile&) = delete;
  PageFile& operator=(const PageFile&) = delete;

  const std::string& name() const { return name_; }
  std::size_t page_size() const { return page_size_; }
  std::uint32_t page_count() const { return page_count_; }
  std::uint64_t file_size() const { return file_size_; }
  // True when the file length is not a multiple of the page size.
  bool has_partial_page() const { return file_size_ % page_size_ != 0; }
  bool encrypted() const { return database_key_ != 0; }
  bool mapped() const { return image_.mapped != nullptr; }

  bool HasPage(std::uint32_t page) const { return page < page_count_; }
  // The bytes of one page; throws 3049 when the page lies beyond the file or
  // the file has shrunk since it was opened.
  ByteView Page(std::uint32_t page) const;
  // True for a whole page and for the trailing partial one.
  bool HasPageOrPart(std::uint32_t page) const {
    return page < page_count_ || (page == page_count_ && has_partial_page());
  }
  // Page(), except that the trailing partial page is handed out too, as the
  // bytes that remain of it (shorter than a page): a cut file still holds
  // whole rows there, and salvaging readers take those.
  ByteView PageOrPart(std::uint32_t page) const;
  // The bytes PageOrPart() hands out, copied into `out` (resized to them)
  // by one ordinary read rather than through a window: for pages read out
  // of file order, one at a time, where mapping a window around each would
  // cost more than the page. The view returned reads `out` and stays valid
  // while `out` is unchanged. Throws as PageOrPart() does.
  ByteView CopyPage(std::uint32_t page, std::vector<std::uint8_t>& out) const;
  // A copy of the (decrypted) bytes [offset, offset + length) of the file,
  // cut at its end.
  std::vector<std::uint8_t> CopyBytes(std::uint64_t offset, std::size_t length) const;

  // Throws 3049 when the file has shrunk since it was opened (a mapped file
  // then reads zeros where bytes vanished, so what was read cannot be
  // trusted). Whoever writes something from what was read checks this last.
  void CheckUnchanged() const;
  // Lets go of every window not pinned by a hold.
  void DropResident() const;

  // Windows mapped (or copied) now, and the most there were at once.
  std::size_t windows_in_use() const;
  std::size_t most_windows_in_use() const { return most_windows_; }
  std::size_t window_bytes() const { return window_bytes_; }

 private:
  friend class ReadHold;
  struct Window;

  ByteView View(std::uint32_t page, std::size_t length) const;
  Window& Acquire(std::uint64_t window) const;
  void Load(Window& slot, std::uint64_t window) const;
  void Release(Window& slot) const;
  void MakeRoom() const;
  void Unpin(std::size_t mark) const;

  FileImage image_;
  std::size_t page_size_;
  std::uint32_t database_key_;
  std::string name_;
  std::uint64_t file_size_;
  std::uint32_t page_count_;
  bool windowed_;  // read through windows; else pages are used in place
  bool checking_;
  std::size_t window_bytes_ = 0;
  std::size_t max_windows_ = 0;
  mutable std::vector<Window> slots_;
  mutable std::vector<std::int32_t> slot_of_window_;  // -1: not loaded
  mutable std::vector<std::size_t> pinned_;           // slots pinned by live holds, oldest first
  mutable std::uint64_t clock_ = 0;
  mutable std::uint64_t loaded_bytes_ = 0;  // since the last check for a shrunk file
  mutable std::uint64_t hold_ = 0;       // the innermost live hold, 0 for none
  mutable std::uint64_t next_hold_ = 0;
  mutable std::size_t in_use_ = 0;
  mutable std::size_t most_windows_ = 0;
};

// Keeps every page read through `file` from its start to its end valid (see
// PageFile). Holds nest; each lets go of what was read while it was the
// innermost one.
class ReadHold {
 public:
  explicit ReadHold(const PageFile& file);
  ~ReadHold();
  ReadHold(const ReadHold&) = delete;
  ReadHold& operator=(const ReadHold&) = delete;

 private:
  const PageFile& file_;
  std::uint64_t outer_;
  std::size_t mark_;
};

}  // namespace jet::io
