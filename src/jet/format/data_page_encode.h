#pragma once
// A data page (type 0x01) filled row by row: rows packed from the page end
// downwards, the offset table after the header, the free-space count kept
// true. Used for table rows, usage-map rows and long-value (LVAL) rows.
// Layout: docs/jet-format.md, section 5.1.

#include <cstddef>
#include <cstdint>

#include "jet/format/bytes_encode.h"
#include "jet/format/format_constants.h"

namespace jet::encode {

class DataPageBuilder {
 public:
  static constexpr std::size_t kMaxRows = 255;

  DataPageBuilder(FormatVersion version, std::uint32_t owner);

  // True when a row of this many bytes, with its offset entry, still fits.
  bool Fits(std::size_t row_size) const;
  // Bytes a row may have on an empty page of this version.
  static std::size_t MaxRowOnEmptyPage(FormatVersion version);
  // Stores the row and returns its row number; the row must fit.
  std::uint8_t Add(const std::uint8_t* row, std::size_t size);
  std::uint8_t Add(const Bytes& row) { return Add(row.data(), row.size()); }
  // Sets flag bits (kRowDeletedFlag, kRowOverflowFlag) on a stored row's offset entry.
  void FlagRow(std::uint8_t row, std::uint16_t flags);

  std::size_t row_count() const { return row_count_; }
  bool empty() const { return row_count_ == 0; }
  std::size_t free_space() const;
  const Bytes& page() const { return page_; }
  // Starts over with an empty page for the same or another owner.
  void Reset(std::uint32_t owner);

 private:
  const FormatConstants& constants_;
  Bytes page_;
  std::size_t row_count_ = 0;
  std::size_t lowest_row_start_;
};

}  // namespace jet::encode
