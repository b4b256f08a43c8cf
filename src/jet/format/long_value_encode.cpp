#include "jet/format/long_value_encode.h"

#include <stdexcept>

namespace jet::encode {

Bytes EncodeInlineLongValue(const std::uint8_t* data, std::size_t length) {
  if (length > kLongValueLengthMask) throw std::invalid_argument("long value too long");
  Bytes field(kLongValueHeaderSize + length, 0);
  PutU32(field, 0, kLongValueInline | static_cast<std::uint32_t>(length));
  PutBytes(field, kLongValueHeaderSize, data, length);
  return field;
}

Bytes EncodeLongValueReference(std::size_t length, RowPointer first, bool single_row) {
  if (length > kLongValueLengthMask) throw std::invalid_argument("long value too long");
  Bytes field(kLongValueHeaderSize, 0);
  PutU32(field, 0, (single_row ? kLongValueSingleRow : 0u) | static_cast<std::uint32_t>(length));
  PutU32(field, 4, first.ToRaw());
  return field;
}

Bytes EncodeLongValueChainRow(RowPointer next, const std::uint8_t* chunk, std::size_t length) {
  Bytes row(4 + length);
  PutU32(row, 0, next.ToRaw());
  PutBytes(row, 4, chunk, length);
  return row;
}

}  // namespace jet::encode
