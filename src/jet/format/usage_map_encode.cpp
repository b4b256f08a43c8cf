#include "jet/format/usage_map_encode.h"

namespace jet::encode {

Bytes EncodeInlineMap(std::uint32_t start_page, std::size_t bitmap_bytes, const PagePredicate& is_set) {
  Bytes row(5 + bitmap_bytes, 0);
  row[0] = 0x00;
  PutU32(row, 1, start_page);
  for (std::size_t bit = 0; bit < bitmap_bytes * 8; ++bit) {
    if (is_set(start_page + static_cast<std::uint32_t>(bit))) row[5 + bit / 8] |= static_cast<std::uint8_t>(1u << (bit % 8));
  }
  return row;
}

Bytes EncodeReferenceMap(const std::vector<std::uint32_t>& bitmap_pages) {
  Bytes row(1 + 4 * bitmap_pages.size(), 0);
  row[0] = 0x01;
  for (std::size_t i = 0; i < bitmap_pages.size(); ++i) PutU32(row, 1 + 4 * i, bitmap_pages[i]);
  return row;
}

Bytes EncodeMapBitmapPage(std::size_t page_size, std::uint32_t first_page, const PagePredicate& is_set) {
  Bytes page(page_size, 0);
  page[0] = static_cast<std::uint8_t>(PageType::UsageMapBitmap);
  page[1] = 0x01;
  const std::uint32_t count = PagesPerBitmapPage(page_size);
  for (std::uint32_t bit = 0; bit < count; ++bit) {
    if (is_set(first_page + bit)) page[4 + bit / 8] |= static_cast<std::uint8_t>(1u << (bit % 8));
  }
  return page;
}

}  // namespace jet::encode
