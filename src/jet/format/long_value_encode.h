#pragma once
// Long values (memo, OLE): the 12-byte field stored in the row, and the rows
// that carry the data on LVAL pages.
// Layout: docs/jet-format.md, section 7.

#include <cstddef>
#include <cstdint>

#include "jet/format/bytes_encode.h"
#include "jet/format/table_definition.h"

namespace jet::encode {

inline constexpr std::uint32_t kLongValueInline = 0x80000000u;
inline constexpr std::uint32_t kLongValueSingleRow = 0x40000000u;
inline constexpr std::uint32_t kLongValueLengthMask = 0x3FFFFFFFu;
inline constexpr std::size_t kLongValueHeaderSize = 12;
// Largest value kept inside the row.
inline constexpr std::size_t kLongValueInlineLimit = 64;

// The row field of a value stored inside the row.
Bytes EncodeInlineLongValue(const std::uint8_t* data, std::size_t length);
// The row field of a value on one LVAL row, or a chain starting at `first`.
Bytes EncodeLongValueReference(std::size_t length, RowPointer first, bool single_row);
// A chain row: the pointer to the next chunk's row (null for the last) and the chunk.
Bytes EncodeLongValueChainRow(RowPointer next, const std::uint8_t* chunk, std::size_t length);

}  // namespace jet::encode
