#include "jet/format/usage_map_encode.h"

#include <algorithm>

namespace jet::encode {
namespace {

// Sets bit (page - first) at `bits` for each listed page in [first, first + count).
void SetPageBits(std::uint8_t* bits, std::uint32_t first, std::uint32_t count, std::span<const std::uint32_t> sorted) {
  const std::uint64_t end = std::uint64_t{first} + count;
  for (auto it = std::lower_bound(sorted.begin(), sorted.end(), first); it != sorted.end() && *it < end; ++it) {
    const std::uint32_t bit = *it - first;
    bits[bit / 8] |= static_cast<std::uint8_t>(1u << (bit % 8));
  }
}

}  // namespace

Bytes EncodeInlineMap(std::uint32_t start_page, std::size_t bitmap_bytes, const PagePredicate& is_set) {
  Bytes row(5 + bitmap_bytes, 0);
  row[0] = 0x00;
  PutU32(row, 1, start_page);
  for (std::size_t bit = 0; bit < bitmap_bytes * 8; ++bit) {
    if (is_set(start_page + static_cast<std::uint32_t>(bit))) row[5 + bit / 8] |= static_cast<std::uint8_t>(1u << (bit % 8));
  }
  return row;
}

Bytes EncodeInlineMap(std::uint32_t start_page, std::size_t bitmap_bytes, std::span<const std::uint32_t> sorted_pages) {
  Bytes row(5 + bitmap_bytes, 0);
  row[0] = 0x00;
  PutU32(row, 1, start_page);
  SetPageBits(row.data() + 5, start_page, static_cast<std::uint32_t>(bitmap_bytes * 8), sorted_pages);
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

Bytes EncodeMapBitmapPage(std::size_t page_size, std::uint32_t first_page, std::span<const std::uint32_t> sorted_pages) {
  Bytes page(page_size, 0);
  page[0] = static_cast<std::uint8_t>(PageType::UsageMapBitmap);
  page[1] = 0x01;
  SetPageBits(page.data() + 4, first_page, PagesPerBitmapPage(page_size), sorted_pages);
  return page;
}

}  // namespace jet::encode
