#pragma once
// Encodes a table definition (TDEF) as one byte stream and splits it over as
// many TDEF pages as it needs.
// Layout: docs/jet-format.md, section 6.

#include <cstdint>
#include <vector>

#include "jet/format/bytes_encode.h"
#include "jet/format/table_definition.h"

namespace jet::encode {

// The definition stream from byte 0 of the first page to the closing FF FF;
// bytes 2-7 (free space / next page) are filled in by EncodeTdefPages. Counts
// (columns, indexes) come from the vectors, not from the stored count fields.
// code_page is used for Jet 3 names.
Bytes EncodeTdefStream(const TableDefinition& table, std::uint16_t code_page);

// Pages a stream of this length occupies.
std::size_t TdefPageCount(std::size_t stream_length, std::size_t page_size);

// The pages of the stream; pages[i] is the page number of the i-th page
// (pages.size() == TdefPageCount).
std::vector<Bytes> EncodeTdefPages(const Bytes& stream, FormatVersion version, const std::vector<std::uint32_t>& pages);

}  // namespace jet::encode
