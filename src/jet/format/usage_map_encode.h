#pragma once
// Usage-map rows (which pages belong to a table, an index, a long-value
// column, or which pages are free) and the bitmap pages of reference maps.
// Layout: docs/jet-format.md, section 4.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>

#include "jet/format/bytes_encode.h"
#include "jet/format/format_constants.h"

namespace jet::encode {

using PagePredicate = std::function<bool(std::uint32_t page)>;

// Bytes of bitmap an inline map row of Access's usual size carries.
inline std::size_t StandardInlineBitmapBytes(FormatVersion version) {
  return version == FormatVersion::Jet3 ? 128 : 64;
}

// Pages one bitmap page of a reference map covers.
inline std::uint32_t PagesPerBitmapPage(std::size_t page_size) {
  return static_cast<std::uint32_t>((page_size - 4) * 8);
}

// Type 0 row: start page, then one bit per page from it (LSB first).
Bytes EncodeInlineMap(std::uint32_t start_page, std::size_t bitmap_bytes, const PagePredicate& is_set);
// The same for the pages of a sorted list (those out of its range are left out).
Bytes EncodeInlineMap(std::uint32_t start_page, std::size_t bitmap_bytes, std::span<const std::uint32_t> sorted_pages);

// Type 1 row: one slot per bitmap page; slot k covers pages k*C .. (k+1)*C-1,
// 0 = no page listed in that range.
Bytes EncodeReferenceMap(const std::vector<std::uint32_t>& bitmap_pages);

// A type 0x05 page holding the bits of one slot of a reference map.
Bytes EncodeMapBitmapPage(std::size_t page_size, std::uint32_t first_page, const PagePredicate& is_set);
// The same for the pages of a sorted list, without a question per page.
Bytes EncodeMapBitmapPage(std::size_t page_size, std::uint32_t first_page, std::span<const std::uint32_t> sorted_pages);

}  // namespace jet::encode
