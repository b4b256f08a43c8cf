#pragma once
// Data pages (type 0x01): table rows, usage-map rows and long-value (LVAL)
// rows, addressed through the row offset table at the start of the page.
// Layout: docs/jet-format.md, section 5.1.

#include <cstdint>

#include "jet/format/format_constants.h"
#include "jet/format/table_definition.h"
#include "jet/io/byte_view.h"

namespace jet {

struct RowSlot {
  std::uint16_t raw = 0;  // the stored offset entry, flags included
  std::size_t start = 0;  // first byte of the row in the page
  std::size_t end = 0;    // one past its last byte
  bool deleted() const { return (raw & kRowDeletedFlag) != 0; }
  bool overflow() const { return (raw & kRowOverflowFlag) != 0; }
  std::size_t size() const { return end - start; }
};

class DataPage {
 public:
  // Throws 3049 unless `page` is a data page with a row table that fits.
  // `page` is a whole page, or the part of one that a cut file still holds.
  DataPage(io::ByteView page, const FormatConstants& constants);

  std::uint16_t free_space() const { return page_.U16(2); }
  std::uint32_t owner() const { return page_.U32(4); }
  bool IsLongValuePage() const { return owner() == kLongValueOwner; }
  std::uint16_t row_count() const { return row_count_; }
  // The byte just past the row offset table: rows must start at or after it.
  std::size_t row_table_end() const { return constants_->data_row_table_offset + 2u * row_count_; }

  // Slot and RawEntry are read for every row of a scan: they are inline,
  // with their failures out of line.
  // The offset entry of one row; throws 3049 when `row` >= row_count or the
  // row's bounds are impossible (start past end, inside the row table).
  RowSlot Slot(std::uint32_t row) const {
    RowSlot slot;
    slot.raw = RawEntry(row);
    slot.start = slot.raw & kRowOffsetMask;
    // Row 0 ends at the end of the page, which lies past the bytes at hand
    // when the page is the cut end of a file (its rows there fail here).
    slot.end = row == 0 ? constants_->page_size : (RawEntry(row - 1) & kRowOffsetMask);
    if (slot.start < row_table_end() || slot.start > slot.end || slot.end > page_.size()) FailBounds(row, slot);
    return slot;
  }
  // The stored entry only, without checking the row's bounds.
  std::uint16_t RawEntry(std::uint32_t row) const {
    if (row >= row_count_) FailMissingRow(row);
    return page_.U16(constants_->data_row_table_offset + 2u * row);
  }
  // Rows whose entries are not flagged deleted.
  std::uint32_t live_row_count() const;
  // The bytes of one row (deleted rows included); throws like Slot.
  io::ByteView RowBytes(std::uint32_t row) const;
  const io::ByteView& bytes() const { return page_; }

 private:
  [[noreturn]] void FailMissingRow(std::uint32_t row) const;
  [[noreturn]] void FailBounds(std::uint32_t row, const RowSlot& slot) const;

  io::ByteView page_;
  const FormatConstants* constants_;
  std::uint16_t row_count_;
};

// The target of an overflow row: its first 4 bytes are a row pointer.
RowPointer OverflowTarget(const io::ByteView& row);

}  // namespace jet
