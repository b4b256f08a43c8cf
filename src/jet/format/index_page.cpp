// Index page decoding and encoding. Entry bytes are big-endian: key, data
// page (3 bytes), row (1 byte) and, on node pages, child page (4 bytes).

#include "jet/format/index_page.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string>

#include "base/error.h"

namespace jet {
namespace {

constexpr std::size_t kFreeSpaceOffset = 2;
constexpr std::size_t kOwnerOffset = 4;

[[noreturn]] void Damaged(const std::string& what) {
  throw vondrel::Error(kDamagedIndexPageError, "damaged index page: " + what);
}

std::uint32_t ReadLe(std::span<const std::uint8_t> page, std::size_t offset, std::size_t width) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < width; ++i) value |= std::uint32_t{page[offset + i]} << (8 * i);
  return value;
}

void WriteLe(std::vector<std::uint8_t>& page, std::size_t offset, std::uint32_t value,
             std::size_t width) {
  for (std::size_t i = 0; i < width; ++i) page[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint32_t ReadBe(const std::uint8_t* bytes, std::size_t width) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < width; ++i) value = (value << 8) | bytes[i];
  return value;
}

// Byte n of an entry as stored whole: key, data page (3), row, child (4).
std::uint8_t EntryByte(const IndexEntry& entry, std::size_t n) {
  const std::size_t k = entry.key.size();
  if (n < k) return entry.key[n];
  n -= k;
  if (n < 3) return static_cast<std::uint8_t>((entry.data_page & 0xFFFFFF) >> (8 * (2 - n)));
  if (n == 3) return entry.row;
  return static_cast<std::uint8_t>(entry.child_page >> (8 * (7 - n)));
}

std::size_t CommonPrefix(const IndexEntry& a, const IndexEntry& b, bool leaf, std::size_t limit) {
  limit = std::min({limit, EntrySize(a, leaf), EntrySize(b, leaf)});
  const std::size_t keys = std::min(a.key.size(), b.key.size());
  std::size_t n = 0;
  while (n < limit && n < keys && a.key[n] == b.key[n]) ++n;
  if (n < keys) return n;
  while (n < limit && EntryByte(a, n) == EntryByte(b, n)) ++n;
  return n;
}

// The prefix all entries share with the first, limited to what the field holds.
std::size_t PagePrefix(std::span<const IndexEntry> entries, bool leaf, const IndexPageLayout& layout) {
  if (entries.size() < 2) return 0;
  std::size_t prefix = layout.prefix_width == 1 ? 0xFF : 0xFFFF;
  for (std::size_t i = 1; i < entries.size() && prefix > 0; ++i) {
    prefix = CommonPrefix(entries[0], entries[i], leaf, prefix);
  }
  return prefix;
}

}  // namespace

IndexPageLayout IndexPageLayout::Jet3() {
  return IndexPageLayout{2048, 8, 12, 16, 20, 1, 21, 22, 0xF8};
}

IndexPageLayout IndexPageLayout::Jet4() {
  return IndexPageLayout{4096, 12, 16, 20, 24, 2, 26, 27, 0x1E0};
}

int CompareEntries(const IndexEntry& a, const IndexEntry& b) {
  if (const int c = CompareKeys(a.key, b.key); c != 0) return c;
  if (a.data_page != b.data_page) return a.data_page < b.data_page ? -1 : 1;
  if (a.row != b.row) return a.row < b.row ? -1 : 1;
  return 0;
}

IndexPage DecodeIndexPage(std::span<const std::uint8_t> page, const IndexPageLayout& layout) {
  if (page.size() != layout.page_size) Damaged("wrong page size");
  if (page[0] != kIndexLeafPageType && page[0] != kIndexNodePageType) {
    Damaged("page type " + std::to_string(page[0]) + " is not an index page");
  }
  IndexPage result;
  result.leaf = page[0] == kIndexLeafPageType;
  result.free_space = ReadLe(page, kFreeSpaceOffset, 2);
  result.owner = ReadLe(page, kOwnerOffset, 4);
  result.previous = ReadLe(page, layout.previous_offset, 4);
  result.next = ReadLe(page, layout.next_offset, 4);
  result.tail = ReadLe(page, layout.tail_offset, 4);
  result.prefix_length = ReadLe(page, layout.prefix_offset, layout.prefix_width);

  const std::size_t pointer_size = result.leaf ? kLeafPointerSize : kNodePointerSize;
  const std::size_t capacity = layout.EntryCapacity();
  const std::uint8_t* first = page.data() + layout.first_entry_offset;
  std::size_t start = 0;
  std::vector<std::uint8_t> prefix;
  // Bit n set: an entry ends n bytes after the first entry's start.
  for (std::size_t bit = 0; bit <= capacity; ++bit) {
    const std::uint8_t mask_byte = page[layout.bitmap_offset + bit / 8];
    if (mask_byte == 0 && bit % 8 == 0) {
      bit += 7;  // skip a whole empty byte of the bitmap
      continue;
    }
    if ((mask_byte & (1u << (bit % 8))) == 0) continue;
    const std::size_t end = bit;
    if (end <= start) Damaged("empty entry");
    std::vector<std::uint8_t> bytes;
    if (result.entries.empty()) {
      bytes.assign(first, first + end);
      if (result.prefix_length > bytes.size()) Damaged("prefix longer than the first entry");
      prefix.assign(bytes.begin(), bytes.begin() + result.prefix_length);
    } else {
      bytes = prefix;
      bytes.insert(bytes.end(), first + start, first + end);
    }
    if (bytes.size() < pointer_size) Damaged("entry shorter than its pointer");
    IndexEntry entry;
    const std::uint8_t* pointer = bytes.data() + bytes.size() - pointer_size;
    entry.key.assign(bytes.cbegin(), bytes.cend() - static_cast<std::ptrdiff_t>(pointer_size));
    entry.data_page = ReadBe(pointer, 3);
    entry.row = pointer[3];
    if (!result.leaf) entry.child_page = ReadBe(pointer + 4, 4);
    result.entries.push_back(std::move(entry));
    start = end;
  }
  // Bits past the entry area would name bytes beyond the page.
  for (std::size_t bit = capacity + 1; bit < (layout.first_entry_offset - layout.bitmap_offset) * 8; ++bit) {
    if (page[layout.bitmap_offset + bit / 8] & (1u << (bit % 8))) Damaged("entry bitmap reaches past the page");
  }
  return result;
}

