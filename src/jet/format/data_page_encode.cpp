#include "jet/format/data_page_encode.h"

#include <stdexcept>

namespace jet::encode {

DataPageBuilder::DataPageBuilder(FormatVersion version, std::uint32_t owner)
    : constants_(ConstantsFor(version)), page_(constants_.page_size, 0), lowest_row_start_(constants_.page_size) {
  Reset(owner);
}

void DataPageBuilder::Reset(std::uint32_t owner) {
  std::fill(page_.begin(), page_.end(), 0);
  page_[0] = static_cast<std::uint8_t>(PageType::Data);
  page_[1] = 0x01;
  PutU32(page_, 4, owner);
  row_count_ = 0;
  lowest_row_start_ = constants_.page_size;
  PutU16(page_, 2, static_cast<std::uint16_t>(free_space()));
}

std::size_t DataPageBuilder::free_space() const {
  return lowest_row_start_ - constants_.data_row_table_offset - 2 * row_count_;
}

std::size_t DataPageBuilder::MaxRowOnEmptyPage(FormatVersion version) {
  const FormatConstants& c = ConstantsFor(version);
  return c.page_size - c.data_row_table_offset - 2;
}

bool DataPageBuilder::Fits(std::size_t row_size) const {
  return row_count_ < kMaxRows && row_size + 2 <= free_space();
}

std::uint8_t DataPageBuilder::Add(const std::uint8_t* row, std::size_t size) {
  if (!Fits(size)) throw std::logic_error("row does not fit on the data page");
  lowest_row_start_ -= size;
  PutBytes(page_, lowest_row_start_, row, size);
  PutU16(page_, constants_.data_row_table_offset + 2 * row_count_, static_cast<std::uint16_t>(lowest_row_start_));
  const auto number = static_cast<std::uint8_t>(row_count_);
  ++row_count_;
  PutU16(page_, constants_.data_row_count_offset, static_cast<std::uint16_t>(row_count_));
  PutU16(page_, 2, static_cast<std::uint16_t>(free_space()));
  return number;
}

void DataPageBuilder::FlagRow(std::uint8_t row, std::uint16_t flags) {
  if (row >= row_count_) throw std::logic_error("no such row on the data page");
  const std::size_t at = constants_.data_row_table_offset + 2 * std::size_t{row};
  PutU16(page_, at, static_cast<std::uint16_t>((page_[at] | page_[at + 1] << 8) | flags));
}

}  // namespace jet::encode
