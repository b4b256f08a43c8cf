#pragma once
// Memo and OLE values: the 12-byte header stored in the row, and the data
// inline, in one LVAL row, or in a chain of LVAL rows.
// Layout: docs/jet-format.md, section 7.

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "jet/format/table_definition.h"
#include "jet/io/byte_view.h"

namespace jet {

enum class LongValueKind : std::uint8_t { Inline, SingleRow, Chain, Invalid };

inline constexpr std::uint32_t kLongValueInlineBit = 0x80000000u;
inline constexpr std::uint32_t kLongValueSingleRowBit = 0x40000000u;
inline constexpr std::uint32_t kLongValueLengthMask = 0x3FFFFFFFu;
inline constexpr std::size_t kLongValueHeaderSize = 12;

struct LongValueHeader {
  std::uint32_t length = 0;
  LongValueKind kind = LongValueKind::Invalid;
  RowPointer first_row;      // SingleRow and Chain
  std::uint32_t unknown = 0;  // bytes 8-11
};

// Throws 3049 when the field is shorter than a header.
LongValueHeader DecodeLongValueHeader(const io::ByteView& field);

// Fetches the bytes of one LVAL row (deleted rows included: Access flags
// nothing there, but damaged files may). Throws 3049 when it does not exist.
using LongValueRowFetcher = std::function<io::ByteView(RowPointer)>;

// Assembles the whole value into `out` (replaced). `max_length` bounds the
// declared length (the file size is a natural bound). Throws 3049 on a value
// that does not fit, a broken or looping chain.
void AssembleLongValue(const io::ByteView& field, const LongValueRowFetcher& fetch, std::size_t max_length,
                       std::vector<std::uint8_t>& out);

// The value where it lies in one piece (inline, or in a single row), so that
// it need not be copied; nullopt for a chain, which AssembleLongValue joins.
// Throws as AssembleLongValue does.
std::optional<io::ByteView> LongValueInOnePiece(const io::ByteView& field, const LongValueRowFetcher& fetch,
                                                std::size_t max_length);

}  // namespace jet
