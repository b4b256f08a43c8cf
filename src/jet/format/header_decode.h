#pragma once
// Page 0 of a Jet file: engine name, format version, default collation and
// code page, database key (page encoding), password, creation date.
// Layout: docs/jet-format.md, section 3.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "jet/format/format_constants.h"
#include "jet/io/byte_view.h"

namespace jet {

inline constexpr std::size_t kHeaderMaskOffset = 0x18;
inline constexpr std::size_t kHeaderVersionOffset = 0x14;
inline constexpr std::size_t kHeaderCodePageOffset = 0x3C;
inline constexpr std::size_t kHeaderDatabaseKeyOffset = 0x3E;
inline constexpr std::size_t kHeaderPasswordOffset = 0x42;
inline constexpr std::size_t kHeaderJet4SortVersionOffset = 0x71;
inline constexpr std::size_t kHeaderJet4CreationDateOffset = 0x72;

struct DatabaseHeader {
  FormatVersion version = FormatVersion::Jet4;
  std::uint8_t version_byte = 0;
  std::uint16_t sort_order = 0;          // default collation LCID
  std::uint8_t sort_order_version = 0;   // J4 only (0 = General legacy)
  std::uint16_t code_page = 0;
  std::uint32_t database_key = 0;        // non-zero: pages 1.. are RC4-encoded
  bool has_password = false;
  double creation_date = 0;              // J4 only, days since 1899-12-30
  // Page 0 with the header mask removed (size = page size, or less when the
  // file is shorter), for writers that copy it.
  std::vector<std::uint8_t> unmasked_page;

  const FormatConstants& constants() const { return ConstantsFor(version); }
};

// XORs the masked header area of page 0 (from 0x18) with the fixed header
// keystream; applying it twice restores the bytes. `page` may be shorter than
// a page; only the bytes present are touched.
void ApplyHeaderMask(FormatVersion version, std::span<std::uint8_t> page);

// Decodes the start of a file. Throws 3343 for files that are not Jet 3 /
// Jet 4 databases (ACE, MSISAM, other engines, other files, too short) and
// 3049 when the header itself is unusable. A password does not throw here:
// the caller decides (see has_password).
DatabaseHeader DecodeHeader(std::span<const std::uint8_t> file_start, const std::string& file_name);

}  // namespace jet
