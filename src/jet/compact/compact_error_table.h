#pragma once
// MSysCompactError, the table a repair adds to the database it writes when
// something could not be carried over: ErrorCode (Long), ErrorDescription
// (Memo), ErrorRecid (Binary, the damaged record's 4-byte row pointer) and
// ErrorTable (Text), one row per loss. It is declared like the tables Access
// lists as system objects: a catalog row under "Tables" flagged as a system
// object, and the permissions a table created by the engine gets.

#include <cstdint>
#include <string>
#include <vector>

#include "jet/compact/loss_log.h"
#include "jet/format/bytes_encode.h"
#include "jet/format/row_encode.h"
#include "jet/format/table_definition.h"

namespace jet::compact {

inline constexpr char kCompactErrorTableName[] = "MSysCompactError";
// MSysObjects.Flags of the table: a system object in Jet's and Access's sense.
inline constexpr std::uint32_t kCompactErrorObjectFlags = 0x80000002u;

TableDefinition CompactErrorDefinition(FormatVersion version, std::uint16_t code_page, std::uint16_t sort_order);

// A row for a table whose columns are found by name; unnamed columns stay
// NULL. Values are given in their stored form; the row keeps the bytes.
class NamedRow {
 public:
  explicit NamedRow(const TableDefinition& table);
  // False when the table has no such column.
  bool Set(const char* column, encode::Bytes stored);
  bool SetBoolean(const char* column, bool value);
  const std::vector<encode::FieldValue>& values();

 private:
  std::size_t Position(const char* column) const;  // columns.size() when absent
  const TableDefinition& table_;
  std::vector<encode::Bytes> stored_;
  std::vector<encode::FieldValue> values_;
};

// Stored bytes of simple values.
encode::Bytes StoredLong(std::int32_t value);
encode::Bytes StoredInteger(std::int16_t value);
encode::Bytes StoredDouble(double value);
encode::Bytes StoredText(const std::string& utf8, FormatVersion version, std::uint16_t code_page,
                         bool compressed_unicode, std::size_t max_bytes);

// The values of the MSysCompactError row for one loss.
void FillErrorRow(NamedRow& row, const Loss& loss, FormatVersion version, std::uint16_t code_page);

}  // namespace jet::compact
