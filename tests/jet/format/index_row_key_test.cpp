// Row keys from a table definition: column lookup, directions, nulls,
// collations we cover and those we must refuse to vouch for.

#include "jet/format/index_row_key.h"

#include <gtest/gtest.h>

namespace jet {
namespace {

ColumnDefinition Column(ColumnType type, std::uint16_t number, std::string name) {
  ColumnDefinition column;
  column.type = type;
  column.number = number;
  column.name = std::move(name);
  if (IsTextType(type)) column.sort_order = 1033;
  return column;
}

struct Fixture {
  TableDefinition table;
  RealIndexDefinition index;
  std::vector<std::vector<std::uint8_t>> storage;
  std::vector<KeyField> fields;
  KeyDatabaseSettings settings;

  Fixture() {
    // Column numbers deliberately differ from positions.
    table.columns = {Column(ColumnType::Long, 2, "id"), Column(ColumnType::Text, 5, "name"),
                     Column(ColumnType::Boolean, 7, "done")};
    storage = {{1, 0, 0, 0}, {'a', 0, 'b', 0}, {}};
    fields.resize(3);
    for (std::size_t i = 0; i < 3; ++i) fields[i] = KeyField{false, false, storage[i]};
    fields[2].bool_value = true;
  }
  KeyBytes Key(KeyCoverage* coverage = nullptr) {
    KeyBytes key;
    KeyCoverage c = ComputeRowKey(table, index, fields, settings, key);
    if (coverage) *coverage = c;
    return key;
  }
};

TEST(IndexRowKey, ConcatenatesColumnsInSlotOrder) {
  Fixture f;
  f.index.columns = {{5, true}, {2, false}, {7, true}};
  KeyCoverage coverage;
  const KeyBytes key = f.Key(&coverage);
  EXPECT_TRUE(coverage.covered) << coverage.reason;
  const KeyBytes expected = {0x7F, 0x4A, 0x4C, 0x01, 0x00,  // "ab"
                             0x80, 0x7F, 0xFF, 0xFF, 0xFE,  // 1 descending
                             0x7F, 0x00};                   // Yes
  EXPECT_EQ(key, expected);
}

TEST(IndexRowKey, NullsAndAllNullRows) {
  Fixture f;
  f.index.columns = {{2, true}, {5, false}};
  f.fields[0].is_null = true;
  f.fields[1].is_null = true;
  EXPECT_EQ(f.Key(), (KeyBytes{0x00, 0xFF}));
  EXPECT_TRUE(AllKeyColumnsNull(f.table, f.index, f.fields));
  f.fields[1].is_null = false;
  EXPECT_FALSE(AllKeyColumnsNull(f.table, f.index, f.fields));
  // A Boolean column is never null, so its rows always have a key.
  f.index.columns = {{7, true}};
  EXPECT_FALSE(AllKeyColumnsNull(f.table, f.index, f.fields));
}

TEST(IndexRowKey, RefusesWhatItCannotVouchFor) {
  Fixture f;
  KeyCoverage coverage;

  f.index.columns = {{9, true}};  // no such column
  f.Key(&coverage);
  EXPECT_FALSE(coverage.covered);

  f.index.columns = {{2, true}};
  f.storage[0] = {1, 2};  // a Long of two bytes
  f.fields[0].bytes = f.storage[0];
  f.Key(&coverage);
  EXPECT_FALSE(coverage.covered);
  EXPECT_NE(coverage.reason.find("id"), std::string::npos);

  f.index.columns = {{5, true}};
  f.table.columns[1].sort_order = 0x041D;  // a collation without tables
  f.Key(&coverage);
  EXPECT_FALSE(coverage.covered);
  f.table.columns[1].sort_order = 1033;
  f.table.columns[1].sort_order_version = 1;  // the 2010 "General" order
  f.Key(&coverage);
  EXPECT_FALSE(coverage.covered);

  f.table.columns[1] = Column(ColumnType::OLE, 5, "picture");
  f.Key(&coverage);
  EXPECT_FALSE(coverage.covered);
}

TEST(IndexRowKey, CollationFollowsColumnThenDatabase) {
  ColumnDefinition text = Column(ColumnType::Text, 1, "t");
  KeyDatabaseSettings jet4;
  EXPECT_EQ(TextOrderFor(text, jet4), TextKeyOrder::kGeneralLegacy);
  text.sort_order = 0;  // defer to the database
  EXPECT_EQ(TextOrderFor(text, jet4), TextKeyOrder::kGeneralLegacy);
  jet4.sort_order = 2052;
  EXPECT_EQ(TextOrderFor(text, jet4), std::nullopt);

  KeyDatabaseSettings jet3;
  jet3.version = FormatVersion::Jet3;
  text.sort_order = 1033;
  text.code_page = 1252;
  EXPECT_EQ(TextOrderFor(text, jet3), TextKeyOrder::kGeneral97);
  text.code_page = 936;  // GBK bytes are not keyed by the 1252 table
  EXPECT_EQ(TextOrderFor(text, jet3), std::nullopt);
  text.code_page = 0;
  jet3.code_page = 1252;
  EXPECT_EQ(TextOrderFor(text, jet3), TextKeyOrder::kGeneral97);
}

TEST(IndexRowKey, Jet3TextIsKeyedByItsBytes) {
  Fixture f;
  f.settings.version = FormatVersion::Jet3;
  f.table.columns[1].code_page = 1252;
  f.storage[1] = {'a', 0xE9};
  f.fields[1].bytes = f.storage[1];
  f.index.columns = {{5, true}};
  EXPECT_EQ(f.Key(), (KeyBytes{0x7F, 0x60, 0x66, 0x02, 0x40}));
}

TEST(IndexRowKey, Jet4TextUnitsExpandCompression) {
  const std::vector<std::uint8_t> plain = {'a', 0, 0x01, 0x04};
  EXPECT_EQ(Jet4TextUnits(plain), std::u16string(u"a\u0401"));
  // FF FE, "ab" one byte each, switch, U+0401, switch, "c".
  const std::vector<std::uint8_t> compressed = {0xFF, 0xFE, 'a', 'b', 0x00, 0x01, 0x04, 0x00, 'c'};
  EXPECT_EQ(Jet4TextUnits(compressed), std::u16string(u"ab\u0401c"));
  const std::vector<std::uint8_t> odd = {0xFF, 0xFE, 0x00, 0x41};  // truncated two-byte unit
  EXPECT_EQ(Jet4TextUnits(odd), std::u16string());
  EXPECT_EQ(Jet4TextUnits({}), std::u16string());
}

// Compressed text of one-byte characters is keyed without expanding it
// first; the key must be the one its UTF-16 form gives, in both directions.
TEST(IndexRowKey, CompressedTextKeysAsItsUnitsDo) {
  std::vector<std::u16string> texts = {u"plain words", u"trailing   ", u"it's co-op", u"caf\u00E9 \u00C5\u00C6\u00C7",
                                       u"gro\u00DFm\u00E4rkte", std::u16string(300, u'x')};
  for (char16_t c = 1; c < 256; ++c) texts.push_back(std::u16string{u'a', c, u'b'});
  for (const bool ascending : {true, false}) {
    for (const std::u16string& text : texts) {
      std::vector<std::uint8_t> compressed = {0xFF, 0xFE}, utf16;
      for (char16_t c : text) {
        compressed.push_back(static_cast<std::uint8_t>(c));
        utf16.push_back(static_cast<std::uint8_t>(c));
        utf16.push_back(0);
      }
      Fixture f;
      f.index.columns = {{5, ascending}};
      f.fields[1].bytes = compressed;
      const KeyBytes from_compressed = f.Key();
      f.fields[1].bytes = utf16;
      EXPECT_EQ(from_compressed, f.Key()) << "character " << static_cast<int>(text[1]) << " ascending " << ascending;
    }
  }
}

}  // namespace
}  // namespace jet
