#include "jet/format/usage_map_decode.h"

namespace jet {
namespace {

void CollectBits(const std::uint8_t* bits, std::size_t size, std::uint64_t first_page, std::uint32_t page_count,
                 std::vector<std::uint32_t>& out) {
  for (std::size_t byte = 0; byte < size; ++byte) {
    if (bits[byte] == 0) continue;
    for (unsigned bit = 0; bit < 8; ++bit) {
      if (!((bits[byte] >> bit) & 1)) continue;
      const std::uint64_t page = first_page + byte * 8 + bit;
      if (page >= page_count) return;
      out.push_back(static_cast<std::uint32_t>(page));
    }
  }
}

}  // namespace

UsageMap DecodeUsageMap(const io::ByteView& row) {
  UsageMap map;
  if (row.size() < 1) row.Fail("a usage map row is empty");
  const std::uint8_t type = row.U8(0);
  if (type == 0) {
    map.type = UsageMapType::Inline;
    map.start_page = row.U32(1);
    io::ByteView bits = row.From(5, "usage map bitmap");
    map.bitmap.assign(bits.data(), bits.data() + bits.size());
  } else if (type == 1) {
    map.type = UsageMapType::Reference;
    for (std::size_t at = 1; at + 4 <= row.size(); at += 4) map.bitmap_pages.push_back(row.U32(at));
  } else {
    row.Fail("unknown usage map type " + std::to_string(type));
  }
  return map;
}

std::vector<std::uint32_t> UsageMapPages(const UsageMap& map, const FormatConstants& c, std::uint32_t page_count,
                                         const PageFetcher& fetch) {
  std::vector<std::uint32_t> pages;
  if (map.type == UsageMapType::Inline) {
    CollectBits(map.bitmap.data(), map.bitmap.size(), map.start_page, page_count, pages);
    return pages;
  }
  const std::size_t per_slot = ReferenceMapPagesPerSlot(c);
  for (std::size_t slot = 0; slot < map.bitmap_pages.size(); ++slot) {
    const std::uint32_t bitmap_page = map.bitmap_pages[slot];
    if (bitmap_page == 0) continue;
    const std::uint64_t first = std::uint64_t{slot} * per_slot;
    if (first >= page_count) break;
    const io::ByteView page = fetch(bitmap_page);
    if (page.U8(0) != static_cast<std::uint8_t>(PageType::UsageMapBitmap))
      page.Fail("expected a usage map page, found page type " + std::to_string(page.U8(0)));
    io::ByteView bits = page.From(4);
    CollectBits(bits.data(), bits.size(), first, page_count, pages);
  }
  return pages;
}

}  // namespace jet
