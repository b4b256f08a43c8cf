#pragma once
// The comparison form of a field that `dump` prints: one token per value that
// keeps everything a reader can get wrong (every byte of binary values, every
// UTF-16 code unit of text, the exact bits of floating-point numbers) and
// nothing a printer may choose (quoting, trailing zeros, date formats). The
// conformance tests print mdb-reader's rows in the same form.
//
//   null | true | false | integers as digits | Currency and Decimal without
//   trailing zeros | f:<16 hex digits of the IEEE double> (Single widened) or
//   f:nan | t:<milliseconds since 1970-01-01, rounded> or t:invalid |
//   x:<lower-case hex> for Binary and OLE | g:<lower-case GUID> | a JSON
//   string for Text and Memo | ? for types without a value form.
//
// Jet 3 text is read as Windows-1252 (undefined bytes as U+FFFD) whatever the
// database's code page, so the form compares stored bytes.

#include <string>

#include "export_text.h"
#include "jet/format/format_constants.h"
#include "jet/format/table_definition.h"

namespace vondrel::jet_tool {

struct DumpField {
  jet::ColumnType type = jet::ColumnType::Text;
  std::uint8_t scale = 0;
  bool present = false;  // false = NULL (Boolean: No)
  Bytes bytes;           // the whole value for memo/OLE
};

void AppendDumpField(std::string& out, const DumpField& field, jet::FormatVersion version);

// JSON string literal of UTF-16 code units, escaped as JavaScript's
// JSON.stringify escapes them (lone surrogates as \udXXX).
void AppendJsonUtf16(std::string& out, const std::u16string& units);
// The same for UTF-8 text (bad UTF-8 as U+FFFD, as base/unicode.h says).
void AppendJsonUtf8(std::string& out, const std::string& text);
// "-0012.3400" -> "-12.34", "-0.000" -> "0".
std::string CanonicalDecimal(const std::string& text);
// JavaScript's Math.round((days - 25569) * 86400 * 1000), or nothing outside
// the range of a JavaScript Date.
std::string UnixMillisecondsToken(double days);

}  // namespace vondrel::jet_tool
