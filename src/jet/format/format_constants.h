#pragma once
// Everything that differs between Jet 3 (Access 95/97) and Jet 4 (Access
// 2000-2003) files: page size and the offsets of the structures on each page.
// All version-dependent numbers live here so decoders and encoders agree.
// Layout: docs/jet-format.md, section 2.

#include <cstddef>
#include <cstdint>

namespace jet {

enum class FormatVersion : std::uint8_t { Jet3, Jet4 };

struct FormatConstants {
  FormatVersion version;
  std::size_t page_size;

  // Page 0.
  std::size_t header_mask_length;  // bytes from 0x18 masked with the header keystream
  std::size_t password_length;     // bytes of the password field at 0x42
  std::size_t sort_order_offset;   // default collation LCID
  std::size_t commit_area_offset;  // last 512 bytes of page 0

  // Data pages (type 0x01).
  std::size_t data_row_count_offset;
  std::size_t data_row_table_offset;  // first 2-byte row offset entry

  // TDEF header (type 0x02).
  std::size_t tdef_row_count;
  std::size_t tdef_autonumber;
  std::size_t tdef_table_type;
  std::size_t tdef_max_columns;
  std::size_t tdef_var_slots;
  std::size_t tdef_column_count;
  std::size_t tdef_logical_index_count;
  std::size_t tdef_real_index_count;
  std::size_t tdef_owned_map;
  std::size_t tdef_free_map;
  std::size_t tdef_body;

  // Sizes of the TDEF body records.
  std::size_t real_index_stats_size;
  std::size_t column_descriptor_size;
  std::size_t real_index_descriptor_size;
  std::size_t logical_index_descriptor_size;
  std::size_t name_length_size;  // 1 (J3, code-page bytes) or 2 (J4, UTF-16LE byte count)

  // Rows.
  std::size_t row_count_size;  // column count / var offsets: 1 byte (J3) or 2 (J4)

  // Index pages (types 0x03 / 0x04).
  std::size_t index_prev_page;
  std::size_t index_next_page;
  std::size_t index_tail_page;
  std::size_t index_prefix_length;
  std::size_t index_prefix_length_size;
  std::size_t index_bitmap_offset;
  std::size_t index_first_entry;

  // Largest row Jet stores on one page (Jackcess' figure).
  std::size_t max_row_size;
};

inline constexpr FormatConstants kJet3Constants{
    FormatVersion::Jet3,
    2048,
    126, 20, 0x3A, 0x600,
    8, 10,
    12, 16, 20, 21, 23, 25, 27, 31, 35, 39, 43,
    8, 18, 39, 20, 1,
    1,
    8, 12, 16, 20, 1, 22, 0xF8,
    2012,
};

inline constexpr FormatConstants kJet4Constants{
    FormatVersion::Jet4,
    4096,
    128, 40, 0x6E, 0xE00,
    12, 14,
    16, 20, 40, 41, 43, 45, 47, 51, 55, 59, 63,
    12, 25, 52, 28, 2,
    2,
    12, 16, 20, 24, 2, 27, 0x1E0,
    4060,
};

inline constexpr const FormatConstants& ConstantsFor(FormatVersion version) {
  return version == FormatVersion::Jet3 ? kJet3Constants : kJet4Constants;
}

// Page type bytes (byte 0 of every page).
enum class PageType : std::uint8_t {
  Header = 0x00,
  Data = 0x01,
  TableDefinition = 0x02,
  IndexNode = 0x03,
  IndexLeaf = 0x04,
  UsageMapBitmap = 0x05,
};

// Owner field of long-value pages: ASCII "LVAL" read as a little-endian uint32.
inline constexpr std::uint32_t kLongValueOwner = 0x4C41564C;

// Row offset entry flags on data pages.
inline constexpr std::uint16_t kRowDeletedFlag = 0x8000;
inline constexpr std::uint16_t kRowOverflowFlag = 0x4000;
inline constexpr std::uint16_t kRowOffsetMask = 0x1FFF;

// The constant Jet 4 writes into TDEFs, column and logical-index descriptors.
inline constexpr std::uint32_t kJet4DescriptorMagic = 1625;
inline constexpr std::uint32_t kJet4RealIndexMagic = 1923;

}  // namespace jet
