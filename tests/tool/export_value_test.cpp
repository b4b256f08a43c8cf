// The CSV dialect of `export`, value by value, from stored bytes.
#include <cstring>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

#include "vondrel-jet/export_text.h"
#include "vondrel-jet/export_value.h"
#include "tool/stored_value_bytes.h"

namespace vondrel::jet_tool {
namespace {

using jet::ColumnType;

std::vector<std::uint8_t> Utf16(const std::u16string& text) {
  std::vector<std::uint8_t> bytes;
  for (char16_t unit : text) {
    bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
  }
  return bytes;
}

// A Decimal as stored: sign byte, then the 128-bit magnitude (`high` * 2^64 +
// `low`) as four little-endian 32-bit words, most significant word first.
std::vector<std::uint8_t> DecimalBytes(bool negative, std::uint64_t low, std::uint64_t high = 0) {
  std::vector<std::uint8_t> bytes{static_cast<std::uint8_t>(negative ? 0x80 : 0)};
  for (std::uint64_t half : {high, low}) {
    for (int word = 1; word >= 0; --word) {
      auto w = LittleEndianBytes(static_cast<std::uint32_t>(half >> (32 * word)), 4);
      bytes.insert(bytes.end(), w.begin(), w.end());
    }
  }
  return bytes;
}

class ExportFieldTest : public ::testing::Test {
 protected:
  std::string Field(ColumnType type, const std::vector<std::uint8_t>& bytes, bool present = true,
                    std::uint8_t scale = 0, jet::FormatVersion version = jet::FormatVersion::Jet4) {
    ExportTextDecoder decoder(version, 1252);
    std::string out;
    AppendExportField(out, ExportField{type, scale, present, Bytes(bytes.data(), bytes.size())}, decoder);
    return out;
  }
};

TEST_F(ExportFieldTest, NullPrintsNothingAndBooleanIsADigit) {
  EXPECT_EQ(Field(ColumnType::Long, LittleEndianBytes(5, 4), false), "");
  EXPECT_EQ(Field(ColumnType::Text, Utf16(u"x"), false), "");
  EXPECT_EQ(Field(ColumnType::OLE, {1, 2}, false), "");
  EXPECT_EQ(Field(ColumnType::Boolean, {}, true), "1");
  EXPECT_EQ(Field(ColumnType::Boolean, {}, false), "0");
}

TEST_F(ExportFieldTest, IntegersAreSignedExceptByte) {
  EXPECT_EQ(Field(ColumnType::Byte, {0xFF}), "255");
  EXPECT_EQ(Field(ColumnType::Integer, {0xFF, 0xFF}), "-1");
  EXPECT_EQ(Field(ColumnType::Integer, LittleEndianBytes(222, 2)), "222");
  EXPECT_EQ(Field(ColumnType::Long, LittleEndianBytes(0x80000000u, 4)), "-2147483648");
  EXPECT_EQ(Field(ColumnType::Long, LittleEndianBytes(333333333, 4)), "333333333");
}

TEST_F(ExportFieldTest, CurrencyHasFourDecimals) {
  EXPECT_EQ(FormatCurrency(0), "0.0000");
  EXPECT_EQ(FormatCurrency(35000), "3.5000");
  EXPECT_EQ(FormatCurrency(-1), "-0.0001");
  EXPECT_EQ(FormatCurrency(-127500), "-12.7500");
  EXPECT_EQ(FormatCurrency(std::numeric_limits<std::int64_t>::max()), "922337203685477.5807");
  EXPECT_EQ(FormatCurrency(std::numeric_limits<std::int64_t>::min()), "-922337203685477.5808");
  EXPECT_EQ(Field(ColumnType::Currency, LittleEndianBytes(static_cast<std::uint64_t>(-180000), 8)), "-18.0000");
}

TEST_F(ExportFieldTest, DecimalPlacesThePointByScale) {
  EXPECT_EQ(FormatDecimal(DecimalBytes(false, 0), 10), "0.0000000000");
  EXPECT_EQ(FormatDecimal(DecimalBytes(false, 32450000000000ull), 10), "3245.0000000000");
  EXPECT_EQ(FormatDecimal(DecimalBytes(true, 354560), 10), "-0.0000354560");
  EXPECT_EQ(FormatDecimal(DecimalBytes(false, 42), 0), "42");
  // The sign byte alone makes a negative zero.
  EXPECT_EQ(FormatDecimal(DecimalBytes(true, 0), 2), "-0.00");
  // Words are most significant first: the high word alone is 2^96.
  EXPECT_EQ(FormatDecimal(DecimalBytes(false, 0, std::uint64_t{1} << 32), 0), "79228162514264337593543950336");
  EXPECT_EQ(FormatDecimal(DecimalBytes(false, ~std::uint64_t{0}, ~std::uint64_t{0}), 0),
            "340282366920938463463374607431768211455");
  // Every word carries its remainder into the next: 2^64 + 1 and 2^32 * 10^9 + 7.
  EXPECT_EQ(FormatDecimal(DecimalBytes(false, 1, 1), 0), "18446744073709551617");
  EXPECT_EQ(FormatDecimal(DecimalBytes(false, 4294967296000000007ull), 3), "4294967296000000.007");
  EXPECT_EQ(FormatDecimal(std::vector<std::uint8_t>{1, 2, 3}, 0), "") << "short stored bytes print nothing";
  EXPECT_EQ(Field(ColumnType::Numeric, DecimalBytes(false, 12345), true, 2), "123.45");
}

TEST_F(ExportFieldTest, FloatingPointUsesEightAndSixteenDigits) {
  EXPECT_EQ(FormatSingle(444.555f), "444.55499");
  EXPECT_EQ(FormatSingle(0.0f), "0");
  EXPECT_EQ(FormatSingle(1e20f), "1e+20");
  EXPECT_EQ(FormatSingle(1.0f / 3.0f), "0.33333334");
  EXPECT_EQ(FormatSingle(0.1f), "0.1") << "the float's extra digits stay hidden";
  EXPECT_EQ(FormatDouble(444.555), "444.555");
  EXPECT_EQ(FormatDouble(0.1), "0.1");
  EXPECT_EQ(FormatDouble(-2.5e-7), "-2.5e-07");
  EXPECT_EQ(FormatDouble(123456789012345678.0), "1.234567890123457e+17");
  float single = 3.25f;
  std::uint32_t bits;
  std::memcpy(&bits, &single, sizeof bits);
  EXPECT_EQ(Field(ColumnType::Single, LittleEndianBytes(bits, 4)), "3.25");
  EXPECT_EQ(Field(ColumnType::Double, DoubleBytes(-1.5)), "-1.5");
}

TEST_F(ExportFieldTest, DatesCountDaysFrom1899AndRoundToTheSecond) {
  EXPECT_EQ(FormatDateTime(0.0), "1899-12-30 00:00:00");
  EXPECT_EQ(FormatDateTime(1.0), "1899-12-31 00:00:00");
  EXPECT_EQ(FormatDateTime(2.0), "1900-01-01 00:00:00");
  EXPECT_EQ(FormatDateTime(29932.0), "1981-12-12 00:00:00");
  EXPECT_EQ(FormatDateTime(36585.5), "2000-02-29 12:00:00");
  EXPECT_EQ(FormatDateTime(36586.0 + (13 * 3600 + 14 * 60 + 15) / 86400.0), "2000-03-01 13:14:15");
  EXPECT_EQ(FormatDateTime(73051.0), "2100-01-01 00:00:00");
  // A time within half a second of midnight stays on its day as hour 24.
  EXPECT_EQ(FormatDateTime(1.0 - 0.1 / 86400.0), "1899-12-30 24:00:00");
  // Outside 0 .. 1e6 days mdb-export prints an empty calendar time.
  EXPECT_EQ(FormatDateTime(-1.25), "1900-01-00 00:00:00");
  EXPECT_EQ(FormatDateTime(2e6), "1900-01-00 00:00:00");
  EXPECT_EQ(FormatDateTime(std::numeric_limits<double>::quiet_NaN()), "1900-01-00 00:00:00");
  EXPECT_EQ(Field(ColumnType::DateTime, DoubleBytes(29932.0)), "\"1981-12-12 00:00:00\"");
}

TEST_F(ExportFieldTest, TextIsQuotedWithDoubledQuotes) {
  EXPECT_EQ(Field(ColumnType::Text, Utf16(u"abc")), "\"abc\"");
  EXPECT_EQ(Field(ColumnType::Text, Utf16(u"say \"hi\"\r\nbye")), "\"say \"\"hi\"\"\r\nbye\"");
  EXPECT_EQ(Field(ColumnType::Memo, Utf16(u"a,b")), "\"a,b\"");
  // An empty string prints like NULL.
  EXPECT_EQ(Field(ColumnType::Text, {}), "");
  // The value ends at its first NUL character.
  EXPECT_EQ(Field(ColumnType::Text, Utf16(std::u16string(u"ab\0cd", 5))), "\"ab\"");
}

TEST_F(ExportFieldTest, BinaryIsHexUpToTheFirstZeroByte) {
  EXPECT_EQ(Field(ColumnType::Binary, {0xE4, 0xA1, 0x00, 0x07}), "\"E4A1\"");
  EXPECT_EQ(Field(ColumnType::Binary, {0x00, 0x07}), "");
  EXPECT_EQ(Field(ColumnType::OLE, {0x00, 0xAB, 0x0C}), "\"00AB0C\"") << "OLE values are complete";
  EXPECT_EQ(Field(ColumnType::OLE, {}), "\"\"");
}

TEST_F(ExportFieldTest, GuidPrintsTheHexOfItsBracedText) {
  std::vector<std::uint8_t> guid{0x3A, 0x30, 0x63, 0x9C, 0xB8, 0x53, 0x4D, 0x47,
                                 0xAC, 0xC1, 0xD2, 0xEB, 0x8D, 0x0B, 0x09, 0xD5};
  EXPECT_EQ(GuidText(guid), "{9C63303A-53B8-474D-ACC1D2EB8D0B09D5}");
  EXPECT_EQ(Field(ColumnType::Guid, guid),
            "\"7B39433633333033412D353342382D343734442D41434331443245423844304230394435"
            "7D\"");
}

TEST_F(ExportFieldTest, TypesWithoutATextFormPrintNothing) {
  EXPECT_EQ(Field(ColumnType::FixedBinary, {1, 2, 3}), "");
  EXPECT_EQ(Field(ColumnType::Unknown0D, {1, 2, 3}), "");
}

TEST_F(ExportFieldTest, DamagedShortFieldsPrintNothing) {
  EXPECT_EQ(Field(ColumnType::Long, {1, 2}), "");
  EXPECT_EQ(Field(ColumnType::Double, {1, 2, 3}), "");
  EXPECT_EQ(Field(ColumnType::Guid, {1, 2, 3}), "");
}

TEST(ExportTextTest, Jet4CompressedUnicodeTogglesModes) {
  ExportTextDecoder decoder(jet::FormatVersion::Jet4, 1252);
  // "ab", then a switch to two-byte units for U+0416, then back for "c".
  std::vector<std::uint8_t> stored{0xFF, 0xFE, 'a', 'b', 0x00, 0x16, 0x04, 0x00, 'c'};
  EXPECT_EQ(decoder.Decode(stored), "ab\xD0\x96" "c");
  EXPECT_EQ(ExpandCompressedUnicode(std::vector<std::uint8_t>{'x', 0x00, 0x41}), std::string("x\0", 2))
      << "a dangling half unit ends the value";
  std::vector<std::uint8_t> marker_only{0xFF, 0xFE};
  EXPECT_EQ(decoder.Decode(marker_only), "");
}

TEST(ExportTextTest, Jet4UnconvertibleUnitsBecomeQuestionMarks) {
  ExportTextDecoder decoder(jet::FormatVersion::Jet4, 1252);
  // A surrogate pair is two unconvertible UCS-2 units.
  EXPECT_EQ(decoder.Decode(Utf16(u"a\U0001F600b")), "a??b");
  std::vector<std::uint8_t> odd{'a', 0, 'b'};
  EXPECT_EQ(decoder.Decode(odd), "a") << "an odd trailing byte is dropped";
}

TEST(ExportTextTest, Jet3TextUsesTheCodePage) {
  ExportTextDecoder western(jet::FormatVersion::Jet3, 1252);
  std::vector<std::uint8_t> umlaut{'U', 'm', 's', 0xE4, 't', 'z', 'e', 0x80};
  EXPECT_EQ(western.Decode(umlaut), "Ums\xC3\xA4tze\xE2\x82\xAC");
  std::vector<std::uint8_t> undefined{'a', 0x81, 'b'};
  EXPECT_EQ(western.Decode(undefined), "a?b");
  ExportTextDecoder cyrillic(jet::FormatVersion::Jet3, 1251);
  EXPECT_EQ(cyrillic.Decode(std::vector<std::uint8_t>{0xC0, 0xFF, 0x98}), "\xD0\x90\xD1\x8F?");
  ExportTextDecoder dos(jet::FormatVersion::Jet3, 437);
  EXPECT_EQ(dos.Decode(std::vector<std::uint8_t>{0x80, 0xDB}), "\xC3\x87\xE2\x96\x88");
  ExportTextDecoder unknown(jet::FormatVersion::Jet3, 12345);
  EXPECT_EQ(unknown.Decode(std::vector<std::uint8_t>{0xE9}), "\xC3\xA9") << "unknown code pages read as 1252";
  EXPECT_FALSE(ExportTextDecoder::Knows(12345));
  EXPECT_TRUE(ExportTextDecoder::Knows(1251));
}

TEST(ExportTextTest, Jet3UnicodeCodePagesMarkEachBadByte) {
  ExportTextDecoder utf8(jet::FormatVersion::Jet3, 65001);
  EXPECT_EQ(utf8.Decode(std::vector<std::uint8_t>{'a', 0xC3, 0xA9, 0xC0, 0xAF, 0xE2, 0x82}), "a\xC3\xA9????");
  ExportTextDecoder utf16(jet::FormatVersion::Jet3, 1200);
  // A pair decodes whole; a high surrogate cut short at the end is one mark per byte.
  std::vector<std::uint8_t> units{0x3D, 0xD8, 0x00, 0xDE, 'b', 0, 0x3D, 0xD8};
  EXPECT_EQ(utf16.Decode(units), "\xF0\x9F\x98\x80" "b??");
}

// Multi-byte code pages need the C library's converter, which Windows builds lack.
TEST(ExportTextTest, Jet3MultiByteCodePagesWhereTheLibraryKnowsThem) {
  if (!ExportTextDecoder::Knows(936)) GTEST_SKIP() << "no iconv for code page 936 here";
  ExportTextDecoder chinese(jet::FormatVersion::Jet3, 936);
  std::vector<std::uint8_t> gbk{0xD6, 0xD0, 0xCE, 0xC4};  // "中文"
  EXPECT_EQ(chinese.Decode(gbk), "\xE4\xB8\xAD\xE6\x96\x87");
}

TEST(ExportTextTest, LongTextStopsAtTheExportLimit) {
  ExportTextDecoder decoder(jet::FormatVersion::Jet4, 1252);
  std::vector<std::uint8_t> stored = Utf16(std::u16string(kExportTextLimit + 10, u'x'));
  EXPECT_EQ(decoder.Decode(stored).size(), kExportTextLimit);
  // Three-byte characters are never cut in half.
  std::vector<std::uint8_t> wide = Utf16(std::u16string(kExportTextLimit / 3 + 5, u'\u20AC'));
  std::string decoded = decoder.Decode(wide);
  EXPECT_EQ(decoded.size(), kExportTextLimit / 3 * 3);
}

}  // namespace
}  // namespace vondrel::jet_tool
