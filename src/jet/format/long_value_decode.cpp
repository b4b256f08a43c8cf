#include "jet/format/long_value_decode.h"

#include <algorithm>
#include <set>

namespace jet {

LongValueHeader DecodeLongValueHeader(const io::ByteView& field) {
  if (field.size() < kLongValueHeaderSize) field.Fail("a memo or OLE field is shorter than its 12-byte header");
  LongValueHeader header;
  const std::uint32_t word = field.U32(0);
  header.length = word & kLongValueLengthMask;
  switch (word & ~kLongValueLengthMask) {
    case kLongValueInlineBit: header.kind = LongValueKind::Inline; break;
    case kLongValueSingleRowBit: header.kind = LongValueKind::SingleRow; break;
    case 0: header.kind = LongValueKind::Chain; break;
    default: header.kind = LongValueKind::Invalid; break;
  }
  header.first_row = RowPointer::FromRaw(field.U32(4));
  header.unknown = field.U32(8);
  return header;
}

std::optional<io::ByteView> LongValueInOnePiece(const io::ByteView& field, const LongValueRowFetcher& fetch,
                                                std::size_t max_length) {
  const LongValueHeader header = DecodeLongValueHeader(field);
  if (header.length > max_length)
    field.Fail("a memo or OLE value claims " + std::to_string(header.length) + " bytes, more than the file holds");
  switch (header.kind) {
    case LongValueKind::Inline: return field.Sub(kLongValueHeaderSize, header.length, "inline long value");
    case LongValueKind::SingleRow: return fetch(header.first_row).Sub(0, header.length, "long value row");
    case LongValueKind::Chain: return std::nullopt;
    case LongValueKind::Invalid: break;
  }
  field.Fail("a memo or OLE header has an unknown kind");
}

void AssembleLongValue(const io::ByteView& field, const LongValueRowFetcher& fetch, std::size_t max_length,
                       std::vector<std::uint8_t>& out) {
  out.clear();
  if (const std::optional<io::ByteView> piece = LongValueInOnePiece(field, fetch, max_length)) {
    out.assign(piece->data(), piece->data() + piece->size());
    return;
  }
  const LongValueHeader header = DecodeLongValueHeader(field);
  out.reserve(header.length);
  std::set<RowPointer> seen;
  RowPointer next = header.first_row;
  while (out.size() < header.length) {
    if (next.IsNull()) field.Fail("a memo or OLE chain ends before its declared length");
    if (!seen.insert(next).second) field.Fail("a memo or OLE chain loops");
    io::ByteView row = fetch(next);
    if (row.size() <= 4) row.Fail("a memo or OLE chain row holds no data");
    next = RowPointer::FromRaw(row.U32(0));
    const std::size_t take = std::min(row.size() - 4, header.length - out.size());
    out.insert(out.end(), row.data() + 4, row.data() + 4 + take);
  }
}

}  // namespace jet
