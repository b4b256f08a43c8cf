#pragma once
// Usage maps: a row naming a set of pages, either inline (start page + bitmap)
// or by reference (pointers to bitmap pages of type 0x05).
// Layout: docs/jet-format.md, section 4.

#include <cstdint>
#include <functional>
#include <vector>

#include "jet/format/format_constants.h"
#include "jet/io/byte_view.h"

namespace jet {

enum class UsageMapType : std::uint8_t { Inline = 0, Reference = 1 };

struct UsageMap {
  UsageMapType type = UsageMapType::Inline;
  std::uint32_t start_page = 0;               // inline maps
  std::vector<std::uint8_t> bitmap;           // inline maps: bit i <-> start_page + i
  std::vector<std::uint32_t> bitmap_pages;    // reference maps: slot k, 0 = unused
};

// Decodes a usage-map row. Throws 3049 on an unknown map type or a short row.
UsageMap DecodeUsageMap(const io::ByteView& row);

// Pages covered by one bitmap page of a reference map.
inline std::size_t ReferenceMapPagesPerSlot(const FormatConstants& c) { return (c.page_size - 4) * 8; }

// Fetches a page by number (throws 3049 when absent).
using PageFetcher = std::function<io::ByteView(std::uint32_t)>;

// Every page number whose bit is set, ascending, limited to pages below
// `page_count`. Reference maps read their bitmap pages through `fetch`
// (each must be of type 0x05, else 3049).
std::vector<std::uint32_t> UsageMapPages(const UsageMap& map, const FormatConstants& c, std::uint32_t page_count,
                                         const PageFetcher& fetch);

}  // namespace jet