std::size_t EncodedEntriesSize(std::span<const IndexEntry> entries, bool leaf,
                               const IndexPageLayout& layout) {
  const std::size_t prefix = PagePrefix(entries, leaf, layout);
  std::size_t size = 0;
  for (std::size_t i = 0; i < entries.size(); ++i) size += EntrySize(entries[i], leaf) - (i == 0 ? 0 : prefix);
  return size;
}

std::vector<std::uint8_t> EncodeIndexPage(const IndexPage& page, const IndexPageLayout& layout,
                                          std::optional<std::size_t> requested_prefix) {
  return EncodeIndexPage(page, page.entries, layout, requested_prefix);
}

std::vector<std::uint8_t> EncodeIndexPage(const IndexPage& page, std::span<const IndexEntry> entries,
                                          const IndexPageLayout& layout, std::optional<std::size_t> requested_prefix) {
  std::size_t prefix = PagePrefix(entries, page.leaf, layout);
  if (requested_prefix) {
    if (*requested_prefix > prefix) {
      throw vondrel::Error(kDamagedIndexPageError, "index entries do not share the requested prefix");
    }
    prefix = *requested_prefix;
  }
  return EncodeIndexPageWithMeasuredPrefix(page, entries, layout, prefix);
}

std::vector<std::uint8_t> EncodeIndexPageWithMeasuredPrefix(const IndexPage& page, std::span<const IndexEntry> entries,
                                                            const IndexPageLayout& layout, std::size_t prefix) {
  std::vector<std::uint8_t> out(layout.page_size, 0);
  out[0] = page.leaf ? kIndexLeafPageType : kIndexNodePageType;
  out[1] = 0x01;
  WriteLe(out, kOwnerOffset, page.owner, 4);
  WriteLe(out, layout.previous_offset, page.previous, 4);
  WriteLe(out, layout.next_offset, page.next, 4);
  WriteLe(out, layout.tail_offset, page.tail, 4);
  WriteLe(out, layout.prefix_offset, static_cast<std::uint32_t>(prefix), layout.prefix_width);
  out[layout.node_flag_offset] = page.leaf ? 0x00 : 0x01;
  std::size_t position = 0;
  const std::size_t capacity = layout.EntryCapacity();
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const IndexEntry& entry = entries[i];
    const std::size_t whole = EntrySize(entry, page.leaf);
    const std::size_t skip = i == 0 ? 0 : prefix;
    const std::size_t size = whole - skip;
    if (size == 0 || position + size > capacity) {
      throw vondrel::Error(kDamagedIndexPageError, "index entries do not fit one page");
    }
    std::uint8_t* target = out.data() + layout.first_entry_offset + position;
    const std::size_t key_size = entry.key.size();
    if (skip < key_size) {
      std::memcpy(target, entry.key.data() + skip, key_size - skip);
      target += key_size - skip;
    }
    // The pointers after the key (data page, row, and a node's child page),
    // less what the prefix took.
    std::uint8_t pointers[8];
    pointers[0] = static_cast<std::uint8_t>(entry.data_page >> 16);
    pointers[1] = static_cast<std::uint8_t>(entry.data_page >> 8);
    pointers[2] = static_cast<std::uint8_t>(entry.data_page);
    pointers[3] = entry.row;
    for (int b = 0; b < 4; ++b) pointers[4 + b] = static_cast<std::uint8_t>(entry.child_page >> (8 * (3 - b)));
    const std::size_t pointer_from = skip > key_size ? skip - key_size : 0;
    std::memcpy(target, pointers + pointer_from, whole - key_size - pointer_from);
    position += size;
    out[layout.bitmap_offset + position / 8] |= static_cast<std::uint8_t>(1u << (position % 8));
  }
  WriteLe(out, kFreeSpaceOffset, static_cast<std::uint32_t>(capacity - position), 2);
  return out;
}

void SetIndexPageLinks(std::span<std::uint8_t> page, const IndexPageLayout& layout, std::uint32_t previous,
                       std::uint32_t next) {
  if (page.size() < layout.page_size) throw std::invalid_argument("index page too short to relink");
  for (int i = 0; i < 4; ++i) {
    page[layout.previous_offset + i] = static_cast<std::uint8_t>(previous >> (8 * i));
    page[layout.next_offset + i] = static_cast<std::uint8_t>(next >> (8 * i));
  }
}

}  // namespace jet
