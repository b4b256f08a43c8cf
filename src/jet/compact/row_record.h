#pragma once
// One source row as the key-order copy keeps it between reading and writing:
// where it was listed, its fields with long values assembled, and what went
// wrong while reading it (reported when the row is written, so that losses
// keep the order of the rows). Encoded into one byte string for RowSorter.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "jet/format/row_decode.h"
#include "jet/format/table_definition.h"

namespace jet::compact {

struct RowEvent {
  enum class Kind : std::uint8_t { Mended, DamagedValue };
  Kind kind = Kind::Mended;
  std::uint16_t column = 0;  // DamagedValue: position in the table's columns
  std::int32_t number = 0;
  std::string description;
};

struct RowRecord {
  RowPointer pointer;    // where the row's bytes were
  RowPointer listed_at;  // the slot indexes name
  std::vector<RowEvent> events;
  std::vector<StoredField> fields;  // views into the decoded bytes
};

// The size of the record EncodeRowRecord writes.
std::size_t RowRecordSize(std::span<const RowEvent> events, std::span<const StoredField> fields);
// Writes the record into the RowRecordSize() bytes at `out`.
void EncodeRowRecord(RowPointer pointer, RowPointer listed_at, std::span<const RowEvent> events,
                     std::span<const StoredField> fields, std::uint8_t* out);
// Decodes into `record`, whose fields then view `bytes`.
void DecodeRowRecord(std::span<const std::uint8_t> bytes, RowRecord& record);

}  // namespace jet::compact
