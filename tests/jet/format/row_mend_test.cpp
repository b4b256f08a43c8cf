// Rows whose variable-column offsets were damaged in one entry: read back as
// written when the row's structure allows exactly one reading, refused when
// it allows none or several.

#include "jet/format/row_mend.h"

#include <gtest/gtest.h>

#include "base/error.h"
#include "byte_builder.h"

namespace jet {
namespace {

using testing::Append16;
using testing::Append32;
using testing::AppendUtf16;

ColumnDefinition Variable(std::uint16_t number, ColumnType type, std::uint16_t slot, std::uint16_t length) {
  ColumnDefinition column;
  column.number = number;
  column.type = type;
  column.var_index = slot;
  column.length = length;
  column.name = "c" + std::to_string(number);
  return column;
}

// Jet 4: Id (Long, fixed), A (Text, 20 characters), B (Text), Notes (Memo).
TableDefinition Table() {
  TableDefinition table;
  table.version = FormatVersion::Jet4;
  ColumnDefinition id;
  id.number = 0;
  id.type = ColumnType::Long;
  id.flags = column_flags::kFixed;
  id.length = 4;
  id.name = "Id";
  table.columns = {id, Variable(1, ColumnType::Text, 0, 40), Variable(2, ColumnType::Text, 1, 40),
                   Variable(3, ColumnType::Memo, 2, 0)};
  table.max_columns = 4;
  table.var_slots = 3;
  return table;
}

struct BuiltRow {
  std::vector<std::uint8_t> bytes;
  std::size_t offsets_at = 0;  // where slot 0's offset entry lies (the others below it)
};

// A row of Table(): `b` empty means B is NULL; the memo is stored inline.
BuiltRow Row(const std::string& a, const std::string& b, const std::string& memo) {
  BuiltRow row;
  std::vector<std::uint8_t>& r = row.bytes;
  Append16(r, 4);
  Append32(r, 77);
  std::vector<std::uint16_t> offsets{static_cast<std::uint16_t>(r.size())};
  AppendUtf16(r, a);
  offsets.push_back(static_cast<std::uint16_t>(r.size()));
  AppendUtf16(r, b);
  offsets.push_back(static_cast<std::uint16_t>(r.size()));
  Append32(r, 0x80000000u | static_cast<std::uint32_t>(memo.size()));
  Append32(r, 0);
  Append32(r, 0);
  r.insert(r.end(), memo.begin(), memo.end());
  offsets.push_back(static_cast<std::uint16_t>(r.size()));  // eod
  for (std::size_t i = offsets.size(); i-- > 0;) Append16(r, offsets[i]);
  Append16(r, 3);  // V
  r.push_back(b.empty() ? 0b1011 : 0b1111);
  row.offsets_at = r.size() - 1 - 2 - 2;  // before the mask and V
  return row;
}

std::uint16_t Entry(const BuiltRow& row, std::size_t slot) {
  const std::size_t at = row.offsets_at - 2 * slot;
  return static_cast<std::uint16_t>(row.bytes[at] | (row.bytes[at + 1] << 8));
}
void SetEntry(BuiltRow& row, std::size_t slot, std::uint16_t value) {
  testing::Put16(row.bytes, row.offsets_at - 2 * slot, value);
}

std::vector<std::string> Decoded(const BuiltRow& row, bool mend) {
  const TableDefinition table = Table();
  RowStructure scratch;
  std::vector<StoredField> fields;
  const io::ByteView view(row.bytes.data(), row.bytes.size());
  if (mend) {
    if (!DecodeRowMendingOffsets(view, table, scratch, fields)) return {};
  } else {
    DecodeRow(view, table, scratch, fields);
  }
  std::vector<std::string> out;
  for (const StoredField& f : fields) out.push_back(f.is_null ? "NULL" : std::string(f.bytes.data(), f.bytes.data() + f.bytes.size()));
  return out;
}

TEST(RowMend, AnOffsetPinnedByAnInlineMemoIsRestored) {
  BuiltRow row = Row("Alpha", "Beta", "a note");
  const std::vector<std::string> written = Decoded(row, false);
  // The start of the memo (slot 2) flipped high: past the end of the data.
  SetEntry(row, 2, Entry(row, 2) | 0x0400);
  EXPECT_THROW(Decoded(row, false), vondrel::Error);
  EXPECT_EQ(Decoded(row, true), written);
}

TEST(RowMend, AnOffsetNextToANullValueIsRestored) {
  BuiltRow row = Row("Alpha", "", "a note");  // B is NULL: slots 1 and 2 start at one place
  const std::vector<std::string> written = Decoded(row, false);
  SetEntry(row, 1, Entry(row, 1) | 0x0200);
  EXPECT_THROW(Decoded(row, false), vondrel::Error);
  EXPECT_EQ(Decoded(row, true), written);
}

TEST(RowMend, TheFirstAndLastEntriesAreRestoredFromTheRowsLayout) {
  for (std::size_t slot : {std::size_t{0}, std::size_t{3}}) {
    BuiltRow row = Row("Alpha", "Beta", "a note");
    const std::vector<std::string> written = Decoded(row, false);
    SetEntry(row, slot, Entry(row, slot) | 0x0100);
    EXPECT_THROW(Decoded(row, false), vondrel::Error) << slot;
    EXPECT_EQ(Decoded(row, true), written) << slot;
  }
}

TEST(RowMend, TwoPossibleReadingsKeepNothing) {
  // The end of A / start of B between two texts: any even split fits both.
  BuiltRow row = Row("Alpha", "Beta", "a note");
  SetEntry(row, 1, Entry(row, 1) | 0x0400);
  EXPECT_TRUE(Decoded(row, true).empty());
}

TEST(RowMend, NoReadingWhenTwoEntriesAreDamaged) {
  BuiltRow row = Row("Alpha", "", "a note");
  SetEntry(row, 2, Entry(row, 2) | 0x0400);
  SetEntry(row, 3, 2);  // the end of the data before the fixed area
  EXPECT_TRUE(Decoded(row, true).empty());
}

TEST(RowMend, ARowInOrderIsNotMended) {
  BuiltRow row = Row("Alpha", "Beta", "a note");
  EXPECT_TRUE(Decoded(row, true).empty());
}

TEST(RowMend, ADamagedCountOfVariableColumnsIsRestored) {
  BuiltRow row = Row("Alpha", "Beta", "a note");
  const std::vector<std::string> written = Decoded(row, false);
  const std::size_t count_at = row.offsets_at + 2;
  for (std::uint16_t damaged : {std::uint16_t{0x43}, std::uint16_t{0x1003}}) {
    testing::Put16(row.bytes, count_at, damaged);
    EXPECT_THROW(Decoded(row, false), vondrel::Error) << damaged;
    EXPECT_EQ(Decoded(row, true), written) << damaged;
  }
}

TEST(RowMend, ColumnLengthsRuleOutReadings) {
  // A and B both at their longest: the only split between them is the written one.
  BuiltRow row = Row(std::string(20, 'a'), std::string(20, 'b'), "a note");
  const std::vector<std::string> written = Decoded(row, false);
  SetEntry(row, 1, Entry(row, 1) | 0x0400);
  EXPECT_THROW(Decoded(row, false), vondrel::Error);
  EXPECT_EQ(Decoded(row, true), written);
}

}  // namespace
}  // namespace jet
