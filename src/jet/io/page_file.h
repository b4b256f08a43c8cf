#pragma once
// A database file as numbered pages. An unencoded file read from disk is
// mapped read-only (see mapped_file.h): pages come into memory as they are
// read, and the pages handed out are given back to the kernel whenever more
// than a window's worth have been touched, so memory stays bounded however
// large the file is, while every ByteView handed out stays valid. Encoded
// files are decrypted into memory, and tests and the fuzzer hand in bytes.
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

// The bytes of a file before they become pages: mapped, or held in memory.
struct FileImage {
  std::vector<std::uint8_t> bytes;     // when not mapped
  std::unique_ptr<MappedFile> mapped;  // when mapped

  std::span<const std::uint8_t> view() const { return mapped ? mapped->bytes() : std::span<const std::uint8_t>(bytes); }
};

// Maps the file, or reads it when it cannot be mapped (empty, not a regular
// file). Errors as ReadWholeFile.
FileImage LoadFile(const std::filesystem::path& path);

class PageFile {
 public:
  // Pages touched between two give-backs of a mapped file's memory.
  static constexpr std::size_t kResidentWindowBytes = std::size_t{16} << 20;

  // `name` is used in error messages. Pages >= 1 are decrypted in memory when
  // `database_key` is non-zero (a mapped image is copied for that). A trailing
  // partial page is not counted as a page (see PageOrPart).
  PageFile(FileImage image, std::size_t page_size, std::uint32_t database_key, std::string name);
  PageFile(std::vector<std::uint8_t> bytes, std::size_t page_size, std::uint32_t database_key, std::string name);
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
  // The (decrypted) bytes of the whole file.
  std::span<const std::uint8_t> bytes() const { return {data_, static_cast<std::size_t>(file_size_)}; }

  // Throws 3049 when the file has shrunk since it was opened (a mapped file
  // then reads zeros where bytes vanished, so what was read cannot be
  // trusted). Whoever writes something from what was read checks this last.
  void CheckUnchanged() const;
  // Gives a mapped file's resident pages back to the kernel now.
  void DropResident() const;

 private:
  void NotePageRead(std::uint32_t page) const;

  FileImage image_;
  const std::uint8_t* data_ = nullptr;
  std::size_t page_size_;
  std::uint32_t database_key_;
  std::string name_;
  std::uint64_t file_size_;
  std::uint32_t page_count_;
  // Mapped files: pages handed out since the last give-back.
  mutable std::vector<bool> touched_;
  mutable std::size_t touched_count_ = 0;
};

}  // namespace jet::io
