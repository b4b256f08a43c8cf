#include "jet/format/data_page_decode.h"

namespace jet {

DataPage::DataPage(io::ByteView page, const FormatConstants& constants)
    : page_(page), constants_(&constants), row_count_(0) {
  if (page_.size() < constants.data_row_table_offset) page_.Fail("the page is too short for a data page");
  if (page_.U8(0) != static_cast<std::uint8_t>(PageType::Data))
    page_.Fail("expected a data page, found page type " + std::to_string(page_.U8(0)));
  row_count_ = page_.U16(constants.data_row_count_offset);
  if (row_table_end() > page_.size())
    page_.Fail("the row count " + std::to_string(row_count_) + " does not fit on the page");
}

void DataPage::FailMissingRow(std::uint32_t row) const {
  page_.Fail("row " + std::to_string(row) + " does not exist (the page has " + std::to_string(row_count_) + " rows)");
}

void DataPage::FailBounds(std::uint32_t row, const RowSlot& slot) const {
  if (page_.size() < constants_->page_size && slot.start <= slot.end && slot.end > page_.size())
    page_.Fail("row " + std::to_string(row) + " lies past the end of the file, which cuts the page after " +
               std::to_string(page_.size()) + " bytes");
  page_.Fail("row " + std::to_string(row) + " has impossible bounds " + std::to_string(slot.start) + ".." +
             std::to_string(slot.end));
}

std::uint32_t DataPage::live_row_count() const {
  std::uint32_t live = 0;
  for (std::uint32_t row = 0; row < row_count_; ++row)
    if (!(RawEntry(row) & kRowDeletedFlag)) ++live;
  return live;
}

io::ByteView DataPage::RowBytes(std::uint32_t row) const {
  const RowSlot slot = Slot(row);
  return page_.Sub(slot.start, slot.size(), "row");
}

RowPointer OverflowTarget(const io::ByteView& row) {
  if (row.size() < 4) row.Fail("an overflow row is shorter than a row pointer");
  return RowPointer{row.U24(1), row.U8(0)};
}

}  // namespace jet
