#pragma once
// Property blobs (MSysObjects.LvProp): the properties of an object and of
// its columns and indexes, e.g. the database's AccessVersion. The engine
// copies these blobs unread; tests decode them to see what a file says.

#include <cstdint>
#include <string>
#include <vector>

#include "jet/format/format_constants.h"
#include "jet/io/byte_view.h"

namespace vondrel::testing {

struct PropertyValue {
  std::string name;
  std::uint8_t ddl_flag = 0;
  std::uint8_t type = 0;  // column type code of the value
  std::vector<std::uint8_t> data;
};

struct PropertyBlock {
  std::uint16_t chunk_type = 0;  // 0x0000 the object itself, 0x0001 a column or index
  std::string name;              // empty for the object itself
  std::vector<PropertyValue> values;
};

// Decodes a whole blob ("KKD\0" Jet 3, "MR2\0" Jet 4). `code_page` decodes
// Jet 3 names. Throws 3049 when the blob is malformed.
std::vector<PropertyBlock> DecodePropertyBlob(const jet::io::ByteView& blob, jet::FormatVersion version,
                                              std::uint16_t code_page);

}  // namespace vondrel::testing
