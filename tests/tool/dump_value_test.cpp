// The comparison form of `dump`, which must print exactly what
// tests/oracle/dump.mjs prints for mdb-reader's values.
#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "vondrel-jet/dump_value.h"
#include "tool/stored_value_bytes.h"

namespace vondrel::jet_tool {
namespace {

using jet::ColumnType;

std::string Dump(ColumnType type, const std::vector<std::uint8_t>& bytes, bool present = true,
                 jet::FormatVersion version = jet::FormatVersion::Jet4) {
  std::string out;
  AppendDumpField(out, DumpField{type, 0, present, Bytes(bytes.data(), bytes.size())}, version);
  return out;
}

TEST(DumpValue, JsonEscapesLikeJavaScript) {
  std::string out;
  AppendJsonUtf16(out, u"a\"b\\c\n\r\t\b\f\x01\x1f\x7f\u00e9\u20ac");
  EXPECT_EQ(out, "\"a\\\"b\\\\c\\n\\r\\t\\b\\f\\u0001\\u001f\x7f\xc3\xa9\xe2\x82\xac\"");
  out.clear();
  // A pair becomes one UTF-8 character; a lone surrogate stays an escape.
  AppendJsonUtf16(out, std::u16string{0xD83D, 0xDE00, u'x', 0xDC00, 0xD800});
  EXPECT_EQ(out, "\"\xF0\x9F\x98\x80x\\udc00\\ud800\"");
  out.clear();
  AppendJsonUtf8(out, "Ums\xC3\xA4tze \xF0\x9F\x98\x80 \xFF");
  EXPECT_EQ(out, "\"Ums\xC3\xA4tze \xF0\x9F\x98\x80 \xEF\xBF\xBD\"");
}

TEST(DumpValue, DecimalsLoseTrailingZeros) {
  EXPECT_EQ(CanonicalDecimal("3.5000"), "3.5");
  EXPECT_EQ(CanonicalDecimal("0.0000"), "0");
  EXPECT_EQ(CanonicalDecimal("-0.00"), "0");
  EXPECT_EQ(CanonicalDecimal("-0012.3400"), "-12.34");
  EXPECT_EQ(CanonicalDecimal("42"), "42");
  EXPECT_EQ(CanonicalDecimal("-0.0000354560"), "-0.000035456");
}

TEST(DumpValue, DatesAreRoundedMillisecondsSince1970) {
  EXPECT_EQ(UnixMillisecondsToken(25569.0), "t:0");
  EXPECT_EQ(UnixMillisecondsToken(25570.5), "t:129600000");
  EXPECT_EQ(UnixMillisecondsToken(0.0), "t:-2209161600000");
  EXPECT_EQ(UnixMillisecondsToken(1e12), "t:invalid");
  EXPECT_EQ(UnixMillisecondsToken(std::nan("")), "t:invalid");
}

TEST(DumpValue, ValuesKeepEveryStoredBit) {
  EXPECT_EQ(Dump(ColumnType::Long, {1, 2, 3, 4}, false), "null");
  EXPECT_EQ(Dump(ColumnType::Boolean, {}, true), "true");
  EXPECT_EQ(Dump(ColumnType::Boolean, {}, false), "false");
  EXPECT_EQ(Dump(ColumnType::Integer, {0xFE, 0xFF}), "-2");
  EXPECT_EQ(Dump(ColumnType::Currency, {0xB8, 0x88, 0, 0, 0, 0, 0, 0}), "3.5");
  EXPECT_EQ(Dump(ColumnType::Double, DoubleBytes(0.1)), "f:3fb999999999999a");
  EXPECT_EQ(Dump(ColumnType::Single, {0, 0, 0x80, 0x3F}), "f:3ff0000000000000");
  EXPECT_EQ(Dump(ColumnType::Double, DoubleBytes(std::nan(""))), "f:nan");
  EXPECT_EQ(Dump(ColumnType::Binary, {0xE4, 0xA1, 0x00, 0x07}), "x:e4a10007");
  EXPECT_EQ(Dump(ColumnType::OLE, {}), "x:");
  EXPECT_EQ(Dump(ColumnType::Guid, {0x3A, 0x30, 0x63, 0x9C, 0xB8, 0x53, 0x4D, 0x47, 0xAC, 0xC1, 0xD2, 0xEB, 0x8D,
                                    0x0B, 0x09, 0xD5}),
            "g:9c63303a-53b8-474d-acc1-d2eb8d0b09d5");
  EXPECT_EQ(Dump(ColumnType::DateTime, DoubleBytes(25569.0)), "t:0");
  EXPECT_EQ(Dump(ColumnType::FixedBinary, {1, 2}), "?");
  EXPECT_EQ(Dump(ColumnType::Long, {1}), "?") << "short fields are marked, not read beyond";
}

TEST(DumpValue, TextKeepsNulsAndReadsJet3AsWindows1252) {
  EXPECT_EQ(Dump(ColumnType::Text, {'a', 0, 0, 0, 'b', 0}), "\"a\\u0000b\"");
  EXPECT_EQ(Dump(ColumnType::Memo, {0xFF, 0xFE, 'h', 'i'}), "\"hi\"");
  EXPECT_EQ(Dump(ColumnType::Text, {'a', 0x80, 0x81, 0xE4}, true, jet::FormatVersion::Jet3),
            "\"a\xE2\x82\xAC\xEF\xBF\xBD\xC3\xA4\"");
}

}  // namespace
}  // namespace vondrel::jet_tool
