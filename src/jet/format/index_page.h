#pragma once
// Index pages (leaf 0x04 and intermediate 0x03): decoding with every offset
// checked, and encoding from entries. Entries are stored back to back after
// a bitmap that marks where each one ends; all entries after the first omit
// the bytes they share with the first one (the page's common prefix).
// Layout: docs/jet-format.md, section 9.

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "jet/format/index_key.h"

namespace jet {

inline constexpr std::uint8_t kIndexNodePageType = 0x03;
inline constexpr std::uint8_t kIndexLeafPageType = 0x04;

// Error number for an index page that cannot be decoded.
inline constexpr std::int32_t kDamagedIndexPageError = 3049;

// Where the fields of an index page are, which differs between Jet 3 and 4.
struct IndexPageLayout {
  std::size_t page_size;
  std::size_t previous_offset;
  std::size_t next_offset;
  std::size_t tail_offset;
  std::size_t prefix_offset;
  std::size_t prefix_width;  // 1 (Jet 3) or 2 (Jet 4) bytes
  std::size_t node_flag_offset;
  std::size_t bitmap_offset;
  std::size_t first_entry_offset;

  static IndexPageLayout Jet3();
  static IndexPageLayout Jet4();
  // Bytes available for entries on one page.
  std::size_t EntryCapacity() const { return page_size - first_entry_offset; }
};

// One entry: the key, the row it names, and on node pages the child page.
struct IndexEntry {
  KeyBytes key;
  std::uint32_t data_page = 0;  // 24 bits on disk
  std::uint8_t row = 0;
  std::uint32_t child_page = 0;  // node entries only

  friend bool operator==(const IndexEntry&, const IndexEntry&) = default;
};

// Orders entries as the pages do: by key bytes, then data page, then row.
int CompareEntries(const IndexEntry& a, const IndexEntry& b);

struct IndexPage {
  bool leaf = true;
  std::uint32_t owner = 0;  // TDEF page of the table
  std::uint32_t previous = 0;
  std::uint32_t next = 0;
  std::uint32_t tail = 0;  // node pages: the last leaf below, or 0
  std::size_t prefix_length = 0;  // as decoded; the encoder computes its own
  std::size_t free_space = 0;     // as decoded
  std::vector<IndexEntry> entries;
};

// Decodes one page. Throws vondrel::Error (kDamagedIndexPageError) when the
// page is not an index page or its entries do not fit the page.
IndexPage DecodeIndexPage(std::span<const std::uint8_t> page, const IndexPageLayout& layout);

// Bytes of one entry without prefix compression.
// After the key: data page (3 bytes) and row, and a node's child page.
inline constexpr std::size_t kLeafPointerSize = 4;
inline constexpr std::size_t kNodePointerSize = 8;
inline std::size_t EntrySize(const IndexEntry& entry, bool leaf) {
  return entry.key.size() + (leaf ? kLeafPointerSize : kNodePointerSize);
}

// Bytes the entries take on a page with prefix compression.
std::size_t EncodedEntriesSize(std::span<const IndexEntry> entries, bool leaf,
                               const IndexPageLayout& layout);

// Encodes a page (owner, links, entries) with free space computed and the
// longest prefix all entries share with the first, or with `prefix` bytes
// when given (Access often leaves pages uncompressed; a shorter prefix than
// the longest is valid). Throws vondrel::Error when the entries do not fit
// or the requested prefix is not shared by all entries.
std::vector<std::uint8_t> EncodeIndexPage(const IndexPage& page, const IndexPageLayout& layout,
                                          std::optional<std::size_t> prefix = std::nullopt);
// The same with the entries given apart (page.entries is ignored), so that a
// writer can keep reusable entry buffers of its own.
std::vector<std::uint8_t> EncodeIndexPage(const IndexPage& page, std::span<const IndexEntry> entries,
                                          const IndexPageLayout& layout,
                                          std::optional<std::size_t> prefix = std::nullopt);
// The same with the longest shared prefix already measured by the caller
// (a writer packing entries onto pages measures it entry by entry), so that
// it is not measured again.
std::vector<std::uint8_t> EncodeIndexPageWithMeasuredPrefix(const IndexPage& page, std::span<const IndexEntry> entries,
                                                            const IndexPageLayout& layout, std::size_t prefix);

// Rewrites the previous and next page numbers of an encoded page, for pages
// encoded before their neighbours' numbers were known.
void SetIndexPageLinks(std::span<std::uint8_t> page, const IndexPageLayout& layout, std::uint32_t previous,
                       std::uint32_t next);

}  // namespace jet
