#pragma once
// Page 0 of a database written by this engine. The header starts from the
// source's page 0 where there is one (bytes this engine does not understand
// are kept), or from the constants every freshly created file carries.
// Layout: docs/jet-format.md, section 3.

#include <cstdint>
#include <optional>

#include "jet/format/bytes_encode.h"
#include "jet/format/format_constants.h"

namespace jet::encode {

struct HeaderSettings {
  FormatVersion version = FormatVersion::Jet4;
  std::uint16_t code_page = 1252;
  std::uint16_t sort_order = 1033;       // LCID of the default collation
  std::uint8_t sort_order_version = 0;   // Jet 4: 0 = General legacy
  std::uint32_t database_key = 0;        // non-zero: pages 1.. are RC4-encrypted
  double creation_date = 0;              // Jet 4 only; used when there is no source header
};

// The unmasked page 0: the source page (already unmasked) when given, with
// version, code page, sort order, database key and the commit area set; the
// creation date and password area of a source are kept, because the Jet 4
// password and SID masks derive from them.
Bytes BuildHeaderPage(const HeaderSettings& settings, const Bytes* unmasked_source);

// The bytes to store: the unmasked header with its masked area scrambled.
Bytes MaskHeaderPage(Bytes unmasked, FormatVersion version);

}  // namespace jet::encode
