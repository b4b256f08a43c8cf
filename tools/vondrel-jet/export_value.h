#pragma once
// One field of a row as `export` prints it: the CSV dialect of
// `mdb-export -b hex -D '%Y-%m-%d %H:%M:%S' -T '%Y-%m-%d %H:%M:%S'`, so the
// two tools' outputs can be compared byte for byte.
//
// What that dialect looks like:
// - NULL, and any value that prints as nothing (empty text, binary starting
//   with a 0x00 byte), is an empty unquoted field.
// - Numbers are unquoted: Byte/Integer/Long as integers, Single as %.8g,
//   Double as %.16g, Currency with four decimals, Decimal with its scale.
// - Yes/No is 1 or 0.
// - Text, Memo and Date/Time are quoted with "..." and an inner quote doubled.
// - Binary, OLE and GUID values are quoted upper-case hex. Binary stops at its
//   first 0x00 byte; a GUID prints the hex of its "{XXXXXXXX-...}" text.
// - Rows come in storage order: a row moved to another page (overflow) is
//   printed where its bytes are, as mdb-export meets it.

#include <cstdint>
#include <string>

#include "export_text.h"
#include "jet/format/table_definition.h"

namespace vondrel::jet_tool {

struct ExportField {
  jet::ColumnType type = jet::ColumnType::Text;
  std::uint8_t scale = 0;   // Decimal columns
  bool present = false;     // false = NULL (Boolean: the value No)
  Bytes bytes;              // stored bytes; the whole value for memo/OLE
};

void AppendExportField(std::string& out, const ExportField& field, const ExportTextDecoder& text);

// The pieces, exposed for tests.
std::string FormatCurrency(std::int64_t ten_thousandths);
// 17 stored bytes: sign byte, then four little-endian 32-bit words, most
// significant first.
std::string FormatDecimal(Bytes stored, std::uint8_t scale);
std::string FormatSingle(float value);
std::string FormatDouble(double value);
// Days since 1899-12-30 as "YYYY-MM-DD HH:MM:SS". Values below 0 or above
// 1e6 days print as "1900-01-00 00:00:00", as mdb-export prints them.
std::string FormatDateTime(double days);
// "{XXXXXXXX-XXXX-XXXX-XXXXXXXXXXXXXXXX}" of 16 stored bytes: the first three
// groups little-endian, the last eight bytes as stored (mdb-export's form,
// which has no dash after the fourth group).
std::string GuidText(Bytes stored);
void AppendQuoted(std::string& out, const std::string& text);
void AppendHex(std::string& out, Bytes bytes);

}  // namespace vondrel::jet_tool
